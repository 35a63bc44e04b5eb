#pragma once

#include <QQuickPaintedItem>
#include <QVector>

// Draws histograms of 256 levels per channel: the luma as a filled area and
// red, green and blue as lines over it; a reference's luma, when given, as a
// dashed line. Heights are linear or logarithmic in the count, scaled to the
// highest count shown.
class HistogramItem : public QQuickPaintedItem
{
    Q_OBJECT
    // Red, green, blue and luma, 256 counts each, one after the other.
    Q_PROPERTY(QVector<int> bins READ bins WRITE setBins NOTIFY binsChanged FINAL)
    Q_PROPERTY(QVector<int> referenceBins READ referenceBins WRITE setReferenceBins NOTIFY binsChanged FINAL)
    Q_PROPERTY(bool logScale READ logScale WRITE setLogScale NOTIFY logScaleChanged FINAL)

public:
    explicit HistogramItem(QQuickItem *parent = nullptr);

    QVector<int> bins() const { return m_bins; }
    void setBins(const QVector<int> &bins);
    QVector<int> referenceBins() const { return m_referenceBins; }
    void setReferenceBins(const QVector<int> &bins);
    bool logScale() const { return m_logScale; }
    void setLogScale(bool on);

    void paint(QPainter *painter) override;

signals:
    void binsChanged();
    void logScaleChanged();

private:
    QVector<int> m_bins;
    QVector<int> m_referenceBins;
    bool m_logScale = false;
};
