#include <QApplication>
#include <QContextMenuEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

#include "display/ui/signalchart.h"

using display::Series;
using display::SignalChart;
using display::UniformAxis;
using display::UniformSeries;
using display::ValueRange;

namespace {

UniformSeries ramp(std::int64_t n, UniformAxis axis = {})
{
    std::vector<double> v(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
        v[std::size_t(i)] = double(i % 100) - 50.0;
    UniformSeries s;
    s.assign(v, axis);
    return s;
}

class SignalChartTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        chart.resize(800, 400);
        chart.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
        chart.setLine(Series::X, ramp(1000));
        chart.replot();
    }

    QPoint legendEntry(Series s) const { return chart.legend->item(int(s))->outerRect().center(); }
    QPoint plotPoint(double fx, double fy) const
    {
        const QRect r = chart.axisRect()->rect();
        return {r.left() + int(fx * r.width()), r.top() + int(fy * r.height())};
    }
    void drag(Qt::MouseButton button, QPoint from, QPoint to)
    {
        QTest::mousePress(&chart, button, {}, from);
        QTest::mouseMove(&chart, (from + to) / 2);
        QTest::mouseMove(&chart, to);
        QTest::mouseRelease(&chart, button, {}, to);
    }

    SignalChart chart;
};

} // namespace

TEST_F(SignalChartTest, LegendCheckBoxesShowAndHideSeries)
{
    QSignalSpy spy(&chart, &SignalChart::seriesShownChanged);
    for (Series s : {Series::X, Series::IaI, Series::Mark, Series::Pls}) {
        ASSERT_TRUE(chart.isSeriesShown(s));
        QTest::mouseClick(&chart, Qt::LeftButton, {}, legendEntry(s));
        EXPECT_FALSE(chart.isSeriesShown(s)) << display::seriesName(s).toStdString();
        QTest::mouseClick(&chart, Qt::LeftButton, {}, legendEntry(s));
        EXPECT_TRUE(chart.isSeriesShown(s));
    }
    EXPECT_EQ(spy.count(), 8);
    // Hiding keeps the points.
    QTest::mouseClick(&chart, Qt::LeftButton, {}, legendEntry(Series::X));
    EXPECT_EQ(chart.pointCount(Series::X), 1000);
    // Each name is written in its series' colour; the legend lists the six series.
    chart.setSeriesColour(Series::Y, QColor(0, 128, 0));
    EXPECT_EQ(chart.legend->item(int(Series::Y))->textColor(), QColor(0, 128, 0));
    EXPECT_EQ(chart.legend->itemCount(), 6);
    EXPECT_EQ(display::seriesName(Series::Mark), QStringLiteral("Mark    "));
}

