#pragma once

#include <QImage>

#include <mutex>
#include <utility>

// A single-slot hand-over of the newest frame from the capture thread to the
// GUI thread. The producer puts every frame; only when the slot was empty does
// it announce one (the consumer has taken the previous one), so frames never
// pile up in the event queue while the GUI thread is busy: at most the
// announced frame and the newest one are alive.
class FrameMailbox
{
public:
    // Stores `image` in place of any frame not yet taken, with the size of the
    // frame it shows (when the image was decoded smaller; empty: the image's
    // own). Returns true when the slot was empty, that is when the caller
    // should announce the frame. A null image is not stored and gives false.
    bool put(QImage image, QSize frameSize = QSize())
    {
        if (image.isNull())
            return false;
        QImage replaced;
        bool wasEmpty;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            wasEmpty = m_slot.isNull();
            replaced = std::exchange(m_slot, std::move(image));
            m_frameSize = frameSize.isEmpty() ? m_slot.size() : frameSize;
        }
        return wasEmpty;
    }

    // The newest frame, or a null image when there is none; empties the slot.
    // `frameSize`, when given, gets the size of the frame it shows.
    QImage take(QSize *frameSize = nullptr)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (frameSize)
            *frameSize = m_frameSize;
        return std::exchange(m_slot, QImage());
    }

private:
    std::mutex m_mutex;
    QImage m_slot;
    QSize m_frameSize;
};
