#pragma once

#include <QObject>

#include <optional>

#include "analysis/ui/spectrumwindow.h"

namespace app {
class TForm1;
}

namespace analysis {

// The main window's two analysis buttons, "Спектр" and "Тренд": they take the
// first shown channel series of the main chart and its visible stretch, and run
// the spectrum or the trend in the spectrum window. The spectrum window's own
// buttons come back here.
class MainWindowAnalysis : public QObject {
    Q_OBJECT
  public:
    explicit MainWindowAnalysis(app::TForm1& form);

    void btSpectrGoClick(QObject* sender);
    void btTrendClick(QObject* sender);

    // The series the reports describe: channel 0, 1 or 2 of the main chart.
    SignalSource sourceFor(int channel) const;

  private:
    TForm2* spectrumWindow();
    std::optional<int> firstShownChannel() const;

    app::TForm1& form_;
    TForm2* wired_ = nullptr;
};

} // namespace analysis
