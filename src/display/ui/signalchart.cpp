#include "display/ui/signalchart.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QRubberBand>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

#include "display/ui/chartstyle.h"
#include "display/ui/roundticker.h"
#include "display/ui/sampledplottable.h"

namespace display {

namespace {

// A drag shorter than this in both directions is a click that slipped, not a gesture.
constexpr int kMinDragPixels = 3;
// A drag to the right that rises or falls by at most this share of its length zooms the time
// only, as in signal viewers.
constexpr int kHorizontalDragRatio = 8;
// One wheel notch zooms by this factor; a key press by its square.
constexpr double kWheelZoom = 0.8;
// One wheel notch scrolls by this share of the visible time, an arrow key by twice as much.
constexpr double kWheelScroll = 0.1;
// The pulse strip's share of the plot's height.
constexpr double kPulseStripShare = 0.1;
// Zoom steps kept for Backspace; a spun wheel adds one per notch.
constexpr std::size_t kHistoryLimit = 500;

bool almostHorizontal(int dx, int dy)
{
    return dx >= kMinDragPixels && std::abs(dy) * kHorizontalDragRatio <= dx;
}

const QColor kLegendColour(0xCA, 0xCA, 0xCA);

// A legend entry with a check box: the box shows and hides its series, the name is written in
// the series' colour.
class CheckLegendItem : public QCPAbstractLegendItem {
  public:
    CheckLegendItem(QCPLegend* legend, ChartPlottable* plottable, Series series)
        : QCPAbstractLegendItem(legend), plottable_(plottable), series_(series)
    {
        setSelectable(false);
    }
    Series series() const { return series_; }

  protected:
    static constexpr int kBox = 11;
    static constexpr int kGap = 4;

    void draw(QCPPainter* painter) override
    {
        const QRect r = mRect;
        const QSize icon = mParentLegend->iconSize();
        const int cy = r.center().y();
        painter->setRenderHint(QPainter::Antialiasing, false);
        const QRect box(r.left(), cy - kBox / 2, kBox, kBox);
        painter->setPen(QPen(QColor(0x40, 0x40, 0x40)));
        painter->setBrush(Qt::white);
        painter->drawRect(box);
        if (plottable_->visible()) {
            painter->setRenderHint(QPainter::Antialiasing, true);
            painter->setPen(QPen(Qt::black, 1.6));
            const QPointF a(box.left() + 2.5, box.top() + 5.5);
            const QPointF b(box.left() + 4.5, box.bottom() - 2.5);
            const QPointF c(box.right() - 2, box.top() + 2.5);
            painter->drawPolyline(QVector<QPointF>{a, b, c});
        }
        const QRectF iconRect(box.right() + kGap, cy - icon.height() / 2.0, icon.width(), icon.height());
        painter->save();
        painter->setClipRect(iconRect);
        plottable_->paintLegendIcon(painter, iconRect);
        painter->restore();
        painter->setFont(mFont);
        painter->setPen(QPen(mTextColor));
        const int textLeft = int(iconRect.right()) + mParentLegend->iconTextPadding();
        painter->drawText(QRect(textLeft, r.top(), r.right() - textLeft, r.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, plottable_->name());
    }

    QSize minimumOuterSizeHint() const override
    {
        const QFontMetrics fm(mFont);
        const QSize icon = mParentLegend->iconSize();
        const int w = kBox + kGap + icon.width() + mParentLegend->iconTextPadding() +
                      fm.horizontalAdvance(plottable_->name());
        const int h = std::max({fm.height(), icon.height(), kBox});
        return {w + mMargins.left() + mMargins.right(), h + mMargins.top() + mMargins.bottom()};
    }

  private:
    ChartPlottable* plottable_;
    Series series_;
};

// Numbers on the bottom axis, or the labels of the pulse trace's points while it shows them:
// the start of each turn and, where turns are wide enough, its half and quarter points.
class PointLabelTicker : public QCPAxisTicker {
  public:
    explicit PointLabelTicker(const SignalChart* chart) : chart_(chart) {}

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) override
    {
        if (!chart_->showsPointLabels()) {
            QCPAxisTicker::generate(range, locale, formatChar, precision, ticks, subTicks, tickLabels);
            return;
        }
        const PulseTrace& pulse = chart_->pulse();
        const auto [first, last] = pulse.axis().indicesWithin(range.lower, range.upper, pulse.size());
        ticks.clear();
        if (subTicks)
            subTicks->clear();
        if (tickLabels)
            tickLabels->clear();
        if (first < 0)
            return;
        // Labels some 60 pixels apart at least.
        const double pixels = std::max(1, chart_->xAxis->axisRect()->width());
        const double spacing = 60.0 * double(last - first + 1) / pixels;
        for (std::int64_t k : pulse.labelPoints(first, last, spacing, 200)) {
            ticks.append(pulse.x(k));
            if (tickLabels)
                tickLabels->append(pulse.label(k).trimmed());
        }
    }

