#include "app/startup.h"
#include "items/lmimageitem.h"

#include "vcam_control.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <functional>

// The tuning window as a user works it: the real start-up in a child process
// (this executable with "--child") on the virtual camera, driven only by mouse
// events on the window and its prompts. The child prints what it saw ("FAIL: ..."
// for a check that did not hold, "QML: ..." for a QML warning); the parent
// checks that, the exit code, the INI file and the camera's store file.
namespace {

int failures = 0;

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

#define CHECK(cond, what)                                                                          \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            ++failures;                                                                            \
            say(QStringLiteral("FAIL: ") + (what) + QStringLiteral(" (line %1)").arg(__LINE__)); \
        }                                                                                          \
    } while (0)

void qmlWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool qml = QByteArray(context.category) == "qml" || message.contains(QLatin1String(".qml"))
        || message.contains(QLatin1String("Binding loop"));
    if (type != QtDebugMsg && type != QtInfoMsg && qml)
        say(QStringLiteral("QML: ") + message);
}

// The visible item below `root` for which `match` holds (depth first).
QQuickItem *findItem(QQuickItem *root, const std::function<bool(QQuickItem *)> &match)
{
    if (!root || !root->isVisible())
        return nullptr;
    if (match(root))
        return root;
    const auto children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = findItem(child, match))
            return found;
    }
    return nullptr;
}

QQuickItem *withProperty(QQuickItem *root, const char *name, const QVariant &value)
{
    return findItem(root, [&](QQuickItem *i) { return i->property(name) == value; });
}

QQuickItem *withMember(QQuickItem *root, const char *name)
{
    return findItem(root, [&](QQuickItem *i) { return i->metaObject()->indexOfProperty(name) >= 0; });
}

bool waitFor(const std::function<bool()> &done, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QTest::qWait(20);
    return done();
}

class Driver
{
public:
    explicit Driver(QQuickWindow *w)
        : window(w)
    {
    }

    QQuickWindow *window;

    QPoint at(QQuickItem *item, QPointF local) const { return item->mapToScene(local).toPoint(); }
    QPoint centre(QQuickItem *item) const { return at(item, QPointF(item->width() / 2, item->height() / 2)); }

    void click(QPoint p)
    {
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, p);
        QTest::qWait(150);
    }

    QQuickItem *text(const QString &t, QQuickItem *under = nullptr)
    {
        return withProperty(under ? under : window->contentItem(), "text", t);
    }

    bool clickText(const QString &t, QQuickItem *under = nullptr)
    {
        QQuickItem *item = nullptr;
        for (int i = 0; i < 50 && !item; ++i, QTest::qWait(20))
            item = text(t, under);
        CHECK(item, QStringLiteral("no \"%1\" on screen").arg(t));
        if (item)
            click(centre(item));
        return item;
    }

    // A menu entry, through the menu titles on the way to it.
    bool menu(const QStringList &path)
    {
        for (const QString &t : path) {
            if (!clickText(t))
                return false;
            QTest::qWait(300); // the menu's opening transition
        }
        return true;
    }

    QQuickItem *row(const QString &title) { return withProperty(window->contentItem(), "title", title); }

    QQuickItem *slider(const QString &title) { return withMember(row(title), "newPosition"); }

    // Clicks right of the slider's handle: one step up.
    void stepUp(const QString &title)
    {
        QQuickItem *s = slider(title);
        CHECK(s, title);
        if (!s)
            return;
        auto *handle = s->property("handle").value<QQuickItem *>();
        click(at(s, QPointF(handle->x() + 4 * handle->width(), s->height() / 2)));
    }

    // Chooses an entry in the open list of a combo box.
    void choose(const QString &title, const QString &entry)
    {
        QQuickItem *box = withMember(row(title), "displayText");
        CHECK(box, title);
        if (!box)
            return;
        click(centre(box));
        auto *popup = box->property("popup").value<QObject *>();
        CHECK(waitFor([popup] { return popup->property("opened").toBool(); }), title + QStringLiteral(" list"));
        clickText(entry, popup->property("contentItem").value<QQuickItem *>());
        CHECK(waitFor([popup] { return !popup->property("visible").toBool(); }), title + QStringLiteral(" closed"));
        QTest::qWait(300);
    }

    QString enabledRows(const QStringList &titles)
    {
        QStringList on;
        for (const QString &t : titles) {
            QQuickItem *r = row(t);
            CHECK(r, t);
            if (r && r->isEnabled())
                on << t;
        }
        return on.join(QLatin1Char(','));
    }

    // Runs `answer` on the next message box that comes up.
    void onNextBox(std::function<void(QMessageBox *)> answer)
    {
        auto *timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, answer] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            answer(box);
        });
        timer->start(20);
    }

    void run();
};

