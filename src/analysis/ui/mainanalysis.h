#pragma once

#include <QFrame>
#include <QString>

#include <array>
#include <functional>
#include <optional>

#include "analysis/ui/spectrumwindow.h"
#include "display/ui/signalchart.h"

class QToolButton;

namespace platform {
class Dialogs;
}

namespace analysis {

// The main chart as the analyses take it, filled in by the window that composes the parts.
struct MainChartView {
    const display::SignalChart* chart = nullptr;
    std::array<display::Series, 3> channelSeries{display::Series::X, display::Series::Y, display::Series::Z};
    std::array<QString, 3> channelCaptions;
    // The stretch painted last; -1 before any paint.
    qint32 firstVisibleIndex = -1;
    qint32 lastVisibleIndex = -1;
    double samplePeriodUs = 0;
    double timeUnitDivisor = 1;
    QString timeTitle;
    // The file whose record is shown.
    QString fileName;
    // The smoothing weight when the chart is smoothed.
    std::optional<int> smoothing;
    qint32 nyquistHz = 0;
};

// The main window's tool bar "Обработка" with its two analysis buttons, "Спектр" and "Тренд":
// they take the first shown channel series of the main chart and its visible stretch, and run
// the spectrum or the trend in the spectrum window. The spectrum window's own buttons come back
// here.
class MainWindowAnalysis : public QFrame {
    Q_OBJECT
  public:
    MainWindowAnalysis(platform::Dialogs* dialogs, std::function<MainChartView()> view,
                       QWidget* parent = nullptr);

    // The spectrum window is created right after the main window.
    void setSpectrumWindow(TForm2* form2) { form2_ = form2; }
    // Analysis needs a chart: the buttons wait for the first one.
    void setChartShown();

    void btSpectrGoClick(QObject* sender);
    void btTrendClick(QObject* sender);

    QToolButton* spectrumButton() const { return btSpectrGo; }
    QToolButton* trendButton() const { return btTrend; }

    // The series the reports describe: channel 0, 1 or 2 of the main chart.
    static SignalSource sourceFor(const MainChartView& view, int channel);

  private:
    TForm2* spectrumWindow();
    static std::optional<int> firstShownChannel(const MainChartView& view);

    platform::Dialogs* dialogs_;
    std::function<MainChartView()> view_;
    TForm2* form2_ = nullptr;
    TForm2* wired_ = nullptr;
    QToolButton* btSpectrGo;
    QToolButton* btTrend;
};

} // namespace analysis
