#include "backend/framefeed.h"

#include "backend/backendlog.h"
#include "backend/imagestats.h"
#include "camera/cameralink.h"
#include "camera/capturethread.h"
#include "camera/framesink.h"

#include <QEventLoop>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

#include <utility>

namespace {
const int SnapshotTimeoutMs = 2000;
} // namespace

FrameFeed::FrameFeed(CaptureThread *capture, CameraLink *camera, ImageStats *stats, QObject *parent)
    : QObject(parent)
    , m_capture(capture)
    , m_camera(camera)
    , m_stats(stats)
{
}

void FrameFeed::frameReady(QImage qimage)
{
    // Take the newest frame, so that a GUI thread blocked for a while never
    // works through a backlog.
    QSize frameSize;
    QImage newest = m_capture->takeNewestFrame(&frameSize);
    if (!newest.isNull())
        qimage = newest;
    else
        frameSize = qimage.size();
    if (!qimage.isNull())
        emit goodFrame();
    // A snapshot waits for a frame decoded at its full size: a frame that
    // the preview shows smaller may have been decoded smaller.
    const bool fullSize = qimage.width() * qimage.height() == frameSize.width() * frameSize.height();
    if (m_wait && qimage.width() > 0 && fullSize) {
        m_waitFrame = qimage;
        m_wait->quit();
    }

    if (!m_sink && !m_item)
        return;
    if (frameSize.width() >= 1 && frameSize.height() >= 1
        && (frameSize.width() != m_frameSize[0] || frameSize.height() != m_frameSize[1])) {
        m_frameSize = QVector<int>{frameSize.width(), frameSize.height()};
        emit frameSizeChanged();
    }
    if (m_sink)
        m_sink(qimage);
    else if (auto *item = qobject_cast<FrameSink *>(m_item.data()))
        item->setImage(qimage);
    // The next frames decode no larger than the preview shows them (in pixel
    // mode, and while a snapshot waits, at the frame's full size).
    if (m_wait) {
        m_capture->setShownSize(QSize());
    } else if (QQuickItem *shown = m_item) {
        const qreal ratio = shown->window() ? shown->window()->effectiveDevicePixelRatio() : 1.0;
        m_capture->setShownSize((shown->size() * ratio).toSize());
    }
    m_stats->offerFrame(qimage, m_camera->rotation());
}

QImage FrameFeed::waitForFullFrame(int ms)
{
    QEventLoop wait;
    QTimer::singleShot(ms, &wait, &QEventLoop::quit);
    m_wait = &wait;
    m_waitFrame = QImage();
    m_capture->setShownSize(QSize()); // the next frames at full size
    wait.exec();
    return std::exchange(m_waitFrame, QImage());
}

void FrameFeed::cancelWait()
{
    if (m_wait)
        m_wait->quit();
}

// The capture thread reads the camera; the snapshot takes the next frame it
// delivers.
SnapshotFile::Result FrameFeed::saveSnapshot(const QString &fileName, bool cameraOpen)
{
    QImage image;
    if (cameraOpen && !waiting()) {
        emit waitBegins();
        image = waitForFullFrame(SnapshotTimeoutMs);
        emit waitEnds();
    }
    if (image.width() <= 0) {
        qCWarning(lcBackend, "snapshot: no frame from the camera within %d ms, nothing saved", SnapshotTimeoutMs);
        return {SnapshotFile::Problem::NoFrame, {}};
    }
    const SnapshotFile::Result result = SnapshotFile::write(image, fileName);
    if (!result.ok()) {
        qCWarning(lcBackend).noquote()
            << QStringLiteral("snapshot: cannot write %1 (%2), nothing saved").arg(fileName, result.detail);
    }
    return result;
}
