#pragma once

// Helpers for the preview item tests: a window holding one item, window grabs,
// test frames and colour checks with a small tolerance for GPU filtering.

#include <QPainter>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QtTest>

#include <memory>

namespace previewtest {

// The preview items are tested on the OpenGL scene graph.
inline const bool openGLSceneGraph =
    (QQuickWindow::setSceneGraphBackend(QSGRendererInterface::OpenGL), true);

const QColor windowColour(40, 80, 120);

inline bool near(const QColor &a, const QColor &b, int tolerance = 4)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

// Lets the queued update reach the item, then renders the window and reads it.
inline QImage grab(QQuickWindow &window)
{
    QCoreApplication::processEvents();
    return window.grabWindow();
}

inline QColor colourAt(QQuickWindow &window, QPoint p) { return grab(window).pixelColor(p); }

inline QImage solid(QSize size, const QColor &colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

// Red top-left, green top-right, blue bottom-left, white bottom-right, so both
// orientation and channel order show.
inline QImage quadrants(QSize size, QImage::Format format = QImage::Format_RGB32)
{
    const QRgb corners[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    const QImage two(reinterpret_cast<const uchar *>(corners), 2, 2, QImage::Format_RGB32);
    return two.scaled(size).convertToFormat(format);
}

// Empty when the grab shows the frame stretched over `shown`, else what differs.
inline QString quadrantMismatch(const QImage &screen, const QRect &shown, const QImage &frame)
{
    for (const QPoint q : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QColor want = frame.pixelColor(q.x() * frame.width() / 4, q.y() * frame.height() / 4);
        const QPoint at =
            shown.topLeft() + QPoint(q.x() * shown.width() / 4, q.y() * shown.height() / 4);
        if (!near(screen.pixelColor(at), want))
            return QStringLiteral("%1 at (%2, %3), expected %4")
                .arg(screen.pixelColor(at).name()).arg(at.x()).arg(at.y()).arg(want.name());
    }
    return QString();
}

// A window showing one item of type T, 200 x 100 at its top-left.
template <typename T>
std::unique_ptr<QQuickWindow> windowWith(T *&item)
{
    auto window = std::make_unique<QQuickWindow>();
    window->setColor(windowColour);
    window->resize(320, 200);
    item = new T(window->contentItem());
    item->setSize(QSizeF(200, 100));
    window->show();
    return window;
}

} // namespace previewtest
