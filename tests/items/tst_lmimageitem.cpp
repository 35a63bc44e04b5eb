// The GL preview item in a real window: what reaches the screen for each frame
// format and size, and how the item copes with its renderer coming and going.

#include "items/lmimageitem.h"
#include "previewtestutil.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace previewtest;

Q_DECLARE_METATYPE(QImage::Format)

namespace {
const QColor windowColour(40, 80, 120);
const QSize itemSize(200, 100);
} // namespace

class TestLmImageItem : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void framesShowRightWayUp_data();
    void framesShowRightWayUp();
    void nullImageClears();
    void alphaFramesBlendOverClearedBuffer();
    void unsupportedFormatIsRefused_data();
    void unsupportedFormatIsRefused();
    void scalingPath_data();
    void scalingPath();
    void resizeKeepsFrameUntilNext();
    void smoothScaleNotifiesOnChangeOnly();
    void rendererRecreated_data();
    void rendererRecreated();
    void itemDeletedWhileShown();
    void framesFromAnotherThreadDuringTeardown();

private:
    // Hands frames in until the window shows `colour` at `p` (the renderer may
    // not exist yet right after the window appears).
    bool showUntil(const QImage &frame, QPoint p, const QColor &colour);
    QRect itemRect() const { return item->mapRectToScene(item->boundingRect()).toRect(); }

    std::unique_ptr<QQuickWindow> window;
    LmImageItem *item = nullptr;
};

void TestLmImageItem::init()
{
    window = std::make_unique<QQuickWindow>();
    window->setColor(windowColour);
    window->resize(320, 200);
    item = new LmImageItem(window->contentItem());
    item->setSize(itemSize);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QTRY_VERIFY(item->hasRenderer());
}

void TestLmImageItem::cleanup()
{
    window.reset();
    item = nullptr;
}

bool TestLmImageItem::showUntil(const QImage &frame, QPoint p, const QColor &colour)
{
    for (int i = 0; i < 50; ++i) {
        item->setImage(frame);
        if (near(colourAt(*window, p), colour))
            return true;
        QTest::qWait(20);
    }
    return false;
}

void TestLmImageItem::framesShowRightWayUp_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<bool>("smooth");

    const QImage::Format formats[] = {QImage::Format_RGB32,    QImage::Format_ARGB32,
                                      QImage::Format_ARGB32_Premultiplied,
                                      QImage::Format_RGBA8888, QImage::Format_RGB888,
                                      QImage::Format_Grayscale8};
    for (QImage::Format f : formats) {
        const QByteArray name = LmImageItem::formatName(f);
        // Smaller frames go to the GPU as they are; larger ones (odd sizes, so
        // scanline padding shows) are scaled on the CPU first.
        QTest::newRow(name + " stretched by GPU") << f << QSize(42, 22) << true;
        QTest::newRow(name + " scaled on CPU") << f << QSize(403, 201) << true;
        QTest::newRow(name + " scaled on CPU, fast") << f << QSize(403, 201) << false;
    }
}

void TestLmImageItem::framesShowRightWayUp()
{
    QFETCH(QImage::Format, format);
    QFETCH(QSize, frameSize);
    QFETCH(bool, smooth);

    item->setSmoothScale(smooth);
    const QImage frame = quadrants(frameSize, format);
    QCOMPARE(frame.format(), format);
    const QVector<QPoint> source = quadrantCentres(frame.rect());
    const QVector<QPoint> shown = quadrantCentres(itemRect());
    item->setImage(frame);
    const QImage screen = grab(*window);
    for (int i = 0; i < 4; ++i) {
        const QColor expected = frame.pixelColor(source[i]);
        const QColor actual = screen.pixelColor(shown[i]);
        QVERIFY2(near(actual, expected),
                 qPrintable(QStringLiteral("quadrant %1: %2, expected %3")
                                .arg(i)
                                .arg(describe(actual), describe(expected))));
    }
    // Nothing is drawn outside the item.
    QVERIFY(near(screen.pixelColor(300, 150), windowColour));
}

void TestLmImageItem::nullImageClears()
{
    const QPoint centre = itemRect().center();
    // A fresh renderer shows a cleared framebuffer before any frame.
    QVERIFY(near(colourAt(*window, centre), windowColour));

    QVERIFY(showUntil(solid(QSize(20, 10), Qt::red), centre, Qt::red));
    item->setImage(QImage());
    QVERIFY2(near(colourAt(*window, centre), windowColour),
             qPrintable(describe(colourAt(*window, centre))));

    // And back to drawing with the next real frame.
    item->setImage(solid(QSize(20, 10), Qt::green));
    QVERIFY(near(colourAt(*window, centre), Qt::green));
}