TEST_F(SignalChartTest, DragGesturesZoomUnzoomAndScroll)
{
    const ValueRange autoX = chart.bottomRange();
    EXPECT_EQ(autoX, (ValueRange{0, 999}));
    EXPECT_EQ(chart.leftRange(), (ValueRange{-50, 49}));

    // Right and down: the rectangle becomes the view.
    const QPoint a = plotPoint(0.25, 0.2), b = plotPoint(0.5, 0.6);
    const double x0 = chart.bottomValueAt(a.x()), x1 = chart.bottomValueAt(b.x());
    const double y0 = chart.leftValueAt(b.y()), y1 = chart.leftValueAt(a.y());
    drag(Qt::LeftButton, a, b);
    EXPECT_TRUE(chart.isZoomed());
    EXPECT_NEAR(chart.bottomRange().lo, x0, 1e-9);
    EXPECT_NEAR(chart.bottomRange().hi, x1, 1e-9);
    EXPECT_NEAR(chart.leftRange().lo, y0, 1e-9);
    EXPECT_NEAR(chart.leftRange().hi, y1, 1e-9);

    // The zoom survives new data.
    chart.setLine(Series::X, ramp(2000));
    chart.replot();
    EXPECT_NEAR(chart.bottomRange().lo, x0, 1e-9);

    // A plain click is no gesture, but it reaches the window's handlers.
    QSignalSpy pressed(&chart, &QCustomPlot::mousePress);
    QSignalSpy released(&chart, &QCustomPlot::mouseRelease);
    QTest::mouseClick(&chart, Qt::LeftButton, {}, plotPoint(0.7, 0.7));
    EXPECT_TRUE(chart.isZoomed());
    EXPECT_NEAR(chart.bottomRange().lo, x0, 1e-9);
    EXPECT_EQ(pressed.count(), 1);
    EXPECT_EQ(released.count(), 1);

    // Right-button drag scrolls: the data follows the pointer.
    const ValueRange before = chart.bottomRange();
    const double perPixel = (before.hi - before.lo) / chart.axisRect()->width();
    drag(Qt::RightButton, plotPoint(0.5, 0.5), plotPoint(0.5, 0.5) + QPoint(40, 0));
    EXPECT_NEAR(chart.bottomRange().lo, before.lo - 40 * perPixel, perPixel);
    EXPECT_NEAR(chart.bottomRange().hi - chart.bottomRange().lo, before.hi - before.lo, 1e-6);

    // Left or up: back to the automatic ranges, which follow the data again.
    drag(Qt::LeftButton, plotPoint(0.6, 0.6), plotPoint(0.3, 0.7));
    EXPECT_FALSE(chart.isZoomed());
    EXPECT_EQ(chart.bottomRange(), (ValueRange{0, 1999}));
    drag(Qt::LeftButton, plotPoint(0.3, 0.3), plotPoint(0.6, 0.6));
    drag(Qt::LeftButton, plotPoint(0.3, 0.6), plotPoint(0.4, 0.3));
    EXPECT_FALSE(chart.isZoomed()) << "dragging up undoes the zoom too";
}

TEST_F(SignalChartTest, ContextMenuFromARightClickOrTheKeyboard)
{
    QSignalSpy spy(&chart, &SignalChart::contextMenuRequested);
    // The system's own mouse request comes with the press, before a drag could begin.
    QContextMenuEvent byMouse(QContextMenuEvent::Mouse, plotPoint(0.5, 0.5),
                              chart.mapToGlobal(plotPoint(0.5, 0.5)));
    QApplication::sendEvent(&chart, &byMouse);
    EXPECT_EQ(spy.count(), 0);
    drag(Qt::RightButton, plotPoint(0.5, 0.5), plotPoint(0.6, 0.5));
    EXPECT_EQ(spy.count(), 0) << "a right drag scrolls";
    QTest::mouseClick(&chart, Qt::RightButton, {}, plotPoint(0.5, 0.5));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toPoint(), chart.mapToGlobal(plotPoint(0.5, 0.5))) << "where it was clicked";
    QContextMenuEvent byKey(QContextMenuEvent::Keyboard, plotPoint(0.5, 0.5),
                            chart.mapToGlobal(plotPoint(0.5, 0.5)));
    QApplication::sendEvent(&chart, &byKey);
    EXPECT_EQ(spy.count(), 2);
}

TEST_F(SignalChartTest, VisibleIndicesAfterEachDrawing)
{
    QSignalSpy drawn(&chart, &SignalChart::afterDraw);
    chart.setLine(Series::X, ramp(1000, UniformAxis{1, 312.5, 1000.0})); // x = (i + 1) * 0.3125
    chart.setLine(Series::Y, ramp(1000, UniformAxis{1, 312.5, 1000.0}));
    EXPECT_EQ(chart.firstVisibleIndex(Series::X), -1) << "not drawn since the points were replaced";
    chart.replot();
    EXPECT_GE(drawn.count(), 1);
    EXPECT_EQ(chart.firstVisibleIndex(Series::X), 0);
    EXPECT_EQ(chart.lastVisibleIndex(Series::X), 999);

    // x 31.3 .. 62.5 holds the points 100 (31.5625) to 199 (62.5).
    chart.zoomTo({31.3, 62.5}, {-60, 60});
    EXPECT_EQ(chart.firstVisibleIndex(Series::X), 100);
    EXPECT_EQ(chart.lastVisibleIndex(Series::X), 199);

    // A hidden series keeps what it had at its last drawing.
    chart.setSeriesShown(Series::Y, false);
    chart.zoomTo({0.0, 10.0}, {-60, 60});
    EXPECT_EQ(chart.firstVisibleIndex(Series::X), 0);
    EXPECT_EQ(chart.lastVisibleIndex(Series::X), 31);
    EXPECT_EQ(chart.firstVisibleIndex(Series::Y), 100);
    EXPECT_EQ(chart.lastVisibleIndex(Series::Y), 199);

    // A zoom between two points shows none of them.
    chart.zoomTo({0.32, 0.6}, {-60, 60});
    EXPECT_EQ(chart.firstVisibleIndex(Series::X), -1);
}

