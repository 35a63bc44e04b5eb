#include "items/lmimageitem2.h"

#include "items/previewscale.h"

#include <QColor>
#include <QMetaObject>
#include <QMutexLocker>
#include <QPainter>

LmImageItem2::LmImageItem2(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setRenderTarget(QQuickPaintedItem::FramebufferObject);
    itemSize.track(this);
}

LmImageItem2::~LmImageItem2() = default;

void LmImageItem2::setImage(const QImage &newImage)
{
    QMutexLocker lock(&mutex);
    const QSize rounded = itemSize.size().toSize();
    if (!newImage.isNull() && newImage.size() != rounded)
        image = previewScaled(newImage, rounded);
    else
        image = newImage;
    // Direct on the item's own thread, queued from any other.
    QMetaObject::invokeMethod(
        this, [this] { update(QRect()); }, Qt::AutoConnection);
}

void LmImageItem2::paint(QPainter *painter)
{
    QMutexLocker lock(&mutex);
    if (image.isNull()) {
        QColor black;
        black.setRgb(0, 0, 0, 255);
        painter->setBrush(QBrush(black, Qt::SolidPattern));
        painter->drawRect(0, 0, int(width()), int(height()));
    } else {
        painter->drawImage(0, 0, image);
    }
}
