#include "tunnel/paramtunnel.h"

#include "camera/cameralink.h"
#include "settings/settingsstore.h"

#include <QThread>

#include <opencv2/videoio.hpp>

#include <cmath>
#include <iterator>
#include <mutex>

namespace {

// Focus values that drive the firmware's command selector.
const int FocusOpen = 89;
const int FocusClose = 0;
const int FocusStore = 249;
// The camera needs this long after the opening write and after each value of
// a bulk transaction.
const unsigned long TunnelPauseMs = 100;

const quint8 SkinSmoothingBit = 0x80;
const quint8 BrightModeBit = 0x40;

const QVector<ApertureEntry> &apertureTable()
{
    static const QVector<ApertureEntry> table = {
        {0, QStringLiteral("F1.0"), 100},     {64, QStringLiteral("F1.1"), 110},
        {128, QStringLiteral("F1.2"), 120},   {192, QStringLiteral("F1.3"), 130},
        {256, QStringLiteral("F1.4"), 140},   {299, QStringLiteral("F1.5"), 150},
        {342, QStringLiteral("F1.6"), 160},   {392, QStringLiteral("F1.7"), 170},
        {427, QStringLiteral("F1.8"), 180},   {469, QStringLiteral("F1.9"), 190},
        {512, QStringLiteral("F2.0"), 200},   {555, QStringLiteral("F2.1"), 210},
        {598, QStringLiteral("F2.2"), 220},   {626, QStringLiteral("F2.3"), 230},
        {654, QStringLiteral("F2.4"), 240},   {683, QStringLiteral("F2.5"), 250},
        {711, QStringLiteral("F2.6"), 260},   {739, QStringLiteral("F2.7"), 270},
        {768, QStringLiteral("F2.8"), 280},   {854, QStringLiteral("F3.2"), 320},
        {938, QStringLiteral("F3.5"), 350},   {1024, QStringLiteral("F4.0"), 400},
        {1110, QStringLiteral("F4.5"), 450},  {1195, QStringLiteral("F5.0"), 500},
        {1280, QStringLiteral("F5.6"), 560},  {1366, QStringLiteral("F6.3"), 630},
        {1451, QStringLiteral("F7.1"), 710},  {1536, QStringLiteral("F8.0"), 800},
        {1622, QStringLiteral("F9.0"), 900},  {1707, QStringLiteral("F10"), 1000},
        {1792, QStringLiteral("F11"), 1100},  {1878, QStringLiteral("F13"), 1300},
        {1963, QStringLiteral("F14"), 1400},  {2048, QStringLiteral("F16"), 1600},
        {2134, QStringLiteral("F18"), 1800},  {2219, QStringLiteral("F20"), 2000},
        {2304, QStringLiteral("F22"), 2200},  {2390, QStringLiteral("F25"), 2500},
    };
    return table;
}

const QVector<ExposureEntry> &exposureTable()
{
    // The slowest row carries 1, not 0: the camera has no code 0.
    static const QVector<ExposureEntry> table = {
        {QStringLiteral("1/1000s"), -10}, {QStringLiteral("1/640s"), -9},
        {QStringLiteral("1/320s"), -8},   {QStringLiteral("1/200s"), -7},
        {QStringLiteral("1/120s"), -6},   {QStringLiteral("1/100s"), -5},
        {QStringLiteral("1/60s"), -4},    {QStringLiteral("1/50s"), -3},
        {QStringLiteral("1/33s"), -2},    {QStringLiteral("1/30s"), -1},
        {QStringLiteral("1/24s"), 1},
    };
    return table;
}

// The index is the register value.
const QStringList &isoTable()
{
    static const QStringList table = {
        QStringLiteral("ISO Auto"), QStringLiteral("ISO 100"),  QStringLiteral("ISO 150"),
        QStringLiteral("ISO 200"),  QStringLiteral("ISO 300"),  QStringLiteral("ISO 400"),
        QStringLiteral("ISO 600"),  QStringLiteral("ISO 800"),  QStringLiteral("ISO 1200"),
        QStringLiteral("ISO 1600"), QStringLiteral("ISO 2400"), QStringLiteral("ISO 3200"),
        QStringLiteral("ISO 4800"), QStringLiteral("ISO 6400"),
    };
    return table;
}

// Exposure compensation in thirds of a stop.
const QVector<LabeledValue> &evTable()
{
    static const QVector<LabeledValue> table = {
        {QStringLiteral("-2.0"), -6}, {QStringLiteral("-1.7"), -5}, {QStringLiteral("-1.3"), -4},
        {QStringLiteral("-1.0"), -3}, {QStringLiteral("-0.7"), -2}, {QStringLiteral("-0.3"), -1},
        {QStringLiteral("0.0"), 0},   {QStringLiteral("0.3"), 1},   {QStringLiteral("0.7"), 2},
        {QStringLiteral("1.0"), 3},   {QStringLiteral("1.3"), 4},   {QStringLiteral("1.7"), 5},
        {QStringLiteral("2.0"), 6},
    };
    return table;
}

const int AwbPresetKelvin[] = {0, 2800, 4200, 6500, 7000, 7500};
const int AwbManualPreset = 6;

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

template<typename Row, typename Value>
int firstIndexOf(const QVector<Row> &table, int v, Value value)
{
    for (int i = 0; i < table.size(); ++i) {
        if (int(value(table.at(i))) == v)
            return i;
    }
    return 0;
}

// The parameter rows by the capture property that carries them to the camera.
struct TunnelRow
{
    const char *name;
    int propId;
};

std::vector<TunnelRow> tunnelRows()
{
    return {{"Register selector", cv::CAP_PROP_FOCUS},
            {"AEC mode", cv::CAP_PROP_AUTO_EXPOSURE},
            {"Aperture", cv::CAP_PROP_IRIS},
            {"Exposure time", cv::CAP_PROP_EXPOSURE},
            {"ISO", cv::CAP_PROP_GAIN},
            {"EV", cv::CAP_PROP_BRIGHTNESS},
            {"Anti-flicker", cv::CAP_PROP_BACKLIGHT},
            {"White balance", ParamTunnel::whiteBalanceProperty()},
            {"Warmness", cv::CAP_PROP_HUE},
            {"Saturation", cv::CAP_PROP_SATURATION},
            {"Contrast", cv::CAP_PROP_CONTRAST},
            {"Sharpness", cv::CAP_PROP_SHARPNESS},
            {"MCE red", cv::CAP_PROP_ROLL},
            {"MCE green", cv::CAP_PROP_PAN},
            {"MCE blue", cv::CAP_PROP_TILT},
            {"SCE", cv::CAP_PROP_ZOOM},
            {"Skin smoothing/Bright mode", cv::CAP_PROP_GAMMA}};
}

} // namespace