void Driver::run()
{
    QTest::qWait(1500); // the first frames
    const QString iso = QStringLiteral("ISO"), afd = QStringLiteral("Anti Flicker");
    const QString aperture = QStringLiteral("Aperture"), exposure = QStringLiteral("Exposure Time");

    // A click right of a handle raises that register by one step.
    const int sharpness = vcam_register_value(0, VCAM_REG_SHARPNESS);
    stepUp(QStringLiteral("Sharpness"));
    CHECK(vcam_register_value(0, VCAM_REG_SHARPNESS) == sharpness + 1, QStringLiteral("sharpness step"));

    // AWB "Manual" opens the colour temperature, whose value reaches the camera.
    const QString temperature = QStringLiteral("Color Temperature");
    CHECK(!row(temperature)->isEnabled(), QStringLiteral("temperature off under automatic white balance"));
    choose(QStringLiteral("AWB"), QStringLiteral("Manual"));
    CHECK(row(temperature)->isEnabled(), QStringLiteral("temperature on under manual white balance"));
    CHECK(vcam_register_value(0, VCAM_REG_WB_TEMPERATURE) == 2000, QStringLiteral("2000 K sent"));
    stepUp(temperature);
    CHECK(vcam_register_value(0, VCAM_REG_WB_TEMPERATURE) == 2100, QStringLiteral("2100 K sent"));

    // The exposure modes and the anti-flicker switch the controls they govern.
    const QStringList governed{afd, iso, aperture, exposure};
    const struct {
        const char *row, *entry, *enabled;
    } modes[] = {
        {"Aec mod", "Manual", "ISO,Aperture,Exposure Time"},
        {"Aec mod", "Exposure Manual", "Exposure Time"},
        {"Aec mod", "Auto", "Anti Flicker"},
        {"Anti Flicker", "Off", "Anti Flicker,ISO"},
    };
    for (const auto &m : modes) {
        choose(QLatin1String(m.row), QLatin1String(m.entry));
        CHECK(enabledRows(governed) == QLatin1String(m.enabled),
              QStringLiteral("%1 %2: %3").arg(m.row, m.entry, enabledRows(governed)));
    }
    CHECK(vcam_register_value(0, VCAM_REG_BACKLIGHT) == 3, QStringLiteral("anti-flicker off sent"));

    // Sync all: the wait box while it runs, and a clean protocol.
    QString waitTitle;
    onNextBox([&](QMessageBox *box) { waitTitle = box->windowTitle(); });
    menu({QStringLiteral("Sync"), QStringLiteral("Sync all parameters to camera now")});
    CHECK(waitFor([] { return !QApplication::activeModalWidget(); }, 30000), QStringLiteral("sync ended"));
    CHECK(waitTitle == QLatin1String("Message"), QStringLiteral("wait box: ") + waitTitle);
    CHECK(vcam_violations(0) == 0, QStringLiteral("violations %1").arg(vcam_violations(0)));

    // Auto zoom fits the picture to the area's width; Original pixel shows it
    // 1:1 from the top-left corner and pans it within limits.
    QQuickItem *picture = findItem(window->contentItem(), [](QQuickItem *i) { return qobject_cast<LmImageItem *>(i); });
    QQuickItem *area = picture->parentItem();
    menu({QStringLiteral("View"), QStringLiteral("Display"), QStringLiteral("Auto zoom")});
    const qreal fitted = area->width() * 1080 / 1920;
    CHECK(picture->size() == QSizeF(area->width(), fitted) && picture->y() == (area->height() - fitted) / 2,
          QStringLiteral("fit mode %1x%2").arg(picture->width()).arg(picture->height()));
    menu({QStringLiteral("View"), QStringLiteral("Display"), QStringLiteral("Original pixel")});
    CHECK(picture->size() == QSizeF(1920, 1080) && picture->position() == QPointF(0, 0),
          QStringLiteral("pixel mode %1x%2").arg(picture->width()).arg(picture->height()));
    const QPoint from = centre(area);
    for (const QPoint by : {QPoint(300, 300), QPoint(-3000, -3000)}) {
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from);
        for (int step = 1; step <= 10; ++step)
            QTest::mouseMove(window, from + by * step / 10);
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, from + by);
        QTest::qWait(100);
    }
    CHECK(picture->position() == QPointF(area->width() - 1920, area->height() - 1080),
          QStringLiteral("panned to %1,%2").arg(picture->x()).arg(picture->y()));

    // Chinese and back: menus and column in the language chosen.
    menu({QStringLiteral("Langage"), QStringLiteral("中文")});
    CHECK(text(QStringLiteral("文件")) && row(QStringLiteral("锐度")), QStringLiteral("Chinese"));
    menu({QStringLiteral("语言"), QStringLiteral("English")});
    CHECK(text(QStringLiteral("File")) && row(QStringLiteral("Sharpness")), QStringLiteral("English"));

    // Closing after changes: the exit prompt, "Save and exit" stores and ends.
    onNextBox([this](QMessageBox *box) {
        say(QStringLiteral("prompt: ") + box->windowTitle());
        QAbstractButton *save = box->button(QMessageBox::Ok);
        CHECK(save && save->text() == QLatin1String("Save and exit"), QStringLiteral("save button"));
        say(QStringLiteral("driver done, failures %1").arg(failures));
        if (save)
            QTest::mouseClick(save, Qt::LeftButton);
    });
    window->close();
}

