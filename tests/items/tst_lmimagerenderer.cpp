// The renderer on its own in an offscreen context: the framebuffer contents and
// the OpenGL state it leaves behind, which the scene graph hides on screen.

#include "items/lmimageitem.h"
#include "previewtestutil.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QRegularExpression>

using previewtest::solid;

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

    // Reads the framebuffer; row 0 is the frame's first scanline.
    QRgb pixel(int x = 3, int y = 3)
    {
        return fbo->toImage(false).convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(x, y);
    }

    // Hands the frame over as setImage would, renders once and reads the framebuffer.
    QRgb hand(const QImage &frame)
    {
        QMutexLocker lock(&slot->mutex);
        slot->pendingImage = frame;
        slot->clearOnly = frame.isNull();
        lock.unlock();
        renderer->render();
        return pixel();
    }

private slots:
    void init()
    {
        if (!context.isValid()) {
            surface.create();
            QVERIFY(context.create());
        }
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
        fbo.reset();
        renderer.reset();
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
        QImage frame = solid(QSize(8, 4), Qt::transparent, QImage::Format_ARGB32);
        QPainter(&frame).fillRect(0, 0, 4, 4, QColor(255, 0, 0, 128)); // left half
        gl->glClearColor(0.25f, 0.5f, 0.75f, 1.f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        gl->glBlendFunc(GL_ONE, GL_ZERO);
        hand(frame.convertToFormat(format));

        // Premultiplied colour over transparent black, whatever was there before.
        const QRgb half = pixel(1, 1);
        QVERIFY2(qAbs(qRed(half) - 128) <= 2 && qGreen(half) == 0 && qBlue(half) == 0
                 && qAbs(qAlpha(half) - 128) <= 2, qPrintable(QString::number(half, 16)));
        QCOMPARE(pixel(6, 2), qRgba(0, 0, 0, 0));
        // The clear colour is put back; blending is off, with the scene graph's function.
        GLfloat clear[4] = {};
        gl->glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
        QCOMPARE(QVector<GLfloat>(clear, clear + 4), QVector<GLfloat>({0.25f, 0.5f, 0.75f, 1.f}));
        QVERIFY(!gl->glIsEnabled(GL_BLEND));
        GLint blend[2] = {};
        gl->glGetIntegerv(GL_BLEND_SRC_RGB, &blend[0]);
        gl->glGetIntegerv(GL_BLEND_DST_RGB, &blend[1]);
        QCOMPARE(QVector<GLint>(blend, blend + 2),
                 QVector<GLint>({GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}));
        QCOMPARE(gl->glGetError(), GLenum(GL_NO_ERROR));
    }

    // Clear-only and refused frames, texture reuse and re-creation, one after another.
    void frameSequence()
    {
        const QImage red = solid(QSize(8, 4), Qt::red);
        QCOMPARE(hand(red), qRgb(255, 0, 0));
        // Clear-only clears with the context's clear colour, on every render.
        gl->glClearColor(0.f, 0.f, 1.f, 1.f);
        QCOMPARE(hand(QImage()), qRgb(0, 0, 255));

        // setImage never lets such a frame through; the renderer refuses it too.
        hand(red);
        gl->glClearColor(0.f, 1.f, 0.f, 1.f);
        gl->glClear(GL_COLOR_BUFFER_BIT);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^LmImageItemRenderer::render: "
                                                            "unsupported image format: QImage\\("));
        QCOMPARE(hand(solid(QSize(8, 4), Qt::blue, QImage::Format_RGB16)), qRgb(0, 255, 0));
        // Same size, other format: the RGBA texture takes the luminance upload.
        const QColor grey(128, 128, 128);
        QCOMPARE(hand(solid(QSize(8, 4), grey, QImage::Format_Grayscale8)), grey.rgb());
        // A new size with an odd row length (padded scanlines).
        QImage rgb = solid(QSize(7, 3), QColor(10, 220, 40), QImage::Format_RGB888);
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
