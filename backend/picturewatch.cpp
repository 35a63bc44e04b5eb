#include "backend/picturewatch.h"

#include <algorithm>

PictureWatch::PictureWatch(std::vector<int> waitsMs, QObject *parent)
    : QObject(parent)
    , m_waits(waitsMs.empty() ? std::vector<int>{5000} : std::move(waitsMs))
{
    m_tick.setInterval(std::max(10, *std::min_element(m_waits.begin(), m_waits.end()) / 10));
    connect(&m_tick, &QTimer::timeout, this, &PictureWatch::check);
}

void PictureWatch::opened()
{
    m_reopens = 0;
    m_since.start();
    m_tick.start();
}

void PictureWatch::closed()
{
    m_tick.stop();
    setNotice(false);
}

void PictureWatch::goodFrame()
{
    m_reopens = 0;
    m_since.start();
    setNotice(false);
}

void PictureWatch::check()
{
    const int wait = m_waits[std::min(m_reopens, m_waits.size() - 1)];
    if (!m_since.isValid() || m_since.elapsed() < wait)
        return;
    ++m_reopens;
    m_since.start();
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
