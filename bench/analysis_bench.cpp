#include <QApplication>
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <random>
#include <vector>

#include <qcustomplot.h>

#include "analysis/fft.h"
#include "analysis/ui/spectrumwindow.h"
#include "analysis/ui/spinedit.h"
#include "platform/ticks.h"
#include "platform/ui/dialogs.h"

namespace {

std::vector<double> signal(std::size_t n)
{
    std::mt19937 gen(7);
    std::normal_distribution<double> noise(0.0, 5.0);
    std::vector<double> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = 100 + 40 * std::sin(0.01 * double(i)) + noise(gen);
    return v;
}

void BM_FFTAmplitude(benchmark::State& state)
{
    const int n = int(state.range(0));
    const int exponent = int(std::log2(n));
    const auto src = signal(std::size_t(n));
    std::vector<double> out(static_cast<std::size_t>(n));
    for (auto _ : state) {
        analysis::FFTAmplitude(quint16(exponent), src.data(), 1, n, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_FFTAmplitude)->Name("FFTAmplitude")->Arg(32768)->Unit(benchmark::kMicrosecond);

// The peer: a planned real-to-complex transform of the same size on the same
// data, with the same mean removal and magnitudes, so both do the same job.
void BM_FFTW(benchmark::State& state)
{
    const int n = int(state.range(0));
    const auto src = signal(std::size_t(n));
    double* in = fftw_alloc_real(std::size_t(n));
    fftw_complex* spec = fftw_alloc_complex(std::size_t(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, spec, FFTW_MEASURE);
    std::vector<double> out(static_cast<std::size_t>(n / 2 + 1));
    for (auto _ : state) {
        double sum = 0;
        for (int i = 0; i < n; ++i)
            sum += src[std::size_t(i)];
        const double mean = sum / n;
        for (int i = 0; i < n; ++i)
            in[i] = src[std::size_t(i)] - mean;
        fftw_execute(plan);
        for (int k = 0; k <= n / 2; ++k)
            out[std::size_t(k)] = std::sqrt(spec[k][0] * spec[k][0] + spec[k][1] * spec[k][1]) * 2 / n;
        benchmark::DoNotOptimize(out.data());
    }
    fftw_destroy_plan(plan);
    fftw_free(spec);
    fftw_free(in);
}
BENCHMARK(BM_FFTW)->Name("FFTW")->Arg(32768)->Unit(benchmark::kMicrosecond);

// Answers nothing and keeps only the last clipboard text, so the benchmark
// measures the spectrum, not a clipboard.
class QuietDialogs : public platform::Dialogs {
  public:
    void message(QWidget*, const QString&, platform::MessageKind) override {}
    void error(QWidget*, const QString&) override {}
    QString openFile(QWidget*, const platform::FileDialogSpec&) override { return {}; }
    QString saveFile(QWidget*, const platform::FileDialogSpec&) override { return {}; }
    std::optional<QColor> chooseColour(QWidget*, const QColor&) override { return std::nullopt; }
    void setClipboardText(const QString& text) override { clipboard = text; }
    void setClipboardPicture(const QByteArray&, const QImage&) override {}
    QString clipboardText() const override { return clipboard; }
    QString clipboard;
};

// From the click to the filled series and the report on the clipboard, without
// painting: 16384 visible points at 3200 Hz, every bin up to 1600 Hz shown and
// listed in the report.
void BM_Spectrum(benchmark::State& state)
{
    const int n = int(state.range(0));
    const auto src = signal(std::size_t(n));
    QuietDialogs dialogs;
    platform::ManualTicks ticks;
    analysis::TForm2 form(app::Services{&dialogs, nullptr, &ticks}, QString());
    form.setNyquistSource([] { return 1600; });
    form.seFmax->setValue(1600);
    form.cbSp2ClipBrd->setChecked(true);
    analysis::SignalSource source;
    source.values = src.data();
    source.pointCount = n;
    source.firstVisibleIndex = 0;
    source.lastVisibleIndex = n - 1;
    source.samplePeriodUs = 312.5;
    source.timeUnitDivisor = 1000;
    source.xAxisTitle = QStringLiteral("Время, мс");
    source.channelCaption = QStringLiteral("X");
    form.setSpectrumSource(source);
    for (auto _ : state) {
        const bool ok = form.btSpectrumClick();
        benchmark::DoNotOptimize(ok);
    }
    state.counters["bins"] = double(form.Envelope->dataCount());
}
BENCHMARK(BM_Spectrum)->Name("Spectrum")->Arg(16384)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
