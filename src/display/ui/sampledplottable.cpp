#include "display/ui/sampledplottable.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace display {

namespace {

// Pixel positions far outside the plot are pulled in before they reach the painter, whose
// rasteriser misbehaves on huge coordinates; the visible part of a line is unaffected unless the
// view is enlarged a hundred thousand times beyond the plot.
constexpr double kPixelLimit = 1e5;

double clampPixel(double p, double lo, double hi)
{
    if (!(p >= lo - kPixelLimit))
        return lo - kPixelLimit;
    if (!(p <= hi + kPixelLimit))
        return hi + kPixelLimit;
    return p;
}

QCPRange toRange(ValueRange r, bool& found)
{
    found = !r.isEmpty();
    return found ? QCPRange(r.lo, r.hi) : QCPRange();
}

} // namespace

ChartPlottable::ChartPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis)
    : QCPAbstractPlottable(keyAxis, valueAxis)
{
    setAntialiased(false);
    setAntialiasedFill(false);
    setBrush(Qt::NoBrush);
    setSelectable(QCP::stNone);
}

// ---- SampledPlottable --------------------------------------------------------------------------

SampledPlottable::SampledPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis) : ChartPlottable(keyAxis, valueAxis)
{
}

void SampledPlottable::setLine(UniformSeries data)
{
    pulseTrace_.clear();
    pulse_ = false;
    line_ = std::move(data);
    forgetVisible();
}

void SampledPlottable::setPulse(PulseTrace data)
{
    line_.clear();
    pulse_ = true;
    pulseTrace_ = std::move(data);
    forgetVisible();
}

void SampledPlottable::clearData()
{
    line_.clear();
    pulseTrace_.clear();
    points_.clear();
    points_.squeeze();
    columns_.clear();
    columns_.squeeze();
    forgetVisible();
}

qint64 SampledPlottable::pointCount() const
{
    return pulse_ ? pulseTrace_.size() : line_.size();
}

double SampledPlottable::xAt(qint64 i) const
{
    return pulse_ ? pulseTrace_.x(i) : line_.x(i);
}

double SampledPlottable::yAt(qint64 i) const
{
    return pulse_ ? pulseTrace_.y(i) : line_.y(i);
}

const UniformAxis& SampledPlottable::uniformAxis() const
{
    return pulse_ ? pulseTrace_.axis() : line_.axis();
}

ValueRange SampledPlottable::dataValueRange() const
{
    return pulse_ ? pulseTrace_.valueRange() : line_.valueRange();
}

ValueRange SampledPlottable::dataKeyRange() const
{
    return pulse_ ? pulseTrace_.keyRange() : line_.keyRange();
}

quint64 SampledPlottable::dataBytes() const
{
    return pulse_ ? pulseTrace_.bytes() : line_.bytes();
}

QCPRange SampledPlottable::getKeyRange(bool& foundRange, QCP::SignDomain) const
{
    return toRange(dataKeyRange(), foundRange);
}

QCPRange SampledPlottable::getValueRange(bool& foundRange, QCP::SignDomain, const QCPRange&) const
{
    return toRange(dataValueRange(), foundRange);
}

// Where values land on the plot: on the value axis, or, for the pulse trace in its strip, on one
// of the strip's two edges.
struct SampledPlottable::ValuePixels {
    const QCPAxis* axis;
    const PulseTrace* strip; // null unless the pulse is drawn in its strip
    double top;
    double bottom;
    double stripHigh;
    double stripLow;

    double operator()(double v) const
    {
        if (strip)
            return v >= strip->high() && strip->high() != strip->low() ? stripHigh : stripLow;
        return clampPixel(axis->coordToPixel(v), top, bottom);
    }
};