ParamTunnel::ParamTunnel(Pause pause)
    : m_pause(std::move(pause))
    , m_previewLists{{cv::CAP_PROP_FRAME_WIDTH, 1920, cv::CAP_PROP_FRAME_HEIGHT, 1080, cv::CAP_PROP_FPS, 30},
                     {cv::CAP_PROP_FRAME_WIDTH, 1280, cv::CAP_PROP_FRAME_HEIGHT, 720, cv::CAP_PROP_FPS, 30}}
{
    m_mceList.clear();
    m_mceList.reserve(257);
    for (int i = 0; i <= 256; ++i) {
        // Exact in single precision for every i: the gain factor 1.0 ... 1.5.
        const float factor = float(i) * 0.5f * (1.0f / 256.0f) + 1.0f;
        m_mceList.append({QString::number(double(factor), 'f', 3), i - 128});
    }
}

std::vector<int> ParamTunnel::previewSettings(int index) const
{
    if (index == 1)
        return m_previewLists[1];
    return m_previewLists[0];
}

int ParamTunnel::apertureCount() { return apertureTable().size(); }
int ParamTunnel::exposureCount() { return exposureTable().size(); }
int ParamTunnel::isoCount() { return isoTable().size(); }
int ParamTunnel::evCount() { return evTable().size(); }

