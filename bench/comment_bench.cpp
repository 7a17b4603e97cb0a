// Measurement files with absurd comments: 1 MB and 100 MB, in one line and in lines of 80
// characters, each behind a small data block.
// - Window: the main window opening the file until its comment box has been laid out and painted.
//   Beside it RawBox, a bare QPlainTextEdit given the whole comment as it is, which is how the box
//   took a comment before it was bounded; only up to 100 kB, since a 1 MB line there takes minutes.
// - Browser: the comment browser over a folder of 20 files whose comments are 100 MB (a zero
//   comment of a sparse file, so the folder is cheap to make), until the list is painted.
// - Info: `axdtool info` on the file, writing to /dev/null (when the tool is beside the benchmark).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <map>
#include <memory>

#include "app/ui/mainwindow.h"
#include "files/axdfile.h"
#include "files/ui/folderbrowserui.h"
#include "files/ui/measurementfilesui.h"

#include "benchmain.h"
#include "benchwindow.h"

namespace {

QByteArray fileStart()
{
    files::AxdWriteSource src;
    src.header.channelMask = 7;
    src.header.samplePeriodUs = 312.5;
    src.axisK = {0.0039, 0.0039, 0.0039};
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("Ускорение, см/с/с");
    const std::vector<std::uint8_t> data(6 * 2000, 0x21);
    src.data = data;
    QBuffer head;
    head.open(QIODevice::WriteOnly);
    files::writeAxd(head, src);
    return head.data();
}

// The comment: `bytes` of 'A', in one line or broken into lines of 80.
QByteArray comment(qint64 bytes, bool oneLine)
{
    if (oneLine)
        return QByteArray(bytes, 'A');
    QByteArray line = QByteArray(78, 'A') + "\r\n";
    QByteArray c;
    c.reserve(bytes);
    while (c.size() + line.size() <= bytes)
        c += line;
    return c;
}

QTemporaryDir& folder()
{
    static QTemporaryDir dir;
    return dir;
}

// Made once per size and kind, kept for the run.
QString fileWith(qint64 bytes, bool oneLine)
{
    static std::map<std::pair<qint64, bool>, QString> made;
    QString& path = made[{bytes, oneLine}];
    if (!path.isEmpty())
        return path;
    path = folder().filePath(QStringLiteral("c%1-%2.axd").arg(bytes).arg(oneLine ? "line" : "lines"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(fileStart() + comment(bytes, oneLine)) < 0)
        std::abort();
    return path;
}

app::TForm1& window()
{
    app::TForm1& f = bench::window();
    if (!f.isVisible())
        f.show(); // the comment box is laid out and painted as on the screen
    return f;
}

void Window(benchmark::State& state)
{
    const QString path = fileWith(state.range(0), state.range(1) != 0);
    app::TForm1& f = window();
    for (auto _ : state) {
        f.measurementFiles->mComment->clear();
        f.measurementFiles->currentFileName = path;
        f.measurementFiles->loadWithoutDialog(f.measurementFiles->currentFileName);
        f.measurementFiles->mComment->viewport()->repaint();
        QCoreApplication::processEvents();
    }
    state.counters["shown_chars"] = double(f.measurementFiles->mComment->toPlainText().size());
}

void RawBox(benchmark::State& state)
{
    const QString text = QString::fromLatin1(comment(state.range(0), state.range(1) != 0));
    QPlainTextEdit box;
    box.resize(980, 35);
    box.show();
    for (auto _ : state) {
        box.clear();
        box.setPlainText(text);
        box.viewport()->repaint();
        QCoreApplication::processEvents();
    }
}

void Browser(benchmark::State& state)
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        const QByteArray start = fileStart();
        for (int i = 0; i < 20; ++i) {
            QFile f(dir.filePath(QStringLiteral("z%1.axd").arg(i, 2, 10, QLatin1Char('0'))));
            if (!f.open(QIODevice::WriteOnly) || f.write(start) < 0 || !f.resize(start.size() + (qint64(100) << 20)))
                std::abort();
        }
        made = true;
    }
    app::TForm1& f = window();
    for (auto _ : state) {
        f.measurementFiles->currentFileName = dir.filePath(QStringLiteral("z00.axd"));
        f.folderBrowser->btShowCmntClick();
        f.folderBrowser->MAllCmnt->viewport()->repaint();
        QCoreApplication::processEvents();
        f.folderBrowser->btCancelClick();
    }
    state.counters["list_chars"] = double(f.folderBrowser->MAllCmnt->toPlainText().size());
}

void Info(benchmark::State& state)
{
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/axdtool");
    if (!QFile::exists(tool)) {
        state.SkipWithError("axdtool is not beside the benchmark");
        return;
    }
    const QString path = fileWith(state.range(0), state.range(1) != 0);
    for (auto _ : state) {
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/null"));
        p.start(tool, {QStringLiteral("info"), path});
        if (!p.waitForFinished(-1) || p.exitCode() != 0)
            state.SkipWithError("axdtool info failed");
    }
}

} // namespace

// {comment bytes, one line?}
BENCHMARK(RawBox)->Args({10000, 1})->Args({100000, 1})->Args({1000000, 0})->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(Window)->Args({1000000, 1})->Args({1000000, 0})->Args({100000000, 1})->Args({100000000, 0})->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(Browser)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(Info)->Args({1000000, 1})->Args({1000000, 0})->Args({100000000, 1})->Args({100000000, 0})->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv);
}
