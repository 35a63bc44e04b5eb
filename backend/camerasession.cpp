#include "backend/camerasession.h"

#include "backend/backendlog.h"
#include "camera/cameralink.h"
#include "camera/capturethread.h"
#include "camera/streamformat.h"
#include "settings/settingsstore.h"
#include "tunnel/cameracontrol.h"
#include "tunnel/paramtunnel.h"

#include <QThread>

namespace {

const char *const PreviewNames[] = {"1080P 30FPS", "720P 30FPS"};

// Position of `cam` in `list`: by device path when there is one (the capture
// index of a camera changes when an earlier one goes away), else by name and
// index. -1 when it is not there.
int findCamera(const std::vector<CamDevice> &list, const CamDevice &cam)
{
    for (size_t i = 0; i < list.size(); ++i) {
        const CamDevice &d = list[i];
        const bool same = cam.path.isEmpty() ? (d.name == cam.name && d.id == cam.id) : (d.path == cam.path);
        if (same)
            return int(i);
    }
    return -1;
}

} // namespace

CameraSession::CameraSession(CameraLink *camera, SettingsStore *settings, ParamTunnel *tunnel,
                             CameraControl *control, QObject *parent)
    : QObject(parent)
    , m_camera(camera)
    , m_settings(settings)
    , m_tunnel(tunnel)
    , m_control(control)
    , m_capture(new CaptureThread(camera))
    , m_panel(Params::ownRows())
{
    connect(m_capture, &CaptureThread::readFailed, this, &CameraSession::captureFailed);
    connect(&m_pictureWatch, &PictureWatch::reopenDue, this, &CameraSession::reopenQuietly);
}

CameraSession::~CameraSession()
{
    delete m_capture;
}

void CameraSession::setCameraNames(const QStringList &names)
{
    m_names = names;
    emit cameraNamesChanged();
    if (m_index < 0 || m_index >= m_names.size()) {
        m_index = 0;
        emit cameraIndexChanged();
    }
}

bool CameraSession::chooseCamera(int index)
{
    if (index == m_index)
        return false;
    m_index = index;
    if (index >= 0 && index < m_names.size())
        m_deviceId = m_camera->deviceIdAt(index);
    emit cameraIndexChanged();
    return true;
}

int CameraSession::loadPreviewIndex()
{
    return m_previewIndex = m_settings->getPreviewIndex();
}

bool CameraSession::choosePreview(int index)
{
    if (index == m_previewIndex)
        return false;
    m_previewIndex = index;
    m_settings->setPreviewIndex(index);
    return true;
}

QStringList CameraSession::previewSizeList() const
{
    QStringList list{QLatin1String(PreviewNames[0]), QLatin1String(PreviewNames[1])};
    if (!m_streamText.isEmpty())
        list[m_previewIndex == 1 ? 1 : 0] = m_streamText;
    return list;
}

int CameraSession::enumerate()
{
    m_count = m_camera->enumerateDevices();
    return m_count;
}

void CameraSession::refreshNames()
{
    QStringList names;
    m_devices = m_camera->devices();
    for (const CamDevice &d : m_devices)
        names.append(d.name);
    setCameraNames(names);
}

bool CameraSession::start()
{
    if (m_count < 1) {
        qCWarning(lcBackend, "startCaptureTimer mDevs is null");
        return false;
    }
    m_camera->setRotation(0);
    if (m_deviceId < 1)
        m_deviceId = m_camera->deviceIdAt(0);
    qCInfo(lcBackend, "open cam id = %d", m_deviceId);
    open(false);
    return true;
}

// The open runs on the control worker, after what is queued there; its
// result comes back to openDone.
void CameraSession::open(bool quiet)
{
    m_open = true;
    m_quietOpen = quiet;
    ++m_asks;
    m_control->postOpen(m_deviceId, m_tunnel->previewSettings(m_previewIndex));
}

void CameraSession::stop()
{
    // The capture thread stays: it idles until the camera is open again and
    // is stopped only when the backend goes away.
    m_open = false;
    ++m_asks;
    m_control->postClose();
    m_hasOpenCamera = false;
    m_pictureWatch.closed();
}

void CameraSession::retryOpen()
{
    if (m_count < 1)
        emit openFailed();
    else
        start(); // a fresh prompt comes when it fails again
}

void CameraSession::controlDone(const ControlOutcome &outcome)
{
    if (--m_asks == 0 && outcome.kind == ControlOutcome::Open)
        openDone(outcome);
}

// The result of the last open asked for: an open that a later open or close
// overtook is not told.
void CameraSession::openDone(const ControlOutcome &outcome)
{
    m_open = outcome.opened;
    if (m_quietOpen) {
        if (outcome.opened) {
            showStreamFormat();
            cameraOpened(); // it may have been powered again, with its stored values
        }
        return;
    }
    if (outcome.opened) {
        rememberOpenCamera();
        cameraOpened();
        showStreamFormat();
        m_pictureWatch.opened();
        m_capture->start(QThread::InheritPriority);
        emit opened();
        return;
    }
    qCWarning(lcBackend, "startCaptureTimer cam open failed!!!! id = %d", m_deviceId);
    emit openFailed();
}

// A camera (re)opened: it runs the values stored in it, and has its own set of controls.
void CameraSession::cameraOpened()
{
    if (m_panel.cameraOpened())
        emit panelOnCameraChanged();
    emit missingControlsChanged();
}

void CameraSession::allSent()
{
    if (m_panel.allSent())
        emit panelOnCameraChanged();
}

