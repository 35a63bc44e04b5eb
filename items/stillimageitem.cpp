#include "items/stillimageitem.h"

#include <QPainter>

StillImageItem::StillImageItem(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
}

void StillImageItem::setImage(const QImage &image)
{
    m_image = image;
    emit imageChanged();
    update();
}

void StillImageItem::paint(QPainter *painter)
{
    if (m_image.isNull())
        return;
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(QRectF(0, 0, width(), height()), m_image);
}