TEST_F(SignalChartTest, BottomAxisShowsDegreeLabelsWhilePulseIsShown)
{
    // Rising edges at 10, 20, 30, 40 in a trace of 50 points, x = k.
    display::PulseTrace t;
    t.allocate(50, {}, 1.0, -1.0);
    for (int k = 0; k < 50; ++k)
        t.setBit(k, k % 10 == 0 && k > 0);
    t.setDegreeLabels(true);
    chart.clearSeries(Series::X);
    chart.setLine(Series::X, ramp(49, UniformAxis{1, 1, 1}));
    chart.setPulse(std::move(t));
    chart.setTimeTitle(QStringLiteral("Время, мс"));
    chart.zoomTo({12, 17}, {-60, 60});
    ASSERT_TRUE(chart.showsPointLabels());
    const QVector<double> ticks = chart.xAxis->tickVector();
    const QVector<QString> labels = chart.xAxis->tickVectorLabels();
    ASSERT_FALSE(labels.isEmpty());
    ASSERT_EQ(ticks.size(), labels.size());
    for (int i = 0; i < ticks.size(); ++i) {
        const auto k = std::int64_t(ticks[i]);
        EXPECT_EQ(double(k), ticks[i]) << "ticks sit on points";
        EXPECT_EQ(labels[i], chart.pointLabel(Series::Pls, k).trimmed()) << k;
    }
    EXPECT_EQ(chart.pointLabel(Series::X, 15), QString());
    // Zoomed in between two turn labels, the top axis still gives the time, in round steps, with
    // its grid.
    ASSERT_TRUE(chart.xAxis2->visible());
    EXPECT_TRUE(chart.xAxis2->grid()->visible());
    EXPECT_EQ(chart.xAxis2->label(), QStringLiteral("Время, мс"));
    EXPECT_EQ(chart.xAxis2->range(), chart.xAxis->range());
    const QVector<QString> times = chart.xAxis2->tickVectorLabels();
    ASSERT_GE(times.size(), 3);
    const auto number = [](QString t) { return t.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(); };
    const double step = number(times[1]) - number(times[0]);
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 || std::fabs(mantissa - 5) < 1e-9);
    for (QString text : times)
        EXPECT_NEAR(std::remainder(text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(), step), 0.0, 1e-9) << text.toStdString();
    chart.unzoom();

    // Hidden pulse: numbers again.
    chart.setSeriesShown(Series::Pls, false);
    chart.replot();
    EXPECT_FALSE(chart.showsPointLabels());
    EXPECT_FALSE(chart.xAxis2->visible());
    const QVector<QString> numbers = chart.xAxis->tickVectorLabels();
    const QVector<double> numberTicks = chart.xAxis->tickVector();
    ASSERT_FALSE(numbers.isEmpty());
    EXPECT_EQ(numbers.first(), QLocale::system().toString(numberTicks.first(), 'g', 8));
}

