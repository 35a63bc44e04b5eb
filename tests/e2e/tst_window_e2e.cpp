#include "app/scenegraphchoice.h"
#include "app/startup.h"
#include "backend/backendrig.h"
#include "items/lmimageitem.h"
#include "items/lmimageitem2.h"

#include "vcam_control.h"

#include <QFileDialog>
#include <QProcess>
#include <future>
#include <thread>
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
QmlData *backend = nullptr;

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

// Every visible item below `root` for which `match` holds, depth first.
QList<QQuickItem *> findAll(QQuickItem *root, const std::function<bool(QQuickItem *)> &match)
{
    QList<QQuickItem *> found;
    if (root && root->isVisible()) {
        if (match(root))
            found << root;
        for (QQuickItem *child : root->childItems())
            found << findAll(child, match);
    }
    return found;
}

QQuickItem *find(QQuickItem *root, const std::function<bool(QQuickItem *)> &match)
{
    return findAll(root, match).value(0);
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

// Scrolls the parameter column with the mouse wheel until `item` is inside the window.
void reveal(QQuickItem *item)
{
    const QPointF over(100, window->height() / 2);
    QQuickItem *column = item;
    while (column && column->metaObject()->indexOfProperty("contentY") < 0)
        column = column->parentItem();
    if (!column)
        return;
    const QRectF view = column->mapRectToScene(QRectF(0, 0, column->width(), column->height()));
    for (int i = 0; i < 40; ++i) {
        const QRectF r = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        const int dir = r.bottom() > view.bottom() ? -1 : r.top() < view.top() ? 1 : 0;
        if (dir == 0)
            return;
        QWheelEvent wheel(over, window->mapToGlobal(over.toPoint()), QPoint(), QPoint(0, dir * 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QGuiApplication::sendEvent(window, &wheel);
        QTest::qWait(20);
    }
    check(false, QStringLiteral("cannot scroll to ") + item->property("title").toString());
}

void click(QQuickItem *item, QPointF local = QPointF(-1, -1))
{
    if (local.x() < 0)
        local = QPointF(item->width() / 2, item->height() / 2);
    reveal(item);
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

// The list sliders of a row, top to bottom.
QList<QQuickItem *> sliders(const QString &title)
{
    const QList<QQuickItem *> found =
        findAll(row(title), [](QQuickItem *i) { return i->metaObject()->indexOfProperty("newPosition") >= 0; });
    check(!found.isEmpty(), title);
    return found;
}

using Input = std::function<void()>;
using Effect = std::function<QString()>;

// Inputs: a click on the track right of a slider's handle; an entry of a combo box's open
// list; a click on a switch or button; entries of the menus; a key.
Input step(const QString &title, int slider = 0)
{
    return [=] {
        if (QQuickItem *s = sliders(title).value(slider)) {
            auto *handle = s->property("handle").value<QQuickItem *>();
            click(s, QPointF(handle->x() + 3 * handle->width(), s->height() / 2));
        }
    };
}

Input pick(const QString &title, const QString &entry, int nth = 0)
{
    return [=] {
        QQuickItem *box = part(title, "displayText");
        if (!box)
            return;
        click(box);
        auto *popup = box->property("popup").value<QObject *>();
        const auto is = [popup](const char *state) { return popup->property(state).toBool(); };
        check(QTest::qWaitFor([&] { return is("opened"); }), title + QStringLiteral(" opens"));
        // The entries in the list's order (its children are in the order they were made).
        auto *list = popup->property("contentItem").value<QQuickItem *>();
        QList<QQuickItem *> matches;
        for (int i = 0; i < list->property("count").toInt(); ++i) {
            QQuickItem *entryItem = nullptr;
            QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, entryItem), Q_ARG(int, i));
            if (entryItem && find("text", entry, entryItem))
                matches << entryItem;
        }
        check(matches.size() > nth, title + QStringLiteral(": no ") + entry);
        if (matches.size() > nth)
            click(matches[nth]);
        check(QTest::qWaitFor([&] { return !is("visible"); }), title + QStringLiteral(" closes"));
    };
}

Input press(const QString &title)
{
    return [=] {
        QQuickItem *target = row(title) ? part(title, "position") : find("text", title); // a switch, a button
        check(target, title);
        if (target)
            click(target);
    };
}

Input menu(const QStringList &path)
{
    return [=] {
        for (const QString &entry : path)
            clickText(entry);
    };
}

Input key(const QKeySequence &keys)
{
    return [=] {
        window->requestActivate(); // after a dialog, keys go to the window again
        check(QTest::qWaitForWindowActive(window), QStringLiteral("window active"));
        QTest::keySequence(window, keys);
        QTest::qWait(150);
    };
}

bool notAnswering() { return find("text", QStringLiteral("camera not answering")) != nullptr; }

// An input given while a write waits for a camera that does not answer ("camera not answering"
// over the picture): the window does not wait for it, so the write is still waiting once the
// input is done (a window that did wait is let go after 20 s, too late); then the camera answers.
Input whileStalled(const QString &what, Input input)
{
    return [=] {
        vcam_set_ctrl_fault("none:600000", 0); // held until changed
        step(QStringLiteral("Contrast"))();
        check(QTest::qWaitFor(notAnswering), what + QStringLiteral(": camera not answering"));
        std::promise<void> given;
        std::thread letGo([done = given.get_future()] {
            done.wait_for(std::chrono::seconds(20));
            vcam_set_ctrl_fault("off", 0);
        });
        input();
        check(!backend->controlsIdle(), what + QStringLiteral(" waited for the camera"));
        given.set_value();
        letGo.join();
        check(QTest::qWaitFor([] { return !notAnswering(); }, 10000), what + QStringLiteral(": answering again"));
    };
}

// The next modal dialog or prompt: its kind and title, whether a menu was still drawn
// under it; then it is dismissed.
QString modalSeen;
Input expectModal(Input input)
{
    return [=] {
        modalSeen = QStringLiteral("none");
        auto *timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
            timer->stop();
            const auto isMenuEntry = [](QQuickItem *i) { return i->inherits("QQuickMenuItem"); };
            const bool menuDrawn = find(window->contentItem(), isMenuEntry);
            modalSeen = QLatin1String(modal->metaObject()->className()) + QLatin1Char(' ') + modal->windowTitle()
                + (menuDrawn ? QStringLiteral(" over a menu") : QString());
            if (auto *dialog = qobject_cast<QFileDialog *>(modal))
                dialog->reject();
        });
        timer->start(20);
        input();
        check(QTest::qWaitFor([] { return modalSeen != QLatin1String("none") && !QApplication::activeModalWidget(); },
                              30000),
              QStringLiteral("a dialog came and went"));
        delete timer;
    };
}

