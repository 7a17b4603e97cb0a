#include <QApplication>
#include <QCheckBox>
#include <QLocale>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

#include "display/chartwindowfixture.h"
#include "display/ui/chartinteraction.h"
#include "display/ui/chartviewoptions.h"
#include "display/ui/cursortable.h"
#include "files/ui/scalesui.h"

#include <QTableWidget>
#include <QToolButton>
#include "platform/tone.h"
#include "files/ui/measurementfilesui.h"

using display::Series;

namespace {

class ChartInteractionTest : public ChartWindowTest {
  protected:
    void SetUp() override
    {
        ChartWindowTest::SetUp();
        f->chartPart->chartInteraction->setTone(&tone);
        f->chartPart->rgTimGrad->setItemIndex(0);
        f->chartPart->cbTimeunits->setCurrentIndex(1);
        fillRecord(1000);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        f->chartPart->ShowChart(nullptr);
        zoomToSamples(0, 200);
        // The chart has the focus already, so every click below is a deliberate one.
        f->chartPart->Chart1->setFocus(Qt::OtherFocusReason);
    }

    // A view in which each sample spans several pixels, so a pixel picks one sample exactly.
    void zoomToSamples(double from, double to)
    {
        f->chartPart->Chart1->zoomTo({from * f->chartPart->values().sampleStepX, to * f->chartPart->values().sampleStepX}, {-2000, 2000});
    }
    QPoint pixelOf(int sample, double value = 100) const
    {
        return {int(std::lround(f->chartPart->Chart1->xAxis->coordToPixel(sample * f->chartPart->values().sampleStepX))),
                int(std::lround(f->chartPart->Chart1->yAxis->coordToPixel(value)))};
    }
    void clickAt(QPoint p)
    {
        QTest::mouseMove(f->chartPart->Chart1, p);
        QTest::mouseClick(f->chartPart->Chart1, Qt::LeftButton, {}, p);
    }
    QString sep() const { return QLocale::system().decimalPoint(); }

    platform::RecordingTone tone;
};

} // namespace

TEST_F(ChartInteractionTest, TwoClicksMeasureAnInterval)
{
    using Beeps = std::vector<std::pair<int, int>>;
    clickAt(pixelOf(100, 300));
    EXPECT_EQ(f->chartPart->chartInteraction->cursorIndex, 100);
    EXPECT_EQ(tone.beeps, (Beeps{{300, 100}}));
    EXPECT_EQ(f->status->panelText(1), QStringLiteral("Выберите вторую точку интервала"));
    ASSERT_EQ(f->chartPart->Chart1->pointCount(Series::Mark), 1);
    EXPECT_DOUBLE_EQ(f->chartPart->Chart1->xValue(Series::Mark, 0), 100 * 0.3125);

    clickAt(pixelOf(40, 200));
    EXPECT_EQ(tone.beeps, (Beeps{{300, 100}, {450, 100}}));
    const QString text = f->status->panelText(1);
    EXPECT_TRUE(text.startsWith(QStringLiteral("dT=18") + sep() + QStringLiteral("75мс<>f=53") + sep() +
                                QStringLiteral("33Гц dA=")))
        << text.toStdString();
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Mark), 2);

    // A third click starts a new interval: one marker, the first beep again.
    clickAt(pixelOf(150));
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Mark), 1);
    EXPECT_EQ(tone.beeps.back(), (std::pair{300, 100}));
    EXPECT_EQ(f->status->panelText(1), QStringLiteral("Выберите вторую точку интервала"));

    // In the sample view dT counts samples and the unit text stays.
    f->chartPart->cbShowK->setCurrentIndex(1);
    f->chartPart->ShowChart(f->chartPart->cbShowK);
    f->chartPart->chartInteraction->pointClickCount = 0;
    zoomToSamples(0, 200);
    clickAt(pixelOf(100));
    clickAt(pixelOf(40));
    EXPECT_TRUE(f->status->panelText(1).startsWith(
        QStringLiteral("dT=60") + sep() + QStringLiteral("00мс<>f=16") + sep() + QStringLiteral("67Гц")))
        << f->status->panelText(1).toStdString();
}

