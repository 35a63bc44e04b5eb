#pragma once

#include <QThread>

#include <atomic>

class CameraLink;
class ParamTunnel;
class SettingsStore;

// Sends every stored parameter to the camera off the GUI thread: the priming
// pass, optionally a reset of the stored tuning values to their defaults, then
// the full write. Started again for each use; `syncCompeleted` comes once the
// thread has left run(), so its receiver may start the next run at once.
class SyncThread : public QThread
{
    Q_OBJECT

public:
    SyncThread(CameraLink *camera, SettingsStore *settings, ParamTunnel *tunnel);

    // Whether the next run resets the stored tuning values first. Stays set
    // after the run until changed, so the completion handler can see it.
    void setRestoreDefaults(bool restore);
    bool restoreDefaultsFlag() const;

signals:
    void syncCompeleted();

protected:
    void run() override;

private:
    CameraLink *m_camera;
    SettingsStore *m_settings;
    ParamTunnel *m_tunnel;
    std::atomic<bool> m_restoreDefaults{false};
};
