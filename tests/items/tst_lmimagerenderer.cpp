// The renderer on its own, in an offscreen context: the framebuffer contents
// and the OpenGL state it leaves behind, which the scene graph hides on screen.

#include "items/lmimageitem.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(QImage::Format)

class TestLmImageRenderer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void alphaFramesLeaveStateAsFound_data();
    void alphaFramesLeaveStateAsFound();
    void clearOnlyAndUnsupportedFramesDrawNothing();
    void textureReusedForSameSizeAndRecreatedForNew();

private:
    void hand(const QImage &frame);
    QImage contents(); // row 0 = framebuffer row 0 (the frame's first scanline)

    QOffscreenSurface surface;
    QOpenGLContext context;
    QOpenGLFunctions *gl = nullptr;
    std::shared_ptr<LmImageFrameSlot> slot;
    LmImageItemRenderer *renderer = nullptr;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;
};

void TestLmImageRenderer::init()
{
    if (!surface.isValid())
        surface.create();
    if (!context.isValid())
        QVERIFY(context.create());
    QVERIFY(context.makeCurrent(&surface));
    gl = context.functions();

    slot = std::make_shared<LmImageFrameSlot>();
    renderer = new LmImageItemRenderer([] {}, slot);
    QVERIFY(renderer->initializeGL());
    fbo.reset(renderer->createFramebufferObject(QSize(8, 4)));
    QVERIFY(fbo->isValid());
    QVERIFY(fbo->bind());
    gl->glViewport(0, 0, 8, 4);
}

void TestLmImageRenderer::cleanup()
{
    context.makeCurrent(&surface);
    fbo.reset();
    delete renderer;
    renderer = nullptr;
    slot.reset();
    context.doneCurrent();
}

void TestLmImageRenderer::hand(const QImage &frame)
{
    {
        QMutexLocker lock(&slot->mutex);
        slot->pendingImage = frame;
        slot->clearOnly = frame.isNull();
    }
    renderer->render();
}

QImage TestLmImageRenderer::contents()
{
    return fbo->toImage(false).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void TestLmImageRenderer::alphaFramesLeaveStateAsFound_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("ARGB32") << QImage::Format_ARGB32;
    QTest::newRow("ARGB32_Premultiplied") << QImage::Format_ARGB32_Premultiplied;
    QTest::newRow("RGBA8888") << QImage::Format_RGBA8888;
}

void TestLmImageRenderer::alphaFramesLeaveStateAsFound()
{
    QFETCH(QImage::Format, format);

    // Left half red at half opacity, right half fully transparent.
    QImage frame(8, 4, QImage::Format_ARGB32);
    frame.fill(Qt::transparent);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            frame.setPixel(x, y, qRgba(255, 0, 0, 128));
    frame = frame.convertToFormat(format);

    gl->glClearColor(0.25f, 0.5f, 0.75f, 1.f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    gl->glBlendFunc(GL_ONE, GL_ZERO);
    hand(frame);

    // The buffer holds premultiplied colour over transparent black.
    const QImage out = contents();
    const QRgb half = out.pixel(1, 1);
    QVERIFY2(qAbs(qRed(half) - 128) <= 2 && qGreen(half) == 0 && qBlue(half) == 0
                 && qAbs(qAlpha(half) - 128) <= 2,
             qPrintable(QString::number(half, 16)));
    QCOMPARE(out.pixel(6, 2), qRgba(0, 0, 0, 0));

    GLfloat clear[4] = {};
    gl->glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    QCOMPARE(clear[0], 0.25f);
    QCOMPARE(clear[1], 0.5f);
    QCOMPARE(clear[2], 0.75f);
    QCOMPARE(clear[3], 1.f);
    QVERIFY(!gl->glIsEnabled(GL_BLEND));
    GLint src = 0;
    GLint dst = 0;
    gl->glGetIntegerv(GL_BLEND_SRC_RGB, &src);
    gl->glGetIntegerv(GL_BLEND_DST_RGB, &dst);
    QCOMPARE(src, GLint(GL_SRC_ALPHA));
    QCOMPARE(dst, GLint(GL_ONE_MINUS_SRC_ALPHA));
    QCOMPARE(gl->glGetError(), GLenum(GL_NO_ERROR));
}

void TestLmImageRenderer::clearOnlyAndUnsupportedFramesDrawNothing()
{
    QImage red(8, 4, QImage::Format_RGB32);
    red.fill(Qt::red);
    hand(red);
    QCOMPARE(contents().pixel(3, 3), qRgb(255, 0, 0));

    // Clear-only clears with whatever clear colour the context has.
    gl->glClearColor(0.f, 0.f, 1.f, 1.f);
    hand(QImage());
    renderer->render();
    QCOMPARE(contents().pixel(3, 3), qRgb(0, 0, 255));
    hand(red);

    // setImage never lets such a frame through; the renderer refuses it too.
    QImage bad(8, 4, QImage::Format_RGB16);
    bad.fill(Qt::blue);
    gl->glClearColor(0.f, 1.f, 0.f, 1.f);
    gl->glClear(GL_COLOR_BUFFER_BIT);
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression("^LmImageItemRenderer::render: unsupported image "
                                            "format: QImage\\(.*\\)$"));
    hand(bad);
    QCOMPARE(contents().pixel(3, 3), qRgb(0, 255, 0));

    // The next good frame draws again.
    hand(red);
    QCOMPARE(contents().pixel(3, 3), qRgb(255, 0, 0));
}

void TestLmImageRenderer::textureReusedForSameSizeAndRecreatedForNew()
{
    QImage colour(8, 4, QImage::Format_RGB32);
    colour.fill(QColor(200, 10, 30));
    hand(colour);
    QCOMPARE(contents().pixel(0, 0), qRgb(200, 10, 30));

    // Same size, other format: the RGBA texture takes the luminance upload.
    QImage grey(8, 4, QImage::Format_Grayscale8);
    grey.fill(QColor(128, 128, 128));
    hand(grey);
    QCOMPARE(contents().pixel(0, 0), qRgb(128, 128, 128));

    // A new size with an odd row length (padded scanlines).
    QImage rgb(7, 3, QImage::Format_RGB888);
    rgb.fill(QColor(10, 220, 40));
    rgb.setPixel(0, 0, qRgb(255, 255, 255));
    hand(rgb);
    const QImage out = contents();
    QCOMPARE(out.pixel(7, 3), qRgb(10, 220, 40));
    QCOMPARE(out.pixel(0, 0), qRgb(255, 255, 255));
    gl->glClear(GL_COLOR_BUFFER_BIT);
    renderer->render(); // no new frame: the texture is drawn as it is
    QCOMPARE(contents().pixel(7, 3), qRgb(10, 220, 40));
    QCOMPARE(gl->glGetError(), GLenum(GL_NO_ERROR));
}

QTEST_MAIN(TestLmImageRenderer)
#include "tst_lmimagerenderer.moc"
