// The signal chart at the largest record the set-up allows: building it, and repainting it whole
// and zoomed, beside the same data in QCustomPlot's own QCPGraph and beside a loop that only
// writes as many doubles as the build stores.

#include <benchmark/benchmark.h>

#include <QApplication>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <malloc.h>
#include <memory>
#include <new>
#include <vector>

#include <qcustomplot.h>

#include "acquisition/measurementrecord.h"
#include "display/chartbuild.h"
#include "display/livetrace.h"
#include "display/ui/signalchart.h"

#include "bigrecord.h"
#include "heapcount.h"
#include "benchmain.h"

// ---- the record --------------------------------------------------------------------------------

namespace {

using bench::kFrames;
using bench::makeRecord;
constexpr int kWidth = 1600;
constexpr int kHeight = 600;

display::ChartOptions options()
{
    display::ChartOptions o;
    o.view = display::ViewValuesTime;
    o.timeUnit = 1;
    o.degrees = true;
    return o;
}

// What ShowChart does to the chart: the main pass, the series handed over, the pulse levels from
// the new series, the pulse pass.
void buildInto(display::SignalChart& chart, const acq::MeasurementRecord& record)
{
    using display::Series;
    chart.clearAllSeries();
    const auto in = display::ChartInput::fromRecord(record);
    const auto opt = options();
    display::SignalSeries s = display::buildSignalSeries(in, opt);
    chart.setLine(Series::X, std::move(s.channels[0]));
    chart.setLine(Series::Y, std::move(s.channels[1]));
    chart.setLine(Series::Z, std::move(s.channels[2]));
    chart.setLine(Series::IaI, std::move(s.modulus));
    const auto levels = display::pulseLevels({0, 0}, chart.autoLeftRange());
    if (levels)
        chart.setPulse(display::buildPulseTrace(in, opt, *levels));
}

struct Shared {
    long long before = 0;
    acq::MeasurementRecord record;
    std::unique_ptr<display::SignalChart> chart;
    std::unique_ptr<QCustomPlot> peer;

    static Shared& get()
    {
        static Shared s;
        return s;
    }

    void ensureRecord()
    {
        if (record.sampleStream.size() == 0) {
            before = heapNow.load();
            record = makeRecord(kFrames);
        }
    }
    display::SignalChart& ourChart()
    {
        ensureRecord();
        if (!chart) {
            chart = std::make_unique<display::SignalChart>();
            chart->resize(kWidth, kHeight);
            for (int i = 0; i < 3; ++i)
                chart->setSeriesColour(display::Series(i), QColor::fromHsv(i * 100, 255, 180));
            buildInto(*chart, record);
            chart->replot();
        }
        return *chart;
    }
    // The same five series in QCPGraphs: keys and values of every point.
    QCustomPlot& peerChart()
    {
        display::SignalChart& ours = ourChart();
        if (!peer) {
            peer = std::make_unique<QCustomPlot>();
            peer->resize(kWidth, kHeight);
            peer->legend->setVisible(true);
            for (display::Series s : {display::Series::X, display::Series::Y, display::Series::Z,
                                      display::Series::IaI, display::Series::Pls}) {
                auto* g = peer->addGraph();
                g->setPen(QPen(ours.seriesColour(s)));
                auto data = QSharedPointer<QCPGraphDataContainer>::create();
                const qint64 n = ours.pointCount(s);
                QVector<QCPGraphData> points;
                points.reserve(n);
                for (qint64 i = 0; i < n; ++i)
                    points.append(QCPGraphData(ours.xValue(s, i), ours.yValue(s, i)));
                data->set(points, true);
                points = {};
                g->setData(data);
            }
            peer->rescaleAxes();
            peer->replot();
        }
        return *peer;
    }
};

void Build(benchmark::State& state)
{
    Shared& sh = Shared::get();
    display::SignalChart& chart = sh.ourChart();
    long long storedDoubles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        chart.clearAllSeries();
        resetHeapPeak();
        state.ResumeTiming();
        buildInto(chart, sh.record);
        storedDoubles = 0;
        for (int i = 0; i < 4; ++i)
            storedDoubles += chart.pointCount(display::Series(i));
    }
    state.counters["bytes_per_frame"] = double(heapPeak.load() - sh.before) / double(kFrames);
    state.counters["chart_bytes_per_frame"] = double(chart.dataBytes()) / double(kFrames);
    state.counters["stored_doubles"] = double(storedDoubles);
}

