#include "display/ui/chartinteraction.h"

#include <QCheckBox>
#include <QLocale>
#include <QMouseEvent>

#include "display/chartbuild.h"
#include "display/interaction.h"
#include "display/ui/chartpart.h"
#include "display/ui/chartviewoptions.h"
#include "display/ui/cursortable.h"
#include "platform/ui/dialogs.h"

namespace display {

namespace {

QChar decimalSeparator()
{
    return QLocale::system().decimalPoint().at(0);
}

} // namespace

ChartInteraction::ChartInteraction(ChartPart& part) : p_(part)
{
    connectPointer();
    connectControls();
    // The view choices: the window puts them into the chart panel with the part's other groups.
    viewOptions_ = new ChartViewOptions(*p_.Chart1, p_.window());
    makeMarkerTable();
}

void ChartInteraction::connectPointer()
{
    SignalChart* chart = p_.Chart1;
    const auto at = [](QMouseEvent* e) { return e->position().toPoint(); };
    connect(chart, &QCustomPlot::mouseMove, this,
            [this, at](QMouseEvent* e) { Chart1MouseMove(at(e).x(), at(e).y()); });
    connect(chart, &QCustomPlot::mousePress, this,
            [this, at](QMouseEvent* e) { Chart1MouseDown(e->button(), at(e).x(), at(e).y()); });
    connect(chart, &QCustomPlot::mouseRelease, this,
            [this, at](QMouseEvent* e) { Chart1MouseUp(e->button(), at(e).x(), at(e).y()); });
}

void ChartInteraction::connectControls()
{
    // Lists run their handler when the user picks an item; boxes and radio groups also when set
    // from code.
    connect(p_.cbShowK, &QComboBox::activated, this, &ChartInteraction::cbShowKChange);
    // The other panels' lists that rebuild the chart too are joined by the window.
    connect(p_.cbTimeunits, &QComboBox::activated, this, &ChartInteraction::cbTimeunitsChange);
    connect(p_.cbSmooth, &QCheckBox::toggled, this, &ChartInteraction::cbSmoothClick);
    connect(p_.cbXM, &QCheckBox::toggled, this, &ChartInteraction::cbXMClick);
    connect(p_.cbYM, &QCheckBox::toggled, this, &ChartInteraction::cbYMClick);
    connect(p_.cbZM, &QCheckBox::toggled, this, &ChartInteraction::cbZMClick);
    connect(p_.rgTimGrad, &app::RadioGroup::changed, this, &ChartInteraction::rgTimGradClick);
}

void ChartInteraction::makeMarkerTable()
{
    SignalChart* chart = p_.Chart1;
    table_ = new CursorTable(chart);
    connect(table_, &CursorTable::copyRequested, this, [this](const QString& text) {
        if (p_.services().dialogs)
            p_.services().dialogs->setClipboardText(text);
    });
    // The table belongs to the markers: it goes with them, and follows the plot's corner. With
    // the markers gone (every build removes them) the next click is a first point: a second one
    // would measure against a point of another record or picture.
    connect(chart, &SignalChart::marksCleared, this, [this] {
        pointClickCount = 0;
        markers_.clear();
        table_->hide();
    });
    connect(chart, &SignalChart::seriesShownChanged, this, [this](Series s, bool shown) {
        if (s == Series::Mark && !shown)
            table_->hide();
        else if (table_->isVisible())
            showMarkerTable();
    });
    connect(chart, &QCustomPlot::afterReplot, this,
            [this, chart] { table_->placeIn(chart->axisRect()->rect()); });
    // Closed, the table stays away until its box in the "График" panel is ticked again.
    connect(table_, &CursorTable::closeRequested, viewOptions_->markerTableBox(),
            [this] { viewOptions_->markerTableBox()->setChecked(false); });
    connect(viewOptions_->markerTableBox(), &QCheckBox::toggled, this, [this](bool on) {
        if (on && !markers_.empty())
            showMarkerTable();
        else if (!on)
            table_->hide();
    });
}

void ChartInteraction::applyStoredView(bool fitValues, bool pulseStrip, bool tableShown,
                                       const QPoint& tableGap)
{
    viewOptions_->fitValuesBox()->setChecked(fitValues);
    viewOptions_->pulseStripBox()->setChecked(pulseStrip);
    viewOptions_->markerTableBox()->setChecked(tableShown);
    table_->setCornerGap(tableGap);
}

MarkerReading ChartInteraction::readingAt(std::int32_t index) const
{
    const SignalChart* chart = p_.Chart1;
    MarkerReading r;
    r.index = index;
    r.position = double(index) * p_.values().sampleStepX;
    const Series series[4] = {Series::X, Series::Y, Series::Z, Series::IaI};
    for (std::size_t k = 0; k < 4; ++k) {
        const UniformSeries* line = chart->line(series[k]);
        if (!chart->isSeriesShown(series[k]) || !line)
            continue;
        // The point standing at the marker: the frame of the same number.
        const std::int64_t i = std::int64_t(index) - line->axis().firstIndex;
        if (i >= 0 && i < line->size())
            r.values[k] = line->y(i);
    }
    return r;
}

void ChartInteraction::showMarkerTable()
{
    if (!viewOptions_->markerTableBox()->isChecked())
        return;
    std::vector<MarkerReading> readings;
    for (const MarkerReading& m : markers_)
        readings.push_back(readingAt(m.index));
    table_->showTable(markerTable(readings, isTimeView(p_.cbShowK->currentIndex()),
                                  p_.cbTimeunits->currentText(), decimalSeparator(),
                                  p_.values().sampleStepX));
}

void ChartInteraction::Chart1MouseMove(int x, int y)
{
    SignalChart* chart = p_.Chart1;
    // The point under the pointer is kept for the clicks of the interval measurement.
    const auto index =
        cursorIndexAt(chart->bottomValueAt(x), chart->bottomRange().hi, p_.values().sampleStepX);
    if (!index)
        return;
    cursorIndex = *index;
    cursorValue = chart->leftValueAt(y);
    if (!p_.host().windowReady())
        return;
    const std::optional<qint64> limit = lastVisibleFrame();
    if (!limit || cursorIndex < 0 || cursorIndex > *limit)
        return;
    p_.status()->setPanelText(2, readoutText(readoutAt(cursorIndex), decimalSeparator()));
}

std::optional<qint64> ChartInteraction::lastVisibleFrame() const
{
    const SignalChart* chart = p_.Chart1;
    // The limit is the frame of the last visible point (point i of these series is frame i + 1).
    std::optional<qint64> limit;
    for (Series s : {Series::X, Series::Y, Series::Z, Series::IaI}) {
        if (chart->isSeriesShown(s)) {
            const qint64 last = chart->lastVisibleIndex(s);
            const UniformSeries* line = chart->line(s);
            limit = last >= 0 && line ? last + line->axis().firstIndex : -1;
        }
    }
    return limit;
}

ReadoutValues ChartInteraction::readoutAt(std::int32_t index) const
{
    const SignalChart* chart = p_.Chart1;
    ReadoutValues v;
    v.cursorIndex = index;
    v.sampleStepX = p_.values().sampleStepX;
    v.timeView = isTimeView(p_.cbShowK->currentIndex());
    v.unitText = p_.cbTimeunits->currentText();
    if (chart->isSeriesShown(Series::Pls) && p_.rgTimGrad->itemIndex() == 1)
        v.degreeLabel = chart->pointLabel(Series::Pls, index);
    // The values of the sample whose time is shown, as the marker table reads them.
    const MarkerReading here = readingAt(index);
    for (int a = 0; a < 3; ++a)
        v.axes[std::size_t(a)] = here.values[std::size_t(a)];
    v.modulus = here.values[3];
    return v;
}

void ChartInteraction::Chart1MouseDown(Qt::MouseButton, int x, int)
{
    mouseDownX = x;
}

void ChartInteraction::Chart1MouseUp(Qt::MouseButton button, int x, int y)
{
    SignalChart* chart = p_.Chart1;
    if (!chart->isSeriesShown(Series::Mark))
        return;
    // Markers come from the left button; the right one opens the menu. A click that only
    // brought the focus to the chart places nothing.
    if (button != Qt::LeftButton || chart->pressGaveFocus())
        return;
    // 1. A drag is the chart's own zoom or scroll; the axis and below are not the plot.
    if (x != mouseDownX || y >= chart->bottomAxisPosition())
        return;
    const double markX = double(cursorIndex) * p_.values().sampleStepX;
    const double markY = chart->leftValueAt(y);
    if (pointClickCount == 0) {
        // 2.
        tone_->beep(300, 100);
        firstPointIndex = cursorIndex;
        firstPointValue = cursorValue;
        p_.status()->setPanelText(1, QStringLiteral("Выберите вторую точку интервала"));
        chart->clearSeries(Series::Mark);
        chart->addMark(markX, markY);
        markers_ = {readingAt(cursorIndex)};
        showMarkerTable();
    } else {
        // 3.
        tone_->beep(450, 100);
        chart->addMark(markX, markY);
        // After a build the first marker is gone; the table then starts afresh.
        markers_.push_back(readingAt(cursorIndex));
        if (markers_.size() > 2)
            markers_.erase(markers_.begin(), markers_.end() - 2);
        showMarkerTable();
        p_.status()->setPanelText(1, intervalText(firstPointIndex, firstPointValue, cursorIndex, cursorValue,
                                                  p_.values().sampleStepX, p_.values().timeUnitDivisor,
                                                  p_.cbTimeunits->currentText(), decimalSeparator()));
    }
    // 4.
    if (++pointClickCount > 1)
        pointClickCount = 0;
}

void ChartInteraction::cbShowKChange()
{
    p_.ShowChart(p_.cbShowK);
}

void ChartInteraction::cbTimeunitsChange()
{
    cbShowKChange();
}

void ChartInteraction::cbSmoothClick()
{
    // 1. The zero balancing switches smoothing on for its own run.
    if (p_.host().zeroCapturePending())
        return;
    // 2.
    p_.status()->setPanelText(0, QStringLiteral("Выполняется построение графика"));
    // 3. Only a chart that has been drawn with points is rebuilt.
    for (int a = 0; a < 3; ++a) {
        if (p_.host().channelChecked(a) &&
            p_.Chart1->lastVisibleIndex(p_.channelSeries[std::size_t(a)]) != -1) {
            p_.ShowChart(p_.cbSmooth);
            break;
        }
    }
    // 4.
    p_.status()->setPanelText(1, p_.cbSmooth->isChecked() ? QStringLiteral("Сглаживание с весом ") +
                                                                QString::number(p_.seSmooth->value())
                                                          : QString());
}

void ChartInteraction::cbXMClick()
{
    p_.ShowChart(p_.cbXM);
}

void ChartInteraction::cbYMClick()
{
    p_.ShowChart(p_.cbYM);
}

void ChartInteraction::cbZMClick()
{
    p_.ShowChart(p_.cbZM);
}

void ChartInteraction::rgTimGradClick()
{
    // The build swallows its own failures when asked by this control.
    p_.ShowChart(p_.rgTimGrad);
}

} // namespace display
