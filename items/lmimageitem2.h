#pragma once

#include "camera/framesink.h"
#include "items/itemsizesnapshot.h"

#include <QImage>
#include <QMutex>
#include <QQuickPaintedItem>

// A preview item that paints the newest frame with QPainter, scaled to the
// item's size when it is handed over; black until the first frame.
class LmImageItem2 : public QQuickPaintedItem, public FrameSink
{
    Q_OBJECT
    Q_INTERFACES(FrameSink)

public:
    explicit LmImageItem2(QQuickItem *parent = nullptr);
    ~LmImageItem2() override;

    // Callable from any thread; a null image returns the item to black.
    void setImage(const QImage &image) override;

    void paint(QPainter *painter) override;

private:
    QMutex mutex;
    QImage image;
    ItemSizeSnapshot itemSize;
};
