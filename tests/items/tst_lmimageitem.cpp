// The preview items in a real window: what reaches the screen for each frame
// format and size, and how the GL item copes with its renderer coming and going.

#include "items/lmimageitem.h"
#include "items/lmimageitem2.h"
#include "items/previewscale.h"

#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(QImage::Format)

namespace {
const QColor windowColour(40, 80, 120);

bool near(const QColor &a, const QColor &b, int tolerance = 4)
{
    return qMax(qMax(qAbs(a.red() - b.red()), qAbs(a.green() - b.green())), qAbs(a.blue() - b.blue())) <= tolerance;
}

QImage solid(QSize size, const QColor &colour, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(size, format);
    image.fill(colour);
    return image;
}

// Red, green / blue, white quadrants: orientation and channel order both show.
QImage quadrants(QSize size, QImage::Format format = QImage::Format_RGB32)
{
    const QRgb corners[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    return QImage(reinterpret_cast<const uchar *>(corners), 2, 2, QImage::Format_RGB32).scaled(size).convertToFormat(format);
}

// Lets the queued update reach the item first.
QImage grab(QQuickWindow &window)
{
    QCoreApplication::processEvents();
    return window.grabWindow();
}

// Empty when the window shows the frame stretched over `shown`, else what differs.
QString mismatch(QQuickWindow &window, const QRect &shown, const QImage &frame)
{
    const QImage screen = grab(window);
    for (const QPoint q : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QColor want = frame.pixelColor(q.x() * frame.width() / 4, q.y() * frame.height() / 4);
        const QPoint at = shown.topLeft() + QPoint(q.x() * shown.width() / 4, q.y() * shown.height() / 4);
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
} // namespace

class TestLmImageItem : public QObject
{
    Q_OBJECT

    std::unique_ptr<QQuickWindow> window;
    LmImageItem *item = nullptr;

    QString shows(const QImage &frame) { return mismatch(*window, item->mapRectToScene(item->boundingRect()).toRect(), frame); }
    QColor centre() { return grab(*window).pixelColor(item->mapToScene(QPointF(100, 50)).toPoint()); }
    QColor centreAfter(const QImage &frame) { return item->setImage(frame), centre(); }

private slots:
    void initTestCase() { QQuickWindow::setSceneGraphBackend(QSGRendererInterface::OpenGL); }

    void init()
    {
        window = windowWith(item);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY(item->hasRenderer());
    }

    void cleanup() { window.reset(); }

    void framesShowRightWayUp_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<QSizeF>("itemSize");
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<bool>("onCpu");
        const QSizeF is(200, 100);
        // Each format stretched by the GPU and scaled on the CPU (odd sizes: scanline padding).
        for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_ARGB32,
                                 QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888,
                                 QImage::Format_RGB888, QImage::Format_Grayscale8}) {
            QTest::newRow(LmImageItem::formatName(f) + " GPU") << f << is << QSize(42, 22) << false;
            QTest::newRow(LmImageItem::formatName(f) + " CPU") << f << is << QSize(403, 201) << true;
        }
        // Only a frame smaller than the item both ways skips the CPU.
        const QImage::Format f = QImage::Format_RGB32;
        QTest::newRow("one pixel smaller") << f << is << QSize(199, 99) << false;
        QTest::newRow("item a fraction larger") << f << QSizeF(200.4, 100.4) << QSize(200, 100) << false;
        QTest::newRow("same width") << f << is << QSize(200, 50) << true;
        QTest::newRow("same height") << f << is << QSize(100, 100) << true;
    }

    void framesShowRightWayUp()
    {
        QFETCH(QImage::Format, format);
        QFETCH(QSize, frameSize);
        QFETCH(bool, onCpu);
        QFETCH(QSizeF, itemSize);
        item->setSize(itemSize);
        const int before = item->cpuScaledFrames();
        const QImage frame = quadrants(frameSize, format);
        for (bool smooth : {true, false}) {
            item->setSmoothScale(smooth);
            item->setImage(frame);
            QCOMPARE(shows(frame), QString());
        }
        QCOMPARE(item->cpuScaledFrames() - before, onCpu ? 2 : 0);
        QVERIFY(near(grab(*window).pixelColor(300, 150), windowColour)); // nothing outside
    }

