#pragma once

#include "backend/snapshotfile.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QVector>

#include <functional>

class CameraLink;
class CaptureThread;
class ImageStats;
class QEventLoop;

// The frames of the capture thread on their way to the window: the newest
// one to the preview (an item that is a FrameSink, or a function), its size,
// the image statistics, and a snapshot waiting for a frame at full size.
class FrameFeed : public QObject
{
    Q_OBJECT

public:
    FrameFeed(CaptureThread *capture, CameraLink *camera, ImageStats *stats, QObject *parent = nullptr);

    void setItem(QQuickItem *item) { m_item = item; }
    void setSink(std::function<void(const QImage &)> sink) { m_sink = std::move(sink); }
    QVector<int> frameSize() const { return m_frameSize; }

    // A frame came (the signal only says that frames are waiting).
    void frameReady(QImage image);

    // Waits at most `ms` for the next frame decoded at its full size, with the
    // window working meanwhile; a null image when none came or the wait was
    // cancelled. One wait at a time: waiting() says whether one runs.
    QImage waitForFullFrame(int ms);
    bool waiting() const { return !m_wait.isNull(); }
    void cancelWait();

    // Saves one fresh frame under exactly `fileName`, whole or not at all;
    // NoFrame when no frame came within about 2 s, or the camera is not open
    // (all with a log line).
    SnapshotFile::Result saveSnapshot(const QString &fileName, bool cameraOpen);

signals:
    // A snapshot's wait for its frame, with the window working meanwhile.
    void waitBegins();
    void waitEnds();
    void frameSizeChanged();
    // A frame with a picture came.
    void goodFrame();

private:
    CaptureThread *m_capture;
    CameraLink *m_camera;
    ImageStats *m_stats;
    QPointer<QQuickItem> m_item;
    std::function<void(const QImage &)> m_sink;
    QVector<int> m_frameSize{1920, 1080};
    QPointer<QEventLoop> m_wait;
    QImage m_waitFrame;
};
