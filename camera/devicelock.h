#pragma once

#include <QString>

// One camera, one register transaction at a time, across programs: an
// advisory lock (flock) on a file named after the camera's USB path, in
// "$XDG_RUNTIME_DIR/vexlo-locks" (or, without a usable runtime directory, in
// "<temp>/vexlo-locks-<uid>"). The window and vexlo-tune both take it around
// every register transaction; the kernel drops it when a process ends.
//
// Two DeviceLock objects on one key exclude each other even inside one
// process (a lock belongs to the open file, not to the process). One object
// is used by one thread at a time. Where the lock file cannot be made the
// lock is a no-op that always succeeds (and says so once in the log); on
// Windows it always is one.
class DeviceLock
{
public:
    explicit DeviceLock(const QString &key);
    ~DeviceLock();
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

    // Waits up to `waitMs` (negative: as long as it takes, 0: not at all);
    // true once held.
    bool lock(int waitMs = -1);
    void unlock();

    QString filePath() const { return m_path; }
    // The folder of the lock files.
    static QString folder();

private:
    QString m_path;
    int m_fd = -1;
};
