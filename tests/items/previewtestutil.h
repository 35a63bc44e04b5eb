#pragma once

// Helpers shared by the preview item tests: a window holding one item, window
// grabs, test frames and colour comparisons with a small tolerance for GPU filtering.

#include <QColor>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTest>

#include <cstdlib>
#include <memory>

namespace previewtest {

const QColor windowColour(40, 80, 120);

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
    QImage image = solid(size, Qt::white);
    const int hw = size.width() / 2;
    const int hh = size.height() / 2;
    QPainter p(&image);
    p.fillRect(0, 0, hw, hh, QColor(255, 0, 0));
    p.fillRect(hw, 0, size.width() - hw, hh, QColor(0, 255, 0));
    p.fillRect(0, hh, hw, size.height() - hh, QColor(0, 0, 255));
    p.end();
    return image.convertToFormat(format);
}

// Left half red at half opacity, right half fully transparent.
inline QImage halfRed(QSize size, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image = solid(size, Qt::transparent, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixel(x, y, qRgba(255, 0, 0, 128));
    return image.convertToFormat(format);
}

// Centres of the four quadrants of a rectangle, in the order of quadrants().
inline QVector<QPoint> quadrantCentres(const QRect &r)
{
    const int qx = r.width() / 4;
    const int qy = r.height() / 4;
    return {r.topLeft() + QPoint(qx, qy), r.topLeft() + QPoint(3 * qx, qy),
            r.topLeft() + QPoint(qx, 3 * qy), r.topLeft() + QPoint(3 * qx, 3 * qy)};
}

// Whether `frame` shows stretched over `shown` in the screen grab: an empty
// string, or what differs.
inline QString quadrantMismatch(const QImage &screen, const QRect &shown, const QImage &frame)
{
    const QVector<QPoint> at = quadrantCentres(shown);
    const QVector<QPoint> from = quadrantCentres(frame.rect());
    for (int i = 0; i < 4; ++i) {
        const QColor actual = screen.pixelColor(at[i]);
        const QColor expected = frame.pixelColor(from[i]);
        if (!near(actual, expected))
            return QStringLiteral("quadrant %1: %2, expected %3")
                .arg(i)
                .arg(describe(actual), describe(expected));
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

#define VERIFY_QUADRANTS(screen, shown, frame)                                     \
    do {                                                                           \
        const QString mismatch_ = previewtest::quadrantMismatch(screen, shown, frame); \
        QVERIFY2(mismatch_.isEmpty(), qPrintable(mismatch_));                      \
    } while (false)

// The preview items are tested on the OpenGL scene graph.
#define PREVIEW_TEST_MAIN(TestClass)                                                \
    int main(int argc, char **argv)                                                \
    {                                                                              \
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::OpenGL);          \
        QGuiApplication app(argc, argv);                                           \
        TestClass test;                                                            \
        return QTest::qExec(&test, argc, argv);                                    \
    }
