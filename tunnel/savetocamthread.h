#pragma once

#include <QThread>

class CameraLink;
class ParamTunnel;
class SettingsStore;

// Makes the camera store its parameters (twice, 500 ms apart) off the GUI
// thread, then reports completion once the thread has left run().
class SaveToCamThread : public QThread
{
    Q_OBJECT

public:
    SaveToCamThread(CameraLink *camera, SettingsStore *settings, ParamTunnel *tunnel);

signals:
    void saveCompeleted();

protected:
    void run() override;

private:
    CameraLink *m_camera;
    SettingsStore *m_settings;
    ParamTunnel *m_tunnel;
};
