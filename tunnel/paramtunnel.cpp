#include "tunnel/paramtunnel.h"

#include "camera/cameralink.h"
#include "settings/settingsstore.h"

#include <QThread>

#include <opencv2/videoio.hpp>

#include <cmath>
#include <mutex>

namespace {

// Focus values that drive the firmware's command selector.
const int FocusOpen = 89;
const int FocusClose = 0;
const int FocusStore = 249;
// The camera needs this long after the opening write and after each value of
// a bulk transaction.
const unsigned long TunnelPauseMs = 100;

// A read as the firmware means it: truncated toward zero, low 16 bits kept.
// Values that no integer holds (NaN, infinities) read as 0.
quint16 to16Bits(double v)
{
    if (!std::isfinite(v))
        return 0;
    double low = std::fmod(std::trunc(v), 65536.0);
    if (low < 0)
        low += 65536.0;
    return quint16(low);
}

// Gain code: 3-bit exponent and 5-bit mantissa of the code with its top bit
// inverted; 0.125 (code 128) to 31.5 (code 127).
double decodeGain(quint16 code)
{
    const unsigned t = (code & 0xFFu) ^ 0x80u;
    const unsigned m = t & 31u;
    const int e = int((t >> 5) & 7u);
    const float scale = e < 3 ? 1.0f / float(1u << (3 - e)) : float(1u << (e - 3));
    const float gain = (float(m) * 0.03125f + 1.0f) * scale;
    return double(gain);
}

// The flag register with the bit of switch `id` set or cleared.
quint8 withFlag(quint8 flags, int id, bool on)
{
    const quint8 bit = quint8(Params::row(id).encoding.bit);
    return on ? quint8(flags | bit) : quint8(flags & ~bit);
}

// Whether the stored white balance leaves the control to the next row on it
// (the manual colour temperature).
bool manualWhiteBalance(SettingsStore &settings)
{
    const int lead = Params::rowOn(Params::Control::WhiteBalance);
    return Params::registerOf(lead, settings.get(Params::Id(lead))) == Params::OtherRow;
}

} // namespace

ParamTunnel::ParamTunnel(Pause pause)
    : m_pause(std::move(pause))
    , m_previewLists{{cv::CAP_PROP_FRAME_WIDTH, 1920, cv::CAP_PROP_FRAME_HEIGHT, 1080, cv::CAP_PROP_FPS, 30},
                     {cv::CAP_PROP_FRAME_WIDTH, 1280, cv::CAP_PROP_FRAME_HEIGHT, 720, cv::CAP_PROP_FPS, 30}}
{
}

std::vector<int> ParamTunnel::previewSettings(int index) const
{
    if (index == 1)
        return m_previewLists[1];
    return m_previewLists[0];
}

int ParamTunnel::propertyOf(Params::Control c)
{
    static const int ids[Params::ControlCount] = {
        cv::CAP_PROP_AUTO_EXPOSURE, cv::CAP_PROP_IRIS,      cv::CAP_PROP_EXPOSURE, cv::CAP_PROP_GAIN,
        cv::CAP_PROP_BRIGHTNESS,    cv::CAP_PROP_BACKLIGHT, whiteBalanceProperty(), cv::CAP_PROP_HUE,
        cv::CAP_PROP_SATURATION,    cv::CAP_PROP_CONTRAST,  cv::CAP_PROP_SHARPNESS, cv::CAP_PROP_ROLL,
        cv::CAP_PROP_PAN,           cv::CAP_PROP_TILT,      cv::CAP_PROP_ZOOM,      cv::CAP_PROP_GAMMA};
    return ids[int(c)];
}

QString ParamTunnel::apertureNameOf(int value)
{
    const int iris = Params::rowOn(Params::Control::Iris);
    const int i = Params::indexOf(iris, value);
    return Params::storedAt(iris, i) == value ? Params::label(iris, i) : QStringLiteral("Null");
}