  private:
    const SignalChart* chart_;
};

ValueRange toValueRange(const QCPRange& r)
{
    return {r.lower, r.upper};
}

// Axes cannot show a range without extent: a flat or missing range is opened around its value.
QCPRange drawable(ValueRange r)
{
    if (r.isEmpty())
        r = {0.0, 0.0};
    if (r.hi - r.lo <= std::max(std::abs(r.lo), std::abs(r.hi)) * 1e-12 || r.hi == r.lo) {
        const double pad = std::max(1.0, std::abs(r.lo) * 0.05);
        return {r.lo - pad, r.hi + pad};
    }
    return {r.lo, r.hi};
}

} // namespace

QString seriesName(Series s)
{
    switch (s) {
    case Series::X:
        return QStringLiteral("X");
    case Series::Y:
        return QStringLiteral("Y");
    case Series::Z:
        return QStringLiteral("Z");
    case Series::IaI:
        return QStringLiteral("IaI");
    case Series::Mark:
        return QStringLiteral("Mark    ");
    case Series::Pls:
        return QStringLiteral("Pls");
    }
    return {};
}

SignalChart::SignalChart(QWidget* parent) : QCustomPlot(parent)
{
    setObjectName(QStringLiteral("Chart1"));
    // The readout follows the pointer without a button held.
    setMouseTracking(true);
    // Reachable by Tab too: the zoom and scroll keys need the focus.
    setFocusPolicy(Qt::StrongFocus);
    setAutoAddPlottableToLegend(false);
    setNoAntialiasingOnDrag(true);
    QLocale numbers = QLocale::system();
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    setLocale(numbers);

    createPlottables();
    buildLegend();
    placeLegendUnderPlot();
    connect(this, &QCustomPlot::legendClick, this, &SignalChart::onLegendClick);
    setUpAxes();

    rubberBand_ = new QRubberBand(QRubberBand::Rectangle, this);

    connect(this, &QCustomPlot::beforeReplot, this, &SignalChart::applyAutoRanges);
    connect(this, &QCustomPlot::afterReplot, this, &SignalChart::noteDrawing);
    setBackgroundColour(Qt::white);
}

void SignalChart::createPlottables()
{
    for (int i = 0; i < seriesCount; ++i) {
        const auto s = static_cast<Series>(i);
        ChartPlottable* p = nullptr;
        if (s == Series::Mark) {
            mark_ = new MarkPlottable(xAxis, yAxis);
            p = mark_;
        } else {
            p = new SampledPlottable(xAxis, yAxis);
            p->setPen(QPen(Qt::black));
        }
        p->setName(seriesName(s));
        plottables_[std::size_t(i)] = p;
    }
}

void SignalChart::buildLegend()
{
    // The legend sits in its own row under the plot on light grey, one entry per series.
    legend->setVisible(true);
    legend->setBrush(kLegendColour);
    legend->setBorderPen(QPen(kLegendColour.darker(130)));
    legend->setIconSize(22, 10);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(seriesCount);
    legend->setColumnSpacing(14);
    legend->setSelectableParts(QCPLegend::spNone);
    for (int i = 0; i < seriesCount; ++i) {
        auto* item = new CheckLegendItem(legend, plottables_[std::size_t(i)], static_cast<Series>(i));
        // Each name in its series' colour (the lines take theirs when they are set).
        item->setTextColor(plottables_[std::size_t(i)]->pen().color());
        legend->addItem(item);
    }
}

void SignalChart::placeLegendUnderPlot()
{
    axisRect()->insetLayout()->take(legend);
    // The row centres the legend at its natural width between two stretching spacers, so the
    // entries stay together and clear of the copy button in the chart's lower left corner.
    auto* row = new QCPLayoutGrid;
    plotLayout()->addElement(1, 0, row);
    row->setMargins(QMargins(0, 0, 0, 4));
    row->addElement(0, 0, new QCPLayoutElement(this));
    row->addElement(0, 1, legend);
    row->addElement(0, 2, new QCPLayoutElement(this));
    row->setColumnStretchFactors({1.0, 0.001, 1.0});
    row->setColumnSpacing(0);
    legend->setMargins(QMargins(8, 3, 8, 3));
    plotLayout()->setRowStretchFactor(1, 0.001);
}

void SignalChart::setUpAxes()
{
    xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new PointLabelTicker(this)));
    xAxis->setNumberFormat(QStringLiteral("g"));
    xAxis->setNumberPrecision(8);
    yAxis->setNumberFormat(QStringLiteral("g"));
    yAxis->setNumberPrecision(8);
    for (QCPAxis* a : {xAxis, yAxis, xAxis2}) {
        applyGridStyle(a);
        a->setTickLabelColor(Qt::black);
        a->setLabelColor(Qt::black);
    }
    keepTimeOnTopAxis();
    xAxis->setLabel(QStringLiteral("Время, мкс"));
    yAxis->setLabel(QStringLiteral("Ускорение, см/с/с"));
    axisRect()->setBackground(Qt::white);
}

