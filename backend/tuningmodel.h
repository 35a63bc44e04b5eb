#pragma once

#include "params/paramtable.h"

#include <QObject>
#include <QStringList>

#include <array>

class SettingsStore;

// The tuning parameters as the window holds them: a list index (or a switch)
// for each row of the parameter table, the rules between them (the exposure
// mode's enables, where it takes ISO back to automatic, white balance against
// warmness and colour temperature), and the dirty state and snapshot that the
// exit prompt asks about.
//
// The settings store is the source of truth for the stored values: value()
// reads it on each call. A change goes out through writeAsked; whether and
// when it reaches the camera (and the store) is the camera side's business.
class TuningModel : public QObject
{
    Q_OBJECT

public:
    // The enables of the rows that the exposure mode and the white balance rule.
    enum Enable { ApertureOn, ExposureOn, IsoOn, EvOn, AfdOn, WarmnessOn, ColorTemperatureOn, EnableCount };

    explicit TuningModel(SettingsStore *settings, QObject *parent = nullptr);

    // The getter rule: read from the store and kept for the setter's change
    // test and the snapshot. The colour temperature is the value last set.
    int value(int id);
    // As last read or set.
    int current(int id) const;
    // The setter: an unchanged value does nothing; otherwise the rules, the
    // write and the change signal.
    void set(int id, int index);

    bool enabled(Enable e) const { return m_enabled[e]; }
    void setEnabled(Enable e, bool on);
    // The value lists the window shows (the MCE rows share the red one's).
    QStringList list(int id) const { return m_lists[size_t(id)]; }
    void setList(int id, const QStringList &list);

    // Start-up: lists, values, enables and the snapshot. Reload: the values
    // after a restore of defaults, each signalled.
    void load();
    void reload();
    void updateAecEnables(int aecMode);

    void takeSnapshot();
    bool changedSinceSnapshot() const;
    // Changed since start-up or since the last store that kept everything.
    bool dirty() const { return m_dirty; }
    // A store command takes the values of now; once the camera has taken it
    // they count as stored.
    void storeStarted();
    void stored();

signals:
    void valueChanged(int id);
    void enableChanged(int enable);
    void listChanged(int id);
    // Row `id` is to go to the camera with list index `index`.
    void writeAsked(int id, int index);

private:
    // The rows of the snapshot: all but the colour temperature, which is sent
    // even with the camera closed and never asked about.
    static const int Tuned = Params::ColorTemperature;
    using Values = std::array<int, Tuned>;

    bool change(int id, int index);
    void load(int id);

    SettingsStore *m_settings;
    std::array<int, Params::Count> m_values{};
    Values m_saved{};
    Values m_storing{};
    bool m_dirty = false;
    // Set while the exposure rules force ISO to automatic.
    bool m_forcingIso = false;
    std::array<bool, EnableCount> m_enabled{};
    std::array<QStringList, Params::Count> m_lists;
};