// As many doubles as the build stores (X, Y, Z and IaI for every frame but the first), written
// into fresh arrays and nothing else.
void WriteDoubles(benchmark::State& state)
{
    const std::int64_t n = state.range(0) - 1;
    for (auto _ : state) {
        std::unique_ptr<double[]> a[4];
        for (auto& p : a)
            p = std::make_unique_for_overwrite<double[]>(std::size_t(n));
        for (std::int64_t i = 0; i < n; ++i) {
            const double v = double(i);
            a[0][i] = v;
            a[1][i] = -v;
            a[2][i] = v * 0.5;
            a[3][i] = v * 2;
        }
        benchmark::DoNotOptimize(a[0].get());
        benchmark::DoNotOptimize(a[3].get());
        benchmark::ClobberMemory();
    }
}

void RepaintFullOurs(benchmark::State& state)
{
    display::SignalChart& chart = Shared::get().ourChart();
    chart.unzoom();
    for (auto _ : state)
        chart.replot(QCustomPlot::rpImmediateRefresh);
}

void RepaintFullQcpGraph(benchmark::State& state)
{
    QCustomPlot& peer = Shared::get().peerChart();
    for (auto _ : state)
        peer.replot(QCustomPlot::rpImmediateRefresh);
}

void RepaintZoomedOurs(benchmark::State& state)
{
    display::SignalChart& chart = Shared::get().ourChart();
    chart.unzoom();
    const display::ValueRange x = chart.bottomRange();
    const display::ValueRange y = chart.leftRange();
    const double width = (x.hi - x.lo) / 100;
    const double start = x.lo + (x.hi - x.lo) * 0.4;
    chart.zoomTo({start, start + width}, y);
    for (auto _ : state)
        chart.replot(QCustomPlot::rpImmediateRefresh);
    state.counters["visible_points"] =
        double(chart.lastVisibleIndex(display::Series::X) - chart.firstVisibleIndex(display::Series::X) + 1);
    chart.unzoom();
}

// Ten minutes of a 3-channel run at 3200 Hz received so far, out of twenty.
constexpr std::int64_t kLiveFrames = 10 * 60 * 3200;

struct LiveShared {
    acq::MeasurementRecord record = makeRecord(kLiveFrames);
    display::SignalChart chart;
    LiveShared() { chart.resize(kWidth, kHeight); }
    static LiveShared& get()
    {
        static LiveShared s;
        return s;
    }
};

// One update of the live trace as a poll makes it: the latest stretch decoded, handed to the
// chart and painted.
void LiveUpdate(benchmark::State& state)
{
    using display::Series;
    LiveShared& sh = LiveShared::get();
    display::SignalChart& chart = sh.chart;
    const auto in = display::ChartInput::fromRecord(sh.record);
    for (auto _ : state) {
        auto p = display::buildLivePicture(in, 2 * sh.record.sampleStream.size(), options());
        chart.clearAllSeries();
        chart.setLine(Series::X, std::move(p->signal.channels[0]));
        chart.setLine(Series::Y, std::move(p->signal.channels[1]));
        chart.setLine(Series::Z, std::move(p->signal.channels[2]));
        chart.setLine(Series::IaI, std::move(p->signal.modulus));
        chart.setPulse(std::move(p->pulse));
        chart.showLive(p->bottom);
        chart.replot(QCustomPlot::rpImmediateRefresh);
    }
}

// The peer: the full chart built from the same ten minutes, as at the end of a run.
void BuildTenMinutes(benchmark::State& state)
{
    LiveShared& sh = LiveShared::get();
    sh.chart.endLive();
    for (auto _ : state) {
        buildInto(sh.chart, sh.record);
        sh.chart.replot(QCustomPlot::rpImmediateRefresh);
    }
}

} // namespace

// Both with the same repetitions, so the pair is read side by side.
BENCHMARK(LiveUpdate)
    ->Name("LiveUpdate/10min")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(BuildTenMinutes)
    ->Name("BuildAndPaint/10min")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(Build)->Name("Build/26843546")->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(WriteDoubles)->Arg(kFrames)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(RepaintFullOurs)
    ->Name("RepaintFull/ours")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(RepaintFullQcpGraph)
    ->Name("RepaintFull/qcpgraph")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();
BENCHMARK(RepaintZoomedOurs)
    ->Name("RepaintZoomed/ours")
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true)
    ->UseRealTime();

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv);
}