void SignalChart::keepTimeOnTopAxis()
{
    // While the bottom axis names the turns of the pulse (degrees), the top axis keeps the time,
    // so the operator can still read where in the record a turn lies; its grid takes over the
    // vertical lines the few turn labels leave out.
    auto timeTicker = QSharedPointer<RoundTicker>::create(xAxis2);
    xAxis2->setTicker(timeTicker);
    xAxis2->setVisible(false);
    connect(xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), xAxis2,
            qOverload<const QCPRange&>(&QCPAxis::setRange));
}

SignalChart::~SignalChart() = default;

SampledPlottable* SignalChart::sampled(Series s) const
{
    return s == Series::Mark ? nullptr : static_cast<SampledPlottable*>(plottable(s));
}

// ---- series data -------------------------------------------------------------------------------

void SignalChart::setLine(Series s, UniformSeries data)
{
    if (auto* p = sampled(s); p && s != Series::Pls)
        p->setLine(std::move(data));
    replot(rpQueuedReplot);
}

void SignalChart::setPulse(PulseTrace data)
{
    sampled(Series::Pls)->setPulse(std::move(data));
    replot(rpQueuedReplot);
}

void SignalChart::clearSeries(Series s)
{
    if (s == Series::Mark) {
        mark_->clearPoints();
        emit marksCleared();
    } else
        sampled(s)->clearData();
    replot(rpQueuedReplot);
}

void SignalChart::clearAllSeries()
{
    for (int i = 0; i < seriesCount; ++i)
        clearSeries(static_cast<Series>(i));
}

void SignalChart::addMark(double x, double y)
{
    mark_->addPoint(x, y);
    replot(rpQueuedReplot);
}

const UniformSeries* SignalChart::line(Series s) const
{
    const SampledPlottable* p = sampled(s);
    return p && !p->isPulse() ? &p->line() : nullptr;
}

const PulseTrace& SignalChart::pulse() const
{
    return sampled(Series::Pls)->pulseTrace();
}

void SignalChart::setSeriesColour(Series s, const QColor& colour)
{
    ChartPlottable* p = plottable(s);
    QPen pen = p->pen();
    pen.setColor(colour);
    p->setPen(pen);
    // The legend names each series in its own colour.
    legend->item(int(s))->setTextColor(colour);
    replot(rpQueuedReplot);
}

QColor SignalChart::seriesColour(Series s) const
{
    return plottable(s)->pen().color();
}

