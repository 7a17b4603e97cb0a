#include "analysis/ui/mainanalysis.h"

#include <qcustomplot.h>

#include <algorithm>

#include "analysis/ui/spectrumanalysisview.h"
#include "analysis/ui/spinedit.h"
#include "app/ui/mainwindow.h"
#include "files/ui/measurementfilesui.h"
#include "platform/ui/dialogs.h"

namespace analysis {

MainWindowAnalysis::MainWindowAnalysis(app::TForm1& form) : QObject(&form), form_(form) {}

TForm2* MainWindowAnalysis::spectrumWindow()
{
    TForm2* f2 = form_.spectrumWindow();
    if (f2 && f2 != wired_) {
        // The spectrum window is handed to the main window after both exist;
        // it is tied to this window's buttons and rates the first time it is used.
        connect(f2, &TForm2::spectrumRequested, this, [this, f2] { btSpectrGoClick(f2); });
        connect(f2, &TForm2::trendRequested, this, [this, f2] { btTrendClick(f2); });
        app::TForm1* form = &form_;
        f2->setNyquistSource([form] { return form->nyquistHz; });
        wired_ = f2;
    }
    return f2;
}

std::optional<int> MainWindowAnalysis::firstShownChannel() const
{
    for (int c = 0; c < 3; ++c) {
        if (form_.Chart1->isSeriesShown(form_.channelSeries[std::size_t(c)]))
            return c;
    }
    return std::nullopt;
}

SignalSource MainWindowAnalysis::sourceFor(int channel) const
{
    const display::Series series = form_.channelSeries[std::size_t(channel)];
    SignalSource s;
    s.values = form_.Chart1->yValues(series);
    s.pointCount = s.values ? form_.Chart1->pointCount(series) : 0;
    s.firstVisibleIndex = form_.firstVisibleIndex;
    s.lastVisibleIndex = form_.lastVisibleIndex;
    s.samplePeriodUs = form_.record.samplePeriodUs;
    s.timeUnitDivisor = form_.timeUnitDivisor;
    s.xAxisTitle = form_.xAxisTitle;
    s.channelCaption = form_.channelBoxes[std::size_t(channel)]->text();
    // The file whose record is shown: the open dialog's last name would stay
    // behind when the folder is browsed with the arrows.
    if (form_.measurementFiles)
        s.fileName = form_.measurementFiles->currentFileName;
    if (form_.cbSmooth->isChecked())
        s.smoothing = form_.seSmooth->value();

    // The analyses beyond the plain spectrum may take the other shown channels
    // and the modulus too, each drawn in its series' colour.
    auto channelOf = [this](display::Series series, const QString& letter) {
        ChannelSource c;
        c.letter = letter;
        c.values = form_.Chart1->yValues(series);
        c.pointCount = c.values ? form_.Chart1->pointCount(series) : 0;
        c.colour = form_.Chart1->seriesColour(series);
        return c;
    };
    s.shownChannels.push_back(channelOf(series, s.channelCaption));
    for (int c = 0; c < 3; ++c) {
        const display::Series other = form_.channelSeries[std::size_t(c)];
        if (c != channel && form_.Chart1->isSeriesShown(other))
            s.shownChannels.push_back(channelOf(other, form_.channelBoxes[std::size_t(c)]->text()));
    }
    if (const ChannelSource m = channelOf(display::Series::IaI, QStringLiteral("|a|")); m.values)
        s.modulus = m;
    s.valueTitle = form_.Chart1->leftTitle();
    return s;
}

void MainWindowAnalysis::btSpectrGoClick(QObject*)
{
    TForm2* f2 = spectrumWindow();
    if (!f2)
        return;
    f2->prepareSpectrum();
    const auto channel = firstShownChannel();
    if (!channel) {
        form_.services().dialogs->message(
            &form_, QStringLiteral("Должен быть показан сигнал хотя бы в одном канале!"));
        return;
    }
    f2->analysisChannel = *channel + 1;
    f2->setSpectrumSource(sourceFor(*channel));
    const int step = std::max(1, f2->seStep->value());
    f2->adjustOnOwnAccount(
        [&] { f2->seFmax->setMaximumValue(std::max(1, int(double(form_.nyquistHz) / step))); });
    // Computed before the window comes up, so a stretch that cannot be
    // analysed leaves the window as it was.
    if (!f2->btSpectrumClick())
        return;
    f2->show();
    f2->raise();
    // An analysis beyond the plain spectrum titles its own value axis.
    if (!f2->analysisView().active())
        f2->Chart1->yAxis->setLabel(form_.Chart1->leftTitle());
}

void MainWindowAnalysis::btTrendClick(QObject*)
{
    TForm2* f2 = spectrumWindow();
    if (!f2)
        return;
    f2->prepareTrend();
    const auto channel = firstShownChannel();
    if (!channel) {
        form_.services().dialogs->message(&form_, QStringLiteral("Должен быть показан хотя бы один график!"));
        return;
    }
    f2->analysisChannel = *channel + 1;
    // The trend is always laid out in time, whatever the main chart shows on its bottom axis
    // (samples, degrees).
    f2->Chart2->xAxis->setLabel(form_.xAxisTitle);
    if (!f2->showTrend(sourceFor(*channel)))
        return;
    f2->show();
    f2->raise();
}

} // namespace analysis