TEST_F(SignalChartTest, ReadInterface)
{
    chart.setLine(Series::X, ramp(10, UniformAxis{1, 625, 1000}));
    EXPECT_EQ(chart.pointCount(Series::X), 10);
    EXPECT_EQ(chart.yValues(Series::X)[3], -47.0);
    EXPECT_DOUBLE_EQ(chart.xValue(Series::X, 3), 2.5);
    chart.addMark(1.0, 2.0);
    chart.addMark(3.0, 4.0);
    EXPECT_EQ(chart.pointCount(Series::Mark), 2);
    EXPECT_EQ(chart.yValues(Series::Mark)[1], 4.0);
    EXPECT_EQ(chart.xValue(Series::Mark, 1), 3.0);
    chart.clearAllSeries();
    for (int i = 0; i < display::seriesCount; ++i)
        EXPECT_EQ(chart.pointCount(Series(i)), 0);
    chart.setBackgroundColour(QColor(10, 20, 30));
    EXPECT_EQ(chart.backgroundColour(), QColor(10, 20, 30));
}

TEST_F(SignalChartTest, LegendNamesInSeriesColoursAndAGridThatCanBeSeen)
{
    // Every name in its series' colour, Mark's red included.
    for (int i = 0; i < display::seriesCount; ++i)
        EXPECT_EQ(chart.legend->item(i)->textColor(), chart.seriesColour(Series(i))) << i;
    chart.setSeriesColour(Series::Y, QColor(10, 120, 200));
    EXPECT_EQ(chart.legend->item(int(Series::Y))->textColor(), QColor(10, 120, 200));

    // The vertical grid lines, on an empty plot: plainly darker than the white wall, far lighter
    // than a black trace.
    chart.clearAllSeries();
    chart.replot();
    const QImage image = chart.toPixmap().toImage();
    const QRect plot = chart.axisRect()->rect();
    int lines = 0;
    for (double tick : chart.xAxis->tickVector()) {
        const int px = int(std::lround(chart.xAxis->coordToPixel(tick)));
        if (tick == 0 || px <= plot.left() + 1 || px >= plot.right() - 1)
            continue;
        double darkness = 0;
        for (int py = plot.top() + 2; py < plot.bottom() - 2; ++py)
            darkness += 255 - qGray(image.pixel(px, py));
        darkness /= plot.height() - 4;
        EXPECT_GE(darkness, 30) << "grid at " << tick;
        EXPECT_LE(darkness, 110) << "grid at " << tick;
        ++lines;
    }
    EXPECT_GE(lines, 2);
}

TEST_F(SignalChartTest, PulseStripKeepsThePulseUnderTheSignals)
{
    // A pulse that toggles every 10 points: full-height bars unless it has its own strip.
    display::PulseTrace pulse;
    pulse.allocate(1001, {}, 49, -50);
    for (std::int64_t k = 0; k < 1001; ++k)
        pulse.setBit(k, (k / 10) % 2 == 1);
    chart.setPulse(std::move(pulse));
    chart.setSeriesColour(Series::X, Qt::blue);
    chart.setSeriesColour(Series::Pls, Qt::red);
    // Rows of the plot that hold a pulse pixel, as a share of the plot's height from the top.
    const auto pulseRows = [this] {
        chart.replot();
        const QImage img = chart.toPixmap(chart.width(), chart.height()).toImage();
        const QRect plot = chart.axisRect()->rect();
        ValueRange rows;
        for (int y = plot.top(); y <= plot.bottom(); ++y)
            for (int x = plot.left(); x <= plot.right(); ++x)
                if (img.pixelColor(x, y) == QColor(Qt::red))
                    rows.include(double(y - plot.top()) / plot.height());
        return rows;
    };
    const ValueRange bars = pulseRows();
    EXPECT_LT(bars.lo, 0.05);
    EXPECT_GT(bars.hi, 0.95);
    const ValueRange signalBefore = chart.leftRange();

    chart.setPulseStrip(true);
    const ValueRange strip = pulseRows();
    EXPECT_GT(strip.lo, 0.85) << "only the bottom tenth of the plot";
    EXPECT_GT(strip.hi, 0.95);
    EXPECT_EQ(chart.leftRange().hi, signalBefore.hi) << "the signals keep the top of the plot";
    EXPECT_LT(chart.leftRange().lo, signalBefore.lo) << "and leave the strip free below them";

    chart.setPulseStrip(false);
    EXPECT_EQ(pulseRows(), bars) << "switched off, the pulse is drawn as before";
}