void SignalChart::setSeriesShown(Series s, bool shown)
{
    ChartPlottable* p = plottable(s);
    const bool changed = p->visible() != shown;
    p->setVisible(shown);
    replot(rpQueuedReplot);
    if (changed)
        emit seriesShownChanged(s, shown);
}

bool SignalChart::isSeriesShown(Series s) const
{
    return plottable(s)->visible();
}

const double* SignalChart::yValues(Series s) const
{
    if (s == Series::Mark)
        return mark_->ys().data();
    const SampledPlottable* p = sampled(s);
    return p->isPulse() ? nullptr : p->line().data();
}

qint64 SignalChart::pointCount(Series s) const
{
    return plottable(s)->pointCount();
}

double SignalChart::xValue(Series s, qint64 i) const
{
    return plottable(s)->xAt(i);
}

double SignalChart::yValue(Series s, qint64 i) const
{
    return plottable(s)->yAt(i);
}

QString SignalChart::pointLabel(Series s, qint64 i) const
{
    if (s != Series::Pls)
        return {};
    return pulse().label(i);
}

void SignalChart::setBackgroundColour(const QColor& colour)
{
    background_ = colour;
    setBackground(QBrush(colour));
    replot(rpQueuedReplot);
}

quint64 SignalChart::dataBytes() const
{
    quint64 b = 0;
    for (int i = 0; i < seriesCount; ++i)
        if (const SampledPlottable* p = sampled(static_cast<Series>(i)))
            b += p->dataBytes();
    return b;
}

// ---- axes --------------------------------------------------------------------------------------

void SignalChart::setLeftTitle(const QString& title)
{
    yAxis->setLabel(title);
    replot(rpQueuedReplot);
}

void SignalChart::setBottomTitle(const QString& title)
{
    xAxis->setLabel(title);
    replot(rpQueuedReplot);
}

QString SignalChart::leftTitle() const
{
    return yAxis->label();
}

QString SignalChart::bottomTitle() const
{
    return xAxis->label();
}

ValueRange SignalChart::leftRange() const
{
    return toValueRange(yAxis->range());
}

ValueRange SignalChart::bottomRange() const
{
    return toValueRange(xAxis->range());
}

ValueRange SignalChart::autoLeftRange() const
{
    ValueRange r;
    for (ChartPlottable* p : plottables_) {
        if (!p->visible())
            continue;
        bool found = false;
        const QCPRange v = p->getValueRange(found);
        if (found)
            r.include(ValueRange{v.lower, v.upper});
    }
    return r.isEmpty() ? ValueRange{0.0, 0.0} : r;
}

double SignalChart::bottomValueAt(double pixelX) const
{
    return xAxis->pixelToCoord(pixelX);
}

double SignalChart::leftValueAt(double pixelY) const
{
    return yAxis->pixelToCoord(pixelY);
}

int SignalChart::bottomAxisPosition() const
{
    return axisRect()->bottom();
}

bool SignalChart::showsPointLabels() const
{
    return isSeriesShown(Series::Pls) && pulse().hasDegreeLabels();
}

void SignalChart::setTimeTitle(const QString& title)
{
    xAxis2->setLabel(title);
    replot(rpQueuedReplot);
}

QString SignalChart::timeTitle() const
{
    return xAxis2->label();
}

void SignalChart::applyAutoRanges()
{
    const bool degrees = showsPointLabels();
    xAxis2->setVisible(degrees);
    xAxis2->grid()->setVisible(degrees);
    autoLeft_ = autoLeftRange();
    if (live_) {
        xAxis->setRange(drawable(liveBottom_));
        yAxis->setRange(withPulseStrip(drawable(autoLeft_)));
        return;
    }
    if (zoomed_)
        return;
    ValueRange keys;
    for (ChartPlottable* p : plottables_) {
        if (!p->visible())
            continue;
        bool found = false;
        const QCPRange k = p->getKeyRange(found);
        if (found)
            keys.include(ValueRange{k.lower, k.upper});
    }
    xAxis->setRange(drawable(keys));
    yAxis->setRange(withPulseStrip(drawable(autoLeft_)));
}

