#pragma once

#include "camera/cameralink.h"

#include <QMetaType>
#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class ParamTunnel;
class SettingsStore;

// What became of one operation of the camera-control worker.
struct ControlOutcome
{
    enum Kind { Write, ReadBack, Store, StoreBeforeExit, Sync, Restore, Open, Close };

    Kind kind = Write;
    int key = -1;                   // what queued writes of one parameter share
    int row = -1;                   // the parameter a write was for
    std::vector<ControlCall> calls; // the calls that failed or were slow
    QString text;                   // the debug read-back's text
    bool opened = false;            // whether an open succeeded

    bool failed() const;
    // "<control>: <system's error text>" of the first failed call; empty if none.
    QString reason() const;
};
Q_DECLARE_METATYPE(ControlOutcome)

// The one owner of the camera's controls and of its opening and closing: a
// thread that runs every control operation (single writes, the debug
// read-back, the store command, sync with its priming pass, restore of
// defaults) and every open and close, one at a time, in the order asked. The
// GUI thread hands an operation over and carries on; each result comes back
// through `done`, delivered on the receiver's thread.
//
// A write queued behind a slow operation is replaced by a later write with the
// same key, in its place: a parameter changed several times meanwhile is sent
// once, with its latest value, and different parameters keep their order.
class CameraControl : public QThread
{
    Q_OBJECT

public:
    using Body = std::function<void(ControlOutcome &)>;

    CameraControl(CameraLink *camera, SettingsStore *settings, ParamTunnel *tunnel);
    ~CameraControl() override;

    // Queues a write; `body` runs on the worker. A key below 0 never collapses.
    void postWrite(int key, int row, Body body);
    // Priming pass, then (with `restoreDefaults`) the stored tuning values back
    // to their defaults, then the full write.
    void postSync(bool restoreDefaults);
    // The store command; before exit twice, each followed by 500 ms.
    void postStore(bool beforeExit);
    // The debug read-back, unless one is already queued or running.
    void postReadBack();
    // Opens capture index `id` at `size` (see CameraLink::camOpen), closing
    // the camera open before; closes it.
    void postOpen(int id, std::vector<int> size);
    void postClose();

    // Whether an operation of this kind is queued or running.
    bool pending(ControlOutcome::Kind kind) const;
    // Nothing queued or running; every result has been sent.
    bool idle() const;
    // Drops what is queued and waits for the running operation (a transaction
    // is never left open; a sync skips its remaining writes and closes it),
    // then ends the thread. Nothing runs afterwards.
    void stop();
    // Whether stop() has begun.
    bool stopping() const;

signals:
    void done(const ControlOutcome &outcome);

protected:
    void run() override;

private:
    struct Op
    {
        ControlOutcome::Kind kind;
        int key;
        int row;
        Body body;
    };
    void post(Op op);

    CameraLink *m_camera;
    SettingsStore *m_settings;
    ParamTunnel *m_tunnel;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<Op> m_queue;
    bool m_running = false; // an operation is running (its kind below)
    ControlOutcome::Kind m_runningKind = ControlOutcome::Write;
    bool m_stopping = false;
    std::atomic<bool> m_cancelBulk{false}; // set with m_stopping: a running sync stops writing
    // Set as run() ends and read by stop() after the join: it makes the join
    // visible to ThreadSanitizer, which cannot follow QThread::wait inside an
    // uninstrumented Qt.
    std::atomic<bool> m_runEnded{false};
};
