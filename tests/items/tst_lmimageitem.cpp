// The GL preview item in a real window: what reaches the screen for each frame
// format and size, and how the item copes with its renderer coming and going.

#include "items/lmimageitem.h"
#include "previewtestutil.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>

using namespace previewtest;

Q_DECLARE_METATYPE(QImage::Format)

class TestLmImageItem : public QObject
{
    Q_OBJECT

    std::unique_ptr<QQuickWindow> window;
    LmImageItem *item = nullptr;

    QRect itemRect() const { return item->mapRectToScene(item->boundingRect()).toRect(); }

    // Hands the frame in until the item's centre shows `colour`.
    bool showUntil(const QImage &frame, const QColor &colour)
    {
        for (int i = 0; i < 50; ++i) {
            item->setImage(frame);
            if (near(colourAt(*window, itemRect().center()), colour))
                return true;
            QTest::qWait(20);
        }
        return false;
    }

private slots:
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
        QTest::addColumn<bool>("smooth");
        QTest::addColumn<bool>("onCpu");
        const QSizeF is(200, 100);
        // Each format stretched by the GPU and scaled on the CPU both ways (odd
        // sizes, so scanline padding shows).
        for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_ARGB32,
                                 QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888,
                                 QImage::Format_RGB888, QImage::Format_Grayscale8}) {
            const QByteArray name = LmImageItem::formatName(f);
            QTest::newRow(name + " GPU") << f << is << QSize(42, 22) << true << false;
            QTest::newRow(name + " CPU smooth") << f << is << QSize(403, 201) << true << true;
            QTest::newRow(name + " CPU fast") << f << is << QSize(403, 201) << false << true;
        }
        // Only a frame smaller than the item both ways skips the CPU.
        const QImage::Format f = QImage::Format_RGB32;
        QTest::newRow("one pixel smaller") << f << is << QSize(199, 99) << true << false;
        QTest::newRow("item fractionally larger")
            << f << QSizeF(200.4, 100.4) << QSize(200, 100) << true << false;
        QTest::newRow("same width") << f << is << QSize(200, 50) << true << true;
        QTest::newRow("same height") << f << is << QSize(100, 100) << true << true;
        QTest::newRow("taller only") << f << is << QSize(100, 300) << true << true;
    }

    void framesShowRightWayUp()
    {
        QFETCH(QImage::Format, format);
        QFETCH(QSizeF, itemSize);
        QFETCH(QSize, frameSize);
        QFETCH(bool, smooth);
        QFETCH(bool, onCpu);
        item->setSize(itemSize);
        item->setSmoothScale(smooth);
        const int before = item->cpuScaledFrames();
        const QImage frame = quadrants(frameSize, format);
        QCOMPARE(frame.format(), format);
        item->setImage(frame);
        QCOMPARE(item->cpuScaledFrames() - before, onCpu ? 1 : 0);
        const QImage screen = grab(*window);
        VERIFY_QUADRANTS(screen, itemRect(), frame);
        QVERIFY(near(screen.pixelColor(300, 150), windowColour)); // nothing outside the item
    }

    // Clearing, alpha blending and refused formats, one frame after another.
    void clearAlphaAndRefusedFrames()
    {
        const QVector<QPoint> at = quadrantCentres(itemRect());
        QVERIFY(near(colourAt(*window, at[0]), windowColour)); // cleared before any frame
        QVERIFY(showUntil(solid(QSize(40, 20), Qt::green), Qt::green));

        // The green beneath is cleared away; half-transparent red blends over the window.
        item->setImage(halfRed(QSize(40, 20)));
        const QImage screen = grab(*window);
        const double a = 128 / 255.0;
        const QColor blended(qRound(255 * a + windowColour.red() * (1 - a)),
                             qRound(windowColour.green() * (1 - a)),
                             qRound(windowColour.blue() * (1 - a)));
        QVERIFY2(near(screen.pixelColor(at[0]), blended, 6),
                 qPrintable(describe(screen.pixelColor(at[0]))));
        QVERIFY(near(screen.pixelColor(at[1]), windowColour));

        // An opaque frame draws as usual afterwards (blending put back).
        item->setImage(solid(QSize(40, 20), Qt::blue));
        QVERIFY(near(colourAt(*window, at[1]), Qt::blue));

        // Formats it cannot upload are refused before any scaling; the picture stays.
        const int scaled = item->cpuScaledFrames();
        const QByteArray refused("LmImageItem::setImage: unsupported image format:  Format_");
        QTest::ignoreMessage(QtDebugMsg, (refused + "Indexed8").constData());
        item->setImage(solid(QSize(400, 200), Qt::red).convertToFormat(QImage::Format_Indexed8));
        QTest::ignoreMessage(QtDebugMsg, (refused + "RGB16").constData());
        item->setImage(solid(QSize(400, 200), Qt::red, QImage::Format_RGB16));
        QCOMPARE(item->cpuScaledFrames(), scaled);
        QVERIFY(near(colourAt(*window, at[1]), Qt::blue));

        // A null frame clears; the next real one draws again.
        item->setImage(QImage());
        QVERIFY(near(colourAt(*window, at[1]), windowColour));
        item->setImage(solid(QSize(40, 20), Qt::red));
        QVERIFY(near(colourAt(*window, at[1]), Qt::red));
    }

    // A resized item redraws the last frame over its new size until the next comes.
    void resizeKeepsFrameUntilNext()
    {
        const QImage frame = quadrants(QSize(40, 20));
        item->setImage(frame);
        VERIFY_QUADRANTS(grab(*window), itemRect(), frame);
        item->setSize(QSizeF(300, 180));
        VERIFY_QUADRANTS(grab(*window), itemRect(), frame);
        const QImage next = solid(QSize(40, 20), Qt::magenta);
        item->setImage(next);
        VERIFY_QUADRANTS(grab(*window), itemRect(), next);
    }

    // Notifies on change only; fast scaling keeps rows that smooth scaling blends.
    void smoothScale()
    {
        QSignalSpy spy(item, &LmImageItem::smoothScaleChanged);
        item->setSmoothScale(true);
        item->setSmoothScale(false);
        item->setSmoothScale(false);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), false);

        // Red and blue stripes two rows high, in a frame twice the item's height.
        QImage rows = solid(QSize(200, 200), Qt::red);
        QPainter painter(&rows);
        for (int y = 2; y < rows.height(); y += 4)
            painter.fillRect(0, y, 200, 2, Qt::blue);
        painter.end();
        item->setImage(rows);
        const QImage screen = grab(*window);
        for (int y = 2; y < 98; ++y) {
            const QColor c = screen.pixelColor(100, y);
            QVERIFY2(near(c, Qt::red, 8) || near(c, Qt::blue, 8), qPrintable(describe(c)));
        }
    }

    void rendererRecreated_data()
    {
        QTest::addColumn<bool>("viaWindow");
        QTest::newRow("item removed from the scene and re-added") << false;
        QTest::newRow("window hidden and shown again") << true;
    }

    void rendererRecreated()
    {
        QFETCH(bool, viaWindow);
        QVERIFY(showUntil(solid(QSize(20, 10), Qt::red), Qt::red));
        if (viaWindow) {
            window->setPersistentSceneGraph(false);
            window->setPersistentOpenGLContext(false);
            window->hide();
        } else {
            item->setParentItem(nullptr);
            window->update();
            grab(*window);
        }
        QTRY_VERIFY(!item->hasRenderer());

        // Without a renderer frames are dropped, unscaled.
        const int scaled = item->cpuScaledFrames();
        item->setImage(solid(QSize(600, 300), Qt::green));
        item->setImage(solid(QSize(20, 10), Qt::green));
        QCOMPARE(item->cpuScaledFrames(), scaled);

        if (viaWindow) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        } else {
            item->setParentItem(window->contentItem());
        }
        grab(*window);
        QTRY_VERIFY(item->hasRenderer());
        // The new renderer starts cleared: neither the old red nor the dropped green.
        const QColor centre = colourAt(*window, itemRect().center());
        QVERIFY2(near(centre, windowColour), qPrintable(describe(centre)));
        const QImage frame = quadrants(QSize(40, 20));
        item->setImage(frame);
        VERIFY_QUADRANTS(grab(*window), itemRect(), frame);
    }

    void itemDeletedWhileShown()
    {
        QVERIFY(showUntil(solid(QSize(600, 300), Qt::red), Qt::red));
        item->setImage(solid(QSize(20, 10), Qt::green)); // still pending
        delete item;
        // The renderer goes on the render thread after the item has gone.
        QVERIFY(near(colourAt(*window, QPoint(100, 50)), windowColour));
        grab(*window);

        // A new item in the same window works as the first did.
        item = new LmImageItem(window->contentItem());
        item->setSize(QSizeF(200, 100));
        QTRY_VERIFY((grab(*window), item->hasRenderer()));
        QVERIFY(showUntil(solid(QSize(20, 10), Qt::blue), Qt::blue));
    }

    // A producer thread hands over frames that need scaling while the scene
    // graph throws away and re-creates the renderer underneath it.
    void framesFromAnotherThreadDuringTeardown()
    {
        std::atomic<bool> stop{false};
        std::atomic<int> handed{0};
        const QImage big = quadrants(QSize(640, 360));
        std::unique_ptr<QThread> producer(QThread::create([&] {
            while (!stop.load()) {
                item->setImage(big);
                item->setImage(QImage());
                handed.fetch_add(2);
            }
        }));
        producer->start();
        for (int round = 0; round < 15; ++round) {
            item->setParentItem(nullptr);
            grab(*window);
            item->setParentItem(window->contentItem());
            grab(*window);
        }
        stop = true;
        producer->wait();
        QVERIFY(handed.load() > 0);
        QVERIFY(showUntil(solid(QSize(20, 10), Qt::blue), Qt::blue));
    }
};

PREVIEW_TEST_MAIN(TestLmImageItem)

#include "tst_lmimageitem.moc"