void SignalChart::noteDrawing()
{
    // The after-draw handler restarts the link check, whose polls would take the bytes of the
    // run now being received.
    if (live_)
        return;
    lastPaintedLeft_ = zoomed_ ? leftRange() : autoLeft_;
    emit afterDraw();
}

// ---- zoom and scroll ---------------------------------------------------------------------------

void SignalChart::zoomToPixels(const QRect& pixelRect)
{
    const QRect r = pixelRect.normalized();
    zoomTo({bottomValueAt(r.left()), bottomValueAt(r.right())},
           {leftValueAt(r.bottom()), leftValueAt(r.top())});
}

void SignalChart::zoomTo(ValueRange bottom, ValueRange left)
{
    if (bottom.isEmpty() || left.isEmpty() || bottom.lo == bottom.hi || left.lo == left.hi)
        return;
    setView({bottom.lo, bottom.hi}, {left.lo, left.hi});
}

void SignalChart::scrollByPixels(int dx, int dy)
{
    const QCPRange x = xAxis->range();
    const QCPRange y = yAxis->range();
    const double kx = xAxis->pixelToCoord(0) - xAxis->pixelToCoord(dx);
    const double ky = yAxis->pixelToCoord(0) - yAxis->pixelToCoord(dy);
    setView({x.lower + kx, x.upper + kx}, {y.lower + ky, y.upper + ky});
}

void SignalChart::unzoom()
{
    if (zoomed_)
        rememberView();
    zoomed_ = false;
    replot();
}

void SignalChart::zoomTimeAround(double factor, double key)
{
    const QCPRange x = xAxis->range();
    if (!(factor > 0) || !std::isfinite(key))
        return;
    const QCPRange nx(key - (key - x.lower) * factor, key + (x.upper - key) * factor);
    if (!(nx.upper > nx.lower) || !QCPRange::validRange(nx))
        return;
    setView(nx, fittedValues(nx));
}

void SignalChart::zoomValuesAround(double factor, double value)
{
    const QCPRange y = yAxis->range();
    if (!(factor > 0) || !std::isfinite(value))
        return;
    const QCPRange ny(value - (value - y.lower) * factor, value + (y.upper - value) * factor);
    if (!(ny.upper > ny.lower) || !QCPRange::validRange(ny))
        return;
    setView(xAxis->range(), ny);
}

void SignalChart::scrollTime(double fraction)
{
    const QCPRange x = xAxis->range();
    const double d = x.size() * fraction;
    const QCPRange nx(x.lower + d, x.upper + d);
    setView(nx, fittedValues(nx));
}

bool SignalChart::zoomBack()
{
    if (history_.empty())
        return false;
    const View v = history_.back();
    history_.pop_back();
    zoomed_ = v.zoomed;
    if (zoomed_) {
        xAxis->setRange(v.bottom);
        yAxis->setRange(v.left);
    }
    replot();
    return true;
}

void SignalChart::resetZoom()
{
    history_.clear();
    zoomed_ = false;
    replot(rpQueuedReplot);
}

void SignalChart::rescaleKeys(double factor)
{
    if (!(factor > 0) || !std::isfinite(factor) || factor == 1)
        return;
    const auto scaled = [factor](QCPRange r) { return QCPRange(r.lower * factor, r.upper * factor); };
    for (View& v : history_)
        v.bottom = scaled(v.bottom);
    if (live_)
        liveSavedBottom_ = scaled(liveSavedBottom_);
    else if (zoomed_)
        xAxis->setRange(scaled(xAxis->range()));
    replot(rpQueuedReplot);
}

void SignalChart::rememberView()
{
    if (history_.size() >= kHistoryLimit)
        history_.erase(history_.begin());
    history_.push_back({zoomed_, xAxis->range(), yAxis->range()});
}

void SignalChart::setView(const QCPRange& bottom, const QCPRange& left)
{
    rememberView();
    zoomed_ = true;
    xAxis->setRange(bottom);
    yAxis->setRange(left);
    replot();
}

QCPRange SignalChart::withPulseStrip(QCPRange r) const
{
    // The values keep clear of the pulse strip at the bottom of the plot.
    if (pulseStrip_ && isSeriesShown(Series::Pls))
        r.lower -= r.size() * kPulseStripShare / (1 - kPulseStripShare);
    return r;
}