// The name of the first row on the control, or the selector's.
QString ParamTunnel::controlName(int propId)
{
    if (propId == cv::CAP_PROP_FOCUS)
        return QStringLiteral("Register selector");
    for (int c = 0; c < Params::ControlCount; ++c) {
        const int lead = Params::rowOn(Params::Control(c));
        if (lead < Params::Count && propertyOf(Params::Control(c)) == propId)
            return QLatin1String(Params::row(lead).debug);
    }
    return QString::number(propId);
}

// ---------------------------------------------------------------------------
// Transactions

namespace {
bool sends(ParamTunnel::Part part) { return part != ParamTunnel::Part::StoreOnly; }
bool stores(ParamTunnel::Part part) { return part != ParamTunnel::Part::SendOnly; }
} // namespace

void ParamTunnel::pause(unsigned long ms) const
{
    if (m_pause)
        m_pause(ms);
    else
        QThread::msleep(ms);
}

void ParamTunnel::transaction(CaptureSession &session, int propId, int value, bool settle)
{
    session.set(cv::CAP_PROP_FOCUS, FocusOpen);
    if (settle)
        pause(TunnelPauseMs);
    session.set(propId, double(value));
    session.set(cv::CAP_PROP_FOCUS, FocusClose);
}

// Exposure codes go in the form the platform's driver takes.
void ParamTunnel::sendDirect(CaptureSession &session, Params::Control c, int value)
{
    if (c == Params::Control::Exposure)
        sendExposureTime(session, value);
    else
        session.set(propertyOf(c), double(value));
}

// The direct writes of AEC mode `mode`, with the stored iris and exposure
// time (both read in every mode); false (nothing sent) when the camera is
// closed or the mode is none.
bool ParamTunnel::applyAecMode(CaptureSession &session, int mode, SettingsStore &settings)
{
    const int aec = Params::rowOn(Params::Control::AutoExposure);
    if (!session.isOpened() || !Params::validIndex(aec, mode))
        return false;
    const auto storedOn = [&settings](Params::Control c) {
        const int id = Params::rowOn(c);
        return id < Params::Count ? Params::registerOf(id, settings.get(Params::Id(id))) : 0;
    };
    const int iris = storedOn(Params::Control::Iris);
    const int exposure = storedOn(Params::Control::Exposure);
    const int manual = Params::registerOf(aec, Params::storedAt(aec, mode));
    if (!(manual & Params::ManualExposure))
        session.set(propertyOf(Params::Control::AutoExposure), autoExposureOnValue());
    sendDirect(session, Params::Control::Iris, (manual & Params::ManualIris) ? iris : 0);
    if (manual & Params::ManualExposure)
        sendDirect(session, Params::Control::Exposure, exposure);
    return true;
}

void ParamTunnel::write(Params::Id id, int value, CameraLink &camera, SettingsStore &settings, Part part)
{
    const Params::Row &row = Params::row(id);
    const int index = Params::indexOfArgument(id, value);
    if (index < 0)
        return;
    const int stored = Params::storedAt(id, index);
    const int reg = Params::registerOf(id, stored);
    const int propId = propertyOf(row.control);
    switch (row.route) {
    case Params::Route::AecModes:
    case Params::Route::Direct:
        if (sends(part)) {
            CaptureSession session(camera);
            if (!session.isOpened())
                return;
            if (row.route == Params::Route::AecModes)
                applyAecMode(session, index, settings);
            else
                sendDirect(session, row.control, reg);
        } else if (!camera.isOpened()) {
            return; // the store half never waits for a session
        }
        break;
    case Params::Route::Flag:
        if (sends(part)) {
            CaptureSession session(camera);
            const quint8 flags = withFlag(m_flagRegister.load(), id, stored != 0);
            m_flagRegister.store(flags);
            transaction(session, propId, flags);
        }
        break;
    case Params::Route::TunnelStoredFirst:
        if (stores(part))
            settings.set(id, stored);
        if (sends(part)) {
            CaptureSession session(camera);
            transaction(session, propId, reg);
        }
        return;
    case Params::Route::Tunnel:
    case Params::Route::TunnelAtOnce:
        if (reg == Params::OtherRow)
            return; // the next row on the control sends it
        if (sends(part)) {
            CaptureSession session(camera);
            transaction(session, propId, reg, row.route == Params::Route::Tunnel);
        }
        break;
    }
    if (stores(part))
        settings.set(id, stored);
}

