// The painted preview item in a real window.

#include "items/lmimageitem2.h"
#include "previewtestutil.h"

#include <QtTest>

using namespace previewtest;

class TestLmImageItem2 : public QObject
{
    Q_OBJECT

    std::unique_ptr<QQuickWindow> window;
    LmImageItem2 *item = nullptr;

private slots:
    void init()
    {
        window = windowWith(item);
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    void cleanup() { window.reset(); }

    // Black over the whole item until the first frame and after a null one.
    void nullPaintsBlack()
    {
        const QImage screen = grab(*window);
        QVERIFY(near(screen.pixelColor(100, 50), Qt::black));
        QVERIFY(near(screen.pixelColor(198, 98), Qt::black));
        QVERIFY(near(screen.pixelColor(260, 150), windowColour));
        item->setImage(solid(QSize(200, 100), Qt::red));
        QVERIFY(near(colourAt(*window, QPoint(100, 50)), Qt::red));
        item->setImage(QImage());
        QVERIFY(near(colourAt(*window, QPoint(100, 50)), Qt::black));
    }

    // A frame of the item's rounded size is painted bit for bit: single-pixel
    // checks survive only if nothing scales them.
    void frameOfItemSizeIsPaintedUnscaled()
    {
        QImage checks(200, 100, QImage::Format_RGB32);
        for (int y = 0; y < checks.height(); ++y)
            for (int x = 0; x < checks.width(); ++x)
                checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 0) : qRgb(0, 0, 255));
        item->setSize(QSizeF(200.4, 99.6));
        item->setImage(checks);
        const QImage screen = grab(*window).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(screen.copy(0, 0, 200, 100), checks);
    }

    // Any other size is stretched edge to edge, even one pixel off.
    void otherSizesAreStretched()
    {
        for (const QSize size : {QSize(640, 640), QSize(199, 100)}) {
            const QImage frame = quadrants(size);
            item->setImage(frame);
            const QImage screen = grab(*window);
            VERIFY_QUADRANTS(screen, QRect(0, 0, 200, 100), frame);
            QVERIFY(near(screen.pixelColor(199, 99), Qt::white, 8));
            QVERIFY(near(screen.pixelColor(0, 0), Qt::red, 8));
        }
    }

    // Frames are scaled when handed over: a resize keeps the old one at its old size.
    void resizeKeepsOldFrameAtOldSize()
    {
        const QImage frame = quadrants(QSize(200, 100));
        item->setImage(frame);
        QVERIFY(near(colourAt(*window, QPoint(150, 75)), Qt::white));

        item->setSize(QSizeF(300, 180));
        QImage screen = grab(*window);
        QVERIFY(near(screen.pixelColor(50, 25), Qt::red));
        QVERIFY(near(screen.pixelColor(150, 75), Qt::white));
        QVERIFY(!near(screen.pixelColor(250, 140), Qt::white));
        QVERIFY(!near(screen.pixelColor(150, 140), Qt::blue));

        item->setImage(frame);
        VERIFY_QUADRANTS(grab(*window), QRect(0, 0, 300, 180), frame);
    }
};

PREVIEW_TEST_MAIN(TestLmImageItem2)

#include "tst_lmimageitem2.moc"
