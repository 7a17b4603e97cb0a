#pragma once

// QCustomPlot plottables of the signal chart. A sampled plottable draws a long uniformly sampled
// series (or the two-level pulse trace) by asking its data, column by column, for the lowest and
// highest value under each pixel; the envelope levels of the data answer that without touching
// every point, so a picture costs in proportion to its width. Close up, where there are fewer
// points than pixels, it draws the points themselves.

#include <QColor>
#include <QVector>

#include <qcustomplot.h>

#include "display/seriesdata.h"

namespace display {

// What every plottable of the signal chart offers its legend entry.
class ChartPlottable : public QCPAbstractPlottable {
    Q_OBJECT
  public:
    ChartPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis);

    // The small picture before the name in the legend.
    void paintLegendIcon(QCPPainter* painter, const QRectF& rect) const { drawLegendIcon(painter, rect); }

    virtual qint64 pointCount() const = 0;
    virtual double xAt(qint64 i) const = 0;
    virtual double yAt(qint64 i) const = 0;

    // The indices of the first and last point inside the key axis's range at the last drawing;
    // -1 when the series has not been drawn since its points were replaced, or nothing was inside.
    qint64 firstVisible() const { return firstVisible_; }
    qint64 lastVisible() const { return lastVisible_; }

    double selectTest(const QPointF&, bool, QVariant* = nullptr) const override { return -1; }

  protected:
    void forgetVisible() { firstVisible_ = lastVisible_ = -1; }
    void noteVisible(qint64 first, qint64 last)
    {
        firstVisible_ = first;
        lastVisible_ = last;
    }

  private:
    qint64 firstVisible_ = -1;
    qint64 lastVisible_ = -1;
};

// A line through uniformly spaced points, or the pulse trace.
class SampledPlottable : public ChartPlottable {
    Q_OBJECT
  public:
    SampledPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis);

    void setLine(UniformSeries data);
    void setPulse(PulseTrace data);
    void clearData();

    bool isPulse() const { return pulse_; }
    // The pulse trace drawn between the two edges of a strip at the bottom of the plot, this
    // share of its height, instead of at its two levels on the value axis; 0: at its levels.
    void setStrip(double share) { strip_ = share; }
    const UniformSeries& line() const { return line_; }
    const PulseTrace& pulseTrace() const { return pulseTrace_; }

    qint64 pointCount() const override;
    double xAt(qint64 i) const override;
    double yAt(qint64 i) const override;
    // The data's own x step and origin, for turning a key into the nearest point.
    const UniformAxis& uniformAxis() const;
    ValueRange dataValueRange() const;
    ValueRange dataKeyRange() const;

    QCPRange getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange& inKeyRange = QCPRange()) const override;

    // Memory held by the data and its envelope.
    quint64 dataBytes() const;

  protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

  private:
    struct ValuePixels;

    // The points drawn, in a, b; false when none is near enough to the visible range.
    bool drawnStretch(const QCPRange& keyRange, qint64 n, qint64& a, qint64& b);
    ValuePixels valuePixels(const QCPAxis& valueAxis, const QRect& clip) const;
    // Close up: every point from a to b into points_.
    void collectPoints(const QCPAxis& keyAxis, const QRect& clip, qint64 a, qint64 b, const ValuePixels& valuePixel);
    // Further out: one column per pixel, into points_ for a vector picture, into columns_ else.
    void collectColumns(const QCPAxis& keyAxis, qint64 a, qint64 b, double pxA, double pxB, double perColumn,
                        const ValuePixels& valuePixel, bool vector);
    void fillColumns(QCPPainter* painter);
    void drawPolyline(QCPPainter* painter);

    UniformSeries line_;
    PulseTrace pulseTrace_;
    bool pulse_ = false;
    double strip_ = 0.0;
    QVector<QPointF> points_; // reused between drawings
    QVector<QRect> columns_;
};

// The markers of the interval measurement: a handful of points drawn as diamonds.
class MarkPlottable : public ChartPlottable {
    Q_OBJECT
  public:
    MarkPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis);

    void clearPoints();
    void addPoint(double x, double y);
    const std::vector<double>& xs() const { return x_; }
    const std::vector<double>& ys() const { return y_; }

    qint64 pointCount() const override { return qint64(x_.size()); }
    double xAt(qint64 i) const override { return x_[std::size_t(i)]; }
    double yAt(qint64 i) const override { return y_[std::size_t(i)]; }

    QCPRange getKeyRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth) const override;
    QCPRange getValueRange(bool& foundRange, QCP::SignDomain inSignDomain = QCP::sdBoth,
                           const QCPRange& inKeyRange = QCPRange()) const override;

  protected:
    void draw(QCPPainter* painter) override;
    void drawLegendIcon(QCPPainter* painter, const QRectF& rect) const override;

  private:
    QCPScatterStyle style_;
    std::vector<double> x_;
    std::vector<double> y_;
};

} // namespace display
