#include "backend/controlstatus.h"

namespace {
const int NoticeMs = 5000;
} // namespace

ControlStatus::ControlStatus(QObject *parent)
    : QObject(parent)
{
    m_noticeTimer.setSingleShot(true);
    m_noticeTimer.setInterval(NoticeMs);
    connect(&m_noticeTimer, &QTimer::timeout, this, [this] {
        m_notice.clear();
        emit noticeChanged();
    });
}

void ControlStatus::setFailure(const QString &row, const QString &reason)
{
    if (reason.isEmpty() ? !m_failures.contains(row) : m_failures.value(row) == reason)
        return;
    if (reason.isEmpty())
        m_failures.remove(row);
    else
        m_failures.insert(row, reason);
    emit failuresChanged();
}

void ControlStatus::setNotAnswering(bool on)
{
    if (on == m_notAnswering)
        return;
    m_notAnswering = on;
    emit notAnsweringChanged();
}

void ControlStatus::showNotice(const QString &text)
{
    m_notice = text;
    m_noticeTimer.start();
    emit noticeChanged();
}
