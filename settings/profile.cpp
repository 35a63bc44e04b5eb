#include "settings/profile.h"

#include "settings/settingsstore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {
const QString HeaderGroup = QStringLiteral("profile");
} // namespace

Profile Profile::fromSettings(SettingsStore &settings)
{
    Profile p;
    for (int id = 0; id < Params::Count; ++id)
        p.values[size_t(id)] = settings.get(Params::Id(id));
    return p;
}

void Profile::applyTo(SettingsStore &settings) const
{
    for (int id = 0; id < Params::Count; ++id)
        settings.set(Params::Id(id), values[size_t(id)]);
}

int paramOfKey(const QString &key)
{
    for (int id = 0; id < Params::Count; ++id) {
        if (key == QLatin1String(Params::row(id).key))
            return id;
    }
    return -1;
}

bool parseParamValue(int id, const QString &text, int *stored, QString *why)
{
    const QString t = text.trimmed();
    const QString key = QLatin1String(Params::row(id).key);
    int v = 0;
    bool ok = false;
    if (Params::isSwitch(id)) {
        ok = t == QLatin1String("true") || t == QLatin1String("false") || t == QLatin1String("1") ||
             t == QLatin1String("0");
        v = t == QLatin1String("true") || t == QLatin1String("1");
    } else {
        v = t.toInt(&ok);
        for (int i = 0; !ok && i < Params::count(id); ++i) {
            if (t.compare(Params::label(id, i), Qt::CaseInsensitive) == 0) {
                v = Params::storedAt(id, i);
                ok = true;
            }
        }
    }
    if (!ok) {
        *why = QStringLiteral("%1: \"%2\" is not a value of this key (%3)")
                   .arg(key, text, Params::isSwitch(id) ? QStringLiteral("true or false") : QStringLiteral("a number"));
        return false;
    }
    if (v < Params::lowest(id) || v > Params::highest(id)) {
        *why = QStringLiteral("%1: %2 is out of range (%3 to %4)")
                   .arg(key, t)
                   .arg(Params::lowest(id))
                   .arg(Params::highest(id));
        return false;
    }
    if (Params::storedAt(id, Params::indexOf(id, v)) != v) {
        *why = QStringLiteral("%1: %2 is not one of its values").arg(key, t);
        return false;
    }
    *stored = v;
    return true;
}

QString paramValueText(int id, int stored)
{
    if (Params::isSwitch(id))
        return stored ? QStringLiteral("true") : QStringLiteral("false");
    return QString::number(stored);
}

int writeArgumentOf(int id, int stored)
{
    return Params::row(id).values.label == Params::Label::Level ? stored : Params::indexOf(id, stored);
}

ProfileCheck readProfile(const QString &path, Profile *profile)
{
    ProfileCheck check;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) {
        check.message = QStringLiteral("%1: no readable file").arg(path);
        return check;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError || !ini.childGroups().contains(HeaderGroup)) {
        check.message = QStringLiteral("%1: not a tuning profile (no [%2] group)").arg(path, HeaderGroup);
        return check;
    }
    Profile read;
    ini.beginGroup(HeaderGroup);
    read.name = ini.value(QStringLiteral("name")).toString();
    read.date = ini.value(QStringLiteral("date")).toString();
    read.camera = ini.value(QStringLiteral("camera")).toString();
    read.version = ini.value(QStringLiteral("version")).toString();
    ini.endGroup();
    const QStringList keys = ini.childKeys();
    for (int id = 0; id < Params::Count; ++id) {
        const QString key = QLatin1String(Params::row(id).key);
        check.key = key;
        if (!keys.contains(key)) {
            check.message = QStringLiteral("%1: missing").arg(key);
            return check;
        }
        const QVariant v = ini.value(key);
        if (v.type() != QVariant::String || !parseParamValue(id, v.toString(), &read.values[size_t(id)], &check.message)) {
            if (v.type() != QVariant::String)
                check.message = QStringLiteral("%1: not a single value").arg(key);
            return check;
        }
    }
    check.key.clear();
    for (const QString &key : keys) {
        if (paramOfKey(key) < 0)
            check.unknown << key;
    }
    check.ok = true;
    *profile = read;
    return check;
}

bool writeProfile(const QString &path, const Profile &profile, QString *error)
{
    // Written beside it first: a file that cannot be written leaves the old one.
    const QString fresh = path + QStringLiteral(".new");
    QFile::remove(fresh);
    {
        QSettings ini(fresh, QSettings::IniFormat);
        ini.clear();
        ini.beginGroup(HeaderGroup);
        ini.setValue(QStringLiteral("name"), profile.name);
        ini.setValue(QStringLiteral("date"), profile.date);
        ini.setValue(QStringLiteral("camera"), profile.camera);
        ini.setValue(QStringLiteral("version"), profile.version);
        ini.endGroup();
        for (int id = 0; id < Params::Count; ++id) {
            const int v = profile.values[size_t(id)];
            ini.setValue(QLatin1String(Params::row(id).key), Params::isSwitch(id) ? QVariant(v != 0) : QVariant(v));
        }
        ini.sync();
        if (ini.status() != QSettings::NoError)
            QFile::remove(fresh);
    }
    if (QFile::exists(fresh)) {
        QFile::remove(path);
        if (QFile::rename(fresh, path))
            return true;
    }
    *error = QStringLiteral("%1: could not be written").arg(path);
    return false;
}