TEST_F(ChartInteractionTest, DragsAxisClicksAndHiddenMarksMeasureNothing)
{
    // A drag is a zoom, not a point.
    const QPoint a = pixelOf(60), b = pixelOf(90, -500);
    QTest::mousePress(f->chartPart->Chart1, Qt::LeftButton, {}, a);
    QTest::mouseMove(f->chartPart->Chart1, b);
    QTest::mouseRelease(f->chartPart->Chart1, Qt::LeftButton, {}, b);
    EXPECT_TRUE(tone.beeps.empty());

    // On the bottom axis.
    zoomToSamples(0, 200);
    QPoint onAxis = pixelOf(100);
    onAxis.setY(f->chartPart->Chart1->bottomAxisPosition() + 2);
    clickAt(onAxis);
    EXPECT_TRUE(tone.beeps.empty());

    // Mark hidden.
    f->chartPart->Chart1->setSeriesShown(Series::Mark, false);
    clickAt(pixelOf(100));
    EXPECT_TRUE(tone.beeps.empty());
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Mark), 0);
}

TEST_F(ChartInteractionTest, ReadoutUnderThePointer)
{
    QTest::mouseMove(f->chartPart->Chart1, pixelOf(20));
    // The time of frame 20 and its values, as the marker table has them: X = 20 * 2, Y = -40,
    // Z = 14.
    const QString expected = QStringLiteral("6") + sep() + QStringLiteral("25мс X=40") + sep() +
                             QStringLiteral("00 Y=-40") + sep() + QStringLiteral("00 Z=14") + sep() +
                             QStringLiteral("00 |a|=");
    EXPECT_TRUE(f->status->panelText(2).startsWith(expected)) << f->status->panelText(2).toStdString();
    // The last visible frame is read too.
    zoomToSamples(0, 200);
    const qint64 last = f->chartPart->Chart1->lastVisibleIndex(Series::X) + 1;
    QTest::mouseMove(f->chartPart->Chart1, pixelOf(int(last)));
    EXPECT_TRUE(f->status->panelText(2).contains(QStringLiteral("X=%1").arg(last * 2))) << f->status->panelText(2).toStdString();

    // "Градусы" with the pulse shown: the degree label of the point, or "°" alone.
    f->chartPart->rgTimGrad->setItemIndex(1);
    zoomToSamples(0, 200);
    QTest::mouseMove(f->chartPart->Chart1, pixelOf(25));
    EXPECT_TRUE(f->status->panelText(2).startsWith(QStringLiteral(" 180° X=")))
        << f->status->panelText(2).toStdString();
    QTest::mouseMove(f->chartPart->Chart1, pixelOf(5));
    EXPECT_TRUE(f->status->panelText(2).startsWith(QStringLiteral("° X=")))
        << f->status->panelText(2).toStdString();

    // Beyond the visible points the readout stays as it was.
    const QString before = f->status->panelText(2);
    f->chartPart->Chart1->zoomTo({-100 * f->chartPart->values().sampleStepX, 100 * f->chartPart->values().sampleStepX}, {-2000, 2000});
    QTest::mouseMove(f->chartPart->Chart1, pixelOf(-50));
    EXPECT_EQ(f->status->panelText(2), before);
}

