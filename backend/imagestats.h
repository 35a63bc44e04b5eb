#pragma once

#include "stats/framestats.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QVariantMap>
#include <QVector>

class SettingsStore;
class StatsWorker;

// What the image statistics panel shows, as the QML layer sees it through
// `qmldata.imageStats`: histograms and clipping of the live picture, figures
// of a region, and the same of a reference frame held for comparison.
//
// The backend offers every frame it shows; while the panel is visible one
// every `IntervalMs` at most goes to the statistics thread, while it is hidden
// none. The region is kept (and stored in the settings) in fractions of the
// camera's upright picture, so it stays on the same part of the scene when the
// picture is turned; `region` gives it in fractions of the picture as shown.
//
// Figures come as maps: "clipLow", "clipHigh" (per cent, lists R, G, B, Y),
// and with a region "region" true, "mean", "sd" (lists R, G, B, Y), "rg",
// "bg", "sharpness". `difference` is live minus reference, key by key.
class ImageStats : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool visible READ isVisible WRITE setVisible NOTIFY visibleChanged FINAL)
    Q_PROPERTY(QRectF region READ region NOTIFY regionChanged FINAL)
    Q_PROPERTY(QVector<int> histogram READ histogram NOTIFY measured FINAL)
    Q_PROPERTY(QVector<int> referenceHistogram READ referenceHistogram NOTIFY measured FINAL)
    Q_PROPERTY(QVariantMap live READ live NOTIFY measured FINAL)
    Q_PROPERTY(QVariantMap reference READ reference NOTIFY measured FINAL)
    Q_PROPERTY(QVariantMap difference READ difference NOTIFY measured FINAL)
    Q_PROPERTY(bool referenceHeld READ referenceHeld NOTIFY referenceChanged FINAL)
    Q_PROPERTY(QImage referenceImage READ referenceImage NOTIFY referenceChanged FINAL)

public:
    static const int IntervalMs = 50;

    explicit ImageStats(SettingsStore *settings, QObject *parent = nullptr);
    ~ImageStats() override;

    // A frame as shown, turned by `rotation` degrees clockwise.
    void offerFrame(const QImage &frame, int rotation);

    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);
    QRectF region() const;
    QVector<int> histogram() const { return m_live.histogram; }
    QVector<int> referenceHistogram() const { return m_reference.histogram; }
    QVariantMap live() const { return m_liveMap; }
    QVariantMap reference() const { return m_referenceMap; }
    QVariantMap difference() const;
    bool referenceHeld() const { return !m_referenceFrame.isNull(); }
    QImage referenceImage() const { return m_referenceShown; }
    // The statistics thread, for tests and benchmarks.
    StatsWorker *worker() const { return m_worker; }
    // Joins the statistics thread; the next frame offered starts it again.
    void stop();

    // `shown` in fractions of the picture as shown; an empty rectangle clears it.
    Q_INVOKABLE void setRegion(const QRectF &shown);
    // The next frame becomes the reference.
    Q_INVOKABLE void holdReference();
    Q_INVOKABLE void releaseReference();

signals:
    void visibleChanged();
    void regionChanged();
    void measured();
    void referenceChanged();

private:
    void onMeasured(const FrameStats::Result &live, const FrameStats::Result &reference, quint64 key);
    void turnReference();

    SettingsStore *m_settings;
    StatsWorker *m_worker;
    bool m_visible = false;
    QRectF m_region; // fractions of the upright picture
    int m_rotation = 0;
    QElapsedTimer m_lastPost;
    FrameStats::Result m_live;
    FrameStats::Result m_reference;
    QVariantMap m_liveMap;
    QVariantMap m_referenceMap;
    bool m_holdPending = false;
    QImage m_referenceFrame;
    int m_referenceRotation = 0;
    QImage m_referenceShown;
    // Changes with every new reference frame or region; 0 while none is held.
    quint64 m_referenceKey = 0;
    quint64 m_nextKey = 0;
};
