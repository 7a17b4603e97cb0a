#include "analysis/ui/mainanalysis.h"

#include <qcustomplot.h>

#include <QToolButton>

#include <algorithm>

#include "analysis/ui/spectrumanalysisview.h"
#include "analysis/ui/spinedit.h"
#include "app/ui/controls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

namespace analysis {

MainWindowAnalysis::MainWindowAnalysis(platform::Dialogs* dialogs, std::function<MainChartView()> view,
                                       QWidget* parent)
    : QFrame(parent), dialogs_(dialogs), view_(std::move(view))
{
    app::setUpToolBar(this, "ToolBar1");
    btSpectrGo =
        app::toolButton(this, "btSpectrGo", QStringLiteral("Спектр"), QStringLiteral("Построение спектра"));
    btTrend = app::toolButton(this, "btTrend", QStringLiteral("Тренд"), QStringLiteral("Определение тренда"));
    // Analysis needs a chart: the first chart build enables them.
    btSpectrGo->setEnabled(false);
    btTrend->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{this, btSpectrGo, btTrend})
        platform::setHelpContext(w, 9);
    connect(btSpectrGo, &QToolButton::clicked, this, [this] { btSpectrGoClick(btSpectrGo); });
    connect(btTrend, &QToolButton::clicked, this, [this] { btTrendClick(btTrend); });
}

void MainWindowAnalysis::setChartShown()
{
    btSpectrGo->setEnabled(true);
    btTrend->setEnabled(true);
}

TForm2* MainWindowAnalysis::spectrumWindow()
{
    if (form2_ && form2_ != wired_) {
        // The spectrum window is handed over after both windows exist; it is tied to these
        // buttons and rates the first time it is used.
        TForm2* f2 = form2_;
        connect(f2, &TForm2::spectrumRequested, this, [this, f2] { btSpectrGoClick(f2); });
        connect(f2, &TForm2::trendRequested, this, [this, f2] { btTrendClick(f2); });
        f2->setNyquistSource([this] { return view_().nyquistHz; });
        wired_ = f2;
    }
    return form2_;
}

std::optional<int> MainWindowAnalysis::firstShownChannel(const MainChartView& view)
{
    for (int c = 0; c < 3; ++c) {
        if (view.chart->isSeriesShown(view.channelSeries[std::size_t(c)]))
            return c;
    }
    return std::nullopt;
}

SignalSource MainWindowAnalysis::sourceFor(const MainChartView& view, int channel)
{
    const display::SignalChart* chart = view.chart;
    const display::Series series = view.channelSeries[std::size_t(channel)];
    SignalSource s;
    s.values = chart->yValues(series);
    s.pointCount = s.values ? chart->pointCount(series) : 0;
    s.firstVisibleIndex = view.firstVisibleIndex;
    s.lastVisibleIndex = view.lastVisibleIndex;
    s.samplePeriodUs = view.samplePeriodUs;
    s.timeUnitDivisor = view.timeUnitDivisor;
    s.xAxisTitle = view.timeTitle;
    s.channelCaption = view.channelCaptions[std::size_t(channel)];
    s.fileName = view.fileName;
    if (view.smoothing)
        s.smoothing = *view.smoothing;

    // The analyses beyond the plain spectrum may take the other shown channels
    // and the modulus too, each drawn in its series' colour.
    auto channelOf = [chart](display::Series series, const QString& letter) {
        ChannelSource c;
        c.letter = letter;
        c.values = chart->yValues(series);
        c.pointCount = c.values ? chart->pointCount(series) : 0;
        c.colour = chart->seriesColour(series);
        return c;
    };
    s.shownChannels.push_back(channelOf(series, s.channelCaption));
    for (int c = 0; c < 3; ++c) {
        const display::Series other = view.channelSeries[std::size_t(c)];
        if (c != channel && chart->isSeriesShown(other))
            s.shownChannels.push_back(channelOf(other, view.channelCaptions[std::size_t(c)]));
    }
    if (const ChannelSource m = channelOf(display::Series::IaI, QStringLiteral("|a|")); m.values)
        s.modulus = m;
    s.valueTitle = chart->leftTitle();
    return s;
}

void MainWindowAnalysis::btSpectrGoClick(QObject*)
{
    TForm2* f2 = spectrumWindow();
    if (!f2)
        return;
    f2->prepareSpectrum();
    const MainChartView view = view_();
    const auto channel = firstShownChannel(view);
    if (!channel) {
        dialogs_->message(window(), QStringLiteral("Должен быть показан сигнал хотя бы в одном канале!"));
        return;
    }
    f2->analysisChannel = *channel + 1;
    f2->setSpectrumSource(sourceFor(view, *channel));
    const int step = std::max(1, f2->seStep->value());
    f2->adjustOnOwnAccount(
        [&] { f2->seFmax->setMaximumValue(std::max(1, int(double(view.nyquistHz) / step))); });
    // Computed before the window comes up, so a stretch that cannot be
    // analysed leaves the window as it was.
    if (!f2->btSpectrumClick())
        return;
    f2->show();
    f2->raise();
    // An analysis beyond the plain spectrum titles its own value axis.
    if (!f2->analysisView().active())
        f2->Chart1->yAxis->setLabel(view.chart->leftTitle());
}

void MainWindowAnalysis::btTrendClick(QObject*)
{
    TForm2* f2 = spectrumWindow();
    if (!f2)
        return;
    f2->prepareTrend();
    const MainChartView view = view_();
    const auto channel = firstShownChannel(view);
    if (!channel) {
        dialogs_->message(window(), QStringLiteral("Должен быть показан хотя бы один график!"));
        return;
    }
    f2->analysisChannel = *channel + 1;
    // The trend is always laid out in time, whatever the main chart shows on its bottom axis
    // (samples, degrees).
    f2->Chart2->xAxis->setLabel(view.timeTitle);
    if (!f2->showTrend(sourceFor(view, *channel)))
        return;
    f2->show();
    f2->raise();
}

} // namespace analysis
