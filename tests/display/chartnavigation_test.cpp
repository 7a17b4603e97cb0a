#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <functional>

#include "display/chartwindowfixture.h"

using display::Series;
using display::ValueRange;

namespace {

class ChartNavigationTest : public ChartWindowTest {
  public:
    void SetUp() override
    {
        ChartWindowTest::SetUp();
        fillRecord(1000);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        f->chartPart->ShowChart(nullptr);
        chart = f->chartPart->Chart1;
        chart->replot();
        chart->setFocus();
    }

    QPoint plotPoint(double fx, double fy) const
    {
        const QRect r = chart->axisRect()->rect();
        return {r.left() + int(r.width() * fx), r.top() + int(r.height() * fy)};
    }
    void wheel(QPoint at, QPoint angle, Qt::KeyboardModifiers mods = {})
    {
        QWheelEvent e(at, chart->mapToGlobal(at), {}, angle, Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(chart, &e);
    }
    void drag(Qt::MouseButton b, QPoint from, QPoint to)
    {
        QTest::mousePress(chart, b, {}, from);
        QTest::mouseMove(chart, (from + to) / 2);
        QTest::mouseMove(chart, to);
        QTest::mouseRelease(chart, b, {}, to);
    }
    double st() const { return f->chartPart->values().sampleStepX; }
    ValueRange x() const { return chart->bottomRange(); }
    ValueRange y() const { return chart->leftRange(); }

    display::SignalChart* chart = nullptr;
};

} // namespace

TEST_F(ChartNavigationTest, EachGestureMovesTheRangesItShould)
{
    // What each gesture does to the time (x) and value (y) ranges it starts from.
    enum Change { Same, Narrower, Wider, Later, Earlier };
    struct Case {
        const char* name;
        std::function<void(ChartNavigationTest&)> act;
        Change time;
        Change values;
    };
    const auto w = [](QPoint angle, Qt::KeyboardModifiers m = {}) {
        return [=](ChartNavigationTest& t) { t.wheel(t.plotPoint(0.25, 0.5), angle, m); };
    };
    const auto key = [](Qt::Key k) { return [=](ChartNavigationTest& t) { QTest::keyClick(t.chart, k); }; };
    const Case cases[] = {
        {"wheel up", w({0, 120}), Narrower, Same},
        {"wheel down", w({0, -120}), Wider, Same},
        {"ctrl+wheel", w({0, 120}, Qt::ControlModifier), Same, Narrower},
        {"shift+wheel down", w({0, -120}, Qt::ShiftModifier), Later, Same},
        {"horizontal wheel", w({120, 0}), Earlier, Same},
        {"plus", key(Qt::Key_Plus), Narrower, Same},
        {"minus", key(Qt::Key_Minus), Wider, Same},
        {"right arrow", key(Qt::Key_Right), Later, Same},
        {"left arrow", key(Qt::Key_Left), Earlier, Same},
        {"almost horizontal drag",
         [](ChartNavigationTest& t) { t.drag(Qt::LeftButton, t.plotPoint(0.2, 0.5), t.plotPoint(0.6, 0.52)); },
         Narrower, Same},
        {"rectangle drag",
         [](ChartNavigationTest& t) { t.drag(Qt::LeftButton, t.plotPoint(0.2, 0.2), t.plotPoint(0.6, 0.6)); },
         Narrower, Narrower},
        {"right-button drag to the left",
         [](ChartNavigationTest& t) { t.drag(Qt::RightButton, t.plotPoint(0.6, 0.5), t.plotPoint(0.4, 0.5)); },
         Later, Same},
    };
    const auto check = [](Change c, ValueRange before, ValueRange after) {
        const double wb = before.hi - before.lo, wa = after.hi - after.lo;
        switch (c) {
        case Same:
            return after == before;
        case Narrower:
            return wa < wb * 0.99;
        case Wider:
            return wa > wb * 1.01;
        case Later:
            return after.lo > before.lo && std::abs(wa - wb) < wb * 1e-9;
        case Earlier:
            return after.lo < before.lo && std::abs(wa - wb) < wb * 1e-9;
        }
        return false;
    };
    // Start zoomed into the middle, so there is room on every side.
    chart->zoomTo({50 * st(), 200 * st()}, {-500, 500});
    for (const Case& c : cases) {
        chart->zoomTo({50 * st(), 200 * st()}, {-500, 500});
        const ValueRange x0 = x(), y0 = y();
        const int steps = chart->zoomHistorySize();
        c.act(*this);
        EXPECT_TRUE(check(c.time, x0, x())) << c.name << ": time " << x().lo << ".." << x().hi;
        EXPECT_TRUE(check(c.values, y0, y())) << c.name << ": values " << y().lo << ".." << y().hi;
        EXPECT_EQ(chart->zoomHistorySize(), steps + 1) << c.name << " is one step of the history";
    }
    // The wheel zooms around the pointer: the time under it stays where it was.
    chart->zoomTo({50 * st(), 200 * st()}, {-500, 500});
    const QPoint p = plotPoint(0.25, 0.5);
    const double under = chart->bottomValueAt(p.x());
    wheel(p, {0, 240});
    EXPECT_NEAR(chart->bottomValueAt(p.x()), under, (x().hi - x().lo) * 1e-9);
}

TEST_F(ChartNavigationTest, BackspaceWalksTheZoomHistoryBackExactly)
{
    ASSERT_FALSE(chart->isZoomed());
    std::vector<std::pair<ValueRange, ValueRange>> seen;
    const auto note = [&] { seen.emplace_back(x(), y()); };
    note(); // automatic
    drag(Qt::LeftButton, plotPoint(0.1, 0.1), plotPoint(0.7, 0.8));
    note();
    wheel(plotPoint(0.3, 0.5), {0, 120});
    note();
    QTest::keyClick(chart, Qt::Key_Right);
    note();
    drag(Qt::RightButton, plotPoint(0.5, 0.5), plotPoint(0.3, 0.4));
    note();
    wheel(plotPoint(0.3, 0.5), {0, -120}, Qt::ControlModifier);
    note();
    QTest::keyClick(chart, Qt::Key_Home);
    EXPECT_FALSE(chart->isZoomed());
    EXPECT_EQ(std::make_pair(x(), y()), seen.front()) << "Home shows everything";

    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
        QTest::keyClick(chart, Qt::Key_Backspace);
        EXPECT_EQ(x(), it->first) << (seen.rend() - it);
        EXPECT_EQ(y(), it->second) << (seen.rend() - it);
    }
    EXPECT_FALSE(chart->isZoomed()) << "the first step back returns to the automatic ranges";
    EXPECT_EQ(chart->zoomHistorySize(), 0);
    QTest::keyClick(chart, Qt::Key_Backspace);
    EXPECT_EQ(x(), seen.front().first);
}