namespace {

// The last point left of a column's right border keyEnd, starting from i (the first point not
// yet in a column) and not beyond b; i - 1 when the column takes in no point. The guess from
// the uniform step is only corrected by a step or two.
qint64 lastPointBefore(const SampledPlottable& p, const UniformAxis& ax, double step, double keyEnd, qint64 i,
                       qint64 b)
{
    const double guess = std::ceil(keyEnd / step - double(ax.firstIndex)) - 1;
    qint64 j = guess < double(i - 1) ? i - 1 : guess > double(b) ? b : qint64(guess);
    while (j + 1 <= b && p.xAt(j + 1) < keyEnd)
        ++j;
    while (j >= i && p.xAt(j) >= keyEnd)
        --j;
    return j;
}

// A column of a vector picture as two points of the polyline, the end nearer the previous
// column's last point first, so that the line does not cross the column twice.
void appendColumnEnds(QVector<QPointF>& points, double x, double pLo, double pHi)
{
    if (!points.isEmpty() && std::abs(points.last().y() - pHi) < std::abs(points.last().y() - pLo)) {
        points.append(QPointF(x, pHi));
        points.append(QPointF(x, pLo));
    } else {
        points.append(QPointF(x, pLo));
        points.append(QPointF(x, pHi));
    }
}

// A column on screen as a one-pixel-wide rectangle, joined to the previous column as a line
// through the points would be.
QRect joinedColumn(int c, double pLo, double pHi, int& prevTop, int& prevBottom)
{
    int top = int(std::floor(std::min(pLo, pHi)));
    int bottom = int(std::floor(std::max(pLo, pHi)));
    if (prevBottom >= prevTop) {
        top = std::min(top, prevBottom);
        bottom = std::max(bottom, prevTop);
    }
    prevTop = top;
    prevBottom = bottom;
    return QRect(c, top, 1, bottom - top + 1);
}

} // namespace

void SampledPlottable::draw(QCPPainter* painter)
{
    QCPAxis* keyAxis = mKeyAxis.data();
    QCPAxis* valueAxis = mValueAxis.data();
    const qint64 n = pointCount();
    if (!keyAxis || !valueAxis || n == 0) {
        noteVisible(-1, -1);
        return;
    }
    qint64 a = -1;
    qint64 b = -1;
    if (!drawnStretch(keyAxis->range(), n, a, b))
        return;
    const QRect r = clipRect();
    const ValuePixels valuePixel = valuePixels(*valueAxis, r);
    const double pxA = keyAxis->coordToPixel(xAt(a));
    const double pxB = keyAxis->coordToPixel(xAt(b));
    const double span = std::abs(pxB - pxA);

    points_.clear();
    const double perColumn = double(b - a + 1) / std::max(1.0, span);
    if (perColumn <= 2) {
        // Close up: every point.
        collectPoints(*keyAxis, r, a, b, valuePixel);
        drawPolyline(painter);
        return;
    }
    // On screen the columns are filled as one-pixel-wide rectangles, several times faster than
    // stroking the same lines; pictures for files and printers get a polyline.
    const bool vector = painter->modes().testFlag(QCPPainter::pmVectorized);
    collectColumns(*keyAxis, a, b, pxA, pxB, perColumn, valuePixel, vector);
    if (vector)
        drawPolyline(painter);
    else
        fillColumns(painter);
}

bool SampledPlottable::drawnStretch(const QCPRange& kr, qint64 n, qint64& a, qint64& b)
{
    const UniformAxis& ax = uniformAxis();
    const auto [first, last] = ax.indicesWithin(kr.lower, kr.upper, n);
    noteVisible(first, last);

    // The visible points and one more on each side, so that the line runs out to the edges.
    constexpr double inf = std::numeric_limits<double>::infinity();
    const qint64 before = ax.indicesWithin(-inf, kr.lower, n).second;
    const qint64 after = ax.indicesWithin(kr.upper, inf, n).first;
    a = before >= 0 ? before : first;
    b = after >= 0 ? after : last;
    if (a < 0 || b < 0)
        return false;
    if (a > b)
        std::swap(a, b);
    return true;
}

SampledPlottable::ValuePixels SampledPlottable::valuePixels(const QCPAxis& valueAxis, const QRect& r) const
{
    const double top = r.top();
    const double bottom = r.bottom();
    const double stripHeight = std::max(12.0, (bottom - top) * strip_);
    return {&valueAxis, pulse_ && strip_ > 0 ? &pulseTrace_ : nullptr, top, bottom, bottom - stripHeight + 3,
            bottom - 2};
}

void SampledPlottable::collectPoints(const QCPAxis& keyAxis, const QRect& r, qint64 a, qint64 b,
                                     const ValuePixels& valuePixel)
{
    points_.reserve(int(b - a + 1));
    for (qint64 i = a; i <= b; ++i)
        points_.append(QPointF(clampPixel(keyAxis.coordToPixel(xAt(i)), r.left(), r.right()), valuePixel(yAt(i))));
}

