#include "items/itemsizesnapshot.h"

#include <QQuickItem>

#include <cstring>

void ItemSizeSnapshot::track(QQuickItem *item)
{
    store(item->width(), item->height());
    const auto follow = [this, item] { store(item->width(), item->height()); };
    QObject::connect(item, &QQuickItem::widthChanged, item, follow, Qt::DirectConnection);
    QObject::connect(item, &QQuickItem::heightChanged, item, follow, Qt::DirectConnection);
}

QSizeF ItemSizeSnapshot::size() const
{
    const std::uint64_t word = packed.load(std::memory_order_acquire);
    const auto w = static_cast<std::uint32_t>(word & 0xFFFFFFFFu);
    const auto h = static_cast<std::uint32_t>(word >> 32);
    float width = 0.f;
    float height = 0.f;
    std::memcpy(&width, &w, sizeof width);
    std::memcpy(&height, &h, sizeof height);
    return QSizeF(width, height);
}

void ItemSizeSnapshot::store(double width, double height)
{
    const auto fw = static_cast<float>(width);
    const auto fh = static_cast<float>(height);
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    std::memcpy(&w, &fw, sizeof w);
    std::memcpy(&h, &fh, sizeof h);
    packed.store(static_cast<std::uint64_t>(w) | (static_cast<std::uint64_t>(h) << 32),
                 std::memory_order_release);
}
