#include "params/paramtable.h"

namespace Params {

namespace {

// The lists of choices that the rows name.

const Choice ExposureModes[] = {
    {QT_TRANSLATE_NOOP("main", "Auto"), 0},
    {QT_TRANSLATE_NOOP("main", "Manual"), 1},
    {QT_TRANSLATE_NOOP("main", "Exposure Manual"), 2},
    {QT_TRANSLATE_NOOP("main", "Aperture Manual"), 3},
};
const int AecManual[] = {0, ManualIris | ManualExposure, ManualExposure, ManualIris};

const Choice AntiFlickerModes[] = {
    {QT_TRANSLATE_NOOP("main", "Auto"), 0},
    {"50Hz", 1},
    {"60Hz", 2},
    {QT_TRANSLATE_NOOP("main", "Off"), 3},
};

// Preset 0 is automatic white balance, 6 the manual colour temperature.
const Choice WhiteBalancePresets[] = {
    {QT_TRANSLATE_NOOP("main", "Auto"), 0},
    {QT_TRANSLATE_NOOP("main", "incandescent"), 1},
    {QT_TRANSLATE_NOOP("main", "fluorescent"), 2},
    {QT_TRANSLATE_NOOP("main", "daylight"), 3},
    {QT_TRANSLATE_NOOP("main", "cloudy-daylight"), 4},
    {QT_TRANSLATE_NOOP("main", "shade"), 5},
    {QT_TRANSLATE_NOOP("main", "Manual"), 6},
};
const int PresetKelvin[] = {0, 2800, 4200, 6500, 7000, 7500, OtherRow};

// The F-number x 100.
const Choice Apertures[] = {
    {"F1.0", 100}, {"F1.1", 110}, {"F1.2", 120}, {"F1.3", 130}, {"F1.4", 140}, {"F1.5", 150}, {"F1.6", 160},
    {"F1.7", 170}, {"F1.8", 180}, {"F1.9", 190}, {"F2.0", 200}, {"F2.1", 210}, {"F2.2", 220}, {"F2.3", 230},
    {"F2.4", 240}, {"F2.5", 250}, {"F2.6", 260}, {"F2.7", 270}, {"F2.8", 280}, {"F3.2", 320}, {"F3.5", 350},
    {"F4.0", 400}, {"F4.5", 450}, {"F5.0", 500}, {"F5.6", 560}, {"F6.3", 630}, {"F7.1", 710}, {"F8.0", 800},
    {"F9.0", 900}, {"F10", 1000}, {"F11", 1100}, {"F13", 1300}, {"F14", 1400}, {"F16", 1600}, {"F18", 1800},
    {"F20", 2000}, {"F22", 2200}, {"F25", 2500},
};

// The camera's exposure code, 2^code seconds. The slowest carries 1, not 0:
// the camera has no code 0.
const Choice ExposureTimes[] = {
    {"1/1000s", -10}, {"1/640s", -9}, {"1/320s", -8}, {"1/200s", -7}, {"1/120s", -6}, {"1/100s", -5},
    {"1/60s", -4},    {"1/50s", -3},  {"1/33s", -2},  {"1/30s", -1},  {"1/24s", 1},
};

// The index is the register value; 0 is automatic.
const Choice IsoSpeeds[] = {
    {"ISO Auto", 0}, {"ISO 100", 1},   {"ISO 150", 2},   {"ISO 200", 3},   {"ISO 300", 4},
    {"ISO 400", 5},  {"ISO 600", 6},   {"ISO 800", 7},   {"ISO 1200", 8},  {"ISO 1600", 9},
    {"ISO 2400", 10}, {"ISO 3200", 11}, {"ISO 4800", 12}, {"ISO 6400", 13},
};

// Exposure compensation in thirds of a stop.
const Choice EvSteps[] = {
    {"-2.0", -6}, {"-1.7", -5}, {"-1.3", -4}, {"-1.0", -3}, {"-0.7", -2}, {"-0.3", -1}, {"0.0", 0},
    {"0.3", 1},   {"0.7", 2},   {"1.0", 3},   {"1.3", 4},   {"1.7", 5},   {"2.0", 6},
};

const Row Rows[] = {
#define VEXLO_PARAM_ROW(name, store, kind, key, property, setter, ...) {Kind::kind, key, #property, __VA_ARGS__},
    VEXLO_PARAMS(VEXLO_PARAM_ROW)
#undef VEXLO_PARAM_ROW
};
static_assert(sizeof(Rows) / sizeof(Rows[0]) == Count, "one row per parameter");

} // namespace

const Row &row(int id)
{
    return Rows[id];
}

bool isSwitch(int id)
{
    return Rows[id].kind == Kind::Switch;
}

int count(int id)
{
    return Rows[id].values.count;
}

bool validIndex(int id, qint64 index)
{
    return index >= 0 && index < count(id);
}

int storedAt(int id, int index)
{
    const Values &v = Rows[id].values;
    return v.choices ? v.choices[index].value : v.first + index * v.step;
}

int indexOf(int id, int stored)
{
    for (int i = 0; i < count(id); ++i) {
        if (storedAt(id, i) == stored)
            return i;
    }
    return 0;
}

int indexOfStored(int id, int stored)
{
    const Values &v = Rows[id].values;
    return v.choices ? indexOf(id, stored) : (stored - v.first) / v.step;
}

int lowest(int id)
{
    int low = storedAt(id, 0);
    for (int i = 1; i < count(id); ++i)
        low = qMin(low, storedAt(id, i));
    return low;
}

int highest(int id)
{
    int high = storedAt(id, 0);
    for (int i = 1; i < count(id); ++i)
        high = qMax(high, storedAt(id, i));
    return high;
}

QString label(int id, int index)
{
    if (!validIndex(id, index))
        return QString();
    const Values &v = Rows[id].values;
    switch (v.label) {
    case Label::Choice:
        return QLatin1String(v.choices[index].label);
    case Label::Index:
        return QString::number(index);
    case Label::Level:
        return QString::number(storedAt(id, index));
    case Label::Kelvin:
        return QString::number(registerOf(id, storedAt(id, index))) + QLatin1Char('K');
    case Label::Gain:
        // Exact in single precision for every index.
        return QString::number(double(float(index) * 0.5f * (1.0f / 256.0f) + 1.0f), 'f', 3);
    }
    return QString();
}

QStringList labels(int id)
{
    QStringList list;
    for (int i = 0; i < count(id); ++i)
        list << label(id, i);
    return list;
}

int indexOfArgument(int id, int argument)
{
    const Values &v = Rows[id].values;
    const qint64 index = v.label == Label::Level ? qint64(argument) - v.first : argument;
    return validIndex(id, index) ? int(index) : -1;
}

int argumentOfIndex(int id, int index)
{
    const Values &v = Rows[id].values;
    return v.label == Label::Level ? v.first + index : index;
}

int registerOf(int id, int stored)
{
    const Encoding &e = Rows[id].encoding;
    return e.byIndex ? e.byIndex[indexOf(id, stored)] : stored * e.scale + e.offset;
}

bool handsOver(int id, int index)
{
    return validIndex(id, index) && registerOf(id, storedAt(id, index)) == OtherRow;
}

int handedOverFrom(int id)
{
    for (int from = rowOn(Rows[id].control); from < id; from = rowOn(Rows[id].control, from + 1)) {
        for (int i = 0; i < count(from); ++i) {
            if (handsOver(from, i) && rowOn(Rows[id].control, from + 1) == id)
                return from;
        }
    }
    return -1;
}

bool followsPreset(int id)
{
    return id == Warmness || handedOverFrom(id) == Awb;
}

bool usableWithPreset(int id, int preset)
{
    if (id == Warmness)
        return preset == 0;
    const int from = handedOverFrom(id);
    return from < 0 || handsOver(from, preset);
}

int ownRows()
{
    int rows = 0;
    while (rows < Count && handedOverFrom(rows) < 0)
        ++rows;
    return rows;
}

int rowOn(Control c, int from)
{
    for (int id = from; id < Count; ++id) {
        if (Rows[id].control == c)
            return id;
    }
    return Count;
}

} // namespace Params
