#include "settings/settingsstore.h"

#include "settings/settingskeys.h"
#include "settings/settingslog.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>

#include <limits>
#include <vector>

using namespace SettingsKeys;

namespace {
const int IntMin = std::numeric_limits<int>::min();
const int IntMax = std::numeric_limits<int>::max();

// QSettings writes its changes back from an event that it posts to itself, on
// the thread that made it; that write-back takes the store's lock too, so it
// never runs beside a worker thread's get or set. A worker's set posts that
// event while it holds the lock, so the event is only looked at under the lock.
using Locker = std::lock_guard<std::mutex>;
} // namespace

// A write-back that fails leaves the file as it was (QSettings writes a new
// file and renames it) and is told once.
//
// Qt's save file drops the error of its last, buffered write, so a disk that
// fills up part way through a write-back would put a cut-off file in place of
// the old one. A write-back therefore runs only once the most space it can
// take has been written for real beside the file (and freed again).
class LockedSettings : public QSettings
{
public:
    LockedSettings(const QString &path, SettingsStore &store)
        : QSettings(path, QSettings::IniFormat)
        , m_store(store)
    {
    }

    // Under the store's lock.
    bool roomForWriteBack()
    {
        qint64 need = 256 + QFileInfo(fileName()).size(); // what stays as it is, at most
        for (const QString &key : allKeys()) // every character written as "\xNNNN" at worst
            need += 6 * (key.size() + value(key).toString().size()) + 8;
        QSaveFile room(fileName() + QStringLiteral(".room"));
        QDir().mkpath(QFileInfo(fileName()).absolutePath()); // as QSettings does
        if (!room.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, '\n');
        for (qint64 left = need; left > 0;) {
            const qint64 n = room.write(block.constData(), qMin<qint64>(left, block.size()));
            if (n <= 0)
                return false;
            left -= n;
        }
        room.cancelWriting(); // and the file goes with `room`
        return true;
    }

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::UpdateRequest)
            return QSettings::event(e);
        bool failed = true;
        {
            Locker locker(m_store.m_lock);
            // Without room the changes stay in memory (and no further write-back comes).
            if (roomForWriteBack()) {
                QSettings::event(e);
                failed = status() == QSettings::AccessError;
            }
            failed = failed && !m_store.m_problem;
        }
        if (failed)
            m_store.tellProblem({FileProblem::WriteFailed, m_store.m_path, {}});
        return true;
    }

private:
    SettingsStore &m_store;
};

SettingsStore::SettingsStore()
    : m_path(QDir::homePath() + QStringLiteral("/Vexlo/config.ini"))
{
    m_problem = checkOwnFile(m_path, true);
    QString usePath = m_path;
    if (m_problem && m_problem.kind != FileProblem::Unwritable) {
        // Nothing here can be read: the defaults, kept in a scratch file of our own.
        m_scratch = std::make_unique<QTemporaryDir>();
        usePath = m_scratch->filePath(QStringLiteral("config.ini"));
    }
    // An unwritable file is read where it is: QSettings only reads it, and
    // its write-back refuses to replace it.
    m_settings = new LockedSettings(usePath, *this);
    if (m_problem)
        qCWarning(lcSettings).noquote() << "Settings will not be remembered:" << m_problem.path;
}

SettingsStore::~SettingsStore()
{
    Locker locker(m_lock);
    if (!static_cast<LockedSettings *>(m_settings)->roomForWriteBack()) {
        // Deleted, QSettings would write its changes anyway: it is kept to the
        // end of the process instead.
        qCWarning(lcSettings).noquote() << "Couldn't write settings file" << m_path;
        static auto *unwritten = new std::vector<QSettings *>; // never freed, like them
        unwritten->push_back(m_settings);
        m_settings = nullptr;
        return;
    }
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError)
        qCWarning(lcSettings).noquote() << "Couldn't write settings file" << m_path;
    delete m_settings;
    m_settings = nullptr;
}

void SettingsStore::setProblemHandler(ProblemHandler handler)
{
    m_problemHandler = std::move(handler);
    if (m_problem)
        tellProblem(m_problem);
}

void SettingsStore::tellProblem(const FileProblem &problem)
{
    {
        Locker locker(m_lock);
        if (!m_problem)
            m_problem = problem;
        if (m_problemTold || !m_problemHandler)
            return;
        m_problemTold = true;
    }
    m_problemHandler(problem);
}

QString SettingsStore::filePath() const
{
    return m_path;
}

// QVariant would wrap a number too big for an int around to some other
// number; such a value counts as one that does not convert (0). A value
// outside the range of the list index or register value that the key holds
// reads as the key's default, so that no arithmetic on a hand-edited value
// can overflow (and an unknown choice falls back as the camera code treats
// one: white balance automatic, the first preview size).
int SettingsStore::storedInt(const QString &key, const IntRange &range) const
{
    bool ok = false;
    const qlonglong wide = m_settings->value(key, QVariant(range.def)).toLongLong(&ok);
    const int v = (ok && wide >= IntMin && wide <= IntMax) ? int(wide) : 0;
    return (v >= range.lo && v <= range.hi) ? v : range.def;
}

int SettingsStore::readInt(const QString &key, const IntRange &range, int &cache)
{
    Locker locker(m_lock);
    return cache = storedInt(key, range);
}

bool SettingsStore::readBool(const QString &key, bool def, bool &cache)
{
    Locker locker(m_lock);
    cache = m_settings->value(key, QVariant(def)).toBool();
    return cache;
}

