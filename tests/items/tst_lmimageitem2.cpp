// The painted preview item in a real window.

#include "items/lmimageitem2.h"
#include "previewtestutil.h"

#include <QtTest>

#include <memory>

using namespace previewtest;

namespace {
const QColor windowColour(40, 80, 120);
} // namespace

class TestLmImageItem2 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nullPaintsBlack();
    void frameOfItemSizeIsPaintedUnscaled();
    void otherSizesAreStretched_data();
    void otherSizesAreStretched();
    void resizeKeepsOldFrameAtOldSize();

private:
    std::unique_ptr<QQuickWindow> window;
    LmImageItem2 *item = nullptr;
};

void TestLmImageItem2::init()
{
    window = std::make_unique<QQuickWindow>();
    window->setColor(windowColour);
    window->resize(320, 200);
    item = new LmImageItem2(window->contentItem());
    item->setSize(QSizeF(200, 100));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestLmImageItem2::cleanup()
{
    window.reset();
    item = nullptr;
}

void TestLmImageItem2::nullPaintsBlack()
{
    QImage screen = grab(*window);
    QVERIFY(near(screen.pixelColor(100, 50), Qt::black));
    QVERIFY(near(screen.pixelColor(198, 98), Qt::black));
    QVERIFY(near(screen.pixelColor(260, 150), windowColour));

    item->setImage(solid(QSize(200, 100), Qt::red));
    QVERIFY(near(colourAt(*window, QPoint(100, 50)), Qt::red));
    item->setImage(QImage());
    QVERIFY(near(colourAt(*window, QPoint(100, 50)), Qt::black));
}

void TestLmImageItem2::frameOfItemSizeIsPaintedUnscaled()
{
    // Single-pixel checks survive only if nothing scales them.
    QImage checks(200, 100, QImage::Format_RGB32);
    for (int y = 0; y < checks.height(); ++y)
        for (int x = 0; x < checks.width(); ++x)
            checks.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 0) : qRgb(0, 0, 255));
    // 200.4 x 99.6 rounds to the frame's size.
    item->setSize(QSizeF(200.4, 99.6));
    item->setImage(checks);
    const QImage screen = grab(*window).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(screen.copy(0, 0, 200, 100), checks);
}

void TestLmImageItem2::otherSizesAreStretched_data()
{
    QTest::addColumn<QSize>("frameSize");
    QTest::newRow("smaller") << QSize(40, 20);
    QTest::newRow("larger, other aspect") << QSize(640, 640);
    QTest::newRow("one pixel narrower") << QSize(199, 100);
}

void TestLmImageItem2::otherSizesAreStretched()
{
    QFETCH(QSize, frameSize);
    const QImage frame = quadrants(frameSize);
    item->setImage(frame);
    const QImage screen = grab(*window);
    const QVector<QPoint> shown = quadrantCentres(QRect(0, 0, 200, 100));
    const QVector<QPoint> source = quadrantCentres(frame.rect());
    for (int i = 0; i < 4; ++i)
        QVERIFY2(near(screen.pixelColor(shown[i]), frame.pixelColor(source[i])),
                 qPrintable(QString::number(i)));
    // Edge to edge, nothing of the black background left.
    QVERIFY(near(screen.pixelColor(199, 99), Qt::white, 8));
    QVERIFY(near(screen.pixelColor(0, 0), Qt::red, 8));
}

void TestLmImageItem2::resizeKeepsOldFrameAtOldSize()
{
    const QImage frame = quadrants(QSize(200, 100));
    item->setImage(frame);
    QVERIFY(near(colourAt(*window, QPoint(150, 75)), Qt::white));

    item->setSize(QSizeF(300, 180));
    QImage screen = grab(*window);
    // Still 200 x 100 from the top-left; the rest of the item is not the frame.
    QVERIFY(near(screen.pixelColor(50, 25), Qt::red));
    QVERIFY(near(screen.pixelColor(150, 75), Qt::white));
    QVERIFY(!near(screen.pixelColor(250, 140), Qt::white));
    QVERIFY(!near(screen.pixelColor(150, 140), Qt::blue));

    // The next frame is scaled to the new size.
    item->setImage(frame);
    screen = grab(*window);
    QVERIFY(near(screen.pixelColor(225, 135), Qt::white));
    QVERIFY(near(screen.pixelColor(75, 135), Qt::blue));
}

int main(int argc, char **argv)
{
    useOpenGLSceneGraph();
    QGuiApplication app(argc, argv);
    TestLmImageItem2 test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lmimageitem2.moc"
