#include "tunnel/savetocamthread.h"

#include "tunnel/paramtunnel.h"

namespace {
// The camera needs this long after each store command.
const unsigned long StoreSettleMs = 500;
} // namespace

SaveToCamThread::SaveToCamThread(CameraLink *camera, SettingsStore *settings, ParamTunnel *tunnel)
    : m_camera(camera)
    , m_settings(settings)
    , m_tunnel(tunnel)
{
    // From the thread's finish, for the reason given in SyncThread.
    connect(this, &QThread::finished, this, &SaveToCamThread::saveCompeleted, Qt::DirectConnection);
}

void SaveToCamThread::run()
{
    m_tunnel->storeToCamera(*m_camera);
    m_tunnel->pause(StoreSettleMs);
    m_tunnel->storeToCamera(*m_camera);
    m_tunnel->pause(StoreSettleMs);
}