void SettingsStore::writeInt(const QString &key, int v, int &cache)
{
    Locker locker(m_lock);
    if (cache == v)
        return;
    cache = v;
    m_settings->setValue(key, QVariant(v));
}

void SettingsStore::writeBool(const QString &key, bool v, bool &cache)
{
    Locker locker(m_lock);
    if (cache == v)
        return;
    cache = v;
    m_settings->setValue(key, QVariant(v));
}

namespace {
// A parameter's value as the INI file keeps it: a switch as "true" / "false".
QVariant fileValue(Params::Id id, int v)
{
    return Params::isSwitch(id) ? QVariant(v != 0) : QVariant(v);
}
} // namespace

// The valid range of a stored value is that of its value list.
int SettingsStore::get(Params::Id id)
{
    const QString key = QLatin1String(Params::row(id).key);
    const int def = Params::row(id).def;
    Locker locker(m_lock);
    if (Params::isSwitch(id))
        return m_params[id] = m_settings->value(key, fileValue(id, def)).toBool();
    return m_params[id] = storedInt(key, {def, Params::lowest(id), Params::highest(id)});
}

void SettingsStore::set(Params::Id id, int v)
{
    const QString key = QLatin1String(Params::row(id).key);
    Locker locker(m_lock);
    if (m_params[id] == v)
        return;
    m_params[id] = v;
    m_settings->setValue(key, fileValue(id, v));
}

#define VEXLO_INT_KEY(Name, member, key, def, lo, hi)                         \
    int SettingsStore::get##Name() { return readInt(key, {def, lo, hi}, member); } \
    void SettingsStore::set##Name(int v) { writeInt(key, v, member); }
#define VEXLO_BOOL_KEY(Name, member, key)                                     \
    bool SettingsStore::get##Name() { return readBool(key, false, member); }  \
    void SettingsStore::set##Name(bool v) { writeBool(key, v, member); }

VEXLO_INT_KEY(CameraId, m_cameraId, CameraId, 0, IntMin, IntMax)
VEXLO_INT_KEY(PreviewIndex, m_previewIndex, PreviewIndex, 0, 0, 1)
VEXLO_BOOL_KEY(DisplayZoom, m_displayZoom, DisplayZoom)
VEXLO_BOOL_KEY(DebugLog, m_debugLog, DebugLog)
VEXLO_BOOL_KEY(StatsPanel, m_statsPanel, StatsPanel)

#undef VEXLO_INT_KEY
#undef VEXLO_BOOL_KEY

// The region is kept as four numbers, "x y width height", readable and
// editable in the file.
QRectF SettingsStore::getStatsRegion()
{
    Locker locker(m_lock);
    const QStringList parts = m_settings->value(StatsRegion).toString().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QRectF stored;
    if (parts.size() == 4) {
        bool ok[4];
        stored = QRectF(parts[0].toDouble(&ok[0]), parts[1].toDouble(&ok[1]), parts[2].toDouble(&ok[2]),
                        parts[3].toDouble(&ok[3]));
        if (!(ok[0] && ok[1] && ok[2] && ok[3]))
            stored = QRectF();
    }
    const QRectF inside = stored.normalized().intersected(QRectF(0, 0, 1, 1));
    m_statsRegion = inside.isEmpty() ? QRectF() : inside;
    return m_statsRegion;
}

void SettingsStore::setStatsRegion(const QRectF &v)
{
    Locker locker(m_lock);
    if (m_statsRegion == v)
        return;
    m_statsRegion = v;
    if (v.isEmpty()) {
        m_settings->remove(StatsRegion);
        return;
    }
    QStringList parts;
    for (double n : {v.x(), v.y(), v.width(), v.height()})
        parts.append(QString::number(n, 'g', 6));
    m_settings->setValue(StatsRegion, parts.join(QLatin1Char(' ')));
}

QString SettingsStore::getLanguage()
{
    Locker locker(m_lock);
    m_language = m_settings->value(Language, QVariant("")).toString();
    return m_language;
}

void SettingsStore::setLanguage(const QString &v)
{
    Locker locker(m_lock);
    if (m_language == v)
        return;
    m_language = v;
    m_settings->setValue(Language, QVariant(v));
}

QString SettingsStore::getSnapshotFolder()
{
    Locker locker(m_lock);
    m_snapshotFolder = m_settings->value(SnapshotFolder, QString()).toString();
    return m_snapshotFolder;
}

void SettingsStore::setSnapshotFolder(const QString &v)
{
    Locker locker(m_lock);
    if (m_snapshotFolder == v)
        return;
    m_snapshotFolder = v;
    m_settings->setValue(SnapshotFolder, QVariant(v));
}

QStringList SettingsStore::getRecentProfiles()
{
    Locker locker(m_lock);
    m_recentProfiles = m_settings->value(RecentProfiles).toStringList();
    return m_recentProfiles;
}

void SettingsStore::setRecentProfiles(const QStringList &v)
{
    Locker locker(m_lock);
    if (m_recentProfiles == v)
        return;
    m_recentProfiles = v;
    m_settings->setValue(RecentProfiles, QVariant(v));
}

void SettingsStore::restoreDefaults()
{
    Locker locker(m_lock);
    for (int id = 0; id < Params::Count; ++id)
        m_settings->setValue(QLatin1String(Params::row(id).key), fileValue(Params::Id(id), Params::row(id).def));
}