QCPRange SignalChart::fittedValues(const QCPRange& bottom) const
{
    if (!fitValues_)
        return yAxis->range();
    const ValueRange r = visibleValueRange({bottom.lower, bottom.upper});
    // A fitted range keeps the strip's room as the automatic one does.
    return r.isEmpty() ? yAxis->range() : withPulseStrip(drawable(r));
}

ValueRange SignalChart::visibleValueRange(ValueRange bottom) const
{
    ValueRange r;
    for (Series s : {Series::X, Series::Y, Series::Z, Series::IaI}) {
        const SampledPlottable* p = sampled(s);
        if (!p->visible() || p->isPulse() || p->line().isEmpty())
            continue;
        const UniformSeries& line = p->line();
        const auto [first, last] = line.axis().indicesWithin(bottom.lo, bottom.hi, line.size());
        if (first >= 0)
            r.include(line.valueRange(first, last + 1));
    }
    return r;
}

void SignalChart::setPulseStrip(bool on)
{
    pulseStrip_ = on;
    sampled(Series::Pls)->setStrip(on ? kPulseStripShare : 0.0);
    replot();
}

void SignalChart::showLive(ValueRange bottom)
{
    if (!live_) {
        liveSavedBottom_ = xAxis->range();
        liveSavedLeft_ = yAxis->range();
        live_ = true;
    }
    liveBottom_ = bottom;
    replot(rpQueuedReplot);
}

void SignalChart::endLive()
{
    if (!live_)
        return;
    live_ = false;
    if (zoomed_) {
        xAxis->setRange(liveSavedBottom_);
        yAxis->setRange(liveSavedLeft_);
    }
    replot(rpQueuedReplot);
}

qint64 SignalChart::firstVisibleIndex(Series s) const
{
    return plottable(s)->firstVisible();
}

qint64 SignalChart::lastVisibleIndex(Series s) const
{
    return plottable(s)->lastVisible();
}

// ---- mouse -------------------------------------------------------------------------------------

void SignalChart::focusInEvent(QFocusEvent* event)
{
    // The click that brings the focus arrives right after it, in the same turn of the event loop.
    // A click on a child (the copy button) brings the focus here too but presses the child, so
    // the note lasts only that turn.
    focusByMouse_ = event->reason() == Qt::MouseFocusReason;
    if (focusByMouse_)
        QTimer::singleShot(0, this, [this] { focusByMouse_ = false; });
    QCustomPlot::focusInEvent(event);
}

void SignalChart::mousePressEvent(QMouseEvent* event)
{
    pressGaveFocus_ = std::exchange(focusByMouse_, false);
    QCustomPlot::mousePressEvent(event);
    const QPoint pos = event->position().toPoint();
    dragStart_ = pos;
    dragMoved_ = false;
    drag_ = Drag::None;
    if (live_ || !axisRect()->rect().contains(pos))
        return;
    if (event->button() == Qt::LeftButton) {
        drag_ = Drag::Zoom;
    } else if (event->button() == Qt::RightButton) {
        drag_ = Drag::Scroll;
        scrollStartX_ = xAxis->range();
        scrollStartY_ = yAxis->range();
        scrollRemembered_ = false;
    }
}

void SignalChart::mouseMoveEvent(QMouseEvent* event)
{
    QCustomPlot::mouseMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    if (drag_ == Drag::None)
        return;
    if (pos != dragStart_)
        dragMoved_ = true;
    if (drag_ == Drag::Zoom) {
        QRect band = QRect(dragStart_, pos).normalized();
        // A time-only zoom shows what it will take: the whole height.
        if (almostHorizontal(pos.x() - dragStart_.x(), pos.y() - dragStart_.y())) {
            const QRect plot = axisRect()->rect();
            band.setTop(plot.top());
            band.setBottom(plot.bottom());
        }
        rubberBand_->setGeometry(band);
        if (dragMoved_)
            rubberBand_->show();
    } else if (dragMoved_) {
        if (!scrollRemembered_) {
            // The whole drag is one step of the history, remembered before it moves anything.
            rememberView();
            scrollRemembered_ = true;
        }
        // Scrolling follows the pointer from where the drag began.
        const double kx = xAxis->pixelToCoord(dragStart_.x()) - xAxis->pixelToCoord(pos.x());
        const double ky = yAxis->pixelToCoord(dragStart_.y()) - yAxis->pixelToCoord(pos.y());
        zoomed_ = true;
        const QCPRange nx(scrollStartX_.lower + kx, scrollStartX_.upper + kx);
        xAxis->setRange(nx);
        yAxis->setRange(fitValues_ ? fittedValues(nx) : QCPRange(scrollStartY_.lower + ky, scrollStartY_.upper + ky));
        replot(rpQueuedReplot);
    }
}

