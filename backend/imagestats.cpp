#include "backend/imagestats.h"

#include "settings/settingsstore.h"
#include "stats/statsworker.h"

#include <QTransform>

namespace {

// A region smaller than this (in fractions of the picture) is taken for a click.
const double MinRegionSide = 0.002;

QVariantList listOf(const std::array<double, FrameStats::ChannelCount> &values, double scale = 1)
{
    QVariantList list;
    for (double v : values)
        list.append(v * scale);
    return list;
}

QVariantMap toMap(const FrameStats::Result &r)
{
    QVariantMap m;
    if (!r.valid)
        return m;
    m.insert(QStringLiteral("clipLow"), listOf(r.clippedLow, 100));
    m.insert(QStringLiteral("clipHigh"), listOf(r.clippedHigh, 100));
    m.insert(QStringLiteral("region"), r.region.valid);
    if (r.region.valid) {
        m.insert(QStringLiteral("mean"), listOf(r.region.mean));
        m.insert(QStringLiteral("sd"), listOf(r.region.stddev));
        m.insert(QStringLiteral("rg"), r.region.rOverG);
        m.insert(QStringLiteral("bg"), r.region.bOverG);
        m.insert(QStringLiteral("sharpness"), r.region.sharpness);
    }
    return m;
}

} // namespace

ImageStats::ImageStats(SettingsStore *settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_worker(new StatsWorker(this))
{
    m_visible = m_settings->getStatsPanel();
    m_region = m_settings->getStatsRegion();
    connect(m_worker, &StatsWorker::measured, this, &ImageStats::onMeasured);
}

ImageStats::~ImageStats()
{
    stop();
}

void ImageStats::stop()
{
    m_worker->stop();
}

void ImageStats::offerFrame(const QImage &frame, int rotation)
{
    if (rotation != m_rotation) {
        m_rotation = rotation;
        emit regionChanged();
        turnReference();
    }
    if (!m_visible || frame.isNull())
        return;
    if (m_holdPending) {
        m_holdPending = false;
        m_referenceFrame = frame;
        m_referenceRotation = rotation;
        m_referenceKey = ++m_nextKey;
        turnReference();
    } else if (m_lastPost.isValid() && m_lastPost.elapsed() < IntervalMs) {
        return;
    }
    m_lastPost.start();
    StatsWorker::Job job;
    job.frame = frame;
    job.region = FrameStats::turnRect(m_region, rotation);
    job.reference = m_referenceFrame;
    job.referenceRegion = FrameStats::turnRect(m_region, m_referenceRotation);
    job.referenceKey = m_referenceKey;
    m_worker->post(std::move(job));
}

void ImageStats::setVisible(bool visible)
{
    if (visible == m_visible)
        return;
    m_visible = visible;
    m_settings->setStatsPanel(visible);
    emit visibleChanged();
}

QRectF ImageStats::region() const
{
    return m_region.isEmpty() ? QRectF() : FrameStats::turnRect(m_region, m_rotation);
}

QVariantMap ImageStats::difference() const
{
    QVariantMap diff;
    if (m_liveMap.isEmpty() || m_referenceMap.isEmpty())
        return diff;
    for (auto it = m_liveMap.cbegin(); it != m_liveMap.cend(); ++it) {
        const QVariant other = m_referenceMap.value(it.key());
        if (!other.isValid())
            continue;
        if (it.value().type() == QVariant::List) {
            const QVariantList a = it.value().toList(), b = other.toList();
            QVariantList d;
            for (int i = 0; i < a.size() && i < b.size(); ++i)
                d.append(a[i].toDouble() - b[i].toDouble());
            diff.insert(it.key(), d);
        } else if (it.value().type() == QVariant::Bool) {
            diff.insert(it.key(), it.value().toBool() && other.toBool());
        } else {
            diff.insert(it.key(), it.value().toDouble() - other.toDouble());
        }
    }
    return diff;
}

void ImageStats::setRegion(const QRectF &shown)
{
    QRectF upright = FrameStats::unturnRect(shown.normalized().intersected(QRectF(0, 0, 1, 1)), m_rotation);
    if (upright.width() < MinRegionSide || upright.height() < MinRegionSide)
        upright = QRectF();
    if (upright == m_region)
        return;
    m_region = upright;
    m_settings->setStatsRegion(m_region);
    if (referenceHeld())
        m_referenceKey = ++m_nextKey; // measure the reference again, in the new region
    emit regionChanged();
}

void ImageStats::holdReference()
{
    m_holdPending = true;
}

void ImageStats::releaseReference()
{
    m_holdPending = false;
    if (!referenceHeld())
        return;
    m_referenceFrame = QImage();
    m_referenceKey = 0;
    m_reference = FrameStats::Result();
    m_referenceMap.clear();
    turnReference();
    emit measured();
}

void ImageStats::onMeasured(const FrameStats::Result &live, const FrameStats::Result &reference, quint64 key)
{
    m_live = live;
    m_liveMap = toMap(live);
    // A reference measured for an earlier region, or one since let go, is dropped.
    m_reference = key == m_referenceKey ? reference : FrameStats::Result();
    m_referenceMap = toMap(m_reference);
    emit measured();
}

void ImageStats::turnReference()
{
    const int turn = (m_rotation - m_referenceRotation + 360) % 360;
    if (m_referenceFrame.isNull() || turn == 0)
        m_referenceShown = m_referenceFrame;
    else
        m_referenceShown = m_referenceFrame.transformed(QTransform().rotate(turn));
    emit referenceChanged();
}