void SampledPlottable::collectColumns(const QCPAxis& keyAxis, qint64 a, qint64 b, double pxA, double pxB,
                                      double perColumn, const ValuePixels& valuePixel, bool vector)
{
    // One column per pixel, from the lowest to the highest value under it. The envelope answers
    // for whole buckets of up to half a column, so a column may take in up to one such bucket of
    // its neighbours: less than a pixel.
    const std::int64_t maxBucket = std::int64_t(perColumn / 2);
    const UniformAxis& ax = uniformAxis();
    const double st = ax.step();
    const int c0 = int(std::floor(std::min(pxA, pxB)));
    const int c1 = int(std::ceil(std::max(pxA, pxB)));
    columns_.clear();
    qint64 i = a;
    int prevTop = 0;
    int prevBottom = -1;
    for (int c = c0; c <= c1 && i <= b; ++c) {
        const qint64 j = lastPointBefore(*this, ax, st, keyAxis.pixelToCoord(c + 1), i, b);
        if (j < i)
            continue;
        const ValueRange vr =
            pulse_ ? pulseTrace_.valueRange(i, j + 1) : line_.coarseValueRange(i, j + 1, maxBucket);
        i = j + 1;
        const double pLo = valuePixel(vr.lo);
        const double pHi = valuePixel(vr.hi);
        if (vector)
            appendColumnEnds(points_, c + 0.5, pLo, pHi);
        else
            columns_.append(joinedColumn(c, pLo, pHi, prevTop, prevBottom));
    }
}

void SampledPlottable::fillColumns(QCPPainter* painter)
{
    if (columns_.isEmpty())
        return;
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(Qt::NoPen);
    painter->setBrush(mPen.color());
    painter->drawRects(columns_.constData(), int(columns_.size()));
}

void SampledPlottable::drawPolyline(QCPPainter* painter)
{
    if (points_.isEmpty())
        return;
    applyDefaultAntialiasingHint(painter);
    painter->setPen(mPen);
    painter->setBrush(Qt::NoBrush);
    if (points_.size() == 1)
        painter->drawPoint(points_.first());
    else
        painter->drawPolyline(points_.constData(), int(points_.size()));
}

void SampledPlottable::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const
{
    QPen pen = mPen;
    pen.setWidthF(std::max<qreal>(2.0, pen.widthF()));
    painter->setPen(pen);
    const double y = rect.center().y();
    painter->drawLine(QLineF(rect.left(), y, rect.right(), y));
}

// ---- MarkPlottable -----------------------------------------------------------------------------

MarkPlottable::MarkPlottable(QCPAxis* keyAxis, QCPAxis* valueAxis)
    : ChartPlottable(keyAxis, valueAxis), style_(QCPScatterStyle::ssDiamond, Qt::red, Qt::red, 9)
{
    setPen(QPen(Qt::red));
    setAntialiased(true);
}

void MarkPlottable::clearPoints()
{
    x_.clear();
    y_.clear();
    forgetVisible();
}

void MarkPlottable::addPoint(double x, double y)
{
    x_.push_back(x);
    y_.push_back(y);
}

QCPRange MarkPlottable::getKeyRange(bool& foundRange, QCP::SignDomain) const
{
    ValueRange r;
    for (double v : x_)
        r.include(v);
    return toRange(r, foundRange);
}

QCPRange MarkPlottable::getValueRange(bool& foundRange, QCP::SignDomain, const QCPRange&) const
{
    ValueRange r;
    for (double v : y_)
        r.include(v);
    return toRange(r, foundRange);
}

void MarkPlottable::draw(QCPPainter* painter)
{
    QCPAxis* keyAxis = mKeyAxis.data();
    QCPAxis* valueAxis = mValueAxis.data();
    if (!keyAxis || !valueAxis)
        return;
    qint64 first = -1, last = -1;
    const QCPRange kr = keyAxis->range();
    applyDefaultAntialiasingHint(painter);
    style_.applyTo(painter, mPen);
    for (std::size_t i = 0; i < x_.size(); ++i) {
        if (x_[i] >= kr.lower && x_[i] <= kr.upper) {
            if (first < 0)
                first = qint64(i);
            last = qint64(i);
        }
        style_.drawShape(painter, keyAxis->coordToPixel(x_[i]), valueAxis->coordToPixel(y_[i]));
    }
    noteVisible(first, last);
}

void MarkPlottable::drawLegendIcon(QCPPainter* painter, const QRectF& rect) const
{
    style_.applyTo(painter, mPen);
    style_.drawShape(painter, rect.center());
}

} // namespace display