TEST_F(ChartNavigationTest, FittedValuesFollowTheVisibleStretch)
{
    // X counts 0..499 twice, times 2: the values between samples 100 and 200 lie within 200..400.
    chart->zoomTo({0, 1000 * st()}, {-5000, 5000});
    chart->setSeriesShown(Series::Y, false);
    chart->setSeriesShown(Series::Z, false);
    chart->setSeriesShown(Series::IaI, false);
    chart->setFitValuesToVisible(true);
    const QPoint a(int(chart->xAxis->coordToPixel(100 * st())), plotPoint(0, 0.5).y());
    const QPoint b(int(chart->xAxis->coordToPixel(200 * st())), a.y() + 1);
    const double from = chart->bottomValueAt(a.x());
    drag(Qt::LeftButton, a, b);
    const ValueRange v = chart->visibleValueRange(x());
    EXPECT_EQ(y(), v);
    EXPECT_NEAR(v.lo, 2 * from / st(), 4.0);
    EXPECT_LT(v.hi, 420);
    // Scrolling keeps fitting; without the option the values stay.
    QTest::keyClick(chart, Qt::Key_Right);
    EXPECT_EQ(y(), chart->visibleValueRange(x()));
    // With the pulse in a strip of its own, the fitted values leave the strip free below them.
    chart->setPulseStrip(true);
    ASSERT_TRUE(chart->isSeriesShown(Series::Pls));
    QTest::keyClick(chart, Qt::Key_Right);
    const ValueRange fitted = chart->visibleValueRange(x());
    EXPECT_EQ(y().hi, fitted.hi);
    EXPECT_LT(y().lo, fitted.lo - 0.08 * (fitted.hi - fitted.lo)) << "values drawn over the strip";
    chart->setFitValuesToVisible(false);
    const ValueRange kept = y();
    QTest::keyClick(chart, Qt::Key_Right);
    EXPECT_EQ(y(), kept);
}
