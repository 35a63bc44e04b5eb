#pragma once

// Helpers shared by the preview item tests: a window holding one item, window
// grabs and colour comparisons with a small tolerance for GPU filtering.

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTest>

#include <cstdlib>

namespace previewtest {

inline void useOpenGLSceneGraph()
{
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::OpenGL);
}

inline bool near(const QColor &a, const QColor &b, int tolerance = 4)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance;
}

inline QString describe(const QColor &c)
{
    return QStringLiteral("(%1, %2, %3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// Lets the queued update reach the item, then renders the window and reads it.
inline QImage grab(QQuickWindow &window)
{
    QCoreApplication::processEvents();
    return window.grabWindow();
}

inline QColor colourAt(QQuickWindow &window, QPoint p)
{
    return grab(window).pixelColor(p);
}

// Four solid quadrants: red top-left, green top-right, blue bottom-left,
// white bottom-right, so both orientation and channel order show.
inline QImage quadrants(QSize size, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, QImage::Format_RGB32);
    const int hw = size.width() / 2;
    const int hh = size.height() / 2;
    QPainter p(&image);
    p.fillRect(0, 0, hw, hh, QColor(255, 0, 0));
    p.fillRect(hw, 0, size.width() - hw, hh, QColor(0, 255, 0));
    p.fillRect(0, hh, hw, size.height() - hh, QColor(0, 0, 255));
    p.fillRect(hw, hh, size.width() - hw, size.height() - hh, QColor(255, 255, 255));
    p.end();
    return format == QImage::Format_RGB32 ? image : image.convertToFormat(format);
}

inline QImage solid(QSize size, const QColor &colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

// Centres of the four quadrants of a rectangle, in the order of quadrants().
inline QVector<QPoint> quadrantCentres(const QRect &r)
{
    const int qx = r.width() / 4;
    const int qy = r.height() / 4;
    return {r.topLeft() + QPoint(qx, qy), r.topLeft() + QPoint(3 * qx, qy),
            r.topLeft() + QPoint(qx, 3 * qy), r.topLeft() + QPoint(3 * qx, 3 * qy)};
}

} // namespace previewtest
