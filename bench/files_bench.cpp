// Measurement files at scale.
//
// The comment browser over a large folder: 10,000 measurement files whose data blocks are 1 MB
// each (sparse, so the folder is cheap to make). The list reads only each file's header, titles
// and comment and seeks past the data; beside it, a loop that only opens each file and reads its
// first 4 KiB, which is about the least any listing of the comments could do.
//
// The largest record the set-up allows (26,843,546 frames of three channels, a 161 MB file):
// - ExportText: its text export as axdtool writes it, the chart values computed block by block;
//   beside it ToCharsLoop, the same values each put through a bare std::to_chars into a buffer
//   that is written out the same way. Both write to /dev/null, so the disk is not measured.
// - OpenToChart: the main window opening the file (in the page cache) until its chart is built;
//   beside it the split: ReadFile, the bare read of the file's bytes, and OpenToChart/read and
//   OpenToChart/chart, the window's reading and its chart build on their own.
//
// The run journal during a 3200 Hz three-channel run (19,200 bytes a second), in real time, the
// received bytes taken in every 20 ms as the receive path does (into the record, and copied to the
// journal): JournalRun/journal beside JournalRun/none, the same run with the record alone; and
// JournalRun/journal_1s, taken in once a second as the line watch takes a streamed run in between
// polls.
// Counters: writer_cpu_ms_per_s, the CPU the rest of the process (the writer thread) used per
// second of run; written_per_received, the bytes the process wrote per byte received; and
// longest_stall_us, the longest time one take-in held the receive path; longest_sync_gap_ms, the
// longest time between two syncs (fdatasync) of the journal.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <charconv>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <map>
#include <memory>
#include <vector>

#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "display/chartbuild.h"
#include "files/axdfile.h"
#include "files/folderbrowse.h"
#include "files/runjournal.h"
#include "files/textexport.h"
#include "files/ui/measurementfilesui.h"
#include "platform/ticks.h"

#include "benchmain.h"
#include "benchwindow.h"
#include "bigrecord.h"
#include "heapcount.h"
#include "files/ui/folderbrowserui.h"

