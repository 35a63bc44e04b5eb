#pragma once

#include <QString>
#include <QStringList>

#include <climits>
#include <cstddef>
#include <type_traits>

// The image-tuning parameters, described once: one row each in VEXLO_PARAMS
// below. The settings store and the tunnel take everything they know about a
// parameter from its row (their named getters, setters and writes are made
// from the rows); the backend takes its value lists and controls from here.
//
// A value has three forms: the index into the parameter's value list (what the
// window and the backend hold), the stored value (its INI key's) and the
// register value (what the camera receives).
//
// Columns:
//   name      Params::<name>, and the tunnel's write ParamTunnel::set<name>
//   store     the settings store's SettingsStore::get<store> / set<store>
//   kind      its row in the window; a switch stores a bool, the others an int
//   key       INI key; stored files rely on it: never rename one
//   property  the backend's property and its setter (the QML-facing header
//   setter    declares them from here); the property names the row in the window
//   default   stored value; restoring defaults writes it
//   values    the value list: index -> stored value, and the labels the window
//             shows; the list's lowest and highest stored values are the
//             range a stored value must keep (outside it reads as the default)
//   encoding  stored value -> register value
//   control   the standard control that carries it
//   route     how a write reaches the control, with its pause rule
//   prime     what the priming pass before a full write sends
//   debug     its name in debug texts and failure reasons
//   title     its row's title in the window (a translation id of the window's)
//
// The rows are in the order of restoring defaults and of a reload. A full
// write sends the tunnelled controls in the order of `Control`, each with the
// value of the first row on it (the lead row).
#define VEXLO_PARAMS(X)                                                                                               \
    X(BrightMode, BrightMode, Switch, "bright_mode", brightSwitch, setBrightSwitch,                                   \
      0, steps(0, 1), bit(0x40), Control::Gamma, Route::Flag, Prime::inverted(), "Skin smoothing/Bright mode",        \
      "BrightMode")                                                                                                   \
    X(SkinSmoothing, SkinSmoothing, Switch, "skin_smoothing", skinSwitch, setSkinSwitch,                              \
      0, steps(0, 1), bit(0x80), Control::Gamma, Route::Flag, Prime::inverted(), "Skin smoothing/Bright mode",        \
      "Grinding")                                                                                                     \
    X(AecMode, AecMod, Combo, "aec_Mod", aecIndex, setAecIndex,                                                       \
      0, choices(ExposureModes), byIndex(AecManual),                                                                  \
      Control::AutoExposure, Route::AecModes, Prime::none(), "AEC mode", "Aec mod")                                   \
    X(Afd, AfdValue, Combo, "afd_value", afdIndex, setAfdIndex,                                                       \
      0, choices(AntiFlickerModes), same(), Control::Backlight, Route::Tunnel, Prime::with(1), "Anti-flicker",        \
      "AntiFlicker")                                                                                                  \
    X(Awb, AwbValue, Combo, "awb_value", awbIndex, setAwbIndex,                                                       \
      0, choices(WhiteBalancePresets), byIndex(PresetKelvin),                                                         \
      Control::WhiteBalance, Route::Tunnel, Prime::with(2800), "White balance", "AWB")                                \
    X(Aperture, ApertureValue, Slider, "aperture_value", apertureIndex, setApertureIndex,                             \
      240, choices(Apertures), same(), Control::Iris, Route::Direct, Prime::stored(), "Aperture", "Aperture")         \
    X(ExposureTime, ExposureTime, Slider, "exposure_time", exposureIndex, setExposureIndex,                           \
      -3, choices(ExposureTimes), same(), Control::Exposure, Route::Direct, Prime::stored(), "Exposure time",         \
      "Exposure Time")                                                                                                \
    X(Iso, IsoValue, Slider, "iso_value", isoIndex, setIsoIndex,                                                      \
      0, choices(IsoSpeeds), same(), Control::Gain, Route::Tunnel, Prime::with(1), "ISO", "ISO")                      \
    X(Ev, EvValue, Slider, "ev_value", evIndex, setEvIndex,                                                           \
      0, choices(EvSteps), same(), Control::Brightness, Route::Tunnel, Prime::with(1), "EV", "EV")                    \
    X(Sce, SceValue, Slider, "sce_value", sceIndex, setSceIndex,                                                      \
      700, steps(0, 1500, 100), same(), Control::Zoom, Route::Tunnel, Prime::with(600), "SCE", "SCE")                 \
    X(Saturation, SaturationValue, Slider, "saturation_value", saturationIndex, setSaturationIndex,                   \
      5, steps(0, 10), same(), Control::Saturation, Route::TunnelAtOnce, Prime::with(1), "Saturation", "Saturation")  \
    X(Contrast, ContrastValue, Slider, "contrast_value", contrastIndex, setContrastIndex,                             \
      5, steps(0, 10), same(), Control::Contrast, Route::Tunnel, Prime::withUnlessManualWhiteBalance(1), "Contrast",  \
      "Contrast")                                                                                                     \
    X(Sharpness, SharpnessValue, Slider, "sharpness_value", sharpnessIndex, setSharpnessIndex,                        \
      12, steps(0, 36), same(), Control::Sharpness, Route::Tunnel, Prime::with(1), "Sharpness", "Sharpness")          \
    X(Warmness, WarmnessValue, Slider, "warmness_value", warmnessIndex, setWarmnessIndex,                             \
      0, levels(-15, 15), linear(100), Control::Hue, Route::Tunnel, Prime::with(100), "Warmness", "Warmness")         \
    X(MceR, UvcMceR, MceSlider, "uvc_mce_r", mceRindex, setMceRindex,                                                 \
      -128, steps(-128, 128, 1, Label::Gain), same(), Control::Roll, Route::Tunnel, Prime::with(1), "MCE red", "MCE") \
    X(MceG, UvcMceG, MceSlider, "uvc_mce_g", mceGindex, setMceGindex,                                                 \
      -128, steps(-128, 128, 1, Label::Gain), same(), Control::Pan, Route::Tunnel, Prime::with(1), "MCE green", "MCE")\
    X(MceB, UvcMceB, MceSlider, "uvc_mce_b", mceBindex, setMceBindex,                                                 \
      -128, steps(-128, 128, 1, Label::Gain), same(), Control::Tilt, Route::Tunnel, Prime::with(1), "MCE blue", "MCE")\
    X(ColorTemperature, ColorTemperature, Slider, "color_temperature", colorTemperatureIndex, setColorTemperatureIndex,\
      0, steps(0, 60, 1, Label::Kelvin), linear(100, 2000),                                                           \
      Control::WhiteBalance, Route::TunnelStoredFirst, Prime::none(), "White balance", "ColorTemperature")

