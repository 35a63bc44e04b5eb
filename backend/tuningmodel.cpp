#include "backend/tuningmodel.h"

#include "settings/settingsstore.h"

#include <algorithm>

namespace {

// A slider row with labels of its own has a value list; the MCE rows share
// the first one's.
bool hasList(int id)
{
    const Params::Row &row = Params::row(id);
    const bool first = row.kind == Params::Kind::Slider
                       || (row.kind == Params::Kind::MceSlider && Params::row(id - 1).kind != row.kind);
    return first && row.values.label != Params::Label::Index;
}

const int AfdOff = 3; // the anti-flicker entry "Off"

} // namespace

TuningModel::TuningModel(SettingsStore *settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
}

void TuningModel::load(int id)
{
    m_values[size_t(id)] = Params::indexOfStored(id, m_settings->get(Params::Id(id)));
}

int TuningModel::value(int id)
{
    if (id != Params::ColorTemperature)
        load(id);
    return current(id);
}

int TuningModel::current(int id) const
{
    return m_values[size_t(id)];
}

// An unchanged value does nothing at all; a changed tuned one makes the panel dirty.
bool TuningModel::change(int id, int index)
{
    int &value = m_values[size_t(id)];
    if (index == value)
        return false;
    if (id < Tuned)
        m_dirty = true;
    value = index;
    return true;
}

// The exposure mode, anti-flicker, ISO and white balance add their own steps.
void TuningModel::set(int id, int index)
{
    if (!change(id, index))
        return;
    switch (id) {
    case Params::AecMode:
        // The enables follow the new mode before the camera gets it, so that
        // a forced ISO reaches the camera first.
        updateAecEnables(index);
        emit writeAsked(id, index);
        emit valueChanged(id);
        break;
    case Params::Afd:
        emit writeAsked(id, index);
        updateAecEnables(current(Params::AecMode));
        emit valueChanged(id);
        break;
    case Params::Iso:
        emit writeAsked(id, index);
        emit valueChanged(id);
        updateAecEnables(current(Params::AecMode));
        break;
    case Params::Awb:
        setEnabled(WarmnessOn, index == 0);
        setEnabled(ColorTemperatureOn, Params::handsOver(id, index));
        emit writeAsked(id, index);
        emit valueChanged(id);
        break;
    default:
        emit writeAsked(id, index);
        emit valueChanged(id);
        break;
    }
}

// Aperture and exposure signal on every call, the others only on a change.
void TuningModel::setEnabled(Enable e, bool on)
{
    if (on == m_enabled[e] && e != ApertureOn && e != ExposureOn)
        return;
    m_enabled[e] = on;
    emit enableChanged(e);
}

// Replaced and signalled on every call.
void TuningModel::setList(int id, const QStringList &list)
{
    m_lists[size_t(id)] = list;
    emit listChanged(id);
}

void TuningModel::load()
{
    for (int id = 0; id < Tuned; ++id) {
        if (hasList(id))
            setList(id, Params::labels(id));
        load(id);
        if (id == Params::ExposureTime)
            emit valueChanged(id);
    }
    load(Params::ColorTemperature);
    const int awb = current(Params::Awb);
    setEnabled(WarmnessOn, awb == 0);
    updateAecEnables(current(Params::AecMode));
    setList(Params::ColorTemperature, Params::labels(Params::ColorTemperature));
    emit valueChanged(Params::ColorTemperature);
    setEnabled(ColorTemperatureOn, Params::handsOver(Params::Awb, awb));
    takeSnapshot();
}

void TuningModel::reload()
{
    for (int id = 0; id < Params::Count; ++id)
        load(id);
    for (int id = 0; id < Tuned; ++id)
        emit valueChanged(id);
    updateAecEnables(current(Params::AecMode));
    emit valueChanged(Params::ColorTemperature);
    const int awb = current(Params::Awb);
    setEnabled(ColorTemperatureOn, Params::handsOver(Params::Awb, awb));
    setEnabled(WarmnessOn, awb == 0);
}

// The exposure-mode rules: which controls the mode leaves to the user, and
// where it takes ISO back to automatic. Only that forcing reaches the camera.
void TuningModel::updateAecEnables(int aecMode)
{
    // Forcing ISO runs the ISO setter, which comes back here. That second pass
    // must not force again: with the camera closed the store keeps the old ISO,
    // a QML binding reads it back on the signal, and each pass would find ISO
    // "changed" once more.
    const auto forceIsoAuto = [this] {
        if (m_forcingIso)
            return;
        m_forcingIso = true;
        set(Params::Iso, 0);
        m_forcingIso = false;
    };
    const bool isoAuto = current(Params::Iso) == 0;
    switch (aecMode) {
    case 1: // Manual
        setEnabled(ApertureOn, true);
        setEnabled(ExposureOn, true);
        setEnabled(IsoOn, true);
        setEnabled(EvOn, isoAuto);
        setEnabled(AfdOn, false);
        break;
    case 2: // Exposure manual
        setEnabled(ApertureOn, false);
        setEnabled(ExposureOn, true);
        forceIsoAuto();
        setEnabled(IsoOn, false);
        setEnabled(AfdOn, false);
        break;
    case 3: // Aperture manual
        setEnabled(ApertureOn, true);
        setEnabled(ExposureOn, false);
        setEnabled(IsoOn, true);
        setEnabled(EvOn, isoAuto);
        setEnabled(AfdOn, true);
        break;
    default: // Auto: ISO is free only with anti-flicker off
        setEnabled(ApertureOn, false);
        setEnabled(ExposureOn, false);
        if (current(Params::Afd) == AfdOff) {
            setEnabled(IsoOn, true);
        } else {
            forceIsoAuto();
            setEnabled(IsoOn, false);
        }
        setEnabled(AfdOn, true);
        setEnabled(EvOn, true);
        break;
    }
}

void TuningModel::takeSnapshot()
{
    std::copy_n(m_values.begin(), Tuned, m_saved.begin());
}

bool TuningModel::changedSinceSnapshot() const
{
    return !std::equal(m_saved.begin(), m_saved.end(), m_values.begin());
}

void TuningModel::storeStarted()
{
    std::copy_n(m_values.begin(), Tuned, m_storing.begin());
}

void TuningModel::stored()
{
    m_dirty = !std::equal(m_storing.begin(), m_storing.end(), m_values.begin());
    m_saved = m_storing;
}
