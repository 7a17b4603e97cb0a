#include <QApplication>
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <random>
#include <vector>

#include <qcustomplot.h>

#include "analysis/fft.h"
#include "analysis/spectralanalysis.h"
#include "analysis/ui/spectrumwindow.h"
#include "analysis/ui/spinedit.h"
#include "platform/ticks.h"
#include "platform/ui/dialogs.h"
#include "benchmain.h"

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
    std::optional<QSize> askPictureSize(QWidget*, const QSize&) override { return std::nullopt; }
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

// ---- Averaged spectra and the spectrogram of the largest record ----------------------------

// The largest record the program takes: 26,843,546 frames.
constexpr std::size_t kLargestRecord = 26843546;

const std::vector<double>& largestRecord()
{
    static const std::vector<double> v = signal(kLargestRecord);
    return v;
}

// Welch PSD over the whole record: segments of 4096, 50 % overlap, Hann.
void BM_WelchPsd(benchmark::State& state)
{
    const auto& v = largestRecord();
    const analysis::WelchOptions o{analysis::WindowKind::Hann, 4096, 50, 1};
    for (auto _ : state) {
        const analysis::PowerSpectrum s = analysis::welchSpectrum(v.data(), qint64(v.size()), o, 312.5);
        std::vector<double> psd(std::size_t(s.binCount()));
        for (int k = 0; k < s.binCount(); ++k)
            psd[std::size_t(k)] = s.value(k, analysis::SpectrumScale::Psd);
        benchmark::DoNotOptimize(psd.data());
        state.counters["averages"] = s.averages;
    }
}
BENCHMARK(BM_WelchPsd)->Name("WelchPsd/program")->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: the same computation as a plain loop over FFTW calls, written here,
// with the plan estimated (as the program plans) or measured.
void BM_WelchPsdPeer(benchmark::State& state)
{
    const auto& v = largestRecord();
    constexpr int n = 4096;
    constexpr int hop = n / 2;
    const unsigned flags = state.range(0) ? FFTW_MEASURE : FFTW_ESTIMATE;
    double* in = fftw_alloc_real(n);
    fftw_complex* spec = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, spec, flags);
    std::vector<double> window(n);
    double s2 = 0;
    for (int i = 0; i < n; ++i) {
        window[std::size_t(i)] = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
        s2 += window[std::size_t(i)] * window[std::size_t(i)];
    }
    const std::size_t segments = 1 + (v.size() - n) / hop;
    for (auto _ : state) {
        std::vector<double> psd(n / 2 + 1, 0.0);
        for (std::size_t seg = 0; seg < segments; ++seg) {
            const double* x = v.data() + seg * hop;
            double mean = 0;
            for (int i = 0; i < n; ++i)
                mean += x[i];
            mean /= n;
            for (int i = 0; i < n; ++i)
                in[i] = (x[i] - mean) * window[std::size_t(i)];
            fftw_execute(plan);
            for (int k = 0; k <= n / 2; ++k)
                psd[std::size_t(k)] += spec[k][0] * spec[k][0] + spec[k][1] * spec[k][1];
        }
        const double rate = 3200;
        for (int k = 0; k <= n / 2; ++k)
            psd[std::size_t(k)] *= (k == 0 || k == n / 2 ? 1 : 2) / (rate * s2 * double(segments));
        benchmark::DoNotOptimize(psd.data());
    }
    fftw_destroy_plan(plan);
    fftw_free(spec);
    fftw_free(in);
}
BENCHMARK(BM_WelchPsdPeer)->Name("WelchPsd/peer_fftw_estimate")->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WelchPsdPeer)->Name("WelchPsd/peer_fftw_measure")->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The spectrogram of the whole record at 1600 x 600 cells (segment 4096, 50 %,
// Hann), on one core and on two.
void BM_Spectrogram(benchmark::State& state)
{
    const auto& v = largestRecord();
    analysis::SpectrogramOptions o;
    o.welch = {analysis::WindowKind::Hann, 4096, 50, 1};
    o.columns = 1600;
    o.rows = 600;
    o.threads = int(state.range(0));
    for (auto _ : state) {
        const analysis::Spectrogram s = analysis::computeSpectrogram(v.data(), qint64(v.size()), o, 312.5);
        benchmark::DoNotOptimize(s.db.data());
    }
}
BENCHMARK(BM_Spectrogram)->Name("Spectrogram1600x600/threads")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv);
}
