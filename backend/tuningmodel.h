#pragma once

#include "params/paramtable.h"

#include <QObject>
#include <QStringList>

#include <array>

class SettingsStore;

// The tuning parameters as the window holds them: a list index (or a switch)
// for each row of the parameter table, the rules between them (the exposure
// mode's enables, where it takes ISO back to automatic, what the white balance
// leaves to other rows), and the dirty state and snapshot that the exit prompt
// asks about. A row that another row hands its register over to (the colour
// temperature) is outside the snapshot and the dirty state.
//
// The settings store is the source of truth for the stored values: value()
// reads it on each call. A change goes out through writeAsked; whether and
// when it reaches the camera (and the store) is the camera side's business.
class TuningModel : public QObject
{
    Q_OBJECT

public:
    explicit TuningModel(SettingsStore *settings, QObject *parent = nullptr);

    // The getter rule: read from the store and kept for the setter's change
    // test and the snapshot. A handed-over row's is the value last set.
    int value(int id);
    // As last read or set.
    int current(int id) const;
    // The setter: an unchanged value does nothing; otherwise the rules, the
    // write and the change signal.
    void set(int id, int index);

    // Whether a row takes input (the rules set it for the rows they rule).
    bool enabled(int id) const { return m_enabled[size_t(id)]; }
    void setEnabled(int id, bool on);
    // The value lists the window shows (the MCE rows share the red one's).
    QStringList list(int id) const { return m_lists[size_t(id)]; }
    void setList(int id, const QStringList &list);

    // Start-up: lists, values, enables and the snapshot. Reload: the values
    // after a restore of defaults, each signalled.
    void load();
    void reload();
    void updateAecEnables(int aecMode);
    void updatePresetEnables(int preset);

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
    void enableChanged(int id);
    void listChanged(int id);
    // Row `id` is to go to the camera with list index `index`.
    void writeAsked(int id, int index);

private:
    using Values = std::array<int, Params::Count>;

    bool change(int id, int index);
    void load(int id);
    bool sameRows(const Values &a, const Values &b) const;

    SettingsStore *m_settings;
    // The rows of the snapshot: those the panel holds of its own.
    const int m_tuned;
    Values m_values{};
    Values m_saved{};
    Values m_storing{};
    bool m_dirty = false;
    // Set while the exposure rules force ISO to automatic.
    bool m_forcingIso = false;
    std::array<bool, Params::Count> m_enabled{};
    std::array<QStringList, Params::Count> m_lists;
};
