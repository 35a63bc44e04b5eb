#pragma once

#include "camera/framesink.h"
#include "items/itemsizesnapshot.h"

#include <QImage>
#include <QMutex>
#include <QOpenGLFunctions>
#include <QQuickFramebufferObject>
#include <QSharedPointer>

#include <atomic>
#include <functional>
#include <memory>

class QOpenGLBuffer;
class QOpenGLShaderProgram;
class QOpenGLTexture;
class QOpenGLVertexArrayObject;
class LmImageItemRenderer;

// The hand-over point between an LmImageItem and its current renderer: the
// newest frame not yet uploaded, the clear-only flag and the renderer's
// presence, all under one mutex. The item and the renderer each hold it through
// a shared pointer, so either side may go away first (the renderer dies on the
// render thread, the item on the GUI thread) without the other touching freed
// memory.
struct LmImageFrameSlot
{
    QMutex mutex;
    QImage pendingImage;
    bool clearOnly = true;
    // Set when the renderer is constructed, cleared by its destruction callback.
    LmImageItemRenderer *renderer = nullptr;
};

// Draws the newest frame into the item's framebuffer object with a textured
// quad. Lives on the scene graph's render thread; the scene graph owns it.
class LmImageItemRenderer : public QQuickFramebufferObject::Renderer, protected QOpenGLFunctions
{
public:
    LmImageItemRenderer(std::function<void()> destructionCallback,
                        std::shared_ptr<LmImageFrameSlot> slot);
    ~LmImageItemRenderer() override;

    LmImageItemRenderer(const LmImageItemRenderer &) = delete;
    LmImageItemRenderer &operator=(const LmImageItemRenderer &) = delete;

    // Builds the shader program and the quad; needs a current OpenGL context.
    // On a shader failure the renderer is left without a program: it then
    // accepts and uploads frames but never draws. Returns whether it can draw.
    bool initializeGL();

    void render() override;
    QOpenGLFramebufferObject *createFramebufferObject(const QSize &size) override;

    static const char *vertexShaderText();
    static const char *fragmentShaderText();

private:
    std::function<void()> destructionCallback;
    std::shared_ptr<LmImageFrameSlot> slot;
    bool hasAlpha = false;
    bool premultiplied = false;
    bool swapRedBlue = false;
    int premultiplyLocation = -1;
    int swapLocation = -1;
    QSharedPointer<QOpenGLShaderProgram> program;
    QSharedPointer<QOpenGLTexture> texture;
    // The vertex array's deleter also owns this buffer.
    QSharedPointer<QOpenGLVertexArrayObject> vertexArray;
    QOpenGLBuffer *vertexBuffer = nullptr;
};

// The live preview item: takes one QImage per frame through setImage and shows
// it stretched over the whole item.
class LmImageItem : public QQuickFramebufferObject, public FrameSink
{
    Q_OBJECT
    Q_INTERFACES(FrameSink)
    Q_PROPERTY(bool smoothScale READ smoothScale WRITE setSmoothScale NOTIFY smoothScaleChanged)

public:
    explicit LmImageItem(QQuickItem *parent = nullptr);
    ~LmImageItem() override;

    Renderer *createRenderer() const override;

    // Hands over the next frame; callable from any thread. A null image clears
    // the preview. Frames are dropped while the item has no renderer.
    void setImage(const QImage &image) override;

    bool smoothScale() const;
    void setSmoothScale(bool smooth);

    // Whether a renderer currently takes frames (false before the window first
    // renders the item and after the scene graph has discarded its renderer).
    bool hasRenderer() const;

    // How many frames setImage has scaled on the CPU so far (diagnostics).
    int cpuScaledFrames() const;

    static bool isSupportedFormat(QImage::Format format);
    static QByteArray formatName(QImage::Format format);

signals:
    void smoothScaleChanged(bool smoothScale);

private:
    void setImage(const QImage &image, Qt::TransformationMode mode);
    void queueUpdate();

    // The slot shared with the current renderer; replaced by each createRenderer
    // (render thread) and read by setImage (any thread), always atomically.
    mutable std::shared_ptr<LmImageFrameSlot> slot;
    std::atomic<bool> m_smoothScale{true};
    std::atomic<int> cpuScaled{0};
    ItemSizeSnapshot itemSize;
};
