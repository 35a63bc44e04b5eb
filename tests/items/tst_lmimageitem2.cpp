// The painted preview item in a real window.

#include "items/lmimageitem2.h"
#include "previewtestutil.h"

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
        QVERIFY(near(colourAt(*window, QPoint(198, 98)), Qt::black));
        item->setImage(solid(QSize(200, 100), Qt::red));
        QVERIFY(near(colourAt(*window, QPoint(198, 98)), Qt::red));
        item->setImage(QImage());
        QVERIFY(near(colourAt(*window, QPoint(198, 98)), Qt::black));
    }

    // A frame of the item's rounded size is painted bit for bit.
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

    // Any other size is stretched edge to edge when handed over, even one pixel
    // off; a later resize leaves it at the size it had.
    void otherSizesAreStretchedOnArrival()
    {
        for (const QSize size : {QSize(199, 100), QSize(640, 640)}) {
            const QImage frame = quadrants(size);
            item->setImage(frame);
            const QImage screen = grab(*window);
            QCOMPARE(quadrantMismatch(screen, QRect(0, 0, 200, 100), frame), QString());
            QVERIFY(near(screen.pixelColor(199, 99), Qt::white, 8));
            QVERIFY(near(screen.pixelColor(0, 0), Qt::red, 8));
        }
        item->setSize(QSizeF(300, 180));
        const QImage frame = quadrants(QSize(640, 640)); // as the last one
        QCOMPARE(quadrantMismatch(grab(*window), QRect(0, 0, 200, 100), frame), QString());
        QVERIFY(!near(colourAt(*window, QPoint(250, 140)), Qt::white));
        item->setImage(frame);
        QCOMPARE(quadrantMismatch(grab(*window), QRect(0, 0, 300, 180), frame), QString());
    }
};

QTEST_MAIN(TestLmImageItem2)

#include "tst_lmimageitem2.moc"
