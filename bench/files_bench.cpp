// The comment browser over a large folder: 10,000 measurement files whose data blocks are 1 MB
// each (sparse, so the folder is cheap to make). The list reads only each file's header, titles
// and comment and seeks past the data; beside it, a loop that only opens each file and reads its
// first 4 KiB, which is about the least any listing of the comments could do.

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <vector>

#include "files/axdfile.h"
#include "files/folderbrowse.h"

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

} // namespace

BENCHMARK(CommentBrowser)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenRead)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