namespace Params {

// The standard controls that carry parameters, in the order in which a full
// write sends them: the first three directly, the others in one transaction.
enum class Control {
    AutoExposure, Iris, Exposure,
    Gain, Brightness, Backlight, WhiteBalance, Hue, Saturation, Contrast, Sharpness, Roll, Pan, Tilt, Zoom, Gamma
};
const int ControlCount = int(Control::Gamma) + 1;
const Control FirstTunnelled = Control::Gain;

// How a write reaches its control. Every write but the direct ones and the AEC
// mode's goes on whether the camera is open or not.
enum class Route {
    Tunnel,            // a transaction (open, 100 ms, the value, close), then stored
    TunnelAtOnce,      // the same without the pause: the firmware takes it at once
    TunnelStoredFirst, // stored, then sent as Tunnel
    Direct,            // the control itself, only while the camera is open; then stored
    Flag,              // its bit of the flag register; the whole byte goes as Tunnel
    AecModes,          // the mode's direct writes (see AecManual), only while open
};

// The row in the window: a switch, a combo box, a slider, or one of the three
// sliders of the MCE row.
enum class Kind { Switch, Combo, Slider, MceSlider };
// The type of a parameter's value outside the table: bool for a switch.
template <Kind kind>
using ValueOf = std::conditional_t<kind == Kind::Switch, bool, int>;
// The same as a plain type name, for declarations that moc reads:
// VEXLO_PARAM_TYPE(kind) of a row's kind column.
#define VEXLO_PARAM_TYPE_Switch bool
#define VEXLO_PARAM_TYPE_Combo int
#define VEXLO_PARAM_TYPE_Slider int
#define VEXLO_PARAM_TYPE_MceSlider int
#define VEXLO_PARAM_CAT_(a, b) a##b
#define VEXLO_PARAM_CAT(a, b) VEXLO_PARAM_CAT_(a, b)
#define VEXLO_PARAM_TYPE(kind) VEXLO_PARAM_CAT(VEXLO_PARAM_TYPE_, kind)

// What the window shows for each entry of a value list.
enum class Label {
    Choice, // the choice's own label
    Index,  // the index: "0", "1", ...
    Level,  // the stored level; the parameter's write takes the level, not the index
    Kelvin, // the register value in kelvin: "2000K"
    Gain,   // the gain 1.000 ... 1.500 that the index stands for (1 + index / 512)
};

// One entry of a list of choices: its label (a translation id, context "main",
// where the translation table has one) and its stored value.
struct Choice
{
    const char *label;
    int value;
};

// A value list: index i stands for choices[i].value, or, without choices, for
// first + i * step.
struct Values
{
    Label label;
    int count;
    const Choice *choices;
    int first, step;
};

template <std::size_t N>
constexpr Values choices(const Choice (&list)[N])
{
    return {Label::Choice, int(N), list, 0, 0};
}
constexpr Values steps(int first, int last, int step = 1, Label label = Label::Index)
{
    return {label, (last - first) / step + 1, nullptr, first, step};
}
constexpr Values levels(int first, int last)
{
    return {Label::Level, last - first + 1, nullptr, first, 1};
}

// Stored value -> register value: stored * scale + offset, or byIndex[i] of
// the stored value's entry i, or (a switch) its bit of the flag register.
struct Encoding
{
    int scale, offset;
    const int *byIndex;
    unsigned bit;
};
constexpr Encoding same() { return {1, 0, nullptr, 0}; }
constexpr Encoding linear(int scale, int offset = 0) { return {scale, offset, nullptr, 0}; }
constexpr Encoding byIndex(const int *registers) { return {1, 0, registers, 0}; }
constexpr Encoding bit(unsigned mask) { return {1, 0, nullptr, mask}; }

// A byIndex register of an entry that sends nothing itself: the next row on
// the same control sends the value (the white balance's Manual, whose
// temperature is the colour temperature's).
const int OtherRow = INT_MIN;

// The AEC modes' registers: which of the iris and the exposure time they
// leave to the user. Manual ones get their stored values; the exposure time
// is automatic unless manual, the iris 0 unless manual.
enum { ManualIris = 1, ManualExposure = 2 };

// What the priming pass sends: a placeholder register value (a lead row's
// goes to its control), the same only while the white balance is not manual,
// the stored value (direct rows, before the transaction), the inverted stored
// flag, or nothing.
struct Prime
{
    enum Rule { None, Value, UnlessManualWhiteBalance, Stored, Inverted } rule;
    int value;