TEST_F(ChartInteractionTest, DisplayOptionsRebuildTheChart)
{
    struct Case {
        const char* what;
        std::function<void()> change;
    };
    const Case cases[] = {
        {"cbDivider", [&] { emit f->measurementFiles->cbDivider->activated(0); }},
        {"cbStoreX", [&] { emit f->measurementFiles->cbStoreX->activated(1); }},
        {"cbHelp", [&] { emit f->cbHelp->activated(0); }},
        {"cbTimeunits", [&] { emit f->chartPart->cbTimeunits->activated(1); }},
        {"cbShowK", [&] { emit f->chartPart->cbShowK->activated(0); }},
        {"cbXM", [&] { f->chartPart->cbXM->setChecked(!f->chartPart->cbXM->isChecked()); }},
        {"cbYM", [&] { f->chartPart->cbYM->setChecked(!f->chartPart->cbYM->isChecked()); }},
        {"cbZM", [&] { f->chartPart->cbZM->setChecked(!f->chartPart->cbZM->isChecked()); }},
        {"rgTimGrad", [&] { f->chartPart->rgTimGrad->setItemIndex(1 - f->chartPart->rgTimGrad->itemIndex()); }},
    };
    std::uint32_t tick = 10000;
    for (const auto& c : cases) {
        ticks.set(++tick);
        c.change();
        EXPECT_EQ(f->chartPart->values().runStartTick, tick) << c.what << " rebuilds";
    }
    // The modulus follows its boxes: only X now.
    f->chartPart->cbXM->setChecked(true);
    f->chartPart->cbYM->setChecked(false);
    f->chartPart->cbZM->setChecked(false);
    EXPECT_EQ(f->chartPart->Chart1->yValues(Series::IaI)[5], std::abs(f->chartPart->Chart1->yValues(Series::X)[5]));
}

TEST_F(ChartInteractionTest, SmoothingToggle)
{
    f->chartPart->Chart1->replot();
    ticks.set(5000);
    f->chartPart->cbSmooth->setChecked(true);
    EXPECT_EQ(f->chartPart->values().runStartTick, 5000u);
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));
    EXPECT_EQ(f->status->panelText(1), QStringLiteral("Сглаживание с весом 8"));
    f->chartPart->cbSmooth->setChecked(false);
    EXPECT_EQ(f->status->panelText(1), QString());

    // The zero balancing switches smoothing on for itself: no build then.
    f->scales->setCapturePending(true);
    ticks.set(6000);
    f->chartPart->cbSmooth->setChecked(true);
    EXPECT_EQ(f->chartPart->values().runStartTick, 5000u);
    f->scales->setCapturePending(false);

    // Before the chart has been drawn with points nothing is rebuilt.
    f->record.clearForTransfer(0);
    fillRecord(50);
    f->chartPart->Chart1->clearAllSeries();
    ticks.set(7000);
    f->chartPart->cbSmooth->setChecked(false);
    EXPECT_EQ(f->chartPart->values().runStartTick, 5000u);
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("Выполняется построение графика"));
}

TEST_F(ChartInteractionTest, MarkerTableHoldsTheSeriesValuesAtBothMarkers)
{
    using display::Series;
    f->chartPart->Chart1->setSeriesShown(Series::Z, false);
    clickAt(pixelOf(100, 300));
    display::CursorTable* table = f->chartPart->chartInteraction->cursorTable();
    ASSERT_TRUE(table->isVisible());
    EXPECT_EQ(table->grid()->columnCount(), 2) << "one marker: one column of values";
    clickAt(pixelOf(40, 200));
    ASSERT_EQ(table->grid()->columnCount(), 4);
    QStringList names;
    for (int r = 0; r < table->grid()->rowCount(); ++r)
        names << table->grid()->item(r, 0)->text();
    EXPECT_EQ(names, (QStringList{QStringLiteral("t, мс"), "X", "Y", "|a|"})) << "hidden Z has no row";

    // Each value is the series' own at the marker's sample: the point standing at its x.
    const Series rows[] = {Series::X, Series::Y, Series::IaI};
    const int samples[] = {100, 40};
    for (int r = 0; r < 3; ++r) {
        for (int m = 0; m < 2; ++m) {
            const qint64 i = samples[m] - 1; // point i holds frame i + 1
            ASSERT_DOUBLE_EQ(f->chartPart->Chart1->xValue(rows[r], i), samples[m] * f->chartPart->values().sampleStepX);
            EXPECT_EQ(table->grid()->item(r + 1, m + 1)->data(Qt::UserRole).toDouble(),
                      f->chartPart->Chart1->yValue(rows[r], i))
                << r << "," << m;
        }
        EXPECT_EQ(table->grid()->item(r + 1, 3)->data(Qt::UserRole).toDouble(),
                  f->chartPart->Chart1->yValue(rows[r], 39) - f->chartPart->Chart1->yValue(rows[r], 99));
    }
    EXPECT_EQ(table->grid()->item(0, 1)->data(Qt::UserRole).toDouble(), 100 * f->chartPart->values().sampleStepX);

    // Copied as tab-separated lines.
    QTest::mouseClick(table->copyButton(), Qt::LeftButton);
    const QStringList lines = dialogs.clipboard.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QStringLiteral("\t1\t2\t2−1"));
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Y\t-200\t-80\t120"))) << qPrintable(lines[3]);

    // A build removes the markers and the table with them.
    f->chartPart->ShowChart(nullptr);
    EXPECT_FALSE(table->isVisible());
}