void TestLmImageItem::alphaFramesBlendOverClearedBuffer()
{
    // Left half: red at half opacity; right half: fully transparent.
    QImage frame(40, 20, QImage::Format_ARGB32);
    frame.fill(Qt::transparent);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            frame.setPixel(x, y, qRgba(255, 0, 0, 128));

    QVERIFY(showUntil(solid(QSize(40, 20), Qt::green), itemRect().center(), Qt::green));
    item->setImage(frame);
    const QImage screen = grab(*window);
    const QVector<QPoint> at = quadrantCentres(itemRect());

    // The green frame beneath is cleared away first; what remains is the
    // half-transparent red over the window.
    const double a = 128 / 255.0;
    const QColor blended(qRound(255 * a + windowColour.red() * (1 - a)),
                         qRound(windowColour.green() * (1 - a)),
                         qRound(windowColour.blue() * (1 - a)));
    QVERIFY2(near(screen.pixelColor(at[0]), blended, 6),
             qPrintable(describe(screen.pixelColor(at[0])) + " vs " + describe(blended)));
    QVERIFY2(near(screen.pixelColor(at[1]), windowColour),
             qPrintable(describe(screen.pixelColor(at[1]))));

    // An opaque frame afterwards draws as usual (blending state put back).
    item->setImage(solid(QSize(40, 20), Qt::blue));
    QVERIFY(near(colourAt(*window, at[1]), Qt::blue));
    // And a cleared item shows the window again.
    item->setImage(QImage());
    QVERIFY(near(colourAt(*window, at[1]), windowColour));
}

void TestLmImageItem::unsupportedFormatIsRefused_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("Indexed8") << QImage::Format_Indexed8
                              << QByteArray("LmImageItem::setImage: unsupported image format:  "
                                            "Format_Indexed8");
    QTest::newRow("RGB16") << QImage::Format_RGB16
                           << QByteArray("LmImageItem::setImage: unsupported image format:  "
                                         "Format_RGB16");
}

void TestLmImageItem::unsupportedFormatIsRefused()
{
    QFETCH(QImage::Format, format);
    QFETCH(QByteArray, message);

    const QPoint centre = itemRect().center();
    QVERIFY(showUntil(solid(QSize(20, 10), Qt::red), centre, Qt::red));
    const int scaled = item->cpuScaledFrames();

    QImage bad = solid(QSize(400, 200), Qt::blue).convertToFormat(format);
    QCOMPARE(bad.format(), format);
    QTest::ignoreMessage(QtDebugMsg, message.constData());
    item->setImage(bad);
    QCOMPARE(item->cpuScaledFrames(), scaled);
    QVERIFY(near(colourAt(*window, centre), Qt::red));
    QVERIFY(near(colourAt(*window, centre), Qt::red));
}

void TestLmImageItem::scalingPath_data()
{
    QTest::addColumn<QSizeF>("itemSize");
    QTest::addColumn<QSize>("frameSize");
    QTest::addColumn<bool>("onCpu");

    QTest::newRow("smaller both ways") << QSizeF(200, 100) << QSize(100, 50) << false;
    QTest::newRow("one pixel smaller") << QSizeF(200, 100) << QSize(199, 99) << false;
    QTest::newRow("fractional item just larger") << QSizeF(200.4, 100.4) << QSize(200, 100) << false;
    QTest::newRow("same width") << QSizeF(200, 100) << QSize(200, 50) << true;
    QTest::newRow("same height") << QSizeF(200, 100) << QSize(100, 100) << true;
    QTest::newRow("same size") << QSizeF(200, 100) << QSize(200, 100) << true;
    QTest::newRow("wider only") << QSizeF(200, 100) << QSize(400, 50) << true;
    QTest::newRow("taller only") << QSizeF(200, 100) << QSize(100, 300) << true;
    QTest::newRow("larger both ways") << QSizeF(200, 100) << QSize(1920, 1080) << true;
}

void TestLmImageItem::scalingPath()
{
    QFETCH(QSizeF, itemSize);
    QFETCH(QSize, frameSize);
    QFETCH(bool, onCpu);

    item->setSize(itemSize);
    const int before = item->cpuScaledFrames();
    const QImage frame = quadrants(frameSize);
    item->setImage(frame);
    QCOMPARE(item->cpuScaledFrames() - before, onCpu ? 1 : 0);

    // Either way the frame fills the item, its aspect not kept.
    const QImage screen = grab(*window);
    const QVector<QPoint> shown = quadrantCentres(itemRect());
    const QVector<QPoint> source = quadrantCentres(frame.rect());
    for (int i = 0; i < 4; ++i)
        QVERIFY2(near(screen.pixelColor(shown[i]), frame.pixelColor(source[i])),
                 qPrintable(QString::number(i)));
}

