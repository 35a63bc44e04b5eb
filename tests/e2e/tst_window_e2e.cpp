#include "app/scenegraphchoice.h"
#include "app/startup.h"
#include "backend/backendrig.h"
#include "items/lmimageitem.h"
#include "items/lmimageitem2.h"

#include "vcam_control.h"

#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>

// The tuning window as a user works it: the real start-up in a child process (this executable
// with "--child") on the virtual camera, driven only by mouse events on the window and its
// prompts, and by unplugging the camera. The child prints "FAIL: ..." for a check that did not
// hold and "QML: ..." for a QML warning; the parent checks those, the exit code, INI and store.
namespace {

int failures = 0;
QQuickWindow *window = nullptr;

void say(const QString &line)
{
    QTextStream(stdout) << line << Qt::endl;
}

void check(bool ok, const QString &what)
{
    if (!ok && ++failures)
        say(QStringLiteral("FAIL: ") + what);
}

void qmlWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg
        && (qstrcmp(context.category, "qml") == 0 || message.contains(QLatin1String(".qml"))
            || message.contains(QLatin1String("Binding loop"))))
        say(QStringLiteral("QML: ") + message);
    else if (message.startsWith(QLatin1String("camera control")))
        say(QStringLiteral("LOG: ") + message);
}

// The first visible item below `root` (depth first) for which `match` holds.
QQuickItem *find(QQuickItem *root, const std::function<bool(QQuickItem *)> &match)
{
    if (!root || !root->isVisible() || match(root))
        return root && root->isVisible() ? root : nullptr;
    for (QQuickItem *child : root->childItems()) {
        if (QQuickItem *found = find(child, match))
            return found;
    }
    return nullptr;
}

QQuickItem *find(const char *property, const QVariant &value, QQuickItem *root = nullptr)
{
    return find(root ? root : window->contentItem(), [&](QQuickItem *i) { return i->property(property) == value; });
}

QQuickItem *row(const QString &title) { return find("title", title); }

// The part of a row that has the given property (the slider, the combo box).
QQuickItem *part(const QString &title, const char *property)
{
    QQuickItem *r = row(title);
    check(r, title);
    return r ? find(r, [&](QQuickItem *i) { return i->metaObject()->indexOfProperty(property) >= 0; }) : nullptr;
}

void click(QQuickItem *item, QPointF local = QPointF(-1, -1))
{
    if (local.x() < 0)
        local = QPointF(item->width() / 2, item->height() / 2);
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, item->mapToScene(local).toPoint());
    QTest::qWait(150);
}

// Clicks the text on screen, waiting for it to show (menus open animated).
void clickText(const QString &text, QQuickItem *under = nullptr)
{
    QQuickItem *item = nullptr;
    if (QTest::qWaitFor([&] { return (item = find("text", text, under)) != nullptr; }))
        click(item);
    check(item, QStringLiteral("no \"%1\" on screen").arg(text));
    QTest::qWait(300);
}

void stepUp(const QString &title) // a click right of the handle
{
    if (QQuickItem *s = part(title, "newPosition")) {
        auto *handle = s->property("handle").value<QQuickItem *>();
        click(s, QPointF(handle->x() + 4 * handle->width(), s->height() / 2));
    }
}

void choose(const QString &title, const QString &entry)
{
    QQuickItem *box = part(title, "displayText");
    if (!box)
        return;
    click(box);
    auto *popup = box->property("popup").value<QObject *>();
    check(QTest::qWaitFor([popup] { return popup->property("opened").toBool(); }), title + QStringLiteral(" opens"));
    clickText(entry, popup->property("contentItem").value<QQuickItem *>());
    check(QTest::qWaitFor([popup] { return !popup->property("visible").toBool(); }), title + QStringLiteral(" closes"));
}

// How many pixels of the window's `rect` (scene coordinates) are near `colour`.
int pixelsLike(QRectF rect, QRgb colour)
{
    const QImage shot = window->grabWindow();
    int n = 0;
    for (int y = int(rect.top()); y < int(rect.bottom()); y += 2) {
        for (int x = int(rect.left()); x < int(rect.right()); x += 2) {
            const QRgb p = shot.pixel(x, y);
            n += qAbs(qRed(p) - qRed(colour)) + qAbs(qGreen(p) - qGreen(colour)) + qAbs(qBlue(p) - qBlue(colour)) < 40;
        }
    }
    return n;
}