// Every build, of a new record or of the same one in another picture, starts a new interval: a
// single click after it is the first point, never the second of an interval whose first point
// lay in a picture that is gone.
TEST_F(ChartInteractionTest, EveryBuildStartsANewInterval)
{
    const std::pair<const char*, std::function<void()>> rebuilds[] = {
        {"a new record", [&] { fillRecord(600); f->chartPart->ShowChart(nullptr); }},
        {"a display option", [&] { f->chartPart->cbXM->setChecked(!f->chartPart->cbXM->isChecked()); }},
    };
    for (const auto& [what, rebuild] : rebuilds) {
        SCOPED_TRACE(what);
        zoomToSamples(0, 200);
        clickAt(pixelOf(100));
        rebuild();
        zoomToSamples(0, 200);
        clickAt(pixelOf(40));
        EXPECT_EQ(f->status->panelText(1), QStringLiteral("Выберите вторую точку интервала"));
        EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Mark), 1);
        EXPECT_EQ(f->chartPart->chartInteraction->pointClickCount, 1);
        f->chartPart->chartInteraction->pointClickCount = 0;
    }
}

// The same record shown in another time unit or by sample number keeps showing the stretch the
// operator zoomed into, and a step back returns to the earlier stretch in the new unit.
TEST_F(ChartInteractionTest, AnotherTimeUnitOrViewKeepsTheZoomedStretch)
{
    struct Case {
        const char* what;
        int view;
        int unit;
        double step; // bottom-axis distance between two frames
    } cases[] = {
        {"мс to с", 0, 2, 0.0003125}, {"с to мкс", 0, 0, 312.5}, {"to sample numbers", 1, 0, 1},
        {"back to мс", 0, 1, 0.3125},
    };
    // Half a frame clear of the points, so that the visible points are the same ones whatever the
    // rounding of the unit's conversion.
    zoomToSamples(50, 400);
    zoomToSamples(99.5, 200.5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f->chartPart->cbShowK->setCurrentIndex(c.view);
        emit f->chartPart->cbShowK->activated(c.view);
        f->chartPart->cbTimeunits->setCurrentIndex(c.unit);
        emit f->chartPart->cbTimeunits->activated(c.unit);
        f->chartPart->Chart1->replot();
        EXPECT_NEAR(f->chartPart->Chart1->bottomRange().lo, 99.5 * c.step, 1e-9 * c.step);
        EXPECT_NEAR(f->chartPart->Chart1->bottomRange().hi, 200.5 * c.step, 1e-9 * c.step);
        EXPECT_EQ(f->chartPart->values().firstVisibleIndex, 99);
        EXPECT_EQ(f->chartPart->values().lastVisibleIndex, 199);
    }
    ASSERT_TRUE(f->chartPart->Chart1->zoomBack());
    EXPECT_NEAR(f->chartPart->Chart1->bottomRange().lo, 50 * 0.3125, 1e-9);
    EXPECT_NEAR(f->chartPart->Chart1->bottomRange().hi, 400 * 0.3125, 1e-9);
}

