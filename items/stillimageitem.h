#pragma once

#include <QImage>
#include <QQuickPaintedItem>

// Paints one still picture stretched over the item (the reference frame shown
// in place of the live one); nothing without a picture. Works on every scene
// graph, as the preview items do.
class StillImageItem : public QQuickPaintedItem
{
    Q_OBJECT
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged FINAL)

public:
    explicit StillImageItem(QQuickItem *parent = nullptr);

    QImage image() const { return m_image; }
    void setImage(const QImage &image);

    void paint(QPainter *painter) override;

signals:
    void imageChanged();

private:
    QImage m_image;
};
