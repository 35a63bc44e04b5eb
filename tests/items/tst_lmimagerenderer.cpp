// The renderer on its own, in an offscreen context: the framebuffer contents
// and the OpenGL state it leaves behind, which the scene graph hides on screen.

#include "items/lmimageitem.h"
#include "previewtestutil.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QRegularExpression>
#include <QtTest>

Q_DECLARE_METATYPE(QImage::Format)

class TestLmImageRenderer : public QObject
{
    Q_OBJECT

    QOffscreenSurface surface;
    QOpenGLContext context;
    QOpenGLFunctions *gl = nullptr;
    std::shared_ptr<LmImageFrameSlot> slot;
    std::unique_ptr<LmImageItemRenderer> renderer;
    std::unique_ptr<QOpenGLFramebufferObject> fbo;

    // Hands the frame over as setImage would, then renders once.
    void hand(const QImage &frame)
    {
        {
            QMutexLocker lock(&slot->mutex);
            slot->pendingImage = frame;
            slot->clearOnly = frame.isNull();
        }
        renderer->render();
    }

    // Row 0 is framebuffer row 0 (the frame's first scanline).
    QRgb pixel(int x, int y)
    {
        return fbo->toImage(false).convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(x, y);
    }

private slots:
    void init()
    {
        if (!surface.isValid())
            surface.create();
        if (!context.isValid())
            QVERIFY(context.create());
        QVERIFY(context.makeCurrent(&surface));
        gl = context.functions();
        slot = std::make_shared<LmImageFrameSlot>();
        renderer = std::make_unique<LmImageItemRenderer>([] {}, slot);
        QVERIFY(renderer->initializeGL());
        fbo.reset(renderer->createFramebufferObject(QSize(8, 4)));
        QVERIFY(fbo->bind());
        gl->glViewport(0, 0, 8, 4);
    }

    void cleanup()
    {
        context.makeCurrent(&surface);
        fbo.reset();
        renderer.reset();
        slot.reset();
        context.doneCurrent();
    }

    void alphaFramesLeaveStateAsFound_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("ARGB32") << QImage::Format_ARGB32;
        QTest::newRow("ARGB32_Premultiplied") << QImage::Format_ARGB32_Premultiplied;
        QTest::newRow("RGBA8888") << QImage::Format_RGBA8888;
    }

    void alphaFramesLeaveStateAsFound()
    {
        QFETCH(QImage::Format, format);
        gl->glClearColor(0.25f, 0.5f, 0.75f, 1.f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        gl->glBlendFunc(GL_ONE, GL_ZERO);
        hand(previewtest::halfRed(QSize(8, 4), format));

        // Premultiplied colour over transparent black, whatever was there before.
        const QRgb half = pixel(1, 1);
        QVERIFY2(qAbs(qRed(half) - 128) <= 2 && qGreen(half) == 0 && qBlue(half) == 0
                     && qAbs(qAlpha(half) - 128) <= 2,
                 qPrintable(QString::number(half, 16)));
        QCOMPARE(pixel(6, 2), qRgba(0, 0, 0, 0));

        // The clear colour is put back; blending is off with the scene graph's function.
        GLfloat clear[4] = {};
        gl->glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        QCOMPARE(QVector<GLfloat>(clear, clear + 4), QVector<GLfloat>({0.25f, 0.5f, 0.75f, 1.f}));
        QVERIFY(!gl->glIsEnabled(GL_BLEND));
        GLint blend[2] = {};
        gl->glGetIntegerv(GL_BLEND_SRC_RGB, &blend[0]);
        gl->glGetIntegerv(GL_BLEND_DST_RGB, &blend[1]);
        QCOMPARE(blend[0], GLint(GL_SRC_ALPHA));
        QCOMPARE(blend[1], GLint(GL_ONE_MINUS_SRC_ALPHA));
        QCOMPARE(gl->glGetError(), GLenum(GL_NO_ERROR));
    }

    void clearOnlyAndUnsupportedFramesDrawNothing()
    {
        const QImage red = previewtest::solid(QSize(8, 4), Qt::red);
        hand(red);
        QCOMPARE(pixel(3, 3), qRgb(255, 0, 0));

        // Clear-only clears with whatever clear colour the context has, every render.
        gl->glClearColor(0.f, 0.f, 1.f, 1.f);
        hand(QImage());
        renderer->render();
        QCOMPARE(pixel(3, 3), qRgb(0, 0, 255));

        // setImage never lets such a frame through; the renderer refuses it too.
        hand(red);
        gl->glClearColor(0.f, 1.f, 0.f, 1.f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^LmImageItemRenderer::render: "
                                                            "unsupported image format: QImage\\(.*\\)$"));
        hand(previewtest::solid(QSize(8, 4), Qt::blue, QImage::Format_RGB16));
        QCOMPARE(pixel(3, 3), qRgb(0, 255, 0));
        hand(red);
        QCOMPARE(pixel(3, 3), qRgb(255, 0, 0));
    }

    void textureReusedForSameSizeAndRecreatedForNew()
    {
        hand(previewtest::solid(QSize(8, 4), QColor(200, 10, 30)));
        QCOMPARE(pixel(0, 0), qRgb(200, 10, 30));
        // Same size, other format: the RGBA texture takes the luminance upload.
        hand(previewtest::solid(QSize(8, 4), QColor(128, 128, 128), QImage::Format_Grayscale8));
        QCOMPARE(pixel(0, 0), qRgb(128, 128, 128));

        // A new size with an odd row length (padded scanlines).
        QImage rgb = previewtest::solid(QSize(7, 3), QColor(10, 220, 40), QImage::Format_RGB888);
        rgb.setPixel(0, 0, qRgb(255, 255, 255));
        hand(rgb);
        QCOMPARE(pixel(7, 3), qRgb(10, 220, 40));
        QCOMPARE(pixel(0, 0), qRgb(255, 255, 255));
        gl->glClear(GL_COLOR_BUFFER_BIT);
        renderer->render(); // no new frame: the texture is drawn as it is
        QCOMPARE(pixel(7, 3), qRgb(10, 220, 40));
        QCOMPARE(gl->glGetError(), GLenum(GL_NO_ERROR));
    }
};

QTEST_MAIN(TestLmImageRenderer)
#include "tst_lmimagerenderer.moc"