void SignalChart::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const Drag drag = drag_;
    drag_ = Drag::None;
    rubberBand_->hide();
    const int dx = pos.x() - dragStart_.x();
    const int dy = pos.y() - dragStart_.y();
    if (drag == Drag::Zoom && event->button() == Qt::LeftButton) {
        if (almostHorizontal(dx, dy)) {
            const QCPRange x(bottomValueAt(dragStart_.x()), bottomValueAt(pos.x()));
            setView(x, fittedValues(x));
        } else if (dx >= kMinDragPixels && dy >= kMinDragPixels)
            zoomToPixels(QRect(dragStart_, pos));
        else if (dx <= -kMinDragPixels || dy <= -kMinDragPixels)
            unzoom();
    } else if (drag == Drag::Scroll && event->button() == Qt::RightButton) {
        if (dragMoved_)
            replot();
    }
    QCustomPlot::mouseReleaseEvent(event);
    // A right click that scrolled nothing: the menu, where it was clicked.
    if (event->button() == Qt::RightButton && !dragMoved_ && pos == dragStart_ && !live_)
        emit contextMenuRequested(mapToGlobal(pos));
}

void SignalChart::wheelEvent(QWheelEvent* event)
{
    const QPoint d = event->angleDelta();
    if (live_ || !isEnabled() || d.isNull()) {
        event->ignore();
        return;
    }
    const QPointF pos = event->position();
    const Qt::KeyboardModifiers mods = event->modifiers();
    // Some systems turn Shift+wheel into a horizontal wheel themselves.
    if (d.x() != 0 || mods.testFlag(Qt::ShiftModifier)) {
        const double notches = (d.x() != 0 ? d.x() : d.y()) / 120.0;
        scrollTime(-notches * kWheelScroll);
    } else if (mods.testFlag(Qt::ControlModifier)) {
        zoomValuesAround(std::pow(kWheelZoom, d.y() / 120.0), yAxis->pixelToCoord(pos.y()));
    } else {
        zoomTimeAround(std::pow(kWheelZoom, d.y() / 120.0), xAxis->pixelToCoord(pos.x()));
    }
    event->accept();
}

void SignalChart::keyPressEvent(QKeyEvent* event)
{
    if (live_ || !isEnabled()) {
        QCustomPlot::keyPressEvent(event);
        return;
    }
    const QCPRange x = xAxis->range();
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomTimeAround(kWheelZoom * kWheelZoom, x.center());
        break;
    case Qt::Key_Minus:
        zoomTimeAround(1 / (kWheelZoom * kWheelZoom), x.center());
        break;
    case Qt::Key_Left:
        scrollTime(-2 * kWheelScroll);
        break;
    case Qt::Key_Right:
        scrollTime(2 * kWheelScroll);
        break;
    case Qt::Key_Home:
        unzoom();
        break;
    case Qt::Key_Backspace:
        zoomBack();
        break;
    default:
        QCustomPlot::keyPressEvent(event);
        return;
    }
    event->accept();
}

void SignalChart::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard) {
        emit contextMenuRequested(event->globalPos());
        event->accept();
    } else {
        event->ignore();
    }
}

void SignalChart::onLegendClick(QCPLegend*, QCPAbstractLegendItem* item, QMouseEvent* event)
{
    if (event && event->button() != Qt::LeftButton)
        return;
    if (auto* check = dynamic_cast<CheckLegendItem*>(item)) {
        const Series s = check->series();
        setSeriesShown(s, !isSeriesShown(s));
        replot();
    }
}

} // namespace display
