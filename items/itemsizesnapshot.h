#pragma once

#include <QSizeF>

#include <atomic>
#include <cstdint>

class QQuickItem;

// A copy of an item's logical size that any thread may read. The item's own
// width() and height() belong to its thread; setImage may run elsewhere, so the
// preview items keep this copy current from the item's size signals.
class ItemSizeSnapshot
{
public:
    // Takes the item's current size and follows every later change of it.
    void track(QQuickItem *item);

    QSizeF size() const;

private:
    void store(double width, double height);

    // Width and height as two floats in one word, so a reader never sees the
    // width of one size with the height of another.
    std::atomic<std::uint64_t> packed{0};
};
