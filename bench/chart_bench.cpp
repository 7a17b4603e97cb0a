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
#include "display/ui/signalchart.h"

// ---- heap accounting: current and peak bytes held through operator new ----------------------

namespace {
std::atomic<long long> heapNow{0};
std::atomic<long long> heapPeak{0};

void noteAlloc(void* p)
{
    if (!p)
        return;
    const long long n = (long long)malloc_usable_size(p);
    const long long now = heapNow.fetch_add(n) + n;
    long long peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
}

void noteFree(void* p)
{
    if (p)
        heapNow.fetch_sub((long long)malloc_usable_size(p));
}

void* allocate(std::size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    noteAlloc(p);
    return p;
}
} // namespace

void* operator new(std::size_t n)
{
    return allocate(n);
}
void* operator new[](std::size_t n)
{
    return allocate(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept
{
    void* p = std::malloc(n ? n : 1);
    noteAlloc(p);
    return p;
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    void* p = std::malloc(n ? n : 1);
    noteAlloc(p);
    return p;
}
void operator delete(void* p) noexcept
{
    noteFree(p);
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    noteFree(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    noteFree(p);
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    noteFree(p);
    std::free(p);
}

// ---- the record --------------------------------------------------------------------------------

namespace {

constexpr std::int64_t kFrames = 26843546;
constexpr int kWidth = 1600;
constexpr int kHeight = 600;

// Three channels of a vibration with some noise; the pulse input toggles every 100 frames.
acq::MeasurementRecord makeRecord(std::int64_t frames)
{
    acq::MeasurementRecord r;
    r.samplePeriodUs = 312.5;
    r.axisK = {0.0039 * 981, 0.0039 * 981, 0.0039 * 981};
    r.axisC = {3, -2, 1};
    std::vector<char> bytes(std::size_t(frames) * 6);
    std::uint32_t noise = 12345;
    for (std::int64_t k = 0; k < frames; ++k) {
        noise = noise * 1664525u + 1013904223u;
        const double t = double(k) * 312.5e-6;
        const int n = int((noise >> 24) & 15) - 8;
        const int x = int(300 * std::sin(2 * M_PI * 7.3 * t)) + n;
        const int y = int(200 * std::sin(2 * M_PI * 13.1 * t + 1)) - n;
        const int z = 256 + int(60 * std::sin(2 * M_PI * 0.7 * t)) + n / 2;
        const bool pulse = (k / 100) % 2 == 1;
        const std::uint16_t w[3] = {std::uint16_t(x & 0x3FF), std::uint16_t(y & 0x3FF),
                                    std::uint16_t((z & 0x3FF) | (pulse ? 0x8000 : 0))};
        for (int c = 0; c < 3; ++c) {
            bytes[std::size_t(k * 6 + c * 2)] = char(w[c] & 0xFF);
            bytes[std::size_t(k * 6 + c * 2 + 1)] = char(w[c] >> 8);
        }
    }
    r.clearForTransfer(std::uint32_t(bytes.size()));
    r.appendReceived(bytes.data(), bytes.size());
    return r;
}

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
        heapPeak.store(heapNow.load());
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

} // namespace

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
