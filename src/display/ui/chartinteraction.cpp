#include "display/ui/chartinteraction.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QLocale>
#include <QMouseEvent>

#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/chartbuild.h"
#include "display/interaction.h"
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

ChartInteraction::ChartInteraction(app::TForm1& form) : f_(form)
{
    SignalChart* chart = f_.Chart1;
    const auto at = [](QMouseEvent* e) { return e->position().toPoint(); };
    connect(chart, &QCustomPlot::mouseMove, this,
            [this, at](QMouseEvent* e) { Chart1MouseMove(at(e).x(), at(e).y()); });
    connect(chart, &QCustomPlot::mousePress, this,
            [this, at](QMouseEvent* e) { Chart1MouseDown(e->button(), at(e).x(), at(e).y()); });
    connect(chart, &QCustomPlot::mouseRelease, this,
            [this, at](QMouseEvent* e) { Chart1MouseUp(e->button(), at(e).x(), at(e).y()); });

    // Lists run their handler when the user picks an item; boxes and radio groups also when set
    // from code.
    connect(f_.cbShowK, &QComboBox::activated, this, &ChartInteraction::cbShowKChange);
    for (QComboBox* list : {f_.cbTimeunits, f_.cbHelp})
        connect(list, &QComboBox::activated, this, &ChartInteraction::cbTimeunitsChange);
    connect(f_.cbSmooth, &QCheckBox::toggled, this, &ChartInteraction::cbSmoothClick);
    connect(f_.cbXM, &QCheckBox::toggled, this, &ChartInteraction::cbXMClick);
    connect(f_.cbYM, &QCheckBox::toggled, this, &ChartInteraction::cbYMClick);
    connect(f_.cbZM, &QCheckBox::toggled, this, &ChartInteraction::cbZMClick);
    connect(f_.rgTimGrad, &app::RadioGroup::changed, this, &ChartInteraction::rgTimGradClick);

    // The view choices join the chart panel's other groups.
    viewOptions_ = new ChartViewOptions(*chart, f_.gbChart);
    if (auto* column = f_.gbChart->findChild<QBoxLayout*>(QStringLiteral("chartPanelMoreColumn"))) {
        column->insertWidget(column->count() - 1, viewOptions_); // above the column's closing stretch
        f_.gbChart->adjustSize();
    }

    table_ = new CursorTable(chart);
    connect(table_, &CursorTable::copyRequested, this, [this](const QString& text) {
        if (f_.services().dialogs)
            f_.services().dialogs->setClipboardText(text);
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
    connect(chart, &QCustomPlot::afterReplot, this, [this, chart] { table_->placeIn(chart->axisRect()->rect()); });
    // Closed, the table stays away until its box in the "График" panel is ticked again.
    connect(table_, &CursorTable::closeRequested, viewOptions_->markerTableBox(), [this] {
        viewOptions_->markerTableBox()->setChecked(false);
    });
    connect(viewOptions_->markerTableBox(), &QCheckBox::toggled, this, [this](bool on) {
        if (on && !markers_.empty())
            showMarkerTable();
        else if (!on)
            table_->hide();
    });
}

void ChartInteraction::applyStoredView(bool fitValues, bool pulseStrip, bool tableShown, const QPoint& tableGap)
{
    viewOptions_->fitValuesBox()->setChecked(fitValues);
    viewOptions_->pulseStripBox()->setChecked(pulseStrip);
    viewOptions_->markerTableBox()->setChecked(tableShown);
    table_->setCornerGap(tableGap);
}

MarkerReading ChartInteraction::readingAt(std::int32_t index) const
{
    const SignalChart* chart = f_.Chart1;
    MarkerReading r;
    r.index = index;
    r.position = double(index) * f_.sampleStepX;
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
    table_->showTable(markerTable(readings, isTimeView(f_.cbShowK->currentIndex()), f_.cbTimeunits->currentText(),
                                  decimalSeparator(), f_.sampleStepX));
}

void ChartInteraction::Chart1MouseMove(int x, int y)
{
    SignalChart* chart = f_.Chart1;
    // 1.
    const auto index = cursorIndexAt(chart->bottomValueAt(x), chart->bottomRange().hi, f_.sampleStepX);
    if (!index)
        return;
    cursorIndex = *index;
    cursorValue = chart->leftValueAt(y);
    // 2.
    if (!f_.formReady)
        return;
    // The limit is the frame of the last visible point (point i of these series is frame i + 1).
    qint64 limit = -1;
    bool anyShown = false;
    for (Series s : {Series::X, Series::Y, Series::Z, Series::IaI}) {
        if (chart->isSeriesShown(s)) {
            anyShown = true;
            const qint64 last = chart->lastVisibleIndex(s);
            const UniformSeries* line = chart->line(s);
            limit = last >= 0 && line ? last + line->axis().firstIndex : -1;
        }
    }
    if (!anyShown || cursorIndex < 0 || cursorIndex > limit)
        return;
    // 3-4.
    ReadoutValues v;
    v.cursorIndex = cursorIndex;
    v.sampleStepX = f_.sampleStepX;
    v.timeView = isTimeView(f_.cbShowK->currentIndex());
    v.unitText = f_.cbTimeunits->currentText();
    if (chart->isSeriesShown(Series::Pls) && f_.rgTimGrad->itemIndex() == 1)
        v.degreeLabel = chart->pointLabel(Series::Pls, cursorIndex);
    // The values of the sample whose time is shown, as the marker table reads them.
    const MarkerReading here = readingAt(cursorIndex);
    for (int a = 0; a < 3; ++a)
        v.axes[std::size_t(a)] = here.values[std::size_t(a)];
    v.modulus = here.values[3];
    // 5.
    f_.status->setPanelText(2, readoutText(v, decimalSeparator()));
}

void ChartInteraction::Chart1MouseDown(Qt::MouseButton, int x, int)
{
    mouseDownX = x;
}

void ChartInteraction::Chart1MouseUp(Qt::MouseButton button, int x, int y)
{
    SignalChart* chart = f_.Chart1;
    if (!chart->isSeriesShown(Series::Mark))
        return;
    // Markers come from the left button; the right one opens the menu. A click that only
    // brought the focus to the chart places nothing.
    if (button != Qt::LeftButton || chart->pressGaveFocus())
        return;
    // 1. A drag is the chart's own zoom or scroll; the axis and below are not the plot.
    if (x != mouseDownX || y >= chart->bottomAxisPosition())
        return;
    const double markX = double(cursorIndex) * f_.sampleStepX;
    const double markY = chart->leftValueAt(y);
    if (pointClickCount == 0) {
        // 2.
        tone_->beep(300, 100);
        firstPointIndex = cursorIndex;
        firstPointValue = cursorValue;
        f_.status->setPanelText(1, QStringLiteral("Выберите вторую точку интервала"));
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
        f_.status->setPanelText(1, intervalText(firstPointIndex, firstPointValue, cursorIndex, cursorValue,
                                                f_.sampleStepX, f_.timeUnitDivisor,
                                                f_.cbTimeunits->currentText(), decimalSeparator()));
    }
    // 4.
    if (++pointClickCount > 1)
        pointClickCount = 0;
}

void ChartInteraction::cbShowKChange()
{
    f_.ShowChart(f_.cbShowK);
}

void ChartInteraction::cbTimeunitsChange()
{
    cbShowKChange();
}

void ChartInteraction::cbSmoothClick()
{
    // 1. The zero balancing switches smoothing on for its own run.
    if (f_.zeroCapturePending())
        return;
    // 2.
    f_.ShowStartProcess(QStringLiteral("Выполняется построение графика"));
    // 3. Only a chart that has been drawn with points is rebuilt.
    for (int a = 0; a < 3; ++a) {
        if (f_.setupPanel->channelChecked(a) &&
            f_.Chart1->lastVisibleIndex(f_.channelSeries[std::size_t(a)]) != -1) {
            f_.ShowChart(f_.cbSmooth);
            break;
        }
    }
    // 4.
    f_.status->setPanelText(1, f_.cbSmooth->isChecked() ? QStringLiteral("Сглаживание с весом ") +
                                                              QString::number(f_.seSmooth->value())
                                                        : QString());
}

void ChartInteraction::cbXMClick()
{
    f_.ShowChart(f_.cbXM);
}

void ChartInteraction::cbYMClick()
{
    f_.ShowChart(f_.cbYM);
}

void ChartInteraction::cbZMClick()
{
    f_.ShowChart(f_.cbZM);
}

void ChartInteraction::rgTimGradClick()
{
    // The build swallows its own failures when asked by this control.
    f_.ShowChart(f_.rgTimGrad);
}

} // namespace display
