#include "items/histogramitem.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

const int Levels = 256;
const int Channels = 4; // red, green, blue, luma
const QColor LineColours[3] = {QColor(0xE1, 0x39, 0x2D), QColor(0x2C, 0xC0, 0x4B), QColor(0x3A, 0x8A, 0xF8)};

} // namespace

HistogramItem::HistogramItem(QQuickItem *parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

void HistogramItem::setBins(const QVector<int> &bins)
{
    m_bins = bins;
    emit binsChanged();
    update();
}

void HistogramItem::setReferenceBins(const QVector<int> &bins)
{
    m_referenceBins = bins;
    emit binsChanged();
    update();
}

void HistogramItem::setLogScale(bool on)
{
    if (on == m_logScale)
        return;
    m_logScale = on;
    emit logScaleChanged();
    update();
}

void HistogramItem::paint(QPainter *painter)
{
    const bool haveLive = m_bins.size() == Channels * Levels;
    const bool haveReference = m_referenceBins.size() == Channels * Levels;
    if (!haveLive && !haveReference)
        return;
    int top = 1;
    if (haveLive)
        top = std::max(top, *std::max_element(m_bins.cbegin(), m_bins.cend()));
    if (haveReference)
        top = std::max(top, *std::max_element(m_referenceBins.cbegin(), m_referenceBins.cend()));
    const double w = width(), h = height();
    const double scale = m_logScale ? std::log1p(double(top)) : double(top);
    auto curve = [&](const QVector<int> &bins, int channel) {
        QPainterPath path;
        for (int v = 0; v < Levels; ++v) {
            const double n = bins[channel * Levels + v];
            const QPointF p(w * (v + 0.5) / Levels, h - h * (m_logScale ? std::log1p(n) : n) / scale);
            if (v == 0)
                path.moveTo(p);
            else
                path.lineTo(p);
        }
        return path;
    };
    painter->setRenderHint(QPainter::Antialiasing);
    if (haveLive) {
        QPainterPath luma = curve(m_bins, 3);
        luma.lineTo(w, h);
        luma.lineTo(0, h);
        luma.closeSubpath();
        painter->fillPath(luma, QColor(255, 255, 255, 0x50));
        for (int c = 0; c < 3; ++c) {
            painter->setPen(QPen(LineColours[c], 1.2));
            painter->drawPath(curve(m_bins, c));
        }
    }
    if (haveReference) {
        painter->setPen(QPen(QColor(255, 255, 255, 0xD0), 1.2, Qt::DashLine));
        painter->drawPath(curve(m_referenceBins, 3));
    }
}
