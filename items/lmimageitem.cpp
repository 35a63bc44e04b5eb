#include "items/lmimageitem.h"

#include "items/itemslog.h"
#include "items/previewscale.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMutexLocker>
#include <QOpenGLBuffer>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLPixelTransferOptions>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>
#include <QOpenGLVertexArrayObject>

#include <iterator>

namespace {

const char vertexShader[] =
    "attribute vec4 rawVertex;\n"
    "attribute vec2 rawTexture;\n"
    "varying vec2 currentTexture;\n"
    "void main()\n"
    "{\n"
    "    currentTexture = rawTexture;\n"
    "    gl_Position = rawVertex;\n"
    "}\n";

// The precision line only matters on OpenGL ES, where a fragment shader
// without a default float precision does not compile.
const char fragmentShader[] =
    "#ifdef GL_ES\n"
    "precision mediump float;\n"
    "#endif\n"
    "varying vec2 currentTexture;\n"
    "uniform sampler2D colorTexture;\n"
    "uniform bool enabledPremultiply;\n"
    "uniform bool enabledSwapRedBlue;\n"
    "void main()\n"
    "{\n"
    "    vec4 color = texture2D(colorTexture, currentTexture);\n"
    "    if (color.w < 0.001)\n"
    "        discard;\n"
    "    if (enabledPremultiply) {\n"
    "        color.x *= color.w;\n"
    "        color.y *= color.w;\n"
    "        color.z *= color.w;\n"
    "    }\n"
    "    if (enabledSwapRedBlue)\n"
    "        color.xz = color.zx;\n"
    "    gl_FragColor = color;\n"
    "}\n";

constexpr int vertexAttribute = 0;
constexpr int textureAttribute = 1;
constexpr int floatsPerVertex = 5;
constexpr int vertexCount = 6;
constexpr int vertexStride = floatsPerVertex * int(sizeof(GLfloat));

// Two triangles over the whole framebuffer: x, y, z, s, t. Texture row t = 0
// (the image's first scanline) lies at the framebuffer's bottom edge, which is
// what the scene graph shows at the item's top.
const GLfloat quadVertices[vertexCount * floatsPerVertex] = {
    -1.f, -1.f, 0.f, 0.f, 0.f,
    -1.f,  1.f, 0.f, 0.f, 1.f,
     1.f,  1.f, 0.f, 1.f, 1.f,
     1.f,  1.f, 0.f, 1.f, 1.f,
     1.f, -1.f, 0.f, 1.f, 0.f,
    -1.f, -1.f, 0.f, 0.f, 0.f,
};
static_assert(sizeof(quadVertices) == 120, "the quad is six vertices of five floats");

const char *const formatNames[] = {
    "Format_Invalid",
    "Format_Mono",
    "Format_MonoLSB",
    "Format_Indexed8",
    "Format_RGB32",
    "Format_ARGB32",
    "Format_ARGB32_Premultiplied",
    "Format_RGB16",
    "Format_ARGB8565_Premultiplied",
    "Format_RGB666",
    "Format_ARGB6666_Premultiplied",
    "Format_RGB555",
    "Format_ARGB8555_Premultiplied",
    "Format_RGB888",
    "Format_RGB444",
    "Format_ARGB4444_Premultiplied",
    "Format_RGBX8888",
    "Format_RGBA8888",
    "Format_RGBA8888_Premultiplied",
    "Format_BGR30",
    "Format_A2BGR30_Premultiplied",
    "Format_RGB30",
    "Format_A2RGB30_Premultiplied",
    "Format_Alpha8",
    "Format_Grayscale8",
    "Format_RGBX64",
    "Format_RGBA64",
    "Format_RGBA64_Premultiplied",
    "Format_Grayscale16",
    "Format_BGR888",
};
static_assert(std::size(formatNames) == QImage::NImageFormats, "one name per QImage format");

// How a frame of each supported format goes into the texture.
struct Upload
{
    QOpenGLTexture::TextureFormat textureFormat;
    QOpenGLTexture::PixelFormat pixelFormat;
    bool hasAlpha;
    bool premultiplied;
    bool swapRedBlue;
};

bool uploadFor(QImage::Format format, Upload *upload)
{
    switch (format) {
    case QImage::Format_Grayscale8:
        *upload = {QOpenGLTexture::LuminanceFormat, QOpenGLTexture::Luminance, false, false, false};
        return true;
    case QImage::Format_RGB888:
        *upload = {QOpenGLTexture::RGBFormat, QOpenGLTexture::RGB, false, false, false};
        return true;
    case QImage::Format_RGBA8888:
        *upload = {QOpenGLTexture::RGBAFormat, QOpenGLTexture::RGBA, true, false, false};
        return true;
    case QImage::Format_RGB32:
        *upload = {QOpenGLTexture::RGBAFormat, QOpenGLTexture::RGBA, false, false, true};
        return true;
    case QImage::Format_ARGB32:
        *upload = {QOpenGLTexture::RGBAFormat, QOpenGLTexture::RGBA, true, false, true};
        return true;
    case QImage::Format_ARGB32_Premultiplied:
        *upload = {QOpenGLTexture::RGBAFormat, QOpenGLTexture::RGBA, true, true, true};
        return true;
    default:
        return false;
    }
}

QOpenGLTexture::TextureFormat textureFormatFor(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Grayscale8:
        return QOpenGLTexture::LuminanceFormat;
    case QImage::Format_RGB888:
        return QOpenGLTexture::RGBFormat;
    default:
        return QOpenGLTexture::RGBAFormat;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// LmImageItemRenderer

LmImageItemRenderer::LmImageItemRenderer(std::function<void()> callback,
                                         std::shared_ptr<LmImageFrameSlot> frameSlot)
    : destructionCallback(std::move(callback))
    , slot(std::move(frameSlot))
{
    QMutexLocker lock(&slot->mutex);
    slot->renderer = this;
}

LmImageItemRenderer::~LmImageItemRenderer()
{
    if (destructionCallback)
        destructionCallback();
    vertexArray.reset();
    vertexBuffer = nullptr;
    texture.reset();
    program.reset();
}

const char *LmImageItemRenderer::vertexShaderText()
{
    return vertexShader;
}

const char *LmImageItemRenderer::fragmentShaderText()
{
    return fragmentShader;
}

bool LmImageItemRenderer::initializeGL()
{
    initializeOpenGLFunctions();

    QSharedPointer<QOpenGLShaderProgram> newProgram(new QOpenGLShaderProgram());
    const QByteArray vertexText(vertexShaderText());
    const QByteArray fragmentText(fragmentShaderText());
    if (vertexText.isEmpty() || fragmentText.isEmpty()) {
        qCWarning(lcItems) << "LmImageItemRenderer: read glsl file error";
        return false;
    }
    if (!newProgram->addShaderFromSourceCode(QOpenGLShader::Vertex, vertexText)) {
        qCWarning(lcItems) << "LmImageItemRenderer: add vertex shader error";
        return false;
    }
    if (!newProgram->addShaderFromSourceCode(QOpenGLShader::Fragment, fragmentText)) {
        qCWarning(lcItems) << "LmImageItemRenderer: add fragment shader error";
        return false;
    }
    newProgram->bindAttributeLocation("rawVertex", vertexAttribute);
    newProgram->bindAttributeLocation("rawTexture", textureAttribute);
    if (!newProgram->link()) {
        qCWarning(lcItems) << "LmImageItemRenderer: add fragment shader error";
        return false;
    }

    premultiplyLocation = newProgram->uniformLocation("enabledPremultiply");
    swapLocation = newProgram->uniformLocation("enabledSwapRedBlue");
    program = newProgram;
    program->bind();
    program->setUniformValue("colorTexture", 0);
    program->release();

    auto *buffer = new QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    auto *vao = new QOpenGLVertexArrayObject();
    vao->create();
    vao->bind();
    buffer->create();
    buffer->bind();
    buffer->allocate(quadVertices, int(sizeof(quadVertices)));
    buffer->write(0, quadVertices, int(sizeof(quadVertices)));
    glEnableVertexAttribArray(vertexAttribute);
    glEnableVertexAttribArray(textureAttribute);
    glVertexAttribPointer(vertexAttribute, 3, GL_FLOAT, GL_FALSE, vertexStride, nullptr);
    glVertexAttribPointer(textureAttribute, 2, GL_FLOAT, GL_FALSE, vertexStride,
                          reinterpret_cast<const void *>(3 * sizeof(GLfloat)));
    buffer->release();
    vao->release();
    if (!vao->isCreated()) {
        // Without vertex array objects the attribute set-up above went into the
        // global state; render() repeats it around each draw.
        glDisableVertexAttribArray(vertexAttribute);
        glDisableVertexAttribArray(textureAttribute);
    }

    vertexBuffer = buffer;
    vertexArray = QSharedPointer<QOpenGLVertexArrayObject>(vao, [buffer](QOpenGLVertexArrayObject *v) {
        // After the application is gone there is no context to free them in.
        if (!QCoreApplication::instance())
            return;
        v->destroy();
        delete v;
        buffer->destroy();
        delete buffer;
    });
    return true;
}

QOpenGLFramebufferObject *LmImageItemRenderer::createFramebufferObject(const QSize &size)
{
    return new QOpenGLFramebufferObject(size, QOpenGLFramebufferObject::NoAttachment, GL_TEXTURE_2D,
                                        0);
}

void LmImageItemRenderer::render()
{
    QImage frame;
    {
        QMutexLocker lock(&slot->mutex);
        if (slot->clearOnly) {
            lock.unlock();
            glClear(GL_COLOR_BUFFER_BIT);
            return;
        }
        if (!slot->pendingImage.isNull()) {
            frame = slot->pendingImage;
            slot->pendingImage = QImage();
        }
    }

    if (!frame.isNull()) {
        if (!texture || texture->width() != frame.width() || texture->height() != frame.height()) {
            texture.reset(new QOpenGLTexture(QOpenGLTexture::Target2D));
            texture->setFormat(textureFormatFor(frame.format()));
            texture->setSize(frame.width(), frame.height(), 1);
            texture->setAutoMipMapGenerationEnabled(false);
            texture->setMipLevels(1);
            texture->allocateStorage();
            texture->setWrapMode(QOpenGLTexture::ClampToEdge);
            texture->setMinMagFilters(QOpenGLTexture::Linear, QOpenGLTexture::Linear);
        }

        Upload upload{};
        if (!uploadFor(frame.format(), &upload)) {
            qCDebug(lcItems) << "LmImageItemRenderer::render: unsupported image format:" << frame;
            return;
        }
        hasAlpha = upload.hasAlpha;
        premultiplied = upload.premultiplied;
        swapRedBlue = upload.swapRedBlue;
        // QImage scanlines are padded to four bytes, as GL unpacks by default;
        // say so in case someone changed the unpack state.
        QOpenGLPixelTransferOptions options;
        options.setAlignment(4);
        texture->setData(0, upload.pixelFormat, QOpenGLTexture::UInt8, frame.constBits(), &options);
    }

    if (!program || !texture || !vertexArray)
        return;

    program->bind();
    const bool withVao = vertexArray->isCreated();
    if (withVao) {
        vertexArray->bind();
    } else {
        vertexBuffer->bind();
        glEnableVertexAttribArray(vertexAttribute);
        glEnableVertexAttribArray(textureAttribute);
        glVertexAttribPointer(vertexAttribute, 3, GL_FLOAT, GL_FALSE, vertexStride, nullptr);
        glVertexAttribPointer(textureAttribute, 2, GL_FLOAT, GL_FALSE, vertexStride,
                              reinterpret_cast<const void *>(3 * sizeof(GLfloat)));
    }
    // The sampler reads unit 0 whatever unit the scene graph left active.
    texture->bind(0, QOpenGLTexture::ResetTextureUnit);

    GLfloat savedClearColor[4] = {0.f, 0.f, 0.f, 0.f};
    if (hasAlpha) {
        glGetFloatv(GL_COLOR_CLEAR_VALUE, savedClearColor);
        glClearColor(0.f, 0.f, 0.f, 0.f);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        program->setUniformValue(premultiplyLocation, GLint(!premultiplied));
    } else {
        program->setUniformValue(premultiplyLocation, GLint(0));
    }
    program->setUniformValue(swapLocation, GLint(swapRedBlue));

    glDrawArrays(GL_TRIANGLES, 0, vertexCount);

    if (hasAlpha) {
        glDisable(GL_BLEND);
        glClearColor(savedClearColor[0], savedClearColor[1], savedClearColor[2], savedClearColor[3]);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }

    texture->release(0, QOpenGLTexture::ResetTextureUnit);
    if (withVao) {
        vertexArray->release();
    } else {
        glDisableVertexAttribArray(vertexAttribute);
        glDisableVertexAttribArray(textureAttribute);
        vertexBuffer->release();
    }
    program->release();
}

// ---------------------------------------------------------------------------
// LmImageItem

LmImageItem::LmImageItem(QQuickItem *parent)
    : QQuickFramebufferObject(parent)
{
    itemSize.track(this);
}

LmImageItem::~LmImageItem()
{
    // The renderer may outlive the item (the scene graph deletes it later, on
    // the render thread); it only ever touches the shared slot, never the item.
    std::atomic_store(&slot, std::shared_ptr<LmImageFrameSlot>());
}

QQuickFramebufferObject::Renderer *LmImageItem::createRenderer() const
{
    auto newSlot = std::make_shared<LmImageFrameSlot>();
    auto callback = [s = std::weak_ptr<LmImageFrameSlot>(newSlot)]() {
        if (const auto held = s.lock()) {
            QMutexLocker lock(&held->mutex);
            held->renderer = nullptr;
        }
    };
    auto *renderer = new LmImageItemRenderer(std::move(callback), newSlot);
    std::atomic_store(&slot, newSlot);
    renderer->initializeGL();
    return renderer;
}

void LmImageItem::setImage(const QImage &image)
{
    const QImage copy = image;
    setImage(copy, m_smoothScale.load() ? Qt::SmoothTransformation : Qt::FastTransformation);
}

void LmImageItem::setImage(const QImage &image, Qt::TransformationMode mode)
{
    if (!image.isNull() && !isSupportedFormat(image.format())) {
        qCDebug(lcItems) << "LmImageItem::setImage: unsupported image format: "
                 << formatName(image.format()).constData();
        return;
    }

    const std::shared_ptr<LmImageFrameSlot> target = std::atomic_load(&slot);
    if (!target)
        return;
    const QSizeF size = itemSize.size();
    {
        QMutexLocker lock(&target->mutex);
        if (!target->renderer)
            return;
        if (image.isNull()) {
            target->pendingImage = QImage();
            target->clearOnly = true;
            queueUpdate();
            return;
        }
        if (size.width() > image.width() && size.height() > image.height()) {
            target->pendingImage = image;
            target->clearOnly = false;
            queueUpdate();
            return;
        }
    }

    const QSize scaledSize = size.toSize();
    if (scaledSize.isEmpty())
        return; // nothing of the frame would be visible
    const QImage scaled = mode == Qt::SmoothTransformation
                              ? previewScaled(image, scaledSize)
                              : image.scaled(scaledSize, Qt::IgnoreAspectRatio, mode);
    cpuScaled.fetch_add(1, std::memory_order_relaxed);

    QMutexLocker lock(&target->mutex);
    if (!target->renderer)
        return; // the renderer went away while we scaled
    target->pendingImage = scaled;
    target->clearOnly = false;
    queueUpdate();
}

void LmImageItem::queueUpdate()
{
    QMetaObject::invokeMethod(this, "update", Qt::QueuedConnection);
}

bool LmImageItem::smoothScale() const
{
    return m_smoothScale.load();
}

void LmImageItem::setSmoothScale(bool smooth)
{
    if (m_smoothScale.exchange(smooth) == smooth)
        return;
    emit smoothScaleChanged(smooth);
}

bool LmImageItem::hasRenderer() const
{
    const std::shared_ptr<LmImageFrameSlot> current = std::atomic_load(&slot);
    if (!current)
        return false;
    QMutexLocker lock(&current->mutex);
    return current->renderer != nullptr;
}

int LmImageItem::cpuScaledFrames() const
{
    return cpuScaled.load(std::memory_order_relaxed);
}

bool LmImageItem::isSupportedFormat(QImage::Format format)
{
    Upload upload{};
    return uploadFor(format, &upload);
}

QByteArray LmImageItem::formatName(QImage::Format format)
{
    const int index = int(format);
    if (index < 0 || index >= int(std::size(formatNames)))
        return QByteArray::number(index);
    return QByteArray(formatNames[index]);
}
