#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "analysis/ui/mainanalysis.h"
#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/chartwindowfixture.h"
#include "display/ui/chartbuilder.h"

using app::TForm1;
using display::Series;

TEST_F(ChartWindowTest, BuildFillsTheChartAndLeavesItsValues)
{
    fillRecord(100);
    f->chartPart->cbTimeunits->setCurrentIndex(1);
    f->chartPart->ShowChart(nullptr);
    EXPECT_TRUE(f->chartPart->Chart1->isEnabled());
    EXPECT_TRUE(f->analysisActions->spectrumButton()->isEnabled());
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::X), 99);
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Pls), 100);
    EXPECT_DOUBLE_EQ(f->chartPart->Chart1->xValue(Series::X, 0), 0.3125);
    EXPECT_EQ(f->chartPart->Chart1->yValues(Series::Y)[9], -20.0);
    EXPECT_EQ(f->chartPart->values().timeUnitDivisor, 1000.0);
    EXPECT_EQ(f->chartPart->values().xAxisTitle, QStringLiteral("Время, мс"));
    EXPECT_EQ(f->chartPart->values().nyquistHz, 1600);
    EXPECT_DOUBLE_EQ(f->chartPart->values().sampleStepX, 0.3125);
    EXPECT_EQ(f->chartPart->values().channelMask, 7);
    EXPECT_EQ(f->chartPart->values().runStartTick, 4242u);
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));
    EXPECT_TRUE(f->status->panelText(1).endsWith(QStringLiteral(" начало измерения")));
    EXPECT_TRUE(f->status->panelText(1).contains(QStringLiteral("10:20:30")));
    // Pulse levels: the automatic range of the shown series on a first build.
    const display::ValueRange r = f->chartPart->Chart1->autoLeftRange();
    EXPECT_EQ(f->chartPart->Chart1->yValue(Series::Pls, 0), r.hi);
    EXPECT_EQ(f->chartPart->Chart1->yValue(Series::Pls, 1), r.lo);
    EXPECT_EQ(f->chartPart->Chart1->leftTitle(), QStringLiteral("Ускорение, см/с/с"));
    EXPECT_EQ(f->chartPart->Chart1->bottomTitle(), QStringLiteral("Градусы")) << "the default pulse mode is degrees";

    f->chartPart->rgTimGrad->setItemIndex(0);
    f->chartPart->cbShowK->setCurrentIndex(1);
    f->chartPart->ShowChart(nullptr);
    EXPECT_EQ(f->chartPart->Chart1->leftTitle(), QStringLiteral("единицы АЦП"));
    EXPECT_EQ(f->chartPart->Chart1->bottomTitle(), QStringLiteral("Выборки"));
    EXPECT_EQ(f->chartPart->Chart1->yValues(Series::Y)[9], -10.0);
    EXPECT_EQ(f->chartPart->values().sampleStepX, 1.0);
}

TEST_F(ChartWindowTest, EmptyStreamOrNoChannelKeepsThePicture)
{
    fillRecord(50);
    f->chartPart->ShowChart(nullptr);
    const QString bottom = f->chartPart->Chart1->bottomTitle();
    f->record.clearForTransfer(0);
    f->chartPart->ShowChart(nullptr);
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::X), 49) << "an empty stream leaves the chart as it was";

    fillRecord(50);
    f->chartPart->cbShowK->setCurrentIndex(1);
    for (auto* b : f->setupPanel->channelBoxes)
        b->setChecked(false);
    f->chartPart->ShowChart(nullptr);
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::X), 0);
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Pls), 0);
    EXPECT_EQ(f->chartPart->values().channelMask, 0);
    EXPECT_EQ(f->chartPart->Chart1->bottomTitle(), bottom) << "titles unchanged";
}