    // The CPU's smooth scaling is Qt's, pixel for pixel: odd sizes, the right edge, shrinking
    // by nearly three, and sizes left to Qt (shrinking by more, or growing one way).
    void smoothScalingIsQts()
    {
        QImage frame(1280, 720, QImage::Format_ARGB32);
        QRandomGenerator(12).fillRange(reinterpret_cast<quint32 *>(frame.bits()), int(frame.sizeInBytes() / 4));
        frame = frame.convertToFormat(QImage::Format_RGB32);
        for (const QSize size : {QSize(900, 506), QSize(641, 241), QSize(5, 3), QSize(300, 170),
                                 QSize(1300, 506)})
            QCOMPARE(previewScaled(frame, size), frame.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }

    // Translucent frames are premultiplied once and blended over what is behind the item.
    void translucentFrames()
    {
        const QImage red = solid(QSize(40, 20), QColor(255, 0, 0, 128), QImage::Format_ARGB32);
        for (QImage::Format f : {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888}) {
            const QColor shown = centreAfter(red.convertToFormat(f));
            QVERIFY2(near(shown, QColor((255 + 40) / 2, 80 / 2, 120 / 2)),
                     (LmImageItem::formatName(f) + ' ' + shown.name().toLatin1()).constData());
        }
    }

    // Null frames clear; unsupported ones are refused before any scaling. A resized
    // item draws the last frame over its new size until the next comes.
    void clearedRefusedAndResized()
    {
        QVERIFY(near(centre(), windowColour)); // cleared before the first frame
        QVERIFY(near(centreAfter(solid(QSize(40, 20), Qt::blue)), Qt::blue));
        QTest::ignoreMessage(QtDebugMsg, "LmImageItem::setImage: unsupported image format:  Format_RGB16");
        QVERIFY(near(centreAfter(solid(QSize(400, 200), Qt::red, QImage::Format_RGB16)), Qt::blue));
        QCOMPARE(item->cpuScaledFrames(), 0);
        QVERIFY(near(centreAfter(QImage()), windowColour));
        const QImage frame = quadrants(QSize(40, 20));
        item->setImage(frame);
        item->setSize(QSizeF(300, 180));
        QCOMPARE(shows(frame), QString());
    }

    void rendererRecreated_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("item removed from the scene and re-added") << 0;
        QTest::newRow("window hidden and shown again") << 1;
        QTest::newRow("item deleted with a frame pending, a new one added") << 2;
    }

    void rendererRecreated()
    {
        QFETCH(int, how);
        QVERIFY(near(centreAfter(solid(QSize(600, 300), Qt::red)), Qt::red));
        window->setPersistentSceneGraph(false);
        window->setPersistentOpenGLContext(false);
        if (how == 0) {
            item->setParentItem(nullptr);
        } else if (how == 1) {
            window->hide();
        } else { // the old renderer goes on the render thread after its item
            item->setImage(solid(QSize(20, 10), Qt::green));
            delete item;
            item = new LmImageItem;
            item->setParent(window->contentItem()); // owned, not yet shown
            item->setSize(QSizeF(200, 100));
        }
        // No grab of a hidden window: the render loop may be letting go of its context.
        QTRY_VERIFY(!item->hasRenderer());
        // Without a renderer frames are dropped, unscaled.
        const int scaled = item->cpuScaledFrames();
        item->setImage(solid(QSize(600, 300), Qt::green));
        item->setImage(solid(QSize(20, 10), Qt::green));
        QCOMPARE(item->cpuScaledFrames(), scaled);

        how == 1 ? window->show() : item->setParentItem(window->contentItem());
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY(item->hasRenderer());
        // The new renderer starts cleared: neither the old red nor the dropped green.
        QVERIFY(near(centre(), windowColour));
        const QImage frame = quadrants(QSize(40, 20));
        item->setImage(frame);
        QCOMPARE(shows(frame), QString());
    }

    // The painted item: black until the first frame and after a null one; a frame of the
    // item's rounded size painted bit for bit; any other size stretched edge to edge
    // when handed over, and left so by a later resize.
    void paintedItem()
    {
        LmImageItem2 *painted = nullptr;
        window = windowWith(painted);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(near(grab(*window).pixelColor(198, 98), Qt::black));
        QImage checks(200, 100, QImage::Format_RGB32);
        for (int y = 0; y < checks.height(); ++y)
            for (int x = 0; x < checks.width(); ++x)
                checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 0) : qRgb(0, 0, 255));
        painted->setSize(QSizeF(200.4, 99.6));
        painted->setImage(checks);
        QCOMPARE(grab(*window).convertToFormat(QImage::Format_RGB32).copy(0, 0, 200, 100), checks);
        painted->setImage(QImage());
        QVERIFY(near(grab(*window).pixelColor(198, 98), Qt::black));
        const QImage square = quadrants(QSize(640, 640));
        painted->setImage(square);
        QCOMPARE(mismatch(*window, QRect(0, 0, 200, 100), square), QString());
        QVERIFY(near(grab(*window).pixelColor(199, 99), Qt::white, 8));
        painted->setSize(QSizeF(300, 180));
        QCOMPARE(mismatch(*window, QRect(0, 0, 200, 100), square), QString());
        painted->setImage(square);
        QCOMPARE(mismatch(*window, QRect(0, 0, 300, 180), square), QString());
    }
};

QTEST_MAIN(TestLmImageItem)

#include "tst_lmimageitem.moc"
