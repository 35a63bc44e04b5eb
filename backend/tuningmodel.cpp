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
    , m_tuned(Params::ownRows())
{
}

void TuningModel::load(int id)
{
    m_values[size_t(id)] = Params::indexOfStored(id, m_settings->get(Params::Id(id)));
}

int TuningModel::value(int id)
{
    if (id < m_tuned)
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
    if (id < m_tuned)
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
        updatePresetEnables(index);
        emit writeAsked(id, index);
        emit valueChanged(id);
        break;
    default:
        emit writeAsked(id, index);
        emit valueChanged(id);
        break;
    }
}

// Aperture and exposure time signal on every call, the others only on a change.
void TuningModel::setEnabled(int id, bool on)
{
    if (on == m_enabled[size_t(id)] && id != Params::Aperture && id != Params::ExposureTime)
        return;
    m_enabled[size_t(id)] = on;
    emit enableChanged(id);
}

// Replaced and signalled on every call.
void TuningModel::setList(int id, const QStringList &list)
{
    m_lists[size_t(id)] = list;
    emit listChanged(id);
}

void TuningModel::load()
{
    for (int id = 0; id < m_tuned; ++id) {
        if (hasList(id))
            setList(id, Params::labels(id));
        load(id);
        if (id == Params::ExposureTime)
            emit valueChanged(id);
    }
    for (int id = m_tuned; id < Params::Count; ++id)
        load(id);
    updateAecEnables(current(Params::AecMode));
    for (int id = m_tuned; id < Params::Count; ++id) {
        setList(id, Params::labels(id));
        emit valueChanged(id);
    }
    updatePresetEnables(current(Params::Awb));
    takeSnapshot();
}

void TuningModel::reload()
{
    for (int id = 0; id < Params::Count; ++id)
        load(id);
    for (int id = 0; id < m_tuned; ++id)
        emit valueChanged(id);
    updateAecEnables(current(Params::AecMode));
    for (int id = m_tuned; id < Params::Count; ++id)
        emit valueChanged(id);
    updatePresetEnables(current(Params::Awb));
}

void TuningModel::updatePresetEnables(int preset)
{
    for (int id = 0; id < Params::Count; ++id) {
        if (Params::followsPreset(id))
            setEnabled(id, Params::usableWithPreset(id, preset));
    }
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
        setEnabled(Params::Aperture, true);
        setEnabled(Params::ExposureTime, true);
        setEnabled(Params::Iso, true);
        setEnabled(Params::Ev, isoAuto);
        setEnabled(Params::Afd, false);
        break;
    case 2: // Exposure manual
        setEnabled(Params::Aperture, false);
        setEnabled(Params::ExposureTime, true);
        forceIsoAuto();
        setEnabled(Params::Iso, false);
        setEnabled(Params::Afd, false);
        break;
    case 3: // Aperture manual
        setEnabled(Params::Aperture, true);
        setEnabled(Params::ExposureTime, false);
        setEnabled(Params::Iso, true);
        setEnabled(Params::Ev, isoAuto);
        setEnabled(Params::Afd, true);
        break;
    default: // Auto: ISO is free only with anti-flicker off
        setEnabled(Params::Aperture, false);
        setEnabled(Params::ExposureTime, false);
        if (current(Params::Afd) == AfdOff) {
            setEnabled(Params::Iso, true);
        } else {
            forceIsoAuto();
            setEnabled(Params::Iso, false);
        }
        setEnabled(Params::Afd, true);
        setEnabled(Params::Ev, true);
        break;
    }
}

bool TuningModel::sameRows(const Values &a, const Values &b) const
{
    return std::equal(a.begin(), a.begin() + m_tuned, b.begin());
}

void TuningModel::takeSnapshot()
{
    m_saved = m_values;
}

bool TuningModel::changedSinceSnapshot() const
{
    return !sameRows(m_saved, m_values);
}

void TuningModel::storeStarted()
{
    m_storing = m_values;
}

void TuningModel::stored()
{
    m_dirty = !sameRows(m_storing, m_values);
    m_saved = m_storing;
}