// After an open: the chosen entry's name, or what the camera delivers instead
// (logged once, when it first differs).
void CameraSession::showStreamFormat()
{
    const int entry = m_previewIndex == 1 ? 1 : 0;
    const QString asked = QLatin1String(PreviewNames[entry]);
    QString shown = describeStream(m_camera->streamFormat(), m_tunnel->previewSettings(entry), asked);
    if (shown == asked)
        shown.clear();
    if (shown == m_streamText)
        return;
    m_streamText = shown;
    if (!shown.isEmpty())
        qCInfo(lcBackend).noquote() << QStringLiteral("the camera delivers %1").arg(shown);
    emit streamTextChanged();
}

// While the camera is closed nothing is sent or stored, so the next read
// brings back the stored value. Otherwise the INI file keeps the choice at
// once and the control worker sends it (after an open still under way).
void CameraSession::write(int id, int index)
{
    const int from = Params::handedOverFrom(id);
    if (from >= 0) {
        send(id, index, from, id); // sent even with the camera closed
        return;
    }
    if (!m_open)
        return;
    const int next = Params::rowOn(Params::row(id).control, id + 1);
    if (Params::handsOver(id, index) && next < Params::Count) {
        // The camera gets the next row's stored value (the white balance's
        // Manual: the stored colour temperature), not a preset.
        m_settings->set(Params::Id(id), Params::storedAt(id, index));
        send(next, Params::indexOfStored(next, m_settings->get(Params::Id(next))), id, id);
    } else {
        send(id, index, id, id);
    }
    if (m_panel.rowWritten(id))
        emit panelOnCameraChanged();
}

// Stored at once, sent by the worker. A row and the row it hands its register
// over to share one queue key, so the latest of them reaches the camera last.
void CameraSession::send(int id, int index, int key, int row)
{
    const Params::Id param = Params::Id(id);
    const int argument = Params::argumentOfIndex(id, index);
    m_tunnel->write(param, argument, *m_camera, *m_settings, ParamTunnel::Part::StoreOnly);
    CameraLink *camera = m_camera;
    SettingsStore *settings = m_settings;
    ParamTunnel *tunnel = m_tunnel;
    m_control->postWrite(key, row, [=](ControlOutcome &) {
        tunnel->write(param, argument, *camera, *settings, ParamTunnel::Part::SendOnly);
    });
}

void CameraSession::rememberOpenCamera()
{
    m_hasOpenCamera = false;
    for (const CamDevice &d : m_camera->devices()) {
        if (d.id == m_deviceId) {
            m_openCamera = d;
            m_hasOpenCamera = true;
            break;
        }
    }
}

bool CameraSession::openCameraListed() const
{
    if (!m_hasOpenCamera || !m_open)
        return true;
    return findCamera(m_devices, m_openCamera) >= 0;
}

// After a new list has been taken: the open camera may sit at another position
// and under another capture index now.
void CameraSession::relocateOpenCamera()
{
    if (!m_hasOpenCamera || !m_open)
        return;
    const int pos = findCamera(m_devices, m_openCamera);
    if (pos < 0)
        return;
    m_openCamera = m_devices[size_t(pos)];
    m_deviceId = m_openCamera.id;
    if (m_index != pos) {
        m_index = pos;
        emit cameraIndexChanged();
    }
}

// The chosen camera has gone: the next open takes the first listed camera,
// wherever it now sits (a replugged camera may come back under another index).
void CameraSession::forgetChosenCamera()
{
    m_deviceId = 0;
    m_hasOpenCamera = false;
    if (m_index != 0) {
        m_index = 0;
        emit cameraIndexChanged();
    }
}

void CameraSession::deviceChange()
{
    if (m_quitting)
        return;
    const int n = m_camera->enumerateDevices();
    std::vector<CamDevice> list = m_camera->devices();
    const int m = m_count;

    if (m < 1) {
        if (n < 1) {
            qCDebug(lcBackend, "not ready");
            return;
        }
        m_count = n;
        m_devices = std::move(list);
        emit camerasArrived();
        return;
    }

    if (n == m)
        return;
    m_count = n;
    m_devices = std::move(list);

    if (n < 1) {
        stop();
        forgetChosenCamera();
        emit cameraGone();
        return;
    }
    if (openCameraListed()) {
        refreshNames();
        relocateOpenCamera();
        return;
    }
    // The camera in use was unplugged while others stay.
    stop();
    forgetChosenCamera();
    refreshNames();
    emit cameraGone();
}

void CameraSession::captureFailed()
{
    // Hosts without udev, and a device that vanishes before its notice, report
    // nothing: the failed read is the device change. The camera's descriptor is
    // dead either way, so it is opened afresh if it is still listed; a camera
    // that fails again soon after is left to the picture watch's back-off.
    if (m_quitting || !m_hasOpenCamera || !m_open)
        return;
    qCWarning(lcBackend, "frame read failed: enumerating again");
    const bool recent = m_reopenedAfterFailure.isValid() && m_reopenedAfterFailure.elapsed() < 3000;
    if (recent)
        closeIfGone();
    else
        reopenQuietly();
}

// Takes a new list; a camera no longer in it is closed, with the not-found
// prompt. Returns whether it was gone.
bool CameraSession::closeIfGone()
{
    enumerate();
    refreshNames();
    if (findCamera(m_devices, m_openCamera) >= 0)
        return false;
    stop();
    forgetChosenCamera();
    emit cameraGone();
    return true;
}

// The open camera delivers nothing: opened afresh while it is listed, with
// no prompt.
void CameraSession::reopenQuietly()
{
    if (m_quitting || !m_hasOpenCamera || closeIfGone())
        return;
    relocateOpenCamera();
    qCWarning(lcBackend, "camera delivers no picture: reopening id = %d", m_deviceId);
    m_reopenedAfterFailure.start(); // a read failing soon after waits for the next turn
    open(true);
}
