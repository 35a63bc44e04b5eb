// Frame rate of the tuning window at 1920x1080 while the user drags a slider:
// the real start-up on the virtual camera, the Sharpness handle dragged back
// and forth for a few seconds; prints the camera frames that reached the
// picture per second and the frames the window rendered per second.
//
//   xvfb-run -a -s "-screen 0 1920x1200x24" ./bench_window_drag [seconds]

#include "app/startup.h"
#include "backend/qmldata.h"
#include "items/lmimageitem.h"

#include "vcam_control.h"

#include <QElapsedTimer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <functional>

namespace {

QQuickItem *findItem(QQuickItem *root, const std::function<bool(QQuickItem *)> &match)
{
    if (match(root))
        return root;
    for (QQuickItem *child : root->childItems()) {
        if (QQuickItem *found = findItem(child, match))
            return found;
    }
    return nullptr;
}

void measure(QmlData *backend, double seconds)
{
    auto *window = qobject_cast<QQuickWindow *>(QGuiApplication::topLevelWindows().value(0));
    if (!window || !QTest::qWaitForWindowExposed(window)) {
        std::printf("no window\n");
        QCoreApplication::exit(1);
        return;
    }
    window->resize(1920, 1080);
    auto *picture = static_cast<LmImageItem *>(
        findItem(window->contentItem(), [](QQuickItem *i) { return qobject_cast<LmImageItem *>(i); }));
    int shown = 0, rendered = 0;
    backend->setFrameSink([&](const QImage &image) {
        ++shown;
        picture->setImage(image);
    });
    QObject::connect(window, &QQuickWindow::frameSwapped, [&] { ++rendered; });
    QTest::qWait(2000);

    QQuickItem *row = findItem(window->contentItem(), [](QQuickItem *i) {
        return i->property("title").toString() == QLatin1String("Sharpness");
    });
    QQuickItem *slider = findItem(row, [](QQuickItem *i) { return i->metaObject()->indexOfProperty("newPosition") >= 0; });
    auto *handle = slider->property("handle").value<QQuickItem *>();
    const QPoint start = handle->mapToScene(QPointF(handle->width() / 2, handle->height() / 2)).toPoint();

    auto phase = [&](bool drag) {
        if (drag)
            QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, start);
        shown = rendered = 0;
        const long cameraBefore = vcam_frames_delivered(0);
        QElapsedTimer clock;
        clock.start();
        for (int step = 0; clock.elapsed() < seconds * 1000; ++step) {
            const int at = step % 60;
            const int dx = (at < 30 ? at : 60 - at) * 8; // 0..240 px and back
            if (drag)
                QTest::mouseMove(window, start + QPoint(dx, 0));
            QTest::qWait(16);
        }
        const double s = clock.elapsed() / 1000.0;
        if (drag)
            QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, start);
        std::printf("%s: window %dx%d, frame %dx%d, %.1f s: %.1f camera frames/s delivered, "
                    "%.1f shown in the picture/s, %.1f window frames rendered/s\n",
                    drag ? "dragging" : "idle    ", window->width(), window->height(),
                    backend->frameSize().value(0), backend->frameSize().value(1), s,
                    (vcam_frames_delivered(0) - cameraBefore) / s, shown / s, rendered / s);
        std::fflush(stdout);
    };
    phase(false);
    phase(true);
    QCoreApplication::exit(0);
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10;
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QDir(home.path()).mkpath(QStringLiteral("Vexlo"));
    qputenv("VEXLO_VCAM_STORE", home.filePath(QStringLiteral("camera.store")).toLocal8Bit());
    setStartupObserver([seconds](MyApplication &, QmlData *backend) {
        QTimer::singleShot(0, [backend, seconds] { measure(backend, seconds); });
    });
    return runTuner(argc, argv);
}