void drive()
{
    QTest::qWait(1500); // the first frames
    // Unplugged, the camera is closed after a few failed reads and the prompt is
    // up; replugged, the udev notice ends the prompt and the picture comes back.
    QFile trace(qEnvironmentVariable("VEXLO_VCAM_TRACE"));
    check(trace.open(QIODevice::ReadOnly) && trace.seek(trace.size()), QStringLiteral("trace"));
    bool prompted = false;
    onNextBox([&](QMessageBox *) {
        prompted = true;
        QTest::qWait(700); // the dead descriptor is not read meanwhile
        vcam_replug(0);
    });
    vcam_unplug(0);
    QThread::msleep(300); // a busy GUI thread: the capture thread alone meets the dead camera
    check(QTest::qWaitFor([&] { return prompted && !QApplication::activeModalWidget(); }), QStringLiteral("prompt"));
    const long frames = vcam_frames_delivered(0);
    check(QTest::qWaitFor([&] { return vcam_frames_delivered(0) > frames + 3; }, 10000), QStringLiteral("streams"));
    check(trace.readAll().count("DQBUF -> No such device") <= 5, QStringLiteral("few failed reads"));

    // The rows reach the camera (their traffic and rules: the tunnel's and the backend's tests).
    stepUp(QStringLiteral("Sharpness"));
    choose(QStringLiteral("AWB"), QStringLiteral("Manual"));
    stepUp(QStringLiteral("Color Temperature"));
    choose(QStringLiteral("Anti Flicker"), QStringLiteral("Off"));
    choose(QStringLiteral("Aec mod"), QStringLiteral("Manual"));
    const QStringList governed{"Anti Flicker", "ISO", "Aperture", "Exposure Time", "Color Temperature", "Warmness"};
    QStringList on;
    for (const QString &t : governed) {
        if (row(t) && row(t)->isEnabled())
            on << t;
    }
    check(on.join(QLatin1Char(',')) == QLatin1String("ISO,Aperture,Exposure Time,Color Temperature"), on.join(','));

    // A camera that refuses a write: the row's value turns red with the reason until a good write;
    // one that answers late: "camera not answering" over the picture until a call is answered in time.
    const auto failure = [] { return part(QStringLiteral("Sharpness"), "failure")->property("failure").toString(); };
    const auto valueLabelRed = [] {
        QQuickItem *slider = part(QStringLiteral("Sharpness"), "newPosition");
        return find(slider, [](QQuickItem *i) { return i->property("color") == QColor("#E1392D"); }) != nullptr;
    };
    const auto notAnswering = [] { return find("text", QStringLiteral("camera not answering")) != nullptr; };
    vcam_set_ctrl_fault("EIO", 0);
    stepUp(QStringLiteral("Sharpness"));
    check(QTest::qWaitFor([&] { return failure().endsWith(QLatin1String("Input/output error")); }), failure());
    check(valueLabelRed(), QStringLiteral("refused value in red"));
    vcam_set_ctrl_fault("none:1300", 0);
    stepUp(QStringLiteral("Sharpness"));
    check(QTest::qWaitFor(notAnswering, 5000), QStringLiteral("camera not answering"));
    check(QTest::qWaitFor([&] { return failure().isEmpty() && !valueLabelRed(); }, 10000), QStringLiteral("cleared"));
    vcam_set_ctrl_fault("off", 0);
    stepUp(QStringLiteral("Sharpness"));
    check(QTest::qWaitFor([&] { return !notAnswering(); }, 10000), QStringLiteral("answering again"));

    // Sync all from the menu: the wait box while it runs, and a clean protocol.
    QString waitTitle;
    onNextBox([&](QMessageBox *box) { waitTitle = box->windowTitle(); });
    clickText(QStringLiteral("Sync"));
    clickText(QStringLiteral("Sync all parameters to camera now"));
    check(QTest::qWaitFor([] { return !QApplication::activeModalWidget(); }, 30000), QStringLiteral("sync ends"));
    check(waitTitle == QLatin1String("Message"), QStringLiteral("wait box: ") + waitTitle);
    check(vcam_violations(0) == 0, QStringLiteral("violations: %1").arg(vcam_violations(0)));

    // The preview item of the scene graph that runs: the painted one on the software scene graph.
    const bool software = window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software;
    say(QStringLiteral("scene graph: %1").arg(software ? "software" : "OpenGL"));
    QQuickItem *picture = find(window->contentItem(), [software](QQuickItem *i) {
        return software ? qobject_cast<LmImageItem2 *>(i) != nullptr : qobject_cast<LmImageItem *>(i) != nullptr;
    });
    check(picture, QStringLiteral("preview item"));
    if (!picture) {
        window->close();
        return;
    }

    // Auto zoom fits the area's width; Original pixel is 1:1 from the top left, panned within limits.
    QQuickItem *area = picture->parentItem();
    for (const char *entry : {"View", "Display", "Auto zoom"})
        clickText(QLatin1String(entry));
    const qreal fitted = area->width() * 1080 / 1920;
    check(picture->size() == QSizeF(area->width(), fitted) && picture->y() == (area->height() - fitted) / 2,
          QStringLiteral("fit mode"));
    for (const char *entry : {"View", "Display", "Original pixel"})
        clickText(QLatin1String(entry));
    check(picture->size() == QSizeF(1920, 1080) && picture->position() == QPointF(0, 0), QStringLiteral("1:1"));
    const QPoint from = area->mapToScene(QPointF(area->width() / 2, area->height() / 2)).toPoint();
    for (const QPoint by : {QPoint(300, 300), QPoint(-3000, -3000)}) {
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from);
        for (int step = 1; step <= 10; ++step)
            QTest::mouseMove(window, from + by * step / 10);
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, from + by);
    }
    check(picture->position() == QPointF(area->width() - 1920, area->height() - 1080), QStringLiteral("panning"));

    // Turned, the fitted picture fills the area's height; the red overlay lies over it.
    for (const char *entry : {"View", "Display", "Auto zoom", "View", "Rotate CW", "View", "Debug Info"})
        clickText(QLatin1String(entry));
    check(QTest::qWaitFor([&] { return picture->height() == area->height() && picture->width() < area->width(); }),
          QStringLiteral("turned"));
    const QRectF shown = picture->mapRectToScene(QRectF(0, 0, picture->width(), picture->height()));
    check(pixelsLike(shown, qRgb(0, 0, 0)) < shown.width() * shown.height() / 8, QStringLiteral("picture shown"));
    check(QTest::qWaitFor([&] { return pixelsLike(area->mapRectToScene(QRectF(0, 0, 300, 120)), 0xE1392D) > 20; }),
          QStringLiteral("overlay"));
    for (const char *entry : {"View", "Debug Info", "View", "Rotate CCW", "View", "Display", "Original pixel"})
        clickText(QLatin1String(entry));

    // Chinese and back: menus and column in the language chosen.
    clickText(QStringLiteral("Langage"));
    clickText(QStringLiteral("中文"));
    check(find("text", QStringLiteral("文件")) && row(QStringLiteral("锐度")), QStringLiteral("Chinese"));
    clickText(QStringLiteral("语言"));
    clickText(QStringLiteral("English"));
    check(find("text", QStringLiteral("File")) && row(QStringLiteral("Sharpness")), QStringLiteral("English"));

    // A store the camera refuses is told, and leaves the changes unstored.
    vcam_set_ctrl_fault("EPIPE", 0);
    clickText(QStringLiteral("Sync"));
    clickText(QStringLiteral("Store all parameters to the camera"));
    check(QTest::qWaitFor([] { return find("text", QStringLiteral("The camera did not store the parameters: "
                                                                  "Register selector: Broken pipe")); }),
          QStringLiteral("store failure told"));
    vcam_set_ctrl_fault("off", 0);

    // Closing after changes: the exit prompt; "Save and exit" stores and ends.
    onNextBox([](QMessageBox *box) {
        QAbstractButton *save = box->button(QMessageBox::Ok);
        check(save && save->text() == QLatin1String("Save and exit"), QStringLiteral("save button"));
        say(QStringLiteral("prompt: %1, failures %2").arg(box->windowTitle()).arg(failures));
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
            window = qobject_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
            if (window && QTest::qWaitForWindowExposed(window))
                drive();
            else
                QCoreApplication::exit(3);
        });
    });
    return runTuner(argc, argv);
}

} // namespace