int runChild(int argc, char **argv)
{
    qInstallMessageHandler(qmlWarnings);
    setStartupObserver([](MyApplication &, QmlData *) {
        QTimer::singleShot(0, [] {
            auto *window = qobject_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
            if (!window || !QTest::qWaitForWindowExposed(window)) {
                say(QStringLiteral("FAIL: no window"));
                QCoreApplication::exit(3);
                return;
            }
            Driver(window).run();
        });
    });
    return runTuner(argc, argv);
}

} // namespace

class TestWindowE2e : public QObject
{
    Q_OBJECT

private slots:
    void tuneSyncPanTranslateSaveAndExit()
    {
        QTemporaryDir home;
        QDir(home.path()).mkpath(QStringLiteral("Vexlo"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("VEXLO_VCAM_STORE"), home.filePath(QStringLiteral("camera.store")));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        QVERIFY(child.waitForFinished(150000));
        const QString out = QString::fromLocal8Bit(child.readAll());
        const QStringList problems = out.split(QLatin1Char('\n')).filter(QRegularExpression("^(FAIL|QML): "));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        QVERIFY2(out.contains(QLatin1String("prompt: Exit prompt\ndriver done, failures 0")), qPrintable(out));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        QSettings ini(home.filePath(QStringLiteral("Vexlo/config.ini")), QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("sharpness_value")).toInt(), 13);
        QCOMPARE(ini.value(QStringLiteral("awb_value")).toInt(), 6);
        QCOMPARE(ini.value(QStringLiteral("color_temperature")).toInt(), 1);
        QCOMPARE(ini.value(QStringLiteral("afd_value")).toInt(), 3);
        QCOMPARE(ini.value(QStringLiteral("display_zoom")).toBool(), false);
        QCOMPARE(ini.value(QStringLiteral("language")).toString(), QStringLiteral("en_US"));
        QFile store(home.filePath(QStringLiteral("camera.store")));
        QVERIFY(store.open(QIODevice::ReadOnly));
        const QByteArray stored = store.readAll();
        QVERIFY2(stored.contains("sharpness 13\n") && stored.contains("wb_temperature 2100\n"), stored.constData());
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--child") == 0)
        return runChild(argc, argv);
    QApplication app(argc, argv);
    TestWindowE2e test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window_e2e.moc"