TEST_F(ChartInteractionTest, OnlyADeliberateLeftClickPlacesAMarker)
{
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
    // The chart is on the Tab route, so its keys can be reached without a click.
    f->measurementFiles->mComment->setFocus(Qt::OtherFocusReason);
    for (int tabs = 0; tabs < 80 && !f->chartPart->Chart1->hasFocus(); ++tabs)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_TRUE(f->chartPart->Chart1->hasFocus()) << "Tab never reached the chart";

    struct Case {
        const char* what;
        Qt::MouseButton button;
        bool focusElsewhere;
        bool marks;
    };
    const Case cases[] = {
        {"the click that brings the focus", Qt::LeftButton, true, false},
        {"a right click", Qt::RightButton, false, false},
        {"a left click on the focused chart", Qt::LeftButton, false, true},
    };
    for (const Case& c : cases) {
        f->chartPart->Chart1->clearSeries(Series::Mark);
        f->chartPart->chartInteraction->pointClickCount = 0;
        tone.beeps.clear();
        if (c.focusElsewhere)
            f->measurementFiles->mComment->setFocus(Qt::OtherFocusReason);
        else
            f->chartPart->Chart1->setFocus(Qt::OtherFocusReason);
        const QPoint p = pixelOf(100);
        QTest::mouseMove(f->chartPart->Chart1, p);
        QTest::mouseClick(f->chartPart->Chart1, c.button, {}, p);
        EXPECT_TRUE(f->chartPart->Chart1->hasFocus()) << c.what;
        EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Mark), c.marks ? 1 : 0) << c.what;
        EXPECT_EQ(tone.beeps.size(), c.marks ? 1u : 0u) << c.what;
        // The right button opens the chart's menu where it was clicked.
        EXPECT_EQ(f->chartPart->pmChart->isVisible(), c.button == Qt::RightButton) << c.what;
        f->chartPart->pmChart->hide();
        // The menu took the window's activation with it.
        f->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));
    }
}

TEST_F(ChartInteractionTest, TheMarkerTableIsMovedClosedAndReopened)
{
    display::CursorTable* table = f->chartPart->chartInteraction->cursorTable();
    QCheckBox* box = f->chartPart->chartInteraction->viewOptions()->markerTableBox();
    clickAt(pixelOf(100, 300));
    ASSERT_TRUE(table->isVisible());

    // Dragged by its title to the left; it stays there through a redraw.
    const QPoint grip = table->mapTo(f->chartPart->Chart1, QPoint(10, 8));
    const QPoint start = table->pos();
    QTest::mousePress(table, Qt::LeftButton, {}, QPoint(10, 8));
    QTest::mouseMove(table, QPoint(10 - 150, 8 + 40));
    QTest::mouseRelease(table, Qt::LeftButton, {}, QPoint(10, 8)); // the table has come along under the pointer
    EXPECT_EQ(table->pos(), start + QPoint(-150, 40)) << "grip at " << grip.x();
    f->chartPart->Chart1->replot();
    EXPECT_EQ(table->pos(), start + QPoint(-150, 40));
    EXPECT_EQ(table->cornerGap(), QPoint(4 + 150, 4 + 40));

    // Closed: the next markers come without it, until its box is ticked again.
    QTest::mouseClick(table->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(table->isVisible());
    EXPECT_FALSE(box->isChecked());
    clickAt(pixelOf(40, 200));
    clickAt(pixelOf(60, 200));
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::Mark), 1);
    EXPECT_FALSE(table->isVisible());
    box->setChecked(true);
    EXPECT_TRUE(table->isVisible());
    EXPECT_EQ(table->grid()->columnCount(), 2) << "the one marker standing";
}
