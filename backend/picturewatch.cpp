#include "backend/picturewatch.h"

#include <algorithm>

const std::vector<int> &PictureWatch::waitsMs()
{
    static const std::vector<int> waits{5000, 10000, 20000, 30000};
    return waits;
}

PictureWatch::PictureWatch(std::function<qint64()> clockMs, QObject *parent)
    : QObject(parent)
    , m_clock(std::move(clockMs))
{
    if (!m_clock) {
        m_elapsed.start();
        m_clock = [this] { return m_elapsed.elapsed(); };
    }
    m_tick.setInterval(500);
    connect(&m_tick, &QTimer::timeout, this, &PictureWatch::check);
}

void PictureWatch::opened()
{
    m_reopens = 0;
    m_since = m_clock();
    m_running = true;
    m_tick.start();
}

void PictureWatch::closed()
{
    m_running = false;
    m_tick.stop();
    setNotice(false);
}

void PictureWatch::goodFrame()
{
    m_reopens = 0;
    m_since = m_clock();
    setNotice(false);
}

void PictureWatch::check()
{
    const std::vector<int> &waits = waitsMs();
    const qint64 now = m_clock();
    if (!m_running || now - m_since < waits[std::min(m_reopens, waits.size() - 1)])
        return;
    ++m_reopens;
    m_since = now;
    setNotice(true);
    emit reopenDue();
}

void PictureWatch::setNotice(bool shown)
{
    if (m_notice == shown)
        return;
    m_notice = shown;
    emit noticeChanged();
}