Effect reg(int r)
{
    return [r] { return QString::number(vcam_register_value(0, r)); };
}

// The last capture of `pattern` in the camera's trace: the value last sent to a UVC control
// (for those that carry no register), the camera that started streaming last.
Effect traced(const QString &pattern)
{
    return [pattern] {
        QFile trace(qEnvironmentVariable("VEXLO_VCAM_TRACE"));
        QString last = QStringLiteral("none");
        if (trace.open(QIODevice::ReadOnly)) {
            auto it = QRegularExpression(pattern).globalMatch(QString::fromLatin1(trace.readAll()));
            while (it.hasNext())
                last = it.next().captured(1);
        }
        return last;
    };
}

// The preview item of the scene graph that runs: the painted one on the software scene graph.
QQuickItem *previewItem()
{
    const bool software = window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software;
    QQuickItem *item = find(window->contentItem(), [software](QQuickItem *i) {
        return software ? qobject_cast<LmImageItem2 *>(i) != nullptr : qobject_cast<LmImageItem *>(i) != nullptr;
    });
    check(item, software ? QStringLiteral("painted preview item") : QStringLiteral("GL preview item"));
    return item;
}

// The picture as shown: "wide" or "tall", and where the top-left part of the picture as
// first seen went ("cw": to the top right, "ccw": to the bottom left, or upside down).
Effect picture()
{
    static QColor corner;
    return [] {
        QQuickItem *pic = previewItem();
        if (!pic)
            return QStringLiteral("no preview item");
        const QImage shot = window->grabWindow();
        const QRectF r = pic->mapRectToScene(QRectF(0, 0, pic->width(), pic->height()));
        const auto at = [&](qreal fx, qreal fy) {
            return shot.pixelColor(int(r.x() + fx * r.width()), int(r.y() + fy * r.height()));
        };
        if (!corner.isValid())
            corner = at(0.09, 0.10); // in the first colour bar, below any notice
        const auto where = [&](const char *a, qreal ax, qreal ay, const char *b, qreal bx, qreal by) {
            const auto same = [](const QColor &c) {
                return qAbs(c.red() - corner.red()) + qAbs(c.green() - corner.green())
                    + qAbs(c.blue() - corner.blue()) < 30;
            };
            return QLatin1String(same(at(ax, ay)) ? a : same(at(bx, by)) ? b : "?");
        };
        if (r.width() > r.height())
            return QStringLiteral("wide ") + where("upright", 0.09, 0.10, "upside down", 0.91, 0.90);
        return QStringLiteral("tall ") + where("cw", 0.90, 0.09, "ccw", 0.10, 0.91);
    };
}