namespace {

struct Folder {
    QTemporaryDir dir;
    QStringList names;
};

// Made once per file count and kept for every benchmark of the run.
const Folder& folderOf(int files)
{
    static std::map<int, std::unique_ptr<Folder>> made;
    auto& slot = made[files];
    if (slot)
        return *slot;
    slot = std::make_unique<Folder>();
    constexpr std::uint32_t kDataBytes = 1u << 20;
    for (int i = 0; i < files; ++i) {
        files::AxdWriteSource src;
        src.header.channelMask = 7;
        src.header.samplePeriodUs = 312.5;
        src.axisK = {0.0039, 0.0039, 0.0039};
        src.xAxisTitle = QStringLiteral("Время, мкс");
        src.yAxisTitle = QStringLiteral("Ускорение, см/с/с");
        QBuffer head;
        head.open(QIODevice::WriteOnly);
        files::writeAxd(head, src); // no data, no comment: the header and titles
        QByteArray bytes = head.data();
        bytes[5] = char(kDataBytes & 0xFF);
        bytes[6] = char((kDataBytes >> 8) & 0xFF);
        bytes[7] = char((kDataBytes >> 16) & 0xFF);
        bytes[8] = char((kDataBytes >> 24) & 0xFF);
        const QString name = QStringLiteral("замер %1.axd").arg(i, 5, 10, QLatin1Char('0'));
        QFile f(slot->dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        f.write(bytes);
        // The data block is a hole: the file system stores nothing for it.
        f.seek(bytes.size() + kDataBytes);
        f.write(files::commentToBytes(QStringLiteral("Опора %1, вибростенд\nЗаписаны оси XYZ").arg(i)));
        slot->names << name;
    }
    return *slot;
}

void CommentBrowser(benchmark::State& state)
{
    const Folder& folder = folderOf(int(state.range(0)));
    const QString path = folder.dir.path() + QLatin1Char('/');
    qint64 lines = 0;
    for (auto _ : state) {
        const QStringList names = files::listFolder(path, QStringLiteral("*.axd"));
        const files::CommentListing list = files::buildCommentList(path, names);
        lines = list.lines.size();
        benchmark::DoNotOptimize(lines);
    }
    state.counters["lines"] = double(lines);
}

void OpenRead(benchmark::State& state)
{
    const Folder& folder = folderOf(int(state.range(0)));
    const QString path = folder.dir.path() + QLatin1Char('/');
    char buffer[4096];
    for (auto _ : state) {
        qint64 total = 0;
        for (const QString& name : folder.names) {
            QFile f(path + name);
            if (f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
                total += f.read(buffer, sizeof buffer);
        }
        benchmark::DoNotOptimize(total);
    }
}

// ---- the largest record ------------------------------------------------------------------------

struct BigFile {
    QTemporaryDir dir;
    QString path;
    files::AxdContents contents; // as read back, for the exports
};

BigFile& bigFile()
{
    static std::unique_ptr<BigFile> made;
    if (made)
        return *made;
    made = std::make_unique<BigFile>();
    made->path = made->dir.filePath(QStringLiteral("big.axd"));
    {
        const std::vector<char> frames = bench::vibrationFrames(bench::kFrames);
        files::AxdWriteSource src;
        src.header.channelMask = 7;
        src.header.samplePeriodUs = 312.5;
        src.axisK = {0.0039 * 981, 0.0039 * 981, 0.0039 * 981};
        src.axisC = {3, -2, 1};
        src.xAxisTitle = QStringLiteral("Время, мкс");
        src.yAxisTitle = QStringLiteral("Ускорение, см/с/с");
        src.data = {reinterpret_cast<const std::uint8_t*>(frames.data()), frames.size()};
        src.comment = QStringLiteral("Опора 1, вибростенд\nЗаписаны оси XYZ");
        QFile f(made->path);
        if (!f.open(QIODevice::WriteOnly) || !files::writeAxd(f, src))
            std::abort();
    }
    files::AxdReadResult r = files::readAxdFile(made->path);
    if (!r.ok())
        std::abort();
    made->contents = std::move(r.contents);
    return *made;
}

// What axdtool exports by default: microseconds, every channel, |a|, the X column.
display::ChartOptions exportOptions(const files::AxdContents& c)
{
    display::ChartOptions o;
    o.channels = acq::ChannelSet::fromMask(c.header.channelMask);
    o.valueTitle = c.yAxisTitle;
    return o;
}

// /dev/null, counting what is written to it: a QFile there is a sequential device, whose pos()
// stays 0.
class NullSink : public QIODevice {
  public:
    NullSink()
    {
        null_.setFileName(QStringLiteral("/dev/null"));
        if (!null_.open(QIODevice::WriteOnly))
            std::abort();
        open(QIODevice::WriteOnly);
    }
    bool isSequential() const override { return true; }
    long long written() const { return written_; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        const qint64 n = null_.write(data, size);
        if (n > 0)
            written_ += n;
        return n;
    }

  private:
    QFile null_;
    long long written_ = 0;
};

void ExportText(benchmark::State& state)
{
    const BigFile& big = bigFile();
    const display::ChartInput in = files::chartInputOf(big.contents);
    const display::ChartOptions o = exportOptions(big.contents);
    long long bytes = 0;
    long long peak = 0;
    for (auto _ : state) {
        NullSink sink;
        resetHeapPeak();
        const long long before = heapNow.load();
        files::ExportSource s;
        s.sourceLine = QStringLiteral("Данные из файла big.axd");
        s.axisK = big.contents.axisK;
        s.axisC = big.contents.axisC;
        s.leftTitle = o.valueTitle;
        s.bottomTitle = QStringLiteral("Время, мкс");
        s.comment = big.contents.comment;
        files::streamWholeChart(s, in, o, true);
        if (!files::writeExport(sink, s, files::textFormat(QLatin1Char('.'))))
            state.SkipWithError("export failed");
        bytes = sink.written();
        peak = std::max(peak, heapPeak.load() - before);
    }
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["peak_extra_mib"] = double(peak) / (1 << 20);
    state.counters["output_mb"] = double(bytes) / 1e6;
}

// The same numbers in the same order, each by std::to_chars's shortest form, a TAB after each
// and a CR after each row, into a 1 MiB buffer written out whenever it fills.
void ToCharsLoop(benchmark::State& state)
{
    const BigFile& big = bigFile();
    const display::ChartInput in = files::chartInputOf(big.contents);
    const display::ChartOptions o = exportOptions(big.contents);
    const display::UniformAxis axis = display::signalAxis(in, o);
    long long bytes = 0;
    long long peak = 0;
    for (auto _ : state) {
        NullSink sink;
        resetHeapPeak();
        const long long before = heapNow.load();
        display::SignalPass pass(in, o);
        constexpr std::int64_t kBlock = files::kExportBlockRows;
        std::vector<double> values(4 * kBlock);
        std::vector<char> buffer((1 << 20) + 4096);
        char* p = buffer.data();
        const std::int64_t rows = pass.points();
        for (std::int64_t first = 0; first < rows; first += kBlock) {
            const std::int64_t count = std::min(kBlock, rows - first);
            double* v = values.data();
            pass.next(count, {v, v + kBlock, v + 2 * kBlock}, v + 3 * kBlock);
            for (std::int64_t r = 0; r < count; ++r) {
                p = std::to_chars(p, p + 32, axis.x(first + r)).ptr;
                *p++ = '\t';
                for (int k = 0; k < 4; ++k) {
                    p = std::to_chars(p, p + 32, v[k * kBlock + r]).ptr;
                    *p++ = '\t';
                }
                *p++ = '\r';
                if (p - buffer.data() >= (1 << 20)) {
                    sink.write(buffer.data(), p - buffer.data());
                    p = buffer.data();
                }
            }
        }
        sink.write(buffer.data(), p - buffer.data());
        bytes = sink.written();
        peak = std::max(peak, heapPeak.load() - before);
    }
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["peak_extra_mib"] = double(peak) / (1 << 20);
    state.counters["output_mb"] = double(bytes) / 1e6;
}

app::TForm1& window()
{
    return bench::window();
}

// Drops the window's record and chart, so every open starts from nothing held.
void emptyWindow(app::TForm1& f)
{
    f.record.sampleStream = {};
    f.chartPart->Chart1->clearAllSeries();
}

void OpenToChart(benchmark::State& state)
{
    const BigFile& big = bigFile();
    app::TForm1& f = window();
    long long peak = 0;
    long long held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        emptyWindow(f);
        resetHeapPeak();
        const long long before = heapNow.load();
        state.ResumeTiming();
        f.measurementFiles->currentFileName = big.path;
        f.measurementFiles->loadWithoutDialog(f.measurementFiles->currentFileName);
        state.PauseTiming();
        peak = std::max(peak, heapPeak.load() - before);
        held = heapNow.load() - before;
        state.ResumeTiming();
    }
    if (f.chartPart->Chart1->pointCount(display::Series::X) != bench::kFrames - 1)
        state.SkipWithError("the chart was not built");
    state.counters["peak_bytes_per_frame"] = double(peak) / double(bench::kFrames);
    state.counters["held_bytes_per_frame"] = double(held) / double(bench::kFrames);
}

// The window's reading alone.
void OpenToChartRead(benchmark::State& state)
{
    const BigFile& big = bigFile();
    for (auto _ : state) {
        files::AxdReadResult r = files::readAxdFile(big.path);
        benchmark::DoNotOptimize(r.contents.data.data());
    }
}

// The window's chart build alone, on the record just read.
void OpenToChartChart(benchmark::State& state)
{
    app::TForm1& f = window();
    f.measurementFiles->currentFileName = bigFile().path;
    f.measurementFiles->loadWithoutDialog(f.measurementFiles->currentFileName);
    for (auto _ : state)
        f.chartPart->ShowChart(nullptr);
}

// The least any open could do: the file's bytes into memory, in one read.
void ReadFile(benchmark::State& state)
{
    const BigFile& big = bigFile();
    for (auto _ : state) {
        QFile f(big.path);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            state.SkipWithError("cannot open");
        std::unique_ptr<char[]> bytes = std::make_unique_for_overwrite<char[]>(std::size_t(f.size()));
        qint64 done = 0;
        while (done < f.size()) {
            const qint64 n = f.read(bytes.get() + done, f.size() - done);
            if (n <= 0)
                break;
            done += n;
        }
        benchmark::DoNotOptimize(bytes.get());
    }
}

// CPU time of the clock given (the process, or the calling thread), in milliseconds.
double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Bytes this process has passed to write() and its kin so far.
std::uint64_t bytesWritten()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "wchar:")
            return value;
    return 0;
}

