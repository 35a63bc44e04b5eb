#pragma once

#include "params/paramtable.h"

#include <QString>
#include <QStringList>

#include <array>

class SettingsStore;

// A tuning profile: an INI file holding every tuning key exactly as the
// settings file spells it (in its [General] group: a switch "true" or
// "false", the others a number), and the group [profile] with its name, date,
// camera name and program version. Anything else in the file is ignored.
struct Profile
{
    QString name;
    QString date;    // ISO 8601, local time
    QString camera;  // the name of the camera it was tuned on
    QString version; // of the program that saved it
    std::array<int, Params::Count> values{}; // stored values, in the table's order

    // The current tuning of `settings`.
    static Profile fromSettings(SettingsStore &settings);
    // Stores every value into `settings`.
    void applyTo(SettingsStore &settings) const;
};

// What reading a profile found. A profile with a fault is not used at all.
struct ProfileCheck
{
    bool ok = false;
    QString key;         // the key at fault; empty when the fault is the whole file's
    QString message;     // what is wrong, naming the key
    QStringList unknown; // keys that are no tuning key, ignored
};

// Reads and checks the file at `path`; only a profile without fault is
// written to `profile`.
ProfileCheck readProfile(const QString &path, Profile *profile);
// Writes the file whole; false with the reason in `error`.
bool writeProfile(const QString &path, const Profile &profile, QString *error);

// The tuning key's row; -1 for none.
int paramOfKey(const QString &key);
// A value of row `id` as the settings file spells it, or as the window labels
// it ("F2.4", "ISO 100"): its stored value; false with the reason in `why`.
bool parseParamValue(int id, const QString &text, int *stored, QString *why);
// The stored value as the settings file spells it.
QString paramValueText(int id, int stored);
// The argument of ParamTunnel::write for a stored value of the list.
int writeArgumentOf(int id, int stored);