class TestWindowE2e : public QObject
{
    Q_OBJECT

private slots:
    void replugTuneSyncPanTranslateSaveAndExit()
    {
        QTemporaryDir home;
        useHome(home.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("VEXLO_VCAM_STORE"), home.filePath(QStringLiteral("camera.store")));
        env.insert(QStringLiteral("VEXLO_VCAM_TRACE"), home.filePath(QStringLiteral("camera.trace")));
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        QVERIFY(child.waitForFinished(150000));
        const QString out = QString::fromLocal8Bit(child.readAll());
        const QStringList problems = out.split(QLatin1Char('\n')).filter(QRegularExpression("^(FAIL|QML): "));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
        QVERIFY2(out.contains(QLatin1String("prompt: Exit prompt, failures 0")), qPrintable(out));
        // The scene graph the start-up chose: software on this virtual display, unless QT_QUICK_BACKEND says.
        const SceneChoice scene = chooseScenePath(qEnvironmentVariable("QT_QUICK_BACKEND"), probeOpenGLRenderer);
        QVERIFY2(out.contains(scene.path == ScenePath::Software ? "scene graph: software" : "scene graph: OpenGL"),
                 qPrintable(out));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        QStringList values;
        for (const char *key :
             {"sharpness_value", "awb_value", "color_temperature", "afd_value", "display_zoom", "language"})
            values << storedValue(home.path(), QLatin1String(key)).toString();
        QCOMPARE(values.join(QLatin1Char(' ')), QStringLiteral("16 6 1 3 false en_US"));
        QFile store(home.filePath(QStringLiteral("camera.store")));
        QVERIFY(store.open(QIODevice::ReadOnly));
        const QByteArray stored = store.readAll();
        QVERIFY2(stored.contains("sharpness 16\n") && stored.contains("wb_temperature 2100\n"), stored.constData());
        QVERIFY2(out.contains(QRegularExpression("LOG: camera control Sharpness write 14 failed after \\d+ ms: "
                                                 "Input/output error")), qPrintable(out));
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