void ParamTunnel::loadFlags(SettingsStore &settings)
{
    quint8 flags = 0;
    for (int id = 0; id < Params::Count; ++id) {
        if (Params::row(id).route == Params::Route::Flag)
            flags = withFlag(flags, id, settings.get(Params::Id(id)) != 0);
    }
    m_flagRegister.store(flags);
}

// ---------------------------------------------------------------------------
// Debug read-back

QString ParamTunnel::readDebugInfo(CameraLink &camera)
{
    CaptureSession session(camera);
    return readInSession(session);
}

bool ParamTunnel::tryReadDebugInfo(CameraLink &camera, QString *text)
{
    CaptureSession session(camera, std::try_to_lock);
    if (!session.isValid())
        return false;
    const QString result = readInSession(session);
    if (text)
        *text = result;
    return true;
}

QString ParamTunnel::readInSession(CaptureSession &session)
{
    if (!session.isOpened())
        return QStringLiteral("Get failed!");

    // The firmware expects the selector to be read first.
    session.get(cv::CAP_PROP_FOCUS);
    DebugReadout d;
    d.luxIndex = to16Bits(session.get(cv::CAP_PROP_BRIGHTNESS));
    d.colorTemp = to16Bits(session.get(whiteBalanceProperty()));
    d.rGain = to16Bits(session.get(cv::CAP_PROP_PAN)) & 0xFF;
    d.bGain = to16Bits(session.get(cv::CAP_PROP_TILT)) & 0xFF;
    d.lumaTarget = to16Bits(session.get(cv::CAP_PROP_SATURATION));
    d.iso = to16Bits(session.get(cv::CAP_PROP_GAIN));
    d.aperture = to16Bits(session.get(cv::CAP_PROP_CONTRAST));
    d.exposure = to16Bits(session.get(cv::CAP_PROP_SHARPNESS));
    m_debug = d;

    QString text;
    const auto line = [&text](const char *label, const QString &value) {
        text += QLatin1String(label) + value + QLatin1Char('\n');
    };
    line(" R_gain:      ", QString::number(decodeGain(d.rGain), 'f', 3));
    line(" B_gain:      ", QString::number(decodeGain(d.bGain), 'f', 3));
    line(" Lux_index:   ", QString::number(d.luxIndex));
    line(" Color_temp:  ", QString::number(qint32(d.colorTemp) * 100));
    line(" Luma_target: ", QString::number(d.lumaTarget));
    line(" ISO:         ", QString::number(qint32(d.iso) * 100));
    line(" Aperture:    ", apertureNameOf(qint32(d.aperture) * 10));
    line(" Exposure:    ", QString::number(d.exposure));

    // Rows whose writes reach no control of this camera (found at open).
    QStringList lost;
    if (!session.reaches(cv::CAP_PROP_FOCUS))
        lost << controlName(cv::CAP_PROP_FOCUS);
    for (int c = 0; c < Params::ControlCount; ++c) {
        if (!session.reaches(propertyOf(Params::Control(c))))
            lost << controlName(propertyOf(Params::Control(c)));
    }
    if (!lost.isEmpty())
        line(" No control:  ", lost.join(QLatin1String(", ")));
    return text;
}

// ---------------------------------------------------------------------------
// Bulk writes

// Open, each tunnelled control's value (the flag register's where the flags
// go) followed by a pause, the white balance once more, close. Once
// cancelled, the values left are skipped.
void ParamTunnel::bulkWrite(CaptureSession &session, const ControlValues &values, quint8 flags,
                            const std::atomic<bool> *cancel)
{
    m_flagRegister.store(flags);
    session.set(cv::CAP_PROP_FOCUS, FocusOpen);
    pause(TunnelPauseMs);
    const auto send = [&](Params::Control c) {
        const int lead = Params::rowOn(c);
        const bool flagged = lead < Params::Count && Params::row(lead).route == Params::Route::Flag;
        if ((cancel && cancel->load()) || (!flagged && values[size_t(c)] == Skip))
            return;
        session.set(propertyOf(c), double(flagged ? flags : values[size_t(c)]));
        pause(TunnelPauseMs);
    };
    for (int c = int(Params::FirstTunnelled); c < Params::ControlCount; ++c)
        send(Params::Control(c));
    send(Params::Control::WhiteBalance);
    session.set(cv::CAP_PROP_FOCUS, FocusClose);
}