QVector<ApertureEntry> ParamTunnel::apertureList() { return apertureTable(); }
QVector<ExposureEntry> ParamTunnel::exposureList() { return exposureTable(); }
QStringList ParamTunnel::isoList() { return isoTable(); }
QVector<LabeledValue> ParamTunnel::evList() { return evTable(); }
QVector<LabeledValue> ParamTunnel::mceList() const { return m_mceList; }

QStringList ParamTunnel::apertureLabels()
{
    QStringList labels;
    for (const ApertureEntry &e : apertureTable())
        labels << e.label;
    return labels;
}

QStringList ParamTunnel::exposureLabels()
{
    QStringList labels;
    for (const ExposureEntry &e : exposureTable())
        labels << e.label;
    return labels;
}

QStringList ParamTunnel::isoLabels() { return isoTable(); }

QStringList ParamTunnel::evLabels()
{
    QStringList labels;
    for (const LabeledValue &e : evTable())
        labels << e.label;
    return labels;
}

QStringList ParamTunnel::mceLabels() const
{
    QStringList labels;
    for (const LabeledValue &e : m_mceList)
        labels << e.label;
    return labels;
}

QString ParamTunnel::apertureText(int i)
{
    return i >= 0 && i < apertureCount() ? apertureTable().at(i).label : QString();
}

QString ParamTunnel::exposureText(int i)
{
    return i >= 0 && i < exposureCount() ? exposureTable().at(i).label : QString();
}

QString ParamTunnel::isoText(int i)
{
    return i >= 0 && i < isoCount() ? isoTable().at(i) : QString();
}

QString ParamTunnel::evText(int i)
{
    return i >= 0 && i < evCount() ? evTable().at(i).label : QString();
}

int ParamTunnel::apertureIndexOf(int v)
{
    return firstIndexOf(apertureTable(), v, [](const ApertureEntry &e) { return e.fNumber100; });
}

int ParamTunnel::exposureIndexOf(int v)
{
    return firstIndexOf(exposureTable(), v, [](const ExposureEntry &e) { return e.value; });
}

int ParamTunnel::evIndexOf(int v)
{
    return firstIndexOf(evTable(), v, [](const LabeledValue &e) { return e.value; });
}

int ParamTunnel::mceIndexOf(int v) const
{
    return firstIndexOf(m_mceList, v, [](const LabeledValue &e) { return e.value; });
}

int ParamTunnel::awbPresetTemperature(int preset)
{
    if (preset < 0 || preset >= int(std::size(AwbPresetKelvin)))
        return -1;
    return AwbPresetKelvin[preset];
}

QString ParamTunnel::apertureNameOf(int value)
{
    for (const ApertureEntry &e : apertureTable()) {
        if (e.fNumber100 == value)
            return e.label;
    }
    return QStringLiteral("Null");
}