    static constexpr Prime none() { return {None, 0}; }
    static constexpr Prime with(int v) { return {Value, v}; }
    static constexpr Prime withUnlessManualWhiteBalance(int v) { return {UnlessManualWhiteBalance, v}; }
    static constexpr Prime stored() { return {Stored, 0}; }
    static constexpr Prime inverted() { return {Inverted, 0}; }
};

struct Row
{
    Kind kind;
    const char *key;
    const char *property;
    int def;
    Values values;
    Encoding encoding;
    Control control;
    Route route;
    Prime prime;
    const char *debug;
    const char *title; // the row's title in the window: a translation id of the window's ("main")
};

enum Id {
#define VEXLO_PARAM_ID(name, ...) name,
    VEXLO_PARAMS(VEXLO_PARAM_ID)
#undef VEXLO_PARAM_ID
    Count
};

const Row &row(int id);
bool isSwitch(int id);

// The value list.
int count(int id);
bool validIndex(int id, qint64 index);
int storedAt(int id, int index);   // index must be valid
int indexOf(int id, int stored);   // the first entry holding it; 0 when none does
// The index the window shows for a stored value: its entry in a list of
// choices (as indexOf), else its step from the first value.
int indexOfStored(int id, int stored);
int lowest(int id);                // the range of stored values
int highest(int id);
QString label(int id, int index);  // empty outside the list
QStringList labels(int id);
// A write's argument (the index, or the level of a level list) as an index;
// -1 when it is none.
int indexOfArgument(int id, int argument);
// And back: the write's argument for an index.
int argumentOfIndex(int id, int index);

// Register value of a stored value (an AEC mode's Manual* bits); OtherRow for
// an entry that leaves it to the next row on its control.
int registerOf(int id, int stored);
// Whether list entry `index` leaves its register to the next row on its
// control (the white balance's Manual: the colour temperature sends it).
bool handsOver(int id, int index);
// The row that hands its register over to row `id` (the white balance, for
// the colour temperature); -1 when none does.
int handedOverFrom(int id);
// The rows the white balance's preset governs, and whether such a row takes
// changes with the preset `preset`: the warmness only with the automatic one,
// the row a preset hands over to only with that preset.
bool followsPreset(int id);
bool usableWithPreset(int id, int preset);
// The rows before the first one that another row hands over to: those the
// panel holds of its own.
int ownRows();

// The first row on `c` at or after row `from`; Count when there is none.
int rowOn(Control c, int from = 0);

} // namespace Params