// Every stored value, read before the camera is taken: the AEC mode's direct
// writes, then each control's lead row, or the row behind an entry that leaves
// the control to it (the colour temperature, read only then), and the flags.
void ParamTunnel::syncAll(CameraLink &camera, SettingsStore &settings, const std::atomic<bool> *cancel)
{
    if (cancel && cancel->load())
        return;
    const Params::Id aec = Params::Id(Params::rowOn(Params::Control::AutoExposure));
    const int aecMode = settings.get(aec);
    ControlValues values;
    values.fill(Skip);
    std::array<bool, Params::Count> flagOn{};
    for (int c = int(Params::FirstTunnelled); c < Params::ControlCount; ++c) {
        int id = Params::rowOn(Params::Control(c));
        if (id == Params::Count)
            continue;
        if (Params::row(id).route == Params::Route::Flag) {
            for (; id < Params::Count; id = Params::rowOn(Params::Control(c), id + 1))
                flagOn[size_t(id)] = settings.get(Params::Id(id)) != 0;
            continue;
        }
        int reg = Params::registerOf(id, settings.get(Params::Id(id)));
        if (reg == Params::OtherRow) {
            id = Params::rowOn(Params::Control(c), id + 1);
            reg = Params::registerOf(id, settings.get(Params::Id(id)));
        }
        values[size_t(c)] = reg;
    }

    CaptureSession session(camera);
    if (applyAecMode(session, Params::indexOf(aec, aecMode), settings))
        settings.set(aec, aecMode);
    pause(TunnelPauseMs);
    quint8 flags = m_flagRegister.load();
    for (int id = 0; id < Params::Count; ++id) {
        if (Params::row(id).route == Params::Route::Flag)
            flags = withFlag(flags, id, flagOn[size_t(id)]);
    }
    bulkWrite(session, values, flags, cancel);
}

// The direct rows' stored values, then each control's placeholder; the flags
// go inverted, so that the sync that follows changes both bits.
void ParamTunnel::primeAll(CameraLink &camera, SettingsStore &settings, const std::atomic<bool> *cancel)
{
    if (cancel && cancel->load())
        return;
    std::array<int, Params::Count> stored{};
    for (int id = 0; id < Params::Count; ++id) {
        const Params::Prime::Rule rule = Params::row(id).prime.rule;
        if (rule == Params::Prime::Stored || rule == Params::Prime::Inverted)
            stored[size_t(id)] = settings.get(Params::Id(id));
    }
    const bool manual = manualWhiteBalance(settings);
    ControlValues values;
    values.fill(Skip);
    for (int c = int(Params::FirstTunnelled); c < Params::ControlCount; ++c) {
        const int lead = Params::rowOn(Params::Control(c));
        const Params::Prime prime = lead < Params::Count ? Params::row(lead).prime : Params::Prime::none();
        if (prime.rule == Params::Prime::Value || (prime.rule == Params::Prime::UnlessManualWhiteBalance && !manual))
            values[size_t(c)] = prime.value;
    }

    CaptureSession session(camera);
    for (int id = 0; id < Params::Count; ++id) {
        if (Params::row(id).prime.rule == Params::Prime::Stored)
            sendDirect(session, Params::row(id).control, Params::registerOf(id, stored[size_t(id)]));
    }
    quint8 flags = m_flagRegister.load();
    for (int id = 0; id < Params::Count; ++id) {
        if (Params::row(id).prime.rule == Params::Prime::Inverted)
            flags = withFlag(flags, id, stored[size_t(id)] == 0);
    }
    bulkWrite(session, values, flags, cancel);
}

void ParamTunnel::storeToCamera(CameraLink &camera)
{
    CaptureSession session(camera);
    session.set(cv::CAP_PROP_FOCUS, FocusStore);
    pause(TunnelPauseMs);
    session.set(cv::CAP_PROP_FOCUS, FocusClose);
}
