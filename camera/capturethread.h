#pragma once

#include "camera/frameconvert.h"
#include "camera/framemailbox.h"

#include <QElapsedTimer>
#include <QImage>
#include <QThread>

#include <atomic>

class CameraLink;

// Pulls frames from the open camera and hands them to the GUI thread.
//
// Each frame goes into a one-slot mailbox; `onGetFrame` is emitted only when the
// slot was empty. The receiver calls `takeNewestFrame()` to get the newest frame
// (which may be newer than the one the signal carries) and so re-arms the
// signal: a receiver that never takes a frame gets no further signal.
//
// A read from the open camera that fails (the device is gone) is announced once
// by `readFailed`, for that open; the loop then waits for the camera to be
// opened again, trying a read only every `FailedReadPauseMs`, instead of
// retrying at once.
//
// Frames that come but show nothing (empty, undecodable, of another size) are
// skipped and counted per kind; a debug-log line gives the counts at most once
// a second while they grow. They never count as a failed read.
//
// The thread idles without spinning while the camera is closed and ends on
// `requestStop()`; `stop()` returns once it has ended. Stop it before the
// camera object goes away.
class CaptureThread : public QThread
{
    Q_OBJECT

public:
    explicit CaptureThread(CameraLink *camera);
    // Stops and joins the thread.
    ~CaptureThread() override;

    // Asks the loop to end and wakes it if it waits for the camera; returns at
    // once. A frame read in progress is finished first.
    void requestStop();
    // Asks the loop to end and waits until the thread has ended; afterwards the
    // thread may be started again.
    void stop();

    // The newest frame not yet taken, or a null image; `frameSize`, when
    // given, gets the size of the frame it shows, which a compressed frame
    // decoded for a smaller preview is larger than.
    QImage takeNewestFrame(QSize *frameSize = nullptr);

    // The size (after the turn, in pixels) that the preview shows frames at;
    // compressed frames are decoded no larger than needed for it. Empty (the
    // default): full size. Any thread.
    void setShownSize(QSize shown);

    // Frames skipped since the thread was made, of one kind.
    long badFrames(FrameVerdict kind) const;

    static constexpr unsigned long FailedReadPauseMs = 500;

signals:
    void onGetFrame(QImage image);
    void readFailed();

protected:
    void run() override;

private:
    CameraLink *camera;
    FrameMailbox m_mailbox;
    void countBadFrame(FrameVerdict kind);

    std::atomic<bool> m_stopRequested{false};
    // Width and height in one word, so that the loop never pairs the width
    // of one size with the height of another.
    std::atomic<quint64> m_shown{0};
    std::atomic<long> m_badFrames[FrameVerdictCount] = {};
    QElapsedTimer m_lastBadLog; // capture thread only
    long m_loggedBad = 0;
    // Set as run() ends and read by stop() after the join: it makes the join
    // visible to ThreadSanitizer, which cannot follow QThread::wait inside an
    // uninstrumented Qt.
    std::atomic<bool> m_runEnded{false};
};
