#include <QTest>
#include <gtest/gtest.h>

#include "acquisition/acqwindow.h"
#include "display/livetrace.h"

using display::Series;

namespace {

struct Snapshot {
    std::vector<std::vector<double>> x, y;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
};

Snapshot snapshot(const display::SignalChart& chart)
{
    Snapshot s;
    for (Series k : {Series::X, Series::Y, Series::Z, Series::IaI, Series::Pls}) {
        std::vector<double> xs, ys;
        for (qint64 i = 0; i < chart.pointCount(k); ++i) {
            xs.push_back(chart.xValue(k, i));
            ys.push_back(chart.yValue(k, i));
        }
        s.x.push_back(std::move(xs));
        s.y.push_back(std::move(ys));
    }
    return s;
}

class LiveTraceTest : public AcqWindowTest {};

} // namespace

TEST(LiveStretch, ShortRunsGrowLongRunsScroll)
{
    // 3 channels at 3200 Hz: 10 s are 32000 frames.
    struct Case {
        std::uint64_t received, expected;
        std::int64_t first, last, axisFirst, axisLast;
    };
    const Case cases[] = {
        {6 * 100, 6 * 16384, 1, 99, 0, 16383},              // a short run: its whole length
        {6 * 20000, 6 * 100000, 1, 19999, 0, 32000},        // a long one, first seconds
        {6 * 50000 + 4, 6 * 100000, 17999, 49999, 17999, 49999}, // later: the latest 10 s
        {6 * 120000, 6 * 100000, 87999, 119999, 87999, 119999},  // more than announced
    };
    for (const Case& c : cases) {
        const auto s = display::liveStretch(c.received, c.expected, 3, 312.5);
        ASSERT_TRUE(s) << c.received;
        EXPECT_EQ(s->firstFrame, c.first) << c.received;
        EXPECT_EQ(s->lastFrame, c.last) << c.received;
        EXPECT_EQ(s->axisFirst, c.axisFirst) << c.received;
        EXPECT_EQ(s->axisLast, c.axisLast) << c.received;
    }
    EXPECT_FALSE(display::liveStretch(6 * 1 + 5, 6000, 3, 312.5)) << "one frame: nothing to plot";
    EXPECT_FALSE(display::liveStretch(600, 6000, 0, 312.5));
}

TEST(LivePicture, PointsEqualThoseOfTheFullBuild)
{
    // A long record, smoothing off: every point of the stretch is the full build's point.
    std::vector<std::uint8_t> bytes;
    for (int k = 0; k < 50000; ++k)
        for (int c = 0; c < 2; ++c) {
            const std::uint16_t w = std::uint16_t(((k * (c + 3)) % 1024) | (k % 7 == 0 ? 0x8000 : 0));
            bytes.push_back(std::uint8_t(w & 0xFF));
            bytes.push_back(std::uint8_t(w >> 8));
        }
    display::ChartInput in;
    in.bytes = bytes.data();
    in.size = bytes.size();
    in.samplePeriodUs = 312.5;
    display::ChartOptions o;
    o.timeUnit = 1;
    o.channels = {true, false, true};
    const auto live = display::buildLivePicture(in, bytes.size(), o);
    const auto full = display::buildChart(in, o);
    ASSERT_TRUE(live);
    const auto& lz = live->signal.channels[2];
    const auto& fz = full.signal.channels[2];
    ASSERT_EQ(lz.size(), 32001);
    const std::int64_t offset = fz.size() - lz.size();
    for (std::int64_t i = 0; i < lz.size(); i += 997) {
        EXPECT_EQ(lz.x(i), fz.x(offset + i));
        EXPECT_EQ(lz.y(i), fz.y(offset + i));
        EXPECT_EQ(live->signal.modulus.y(i), full.signal.modulus.y(offset + i));
    }
    EXPECT_EQ(live->pulse.bit(5), full.pulse.bit(fz.size() + 1 - lz.size() - 1 + 5));
    EXPECT_EQ(live->bottom.hi, fz.x(fz.size() - 1));
}

TEST_F(LiveTraceTest, ChartGrowsBetweenPollsAndTheFinalChartIsTheUsualOne)
{
    // Three channels at 3200 Hz, 16384 samples: 98304 bytes in polls 740 ms apart.
    auto f = make();
    f->resize(900, 600);
    showActive(*f);
    f->setupPanel->seSamples->setValue(16384);
    // A zoom the operator made earlier is put aside during the run; the measurement then opens
    // whole, as every new record does.
    f->chartPart->Chart1->zoomTo({0, 1000}, {-50, 50});

    f->btStartClick();
    ASSERT_EQ(f->measurementRun->timRx->interval(), 740);
    double lastX = -1;
    int livePolls = 0;
    while (f->measurementRun->timRx->isActive()) {
        ticks.advance(std::uint32_t(f->measurementRun->timRx->interval()));
        f->measurementRun->timRxTimer();
        if (!f->measurementRun->timRx->isActive())
            break;
        ++livePolls;
        f->chartPart->Chart1->replot();
        ASSERT_TRUE(f->chartPart->Chart1->isLive());
        const qint64 n = f->chartPart->Chart1->pointCount(Series::X);
        ASSERT_GT(n, 0);
        const double x = f->chartPart->Chart1->xValue(Series::X, n - 1);
        EXPECT_GT(x, lastX) << "the trace grows with every poll";
        EXPECT_EQ(n, qint64(f->record.receivedBytes / 6) - 1);
        lastX = x;
        // The whole (short) run is on the axis, and the link check stays off.
        EXPECT_DOUBLE_EQ(f->chartPart->Chart1->bottomRange().hi,
                         16383 * 312.5 / display::timeUnitDivisor(f->chartPart->cbTimeunits->currentIndex()));
        EXPECT_FALSE(f->linkIndicator->timCheckUSB->isActive());
    }
    EXPECT_GE(livePolls, 2);
    EXPECT_FALSE(f->chartPart->Chart1->isLive());
    f->chartPart->Chart1->replot();
    EXPECT_FALSE(f->chartPart->Chart1->isZoomed());
    EXPECT_DOUBLE_EQ(f->chartPart->Chart1->bottomRange().hi,
                     16383 * 312.5 / display::timeUnitDivisor(f->chartPart->cbTimeunits->currentIndex()));

    // The same stream built in a window that never saw the run.
    auto g = make();
    g->resize(900, 600);
    g->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(g.get()));
    g->chartPart->Chart1->zoomTo({0, 1000}, {-50, 50});
    g->chartPart->Chart1->replot();
    g->record = f->record;
    g->chartPart->ShowChart(nullptr);
    EXPECT_TRUE(snapshot(*f->chartPart->Chart1) == snapshot(*g->chartPart->Chart1));
    EXPECT_EQ(f->chartPart->Chart1->pointCount(Series::X), 16383);
}
