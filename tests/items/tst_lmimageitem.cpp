// The GL preview item in a real window: what reaches the screen for each frame
// format and size, and how the item copes with its renderer coming and going.

#include "items/lmimageitem.h"
#include "items/previewscale.h"
#include "previewtestutil.h"

#include <QRandomGenerator>
#include <QThread>

#include <atomic>

using namespace previewtest;

Q_DECLARE_METATYPE(QImage::Format)

class TestLmImageItem : public QObject
{
    Q_OBJECT

    std::unique_ptr<QQuickWindow> window;
    LmImageItem *item = nullptr;

    QRect itemRect() const { return item->mapRectToScene(item->boundingRect()).toRect(); }
    QString shows(const QImage &frame) { return quadrantMismatch(grab(*window), itemRect(), frame); }
    QColor centre() { return colourAt(*window, itemRect().center()); }
    QColor centreAfter(const QImage &frame) { return item->setImage(frame), centre(); }

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
        QTest::addColumn<bool>("onCpu");
        const QSizeF is(200, 100);
        // Each format stretched by the GPU and scaled on the CPU (odd sizes show
        // scanline padding).
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
        QTest::newRow("taller only") << f << is << QSize(100, 300) << true;
    }

    void framesShowRightWayUp()
    {
        QFETCH(QImage::Format, format);
        QFETCH(QSizeF, itemSize);
        QFETCH(QSize, frameSize);
        QFETCH(bool, onCpu);
        item->setSize(itemSize);
        const int before = item->cpuScaledFrames();
        const QImage frame = quadrants(frameSize, format);
        for (bool smooth : {true, false}) {
            item->setSmoothScale(smooth);
            item->setImage(frame);
            QCOMPARE(shows(frame), QString());
        }
        QCOMPARE(item->cpuScaledFrames() - before, onCpu ? 2 : 0);
        QVERIFY(near(colourAt(*window, QPoint(300, 150)), windowColour)); // nothing outside
    }

    // The CPU's smooth scaling is Qt's, pixel for pixel: odd sizes, the right
    // edge, shrinking by nearly three, and sizes left to Qt (shrinking by more,
    // or growing one way).
    void smoothScalingIsQts()
    {
        QImage frame(1280, 720, QImage::Format_RGB32);
        QRandomGenerator random(12);
        for (int y = 0; y < frame.height(); ++y) {
            auto *line = reinterpret_cast<quint32 *>(frame.scanLine(y));
            random.fillRange(line, frame.width());
            for (int x = 0; x < frame.width(); ++x)
                line[x] |= 0xff000000u;
        }
        for (const QSize size : {QSize(900, 506), QSize(641, 241), QSize(5, 3), QSize(300, 170),
                                 QSize(1300, 506)})
            QCOMPARE(previewScaled(frame, size), frame.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }

    // Null frames clear; unsupported ones are refused before any scaling.
    void clearedAndRefusedFrames()
    {
        QVERIFY(near(centre(), windowColour)); // cleared before the first frame
        QVERIFY(near(centreAfter(solid(QSize(40, 20), Qt::blue)), Qt::blue));
        const int scaled = item->cpuScaledFrames();
        const QByteArray refused("LmImageItem::setImage: unsupported image format:  Format_");
        QTest::ignoreMessage(QtDebugMsg, (refused + "Indexed8").constData());
        item->setImage(solid(QSize(400, 200), Qt::red).convertToFormat(QImage::Format_Indexed8));
        QTest::ignoreMessage(QtDebugMsg, (refused + "RGB16").constData());
        QVERIFY(near(centreAfter(solid(QSize(400, 200), Qt::red, QImage::Format_RGB16)), Qt::blue));
        QCOMPARE(item->cpuScaledFrames(), scaled);
        QVERIFY(near(centreAfter(QImage()), windowColour));
        QVERIFY(near(centreAfter(solid(QSize(40, 20), Qt::red)), Qt::red));
    }

    // A resized item redraws the last frame over its new size until the next comes.
    void resizeKeepsFrameUntilNext()
    {
        const QImage frame = quadrants(QSize(40, 20));
        item->setImage(frame);
        QCOMPARE(shows(frame), QString());
        item->setSize(QSizeF(300, 180));
        QCOMPARE(shows(frame), QString());
        QVERIFY(near(centreAfter(solid(QSize(40, 20), Qt::magenta)), Qt::magenta));
    }

    // Notifies on change only; fast scaling drops rows that smooth scaling blends.
    void smoothScale()
    {
        QSignalSpy spy(item, &LmImageItem::smoothScaleChanged);
        for (bool smooth : {true, false, false})
            item->setSmoothScale(smooth);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first(), QVariant(false));

        QImage rows = solid(QSize(200, 200), Qt::red); // one-row stripes, twice the item's height
        for (int y = 1; y < rows.height(); y += 2)
            QPainter(&rows).fillRect(0, y, 200, 1, Qt::blue);
        item->setImage(rows);
        const QImage screen = grab(*window);
        for (int y = 2; y < 98; ++y) {
            const QColor c = screen.pixelColor(100, y);
            QVERIFY2(near(c, Qt::red, 8) || near(c, Qt::blue, 8), qPrintable(c.name()));
        }
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
        QTRY_VERIFY((grab(*window), !item->hasRenderer()));
        // Without a renderer frames are dropped, unscaled.
        const int scaled = item->cpuScaledFrames();
        item->setImage(solid(QSize(600, 300), Qt::green));
        item->setImage(solid(QSize(20, 10), Qt::green));
        QCOMPARE(item->cpuScaledFrames(), scaled);

        how == 1 ? window->show() : item->setParentItem(window->contentItem());
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTRY_VERIFY((grab(*window), item->hasRenderer()));
        // The new renderer starts cleared: neither the old red nor the dropped green.
        QVERIFY(near(centre(), windowColour));
        const QImage frame = quadrants(QSize(40, 20));
        item->setImage(frame);
        QCOMPARE(shows(frame), QString());
    }

    // A producer thread hands over frames that need scaling while the scene
    // graph throws away and re-creates the renderer underneath it.
    void framesFromAnotherThreadDuringTeardown()
    {
        std::atomic<bool> stop{false};
        std::atomic<int> handed{0};
        const QImage big = quadrants(QSize(640, 360));
        std::unique_ptr<QThread> producer(QThread::create([&] {
            for (; !stop; handed += 2) {
                item->setImage(big);
                item->setImage(QImage());
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
        QVERIFY(handed > 0);
        QVERIFY(near(centreAfter(solid(QSize(20, 10), Qt::blue)), Qt::blue));
    }
};

QTEST_MAIN(TestLmImageItem)

#include "tst_lmimageitem.moc"