void TestLmImageItem::resizeKeepsFrameUntilNext()
{
    const QImage frame = quadrants(QSize(40, 20));
    const QVector<QPoint> source = quadrantCentres(frame.rect());
    QVERIFY(showUntil(frame, quadrantCentres(itemRect())[0], Qt::red));

    item->setSize(QSizeF(300, 180));
    QImage screen = grab(*window);
    QVector<QPoint> shown = quadrantCentres(itemRect());
    for (int i = 0; i < 4; ++i)
        QVERIFY2(near(screen.pixelColor(shown[i]), frame.pixelColor(source[i])),
                 qPrintable(QString::number(i)));

    item->setImage(solid(QSize(40, 20), Qt::magenta));
    screen = grab(*window);
    for (const QPoint &p : shown)
        QVERIFY(near(screen.pixelColor(p), Qt::magenta));
}

void TestLmImageItem::smoothScaleNotifiesOnChangeOnly()
{
    QSignalSpy spy(item, &LmImageItem::smoothScaleChanged);
    item->setSmoothScale(true);
    item->setSmoothScale(false);
    item->setSmoothScale(false);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), false);

    // Fast scaling keeps rows that smooth scaling would blend: red and blue
    // stripes two rows high in a frame twice the item's height.
    QImage rows(200, 200, QImage::Format_RGB32);
    QPainter painter(&rows);
    for (int y = 0; y < rows.height(); y += 2)
        painter.fillRect(0, y, 200, 2, (y / 2) % 2 ? Qt::blue : Qt::red);
    painter.end();
    item->setImage(rows);
    const QImage screen = grab(*window);
    for (int y = 2; y < 98; ++y) {
        const QColor c = screen.pixelColor(100, y);
        QVERIFY2(near(c, Qt::red, 8) || near(c, Qt::blue, 8), qPrintable(describe(c)));
    }
}

void TestLmImageItem::rendererRecreated_data()
{
    QTest::addColumn<bool>("viaWindow");
    QTest::newRow("item removed from the scene and re-added") << false;
    QTest::newRow("window hidden and shown again") << true;
}

void TestLmImageItem::rendererRecreated()
{
    QFETCH(bool, viaWindow);
    const QPoint centre = itemRect().center();
    QVERIFY(showUntil(solid(QSize(20, 10), Qt::red), centre, Qt::red));

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

    // Dropped: no renderer takes it.
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
    QVERIFY2(near(colourAt(*window, centre), windowColour),
             qPrintable(describe(colourAt(*window, centre))));

    item->setImage(quadrants(QSize(40, 20)));
    const QImage screen = grab(*window);
    QVERIFY(near(screen.pixelColor(quadrantCentres(itemRect())[0]), Qt::red));
    QVERIFY(near(screen.pixelColor(quadrantCentres(itemRect())[3]), Qt::white));
}

void TestLmImageItem::itemDeletedWhileShown()
{
    QVERIFY(showUntil(solid(QSize(600, 300), Qt::red), itemRect().center(), Qt::red));
    item->setImage(solid(QSize(20, 10), Qt::green)); // still pending
    delete item;
    item = nullptr;
    // The renderer goes on the render thread after the item has gone.
    const QImage screen = grab(*window);
    QVERIFY(near(screen.pixelColor(100, 50), windowColour));
    grab(*window);

    // A new item in the same window works as the first did.
    item = new LmImageItem(window->contentItem());
    item->setSize(itemSize);
    QTRY_VERIFY((grab(*window), item->hasRenderer()));
    QVERIFY(showUntil(solid(QSize(20, 10), Qt::blue), itemRect().center(), Qt::blue));
}

void TestLmImageItem::framesFromAnotherThreadDuringTeardown()
{
    // A producer thread keeps handing over frames that need scaling, while the
    // scene graph throws away and re-creates the renderer underneath it.
    std::atomic<bool> stop{false};
    std::atomic<int> handed{0};
    const QImage big = quadrants(QSize(640, 360));
    QThread *producer = QThread::create([&] {
        while (!stop.load()) {
            item->setImage(big);
            item->setImage(QImage());
            handed.fetch_add(2);
        }
    });
    producer->start();

    for (int round = 0; round < 15; ++round) {
        item->setParentItem(nullptr);
        grab(*window);
        item->setParentItem(window->contentItem());
        grab(*window);
    }
    stop = true;
    producer->wait();
    delete producer;
    QVERIFY(handed.load() > 0);

    item->setImage(solid(QSize(20, 10), Qt::blue));
    QVERIFY(showUntil(solid(QSize(20, 10), Qt::blue), itemRect().center(), Qt::blue));
}

int main(int argc, char **argv)
{
    useOpenGLSceneGraph();
    QGuiApplication app(argc, argv);
    TestLmImageItem test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_lmimageitem.moc"