TEST_F(ChartWindowTest, AfterEachPaintTheVisibleStretchIsTaken)
{
    fillRecord(1000);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->chartPart->ShowChart(nullptr);
    EXPECT_EQ(f->chartPart->values().firstVisibleIndex, -1) << "until the chart is painted the previous values stay";
    f->chartPart->Chart1->replot();
    EXPECT_EQ(f->chartPart->values().firstVisibleIndex, 0);
    EXPECT_EQ(f->chartPart->values().lastVisibleIndex, 998);
    EXPECT_TRUE(f->linkIndicator->timCheckUSB->isActive());

    // x = (i + 1) * 312.5 µs; 31250 .. 62500 holds points 99 .. 199.
    f->chartPart->Chart1->zoomTo({31250, 62500}, {-2000, 2000});
    EXPECT_EQ(f->chartPart->values().firstVisibleIndex, 99);
    EXPECT_EQ(f->chartPart->values().lastVisibleIndex, 199);

    // X hidden: Y decides; none shown: no stretch, the whole record counts.
    f->chartPart->Chart1->setSeriesShown(Series::X, false);
    f->chartPart->Chart1->zoomTo({0, 3125}, {-2000, 2000});
    EXPECT_EQ(f->chartPart->values().lastVisibleIndex, 9);
    f->chartPart->Chart1->setSeriesShown(Series::Y, false);
    f->chartPart->Chart1->setSeriesShown(Series::Z, false);
    f->chartPart->Chart1->zoomTo({0, 6250}, {-2000, 2000});
    EXPECT_EQ(f->chartPart->values().firstVisibleIndex, -1);
    EXPECT_EQ(f->chartPart->values().lastVisibleIndex, -1);
}

TEST_F(ChartWindowTest, ZoomFixesThePulseLevels)
{
    fillRecord(100);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->chartPart->ShowChart(nullptr);
    f->chartPart->Chart1->zoomTo({0, 10000}, {-300, 500});
    f->chartPart->ShowChart(nullptr);
    EXPECT_EQ(f->chartPart->Chart1->yValue(Series::Pls, 0), 500.0);
    EXPECT_EQ(f->chartPart->Chart1->yValue(Series::Pls, 1), -300.0);
    EXPECT_TRUE(f->chartPart->Chart1->isZoomed()) << "a rebuild keeps the zoom";

    // Back on automatic axes the levels follow the new view's own range: switching from ADC
    // units to values that are twice as large does not keep the old scale.
    f->chartPart->Chart1->unzoom();
    f->chartPart->cbShowK->setCurrentIndex(1);
    f->chartPart->ShowChart(nullptr);
    f->chartPart->Chart1->replot();
    const double adcHigh = f->chartPart->Chart1->yValue(Series::Pls, 0);
    f->chartPart->cbShowK->setCurrentIndex(0);
    f->chartPart->ShowChart(nullptr);
    EXPECT_EQ(f->chartPart->Chart1->yValue(Series::Pls, 0), 2 * adcHigh);
}

TEST_F(ChartWindowTest, NestedBuildRunsOnceAfterTheRunningOne)
{
    // 120000 frames of 3 channels: 720000 bytes, so the build lets the message loop run.
    fillRecord(120000);
    f->chartPart->rgTimGrad->setItemIndex(0);
    int nested = 0;
    bool wasBuilding = false;
    qint64 pointsSeenInside = -1;
    QTimer::singleShot(0, f.get(), [&] {
        ++nested;
        f->chartPart->cbShowK->setCurrentIndex(1);
        pointsSeenInside = f->chartPart->Chart1->pointCount(Series::X);
        wasBuilding = f->chartPart->chartBuilder->isBuilding();
        f->chartPart->ShowChart(nullptr);
    });
    f->chartPart->ShowChart(nullptr);
    EXPECT_EQ(nested, 1);
    EXPECT_TRUE(wasBuilding);
    EXPECT_EQ(pointsSeenInside, 0) << "the nested request did not build in the middle";
    // The queued build ran last, in the view chosen meanwhile.
    EXPECT_EQ(f->chartPart->Chart1->bottomTitle(), QStringLiteral("Выборки"));
    EXPECT_EQ(f->chartPart->Chart1->xValue(Series::X, 0), 1.0);
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::X), 119999);
    EXPECT_FALSE(f->chartPart->chartBuilder->isBuilding());
}

TEST_F(ChartWindowTest, StreamReplacedDuringBuildStopsIt)
{
    fillRecord(120000);
    QTimer::singleShot(0, f.get(), [&] { f->record.clearForTransfer(0); });
    f->chartPart->ShowChart(nullptr);
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::X), 0);
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Pls), 0);
    EXPECT_FALSE(f->chartPart->chartBuilder->isBuilding());
}