void JournalRun(benchmark::State& state)
{
    const bool journalled = state.range(0) != 0;
    const int seconds = int(state.range(1));
    const int kTakeInMs = int(state.range(2));
    constexpr std::size_t kBytesPerSecond = 3200 * 3 * 2;
    const std::size_t chunk = kBytesPerSecond * kTakeInMs / 1000;
    std::vector<char> bytes(chunk);
    for (std::size_t i = 0; i < chunk; ++i)
        bytes[i] = char(i * 31 + 7);
    QTemporaryDir dir;
    double writerMs = 0;
    double stallUs = 0;
    std::uint64_t written = 0;
    std::uint64_t received = 0;
    double syncGapMs = 0;
    for (auto _ : state) {
        acq::MeasurementRecord record;
        record.clearForTransfer(std::uint32_t(kBytesPerSecond) * std::uint32_t(seconds));
        files::RunJournal journal;
        const std::uint64_t writtenBefore = bytesWritten();
        const double processBefore = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
        const double threadBefore = cpuMs(CLOCK_THREAD_CPUTIME_ID);
        if (journalled) {
            files::JournalStart start;
            start.header.channelMask = 7;
            start.header.samplePeriodUs = 312.5;
            start.startTime = QDateTime::currentDateTime();
            start.expectedBytes = kBytesPerSecond * std::size_t(seconds);
            QString why;
            if (!journal.begin(dir.path(), start, why)) {
                state.SkipWithError(why.toStdString().c_str());
                return;
            }
        }
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < seconds * 1000 / kTakeInMs; ++i) {
            next += std::chrono::milliseconds(kTakeInMs);
            std::this_thread::sleep_until(next);
            const auto t0 = std::chrono::steady_clock::now();
            record.appendReceived(bytes.data(), chunk);
            if (journalled)
                journal.append(bytes.data(), chunk);
            const auto t1 = std::chrono::steady_clock::now();
            stallUs = std::max(stallUs, std::chrono::duration<double, std::micro>(t1 - t0).count());
        }
        if (journalled) {
            journal.finish();
            syncGapMs = std::max(syncGapMs, double(journal.longestSyncGap().count()) / 1e3);
        }
        writerMs += (cpuMs(CLOCK_PROCESS_CPUTIME_ID) - processBefore) - (cpuMs(CLOCK_THREAD_CPUTIME_ID) - threadBefore);
        written += bytesWritten() - writtenBefore;
        received += record.receivedBytes;
        if (journalled)
            files::removeJournal(journal.path());
    }
    const double runSeconds = double(seconds) * double(state.iterations());
    state.counters["writer_cpu_ms_per_s"] = writerMs / runSeconds;
    state.counters["written_per_received"] = double(written) / double(std::max<std::uint64_t>(1, received));
    state.counters["longest_stall_us"] = stallUs;
    if (journalled)
        state.counters["longest_sync_gap_ms"] = syncGapMs;
}

} // namespace

BENCHMARK(ExportText)->Name("ExportText/26843546")->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();
BENCHMARK(ToCharsLoop)->Name("ToCharsLoop/26843546")->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();
BENCHMARK(OpenToChart)->Name("OpenToChart/26843546")->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();
BENCHMARK(OpenToChartRead)->Name("OpenToChart/read")->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();
BENCHMARK(OpenToChartChart)->Name("OpenToChart/chart")->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();
BENCHMARK(ReadFile)->Name("ReadFile/26843546")->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();
BENCHMARK(CommentBrowser)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenRead)->Arg(10000)->Unit(benchmark::kMillisecond);
// journal on/off, seconds of run, ms between take-ins
BENCHMARK(JournalRun)->Name("JournalRun/none")->Args({0, 10, 20})->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(JournalRun)->Name("JournalRun/journal")->Args({1, 10, 20})->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(JournalRun)->Name("JournalRun/journal_1s")->Args({1, 10, 1000})->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv);
}