QString ParamTunnel::controlName(int propId)
{
    for (const TunnelRow &row : tunnelRows()) {
        if (row.propId == propId)
            return QLatin1String(row.name);
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

void ParamTunnel::tunnelWrite(CameraLink &camera, int propId, int value, bool settle)
{
    CaptureSession session(camera);
    transaction(session, propId, value, settle);
}

// The direct writes of AEC mode `mode`; false (nothing sent) when the camera
// is closed or the mode is not 0-3.
bool ParamTunnel::applyAecMode(CaptureSession &session, int mode, SettingsStore &settings)
{
    if (!session.isOpened() || mode < 0 || mode > 3)
        return false;
    const int aperture = settings.getApertureValue();
    const int exposure = settings.getExposureTime();
    switch (mode) {
    case 0: // Auto
        session.set(cv::CAP_PROP_AUTO_EXPOSURE, autoExposureOnValue());
        session.set(cv::CAP_PROP_IRIS, 0);
        break;
    case 1: // Manual
        session.set(cv::CAP_PROP_IRIS, aperture);
        sendExposureTime(session, exposure);
        break;
    case 2: // Exposure manual
        session.set(cv::CAP_PROP_IRIS, 0);
        sendExposureTime(session, exposure);
        break;
    case 3: // Aperture manual
        session.set(cv::CAP_PROP_AUTO_EXPOSURE, autoExposureOnValue());
        session.set(cv::CAP_PROP_IRIS, aperture);
        break;
    }
    return true;
}

void ParamTunnel::setAecMode(int mode, CameraLink &camera, SettingsStore &settings, Part part)
{
    if (sends(part)) {
        CaptureSession session(camera);
        if (!applyAecMode(session, mode, settings))
            return;
    } else if (!camera.isOpened() || mode < 0 || mode > 3) {
        return;
    }
    if (stores(part))
        settings.setAecMod(mode);
}

void ParamTunnel::setAperture(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    if (index < 0 || index >= apertureCount())
        return;
    const int value = apertureTable().at(index).fNumber100;
    if (sends(part)) {
        CaptureSession session(camera);
        if (!session.isOpened())
            return;
        session.set(cv::CAP_PROP_IRIS, value);
    } else if (!camera.isOpened()) {
        return; // the store half never waits for a session
    }
    if (stores(part))
        settings.setApertureValue(value);
}

void ParamTunnel::setExposureTime(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    if (index < 0 || index >= exposureCount())
        return;
    const int value = exposureTable().at(index).value;
    if (sends(part)) {
        CaptureSession session(camera);
        if (!session.isOpened())
            return;
        sendExposureTime(session, value);
    } else if (!camera.isOpened()) {
        return; // the store half never waits for a session
    }
    if (stores(part))
        settings.setExposureTime(value);
}

void ParamTunnel::setFlagBit(quint8 bit, bool on, CameraLink &camera, Part part)
{
    if (!sends(part))
        return;
    CaptureSession session(camera);
    const quint8 old = m_flagRegister.load();
    const quint8 flags = on ? quint8(old | bit) : quint8(old & ~bit);
    m_flagRegister.store(flags);
    transaction(session, cv::CAP_PROP_GAMMA, flags);
}

void ParamTunnel::setSkinSmoothing(bool on, CameraLink &camera, SettingsStore &settings, Part part)
{
    setFlagBit(SkinSmoothingBit, on, camera, part);
    if (stores(part))
        settings.setSkinSmoothing(on);
}

void ParamTunnel::setBrightMode(bool on, CameraLink &camera, SettingsStore &settings, Part part)
{
    setFlagBit(BrightModeBit, on, camera, part);
    if (stores(part))
        settings.setBrightMode(on);
}

void ParamTunnel::loadFlags(SettingsStore &settings)
{
    quint8 flags = 0;
    if (settings.getSkinSmoothing())
        flags |= SkinSmoothingBit;
    if (settings.getBrightMode())
        flags |= BrightModeBit;
    m_flagRegister.store(flags);
}

// One tunnelled register write and its stored value, each when `part` asks for it.
void ParamTunnel::tunnelled(CameraLink &camera, Part part, int propId, int value, const std::function<void()> &store,
                            bool settle)
{
    if (sends(part))
        tunnelWrite(camera, propId, value, settle);
    if (stores(part))
        store();
}

void ParamTunnel::setSce(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    tunnelled(camera, part, cv::CAP_PROP_ZOOM, index * 100, [&] { settings.setSceValue(index * 100); });
}

void ParamTunnel::setIso(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    tunnelled(camera, part, cv::CAP_PROP_GAIN, index, [&] { settings.setIsoValue(index); });
}

void ParamTunnel::setEv(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    if (index < 0 || index >= evCount())
        return;
    const int code = evTable().at(index).value;
    tunnelled(camera, part, cv::CAP_PROP_BRIGHTNESS, code, [&] { settings.setEvValue(code); });
}

void ParamTunnel::setAfd(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    tunnelled(camera, part, cv::CAP_PROP_BACKLIGHT, index, [&] { settings.setAfdValue(index); });
}

void ParamTunnel::setAwb(int preset, CameraLink &camera, SettingsStore &settings, Part part)
{
    // Preset 6 (manual) goes through setColorTemperature; anything outside the
    // preset table is ignored like every other table index.
    const int kelvin = awbPresetTemperature(preset);
    if (kelvin < 0)
        return;
    tunnelled(camera, part, whiteBalanceProperty(), kelvin, [&] { settings.setAwbValue(preset); });
}

void ParamTunnel::setColorTemperature(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    if (stores(part))
        settings.setColorTemperature(index);
    if (sends(part))
        tunnelWrite(camera, whiteBalanceProperty(), (index + 20) * 100);
}

void ParamTunnel::setWarmness(int level, CameraLink &camera, SettingsStore &settings, Part part)
{
    tunnelled(camera, part, cv::CAP_PROP_HUE, level * 100, [&] { settings.setWarmnessValue(level); });
}

void ParamTunnel::setSaturation(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    // The one register the firmware takes without the pause after opening.
    tunnelled(camera, part, cv::CAP_PROP_SATURATION, index, [&] { settings.setSaturationValue(index); }, false);
}

void ParamTunnel::setContrast(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    tunnelled(camera, part, cv::CAP_PROP_CONTRAST, index, [&] { settings.setContrastValue(index); });
}

void ParamTunnel::setSharpness(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    tunnelled(camera, part, cv::CAP_PROP_SHARPNESS, index, [&] { settings.setSharpnessValue(index); });
}

void ParamTunnel::setMceR(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    if (index < 0 || index >= m_mceList.size())
        return;
    const int code = m_mceList.at(index).value;
    tunnelled(camera, part, cv::CAP_PROP_ROLL, code, [&] { settings.setUvcMceR(code); });
}

void ParamTunnel::setMceG(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    if (index < 0 || index >= m_mceList.size())
        return;
    const int code = m_mceList.at(index).value;
    tunnelled(camera, part, cv::CAP_PROP_PAN, code, [&] { settings.setUvcMceG(code); });
}

void ParamTunnel::setMceB(int index, CameraLink &camera, SettingsStore &settings, Part part)
{
    if (index < 0 || index >= m_mceList.size())
        return;
    const int code = m_mceList.at(index).value;
    tunnelled(camera, part, cv::CAP_PROP_TILT, code, [&] { settings.setUvcMceB(code); });
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
    for (const TunnelRow &row : tunnelRows()) {
        if (!session.reaches(row.propId))
            lost << QLatin1String(row.name);
    }
    if (!lost.isEmpty())
        line(" No control:  ", lost.join(QLatin1String(", ")));
    return text;
}

// ---------------------------------------------------------------------------
// Bulk writes

void ParamTunnel::syncAll(CameraLink &camera, SettingsStore &settings)
{
    if (m_bulkCancelled.load())
        return;
    const int aecMode = settings.getAecMod();
    const bool skin = settings.getSkinSmoothing();
    const bool bright = settings.getBrightMode();
    const int ev = settings.getEvValue();
    const int afd = settings.getAfdValue();
    const int awb = settings.getAwbValue();
    const int iso = settings.getIsoValue();
    const int sce = settings.getSceValue();
    const int mceR = settings.getUvcMceR();
    const int mceG = settings.getUvcMceG();
    const int mceB = settings.getUvcMceB();
    const int contrast = settings.getContrastValue();
    const int saturation = settings.getSaturationValue();
    const int sharpness = settings.getSharpnessValue();
    const int warmness = settings.getWarmnessValue();

    // Automatic (0) for a preset that the table does not know.
    int whiteBalance = qMax(0, awbPresetTemperature(awb));
    if (awb == AwbManualPreset)
        whiteBalance = (settings.getColorTemperature() + 20) * 100;

    CaptureSession session(camera);
    if (applyAecMode(session, aecMode, settings))
        settings.setAecMod(aecMode);
    pause(TunnelPauseMs);

    session.set(cv::CAP_PROP_FOCUS, FocusOpen);
    pause(TunnelPauseMs);
    const auto write = [this, &session](int propId, int value) {
        if (m_bulkCancelled.load())
            return;
        session.set(propId, double(value));
        pause(TunnelPauseMs);
    };
    write(cv::CAP_PROP_GAIN, iso);
    write(cv::CAP_PROP_BRIGHTNESS, ev);
    write(cv::CAP_PROP_BACKLIGHT, afd);
    write(whiteBalanceProperty(), whiteBalance);
    write(cv::CAP_PROP_HUE, warmness * 100);
    write(cv::CAP_PROP_SATURATION, saturation);
    write(cv::CAP_PROP_CONTRAST, contrast);
    write(cv::CAP_PROP_SHARPNESS, sharpness);
    write(cv::CAP_PROP_ROLL, mceR);
    write(cv::CAP_PROP_PAN, mceG);
    write(cv::CAP_PROP_TILT, mceB);
    write(cv::CAP_PROP_ZOOM, sce);
    quint8 flags = m_flagRegister.load();
    flags = skin ? quint8(flags | SkinSmoothingBit) : quint8(flags & ~SkinSmoothingBit);
    flags = bright ? quint8(flags | BrightModeBit) : quint8(flags & ~BrightModeBit);
    m_flagRegister.store(flags);
    write(cv::CAP_PROP_GAMMA, flags);
    write(whiteBalanceProperty(), whiteBalance);
    session.set(cv::CAP_PROP_FOCUS, FocusClose);
}

void ParamTunnel::primeAll(CameraLink &camera, SettingsStore &settings)
{
    if (m_bulkCancelled.load())
        return;
    const bool skin = settings.getSkinSmoothing();
    const bool bright = settings.getBrightMode();
    const int aperture = settings.getApertureValue();
    const int exposure = settings.getExposureTime();
    const bool manualWhiteBalance = settings.getAwbValue() == AwbManualPreset;

    CaptureSession session(camera);
    session.set(cv::CAP_PROP_IRIS, double(aperture));
    sendExposureTime(session, exposure);

    session.set(cv::CAP_PROP_FOCUS, FocusOpen);
    pause(TunnelPauseMs);
    const auto write = [this, &session](int propId, int value) {
        if (m_bulkCancelled.load())
            return;
        session.set(propId, double(value));
        pause(TunnelPauseMs);
    };
    write(cv::CAP_PROP_GAIN, 1);
    write(cv::CAP_PROP_BRIGHTNESS, 1);
    write(cv::CAP_PROP_BACKLIGHT, 1);
    write(whiteBalanceProperty(), 2800);
    write(cv::CAP_PROP_HUE, 100);
    write(cv::CAP_PROP_SATURATION, 1);
    if (!manualWhiteBalance)
        write(cv::CAP_PROP_CONTRAST, 1);
    write(cv::CAP_PROP_SHARPNESS, 1);
    write(cv::CAP_PROP_ROLL, 1);
    write(cv::CAP_PROP_PAN, 1);
    write(cv::CAP_PROP_TILT, 1);
    write(cv::CAP_PROP_ZOOM, 600);
    // The inverted flags: the sync that follows must change both bits.
    quint8 flags = m_flagRegister.load();
    flags = !skin ? quint8(flags | SkinSmoothingBit) : quint8(flags & ~SkinSmoothingBit);
    flags = !bright ? quint8(flags | BrightModeBit) : quint8(flags & ~BrightModeBit);
    m_flagRegister.store(flags);
    write(cv::CAP_PROP_GAMMA, flags);
    write(whiteBalanceProperty(), 2800);
    session.set(cv::CAP_PROP_FOCUS, FocusClose);
}

void ParamTunnel::storeToCamera(CameraLink &camera)
{
    CaptureSession session(camera);
    session.set(cv::CAP_PROP_FOCUS, FocusStore);
    pause(TunnelPauseMs);
    session.set(cv::CAP_PROP_FOCUS, FocusClose);
}
