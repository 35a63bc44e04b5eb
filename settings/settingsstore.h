#pragma once

#include "params/paramtable.h"
#include "settings/filecheck.h"

#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

class QSettings;
class QTemporaryDir;

// The program's remembered values: one INI file, "<home>/Vexlo/config.ini".
//
// Every getter reads through QSettings (the file is the source of truth) and
// remembers what it read; a setter writes only when its value differs from the
// last value seen for that key (got or set). The cache starts at 0 / false /
// null, so a setter given 0 before any getter of its key writes nothing.
// A stored number outside the range of the list index or register value that
// its key holds reads as the key's default.
//
// The store is used from the GUI thread and from the sync and store worker
// threads; one lock inside makes every call atomic. The same lock covers
// QSettings' own deferred write-back, which Qt runs from the event loop of the
// thread that made the store. (A standard mutex, which ThreadSanitizer sees.)
//
// A file that cannot be kept (not a regular file, unreadable, unwritable, or
// its folder not a folder) is never opened for writing and never replaced:
// the store starts with what it can read, else the defaults, and keeps the
// changes in memory. Only a readable regular file is ever read, so a FIFO in
// its place cannot block. That problem, or the first write-back that fails
// later (full disk), goes once to the problem handler; the file stays as it was.
class SettingsStore
{
public:
    SettingsStore();
    ~SettingsStore();

    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // Path of the INI file, fixed at construction.
    QString filePath() const;

    // Called once per store, on the thread that made it and without the
    // store's lock: at once if the file could not be kept from the start,
    // else on the first failed write-back.
    using ProblemHandler = std::function<void(const FileProblem &)>;
    void setProblemHandler(ProblemHandler handler);

    // The folder of the last saved snapshot ("snapshot_folder"); empty at first.
    QString getSnapshotFolder();
    void setSnapshotFolder(const QString &v);

    // Tuning profiles loaded or saved last ("recent_profiles"), most recent first.
    QStringList getRecentProfiles();
    void setRecentProfiles(const QStringList &v);

    // The tuning parameters (params/paramtable.h): the stored value of a row,
    // read through QSettings; a switch's as 0 or 1.
    int get(Params::Id id);
    void set(Params::Id id, int v);
    // And by name, SettingsStore::get<store> / set<store> of every row.
#define VEXLO_STORE_FORWARDS(name, store, kind, ...)                                     \
    auto get##store() { return Params::ValueOf<Params::Kind::kind>(get(Params::name)); } \
    void set##store(Params::ValueOf<Params::Kind::kind> v) { set(Params::name, int(v)); }
    VEXLO_PARAMS(VEXLO_STORE_FORWARDS)
#undef VEXLO_STORE_FORWARDS

    int getCameraId();
    void setCameraId(int v);
    int getPreviewIndex();
    void setPreviewIndex(int v);
    QString getLanguage();
    void setLanguage(const QString &v);
    bool getDisplayZoom();
    void setDisplayZoom(bool v);
    bool getDebugLog();
    void setDebugLog(bool v);
    bool getStatsPanel();
    void setStatsPanel(bool v);
    // The region, clipped to the picture; an empty rectangle when none is
    // stored or the stored value is no rectangle inside it.
    QRectF getStatsRegion();
    void setStatsRegion(const QRectF &v);

    // Writes every tuning parameter's default straight to the file, in the
    // table's order, leaving camera_id, preview_index, language, display_zoom
    // and debug_log.
    void restoreDefaults();

private:
    struct IntRange
    {
        int def, lo, hi;
    };
    int storedInt(const QString &key, const IntRange &range) const; // under the lock
    int readInt(const QString &key, const IntRange &range, int &cache);
    bool readBool(const QString &key, bool def, bool &cache);
    void writeInt(const QString &key, int v, int &cache);
    void writeBool(const QString &key, bool v, bool &cache);

    mutable std::mutex m_lock;
    int m_params[Params::Count] = {};
    int m_cameraId = 0;
    int m_previewIndex = 0;
    bool m_debugLog = false;
    QString m_language;
    bool m_displayZoom = false;
    QSettings *m_settings = nullptr;
    bool m_statsPanel = false;
    QRectF m_statsRegion;
    QString m_path;
    QString m_snapshotFolder;
    QStringList m_recentProfiles;
    void tellProblem(const FileProblem &problem);
    std::unique_ptr<QTemporaryDir> m_scratch; // holds the values of a file that cannot be kept
    FileProblem m_problem;
    ProblemHandler m_problemHandler;
    bool m_problemTold = false;
    friend class LockedSettings;
};
