#include "backend/controlstatus.h"

#include "backend/backendlog.h"
#include "params/paramtable.h"
#include "tunnel/cameracontrol.h"
#include "tunnel/paramtunnel.h"

#include <QCoreApplication>

#include <cstring>

#include <opencv2/videoio.hpp>

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

void ControlStatus::logCalls(const ControlOutcome &outcome)
{
    for (const ControlCall &c : outcome.calls) {
        const QString call = c.write ? QStringLiteral("write %1").arg(c.value) : QStringLiteral("read");
        const QString line = c.failed ? QStringLiteral("camera control %1 %2 failed after %3 ms: %4")
                                            .arg(ParamTunnel::controlName(c.propId), call)
                                            .arg(c.ms)
                                            .arg(c.error ? QString::fromLocal8Bit(std::strerror(c.error))
                                                         : QStringLiteral("refused"))
                                      : QStringLiteral("camera control %1 %2 took %3 ms")
                                            .arg(ParamTunnel::controlName(c.propId), call)
                                            .arg(c.ms);
        qCWarning(lcBackend).noquote() << line;
    }
}

QString ControlStatus::failureText(const ControlOutcome &outcome)
{
    return outcome.failed() ? QCoreApplication::translate("QmlData", "control_failed") + QLatin1Char(' ')
                                  + outcome.reason()
                            : QString();
}

void ControlStatus::tellWrite(const ControlOutcome &outcome)
{
    setFailure(QLatin1String(Params::row(outcome.row).property), failureText(outcome));
}

QString ControlStatus::tellSync(const ControlOutcome &outcome)
{
    const auto failure = [&outcome](int prop) {
        for (const ControlCall &c : outcome.calls) {
            if (c.failed && (c.propId == prop || c.propId == cv::CAP_PROP_FOCUS))
                return c;
        }
        return ControlCall{};
    };
    for (int row = 0; row < Params::Count; ++row) {
        const ControlCall c = failure(ParamTunnel::propertyOf(Params::row(row).control));
        ControlOutcome one;
        if (c.failed)
            one.calls.push_back(c);
        setFailure(QLatin1String(Params::row(row).property), failureText(one));
    }
    QStringList failedRows;
    for (const ControlCall &c : outcome.calls) {
        const QString name = ParamTunnel::controlName(c.propId);
        if (c.failed && !failedRows.contains(name))
            failedRows << name;
    }
    return failedRows.join(QStringLiteral(", "));
}
