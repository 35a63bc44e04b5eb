#include "tunnel/syncthread.h"

#include "settings/settingsstore.h"
#include "tunnel/paramtunnel.h"

SyncThread::SyncThread(CameraLink *camera, SettingsStore *settings, ParamTunnel *tunnel)
    : m_camera(camera)
    , m_settings(settings)
    , m_tunnel(tunnel)
{
    // Announced from the thread's own finish, not from run(): whoever starts
    // the thread again on this signal then finds it finishing (start() waits
    // for that) or finished, never still inside run(), where start() would do
    // nothing and the next completion would never come.
    connect(this, &QThread::finished, this, &SyncThread::syncCompeleted, Qt::DirectConnection);
}

void SyncThread::setRestoreDefaults(bool restore)
{
    m_restoreDefaults = restore;
}

bool SyncThread::restoreDefaultsFlag() const
{
    return m_restoreDefaults;
}

void SyncThread::run()
{
    // The priming pass sends the old values; only then are the defaults
    // stored, so that the full write below sends them.
    m_tunnel->primeAll(*m_camera, *m_settings);
    if (m_restoreDefaults)
        m_settings->restoreDefaults();
    m_tunnel->syncAll(*m_camera, *m_settings);
}