Effect frame()
{
    return [] { return QStringLiteral("%1x%2").arg(backend->frameSize().value(0)).arg(backend->frameSize().value(1)); };
}

Effect shown(const QString &text)
{
    return [text] {
        return find(window->contentItem(), [&](QQuickItem *i) { return i->property("text").toString().contains(text); })
            ? text
            : QStringLiteral("not ") + text;
    };
}

Effect stores()
{
    return [] { return QStringLiteral("stores %1").arg(vcam_store_count(0)); };
}

struct Binding
{
    const char *what;
    Input input;
    Effect effect;
    QString expected;
};

void drive()
{
    window->resize(960, 800); // the smallest window: every row must still be reachable
    QTest::qWait(1500); // the first frames
    const bool software = window->rendererInterface()->graphicsApi() == QSGRendererInterface::Software;
    say(QStringLiteral("scene graph: %1").arg(QLatin1String(software ? "software" : "OpenGL")));

    // Stock uvcvideo maps no control to the red channel: the row is greyed and says why.
    if (QQuickItem *red = sliders(QStringLiteral("Color Compensation")).value(0)) {
        reveal(red);
        QTest::mouseMove(window, red->mapToScene(QPointF(red->width() / 2, red->height() / 2)).toPoint());
        const QString why = QStringLiteral("offers no control");
        check(!red->isEnabled() && QTest::qWaitFor([&] { return shown(why)() == why; }), QStringLiteral("red greyed"));
    }
    vcam_set_map_any_entity(0, 1); // a driver that maps it: from the reopen below, red reaches the camera
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

    // A second camera to choose.
    vcam_replug(1);
    check(QTest::qWaitFor([] { return backend->cameraNames().size() == 2; }), QStringLiteral("second camera"));
    const QStringList cameras = backend->cameraNames();

    // Every control and every menu entry, worked as a user does, and what it must reach; each
    // row's effect is one that no other row has, so two swapped bindings fail both rows.
    const QString manual = QStringLiteral("Manual");
    const Effect streaming = traced(QStringLiteral("(cam\\d) STREAMON")); // the camera streaming last
    const QString notice = QStringLiteral("not yet on this camera"); // the camera runs its own stored values
    check(shown(notice)() == notice, QStringLiteral("panel notice"));
    const Binding bindings[] = {
        {"sync now", expectModal(press("Sync now")), [=] { return modalSeen + QLatin1Char(' ') + shown(notice)(); },
         "QMessageBox Message not " + notice},
        {"colourful mode", press("Colorful Mode"), reg(VCAM_REG_GAMMA), "64"},
        {"skin smoothing", press("Grinding+Colorful"), reg(VCAM_REG_GAMMA), "192"},
        {"anti-flicker", pick("Anti Flicker", "Off"), reg(VCAM_REG_BACKLIGHT), "3"},
        {"warmness", step("Warm/Cool Colors"), reg(VCAM_REG_HUE), "100"},
        {"EV", step("Exposure Compensation"), reg(VCAM_REG_BRIGHTNESS), "1"},
        {"SCE", step("Colour of skin"), reg(VCAM_REG_ZOOM), "800"},
        {"sharpness", step("Sharpness"), reg(VCAM_REG_SHARPNESS), "13"},
        {"restore", press("restore default settings"), reg(VCAM_REG_SHARPNESS), "12"},
        {"saturation", step("Saturation"), reg(VCAM_REG_SATURATION), "6"},
        {"contrast", step("Contrast"), reg(VCAM_REG_CONTRAST), "6"},
        {"MCE red", step("Color Compensation", 0), reg(VCAM_REG_ROLL), "-127"},
        {"MCE green", step("Color Compensation", 1), reg(VCAM_REG_PAN), "-127"},
        {"MCE blue", step("Color Compensation", 2), reg(VCAM_REG_TILT), "-127"},
        {"white balance", pick("AWB", manual), reg(VCAM_REG_WB_TEMPERATURE), "2000"},
        {"colour temperature", step("Color Temperature"), reg(VCAM_REG_WB_TEMPERATURE), "2100"},
        {"exposure mode", pick("Aec mod", manual), traced("SET_CUR CT_AE_MODE (\\d+)"), "1"},
        {"aperture", step("Aperture"), traced("SET_CUR CT_IRIS_ABSOLUTE (\\d+)"), "250"},
        {"exposure time", step("Exposure Time"), traced("SET_CUR CT_EXPOSURE_TIME_ABSOLUTE (\\d+)"), "2500"},
        {"ISO", step("ISO"), reg(VCAM_REG_GAIN), "1"},
        {"preview size", whileStalled("preview size", pick("Preview Size", "720P 30FPS")), frame(), "1280x720"},
        {"camera", whileStalled("camera", pick("Camera Name", cameras.value(1), cameras.indexOf(cameras.value(1)) == 0)),
         streaming, "cam1"},
        {"camera back", pick("Camera Name", cameras.value(0)), streaming, "cam0"},
        {"auto zoom", menu({"View", "Display", "Auto zoom"}), picture(), "wide upright"},
        {"snapshot of a fitted picture", [] { backend->saveSnapshot(QDir::home().filePath("fitted.jpg")); },
         [] { return QStringLiteral("%1").arg(QImage(QDir::home().filePath("fitted.jpg")).width()); }, "1280"},
        {"rotate cw", menu({"View", "Rotate CW"}), picture(), "tall cw"},
        {"rotate ccw", menu({"View", "Rotate CCW"}), picture(), "wide upright"},
        {"Ctrl+R", key(QKeySequence("Ctrl+R")), picture(), "tall cw"},
        {"Ctrl+Shift+R", key(QKeySequence("Ctrl+Shift+R")), picture(), "wide upright"},
        {"Ctrl+Shift+R again", key(QKeySequence("Ctrl+Shift+R")), picture(), "tall ccw"},
        {"Ctrl+R again", key(QKeySequence("Ctrl+R")), picture(), "wide upright"},
        {"debug info", menu({"View", "Debug Info"}), shown(QStringLiteral("R_gain")), "R_gain"},
        {"debug log", menu({"View", "Debug log"}), [] { return storedValue(QDir::homePath(), "debug_log").toString(); },
         "true"},
        {"capture", expectModal(menu({"File", "Capture"})), [] { return modalSeen; }, "QFileDialog Save as"},
        {"Ctrl+S", expectModal(key(QKeySequence("Ctrl+S"))), [] { return modalSeen; }, "QFileDialog Save as"},
        {"sync", expectModal(menu({"Sync", "Sync all parameters to camera now"})),
         [] { return modalSeen + QLatin1Char(' ') + stores()(); }, "QMessageBox Message stores 0"},
        {"F5", expectModal(key(QKeySequence(Qt::Key_F5))), [] { return modalSeen + QLatin1Char(' ') + stores()(); },
         "QMessageBox Message stores 0"},
        {"store", menu({"Sync", "Store all parameters to the camera"}), stores(), "stores 1"},
        {"Chinese", menu({"Langage", "中文"}), shown(QStringLiteral("锐度")), "锐度"},
        {"English", menu({"语言", "English"}), shown(QStringLiteral("Sharpness")), "Sharpness"},
        {"original pixel", menu({"View", "Display", "Original pixel"}), picture(), "wide upright"},
    };
    for (const Binding &b : bindings) {
        b.input();
        QString got;
        const bool reached = QTest::qWaitFor([&] { return (got = b.effect()) == b.expected; }, 10000);
        check(reached, QStringLiteral("%1: %2, expected %3").arg(QLatin1String(b.what), got, b.expected));
    }

    // A camera that refuses a write: the row's value turns red with the reason until a good write.
    const auto failure = [] { return part(QStringLiteral("Sharpness"), "failure")->property("failure").toString(); };
    const auto valueLabelRed = [] {
        QQuickItem *slider = part(QStringLiteral("Sharpness"), "newPosition");
        return find(slider, [](QQuickItem *i) { return i->property("color") == QColor("#E1392D"); }) != nullptr;
    };
    vcam_set_ctrl_fault("EIO", 0);
    step(QStringLiteral("Sharpness"))();
    check(QTest::qWaitFor([&] { return failure().endsWith(QLatin1String("Input/output error")); }), failure());
    check(valueLabelRed(), QStringLiteral("refused value in red"));
    vcam_set_ctrl_fault("off", 0);
    step(QStringLiteral("Sharpness"))();
    check(QTest::qWaitFor([&] { return failure().isEmpty() && !valueLabelRed(); }, 10000), QStringLiteral("cleared"));

    // Original pixel is 1:1 from the top left, panned within limits.
    QQuickItem *picture = previewItem();
    if (!picture) {
        window->close();
        return;
    }
    QQuickItem *area = picture->parentItem();
    check(picture->size() == QSizeF(1280, 720) && picture->position() == QPointF(0, 0), QStringLiteral("1:1"));
    const QPoint from = area->mapToScene(QPointF(area->width() / 2, area->height() / 2)).toPoint();
    for (const QPoint by : {QPoint(300, 300), QPoint(-3000, -3000)}) {
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, from);
        for (int step = 1; step <= 10; ++step)
            QTest::mouseMove(window, from + by * step / 10);
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, from + by);
    }
    // Wider than the area: stopped where the edges meet; lower than the area: stopped at the top.
    check(picture->position() == QPointF(area->width() - 1280, 0), QStringLiteral("panning"));
    check(vcam_violations(0) == 0, QStringLiteral("violations: %1").arg(vcam_violations(0)));

    // Image statistics: a right-button drag on the panned picture marks that part of it, the
    // panel measures it, and A/B shows the held reference over the picture while it is down.
    ImageStats *stats = backend->imageStats();
    clickText(QStringLiteral("View"));
    clickText(QStringLiteral("Image statistics"));
    check(stats->isVisible() && find("text", QStringLiteral("Log scale")), QStringLiteral("statistics panel"));
    const QPoint a = area->mapToScene(QPointF(100, 300)).toPoint(), b = area->mapToScene(QPointF(300, 400)).toPoint();
    QTest::mousePress(window, Qt::RightButton, Qt::NoModifier, a);
    for (int step = 1; step <= 10; ++step)
        QTest::mouseMove(window, a + (b - a) * step / 10);
    QTest::mouseRelease(window, Qt::RightButton, Qt::NoModifier, b);
    const QPointF p = picture->mapFromScene(a), q = picture->mapFromScene(b);
    const QRectF expected(p.x() / picture->width(), p.y() / picture->height(),
                          (q.x() - p.x()) / picture->width(), (q.y() - p.y()) / picture->height());
    const QRectF r = stats->region();
    check(qAbs(r.x() - expected.x()) < 1e-3 && qAbs(r.y() - expected.y()) < 1e-3
              && qAbs(r.width() - expected.width()) < 1e-3 && qAbs(r.height() - expected.height()) < 1e-3,
          QStringLiteral("region %1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()));
    check(QTest::qWaitFor([&] { return stats->live().value(QStringLiteral("region")).toBool(); }, 10000),
          QStringLiteral("region measured"));
    clickText(QStringLiteral("Hold as reference"));
    check(QTest::qWaitFor([&] { return stats->referenceHeld(); }, 10000), QStringLiteral("reference held"));
    auto referenceView = [area] {
        return find(area, [](QQuickItem *i) { return i->metaObject()->className() == QByteArray("StillImageItem"); });
    };
    QQuickItem *ab = find("text", QStringLiteral("A/B (hold)"));
    check(ab && !referenceView(), QStringLiteral("A/B up"));
    if (ab) {
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, ab->mapToScene(QPointF(5, 5)).toPoint());
        check(referenceView() && referenceView()->size() == picture->size(), QStringLiteral("reference shown"));
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, ab->mapToScene(QPointF(5, 5)).toPoint());
    }

    // A store the camera refuses is told, and leaves the changes unstored.
    vcam_set_ctrl_fault("EPIPE", 0);
    clickText(QStringLiteral("Sync"));
    clickText(QStringLiteral("Store all parameters to the camera"));
    check(QTest::qWaitFor([] { return find("text", QStringLiteral("The camera did not store the parameters: "
                                                                  "Register selector: Broken pipe")); }),
          QStringLiteral("store failure told"));
    vcam_set_ctrl_fault("off", 0);

    // A change after the store, then File > Exit: the exit prompt; "Save and exit" stores and ends.
    step(QStringLiteral("Sharpness"))();
    onNextBox([](QMessageBox *box) {
        QAbstractButton *save = box->button(QMessageBox::Ok);
        check(save && save->text() == QLatin1String("Save and exit"), QStringLiteral("save button"));
        say(QStringLiteral("prompt: %1, failures %2").arg(box->windowTitle()).arg(failures));
        if (save)
            QTest::mouseClick(save, Qt::LeftButton);
    });
    menu({"File", "Exit"})();
}

int runChild(int argc, char **argv)
{
    qInstallMessageHandler(qmlWarnings);
    vcam_unplug(1); // plugged in later
    setStartupObserver([](MyApplication &, QmlData *b) {
        backend = b;
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
        QCOMPARE(values.join(QLatin1Char(' ')), QStringLiteral("15 6 1 0 false en_US"));
        QFile store(home.filePath(QStringLiteral("camera.store")));
        QVERIFY(store.open(QIODevice::ReadOnly));
        const QByteArray stored = store.readAll();
        QVERIFY2(stored.contains("sharpness 15\n") && stored.contains("wb_temperature 2100\n"), stored.constData());
        QVERIFY2(out.contains(QRegularExpression("LOG: camera control Sharpness write 13 failed after \\d+ ms: "
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
