#pragma once

#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/analysisinput.h"
#include "analysis/trend.h"
#include "app/ui/services.h"

class QCustomPlot;
class QCPGraph;

namespace app {
class RadioGroup;
}

namespace platform {
class IniFile;
}

namespace analysis {

class HoldButton;
class SpectrogramWindow;
class SpectrumAnalysisView;
class SpectrumOptionsPanel;
class SpinEdit;
class IndexLabelTicker;
struct ChannelInput;
struct SpectrogramSource;
struct SpectrumSummary;

// What the main window hands over for one spectrum or trend run: the analysed
// channel series of its chart and what the reports say about it.
// Another series of the main chart the analyses may take beside the first one.
struct ChannelSource {
    QString letter; // "X", "Y", "Z" or "|a|"
    const double* values = nullptr;
    qint64 pointCount = 0;
    QColor colour;
};

struct SignalSource {
    const double* values = nullptr; // the series' y values, point 0 first
    qint64 pointCount = 0;
    qint32 firstVisibleIndex = -1;
    qint32 lastVisibleIndex = -1;
    double samplePeriodUs = 0;
    double timeUnitDivisor = 1;
    QString xAxisTitle;     // the title the last chart build set
    QString channelCaption; // "X", "Y" or "Z"
    QString fileName;       // the measurement file last opened
    std::optional<int> smoothing;
    // For the analyses beyond the plain spectrum: every shown channel series (the
    // analysed one first), the modulus series when it has points, and the
    // chart's value title ("Ускорение, см/с/с"), which names the unit.
    std::vector<ChannelSource> shownChannels;
    std::optional<ChannelSource> modulus;
    QString valueTitle;
};

// The spectrum and trend window. It is created hidden right after the main
// window, shown by the first spectrum or trend run, and only hidden when the
// operator closes it; its size, place and analysis settings live in "app.ini".
class TForm2 : public QWidget {
    Q_OBJECT
  public:
    TForm2(app::Services services, QString settingsFile, QWidget* parent = nullptr);
    ~TForm2() override;

    // The main window's half of the sampling rate, read whenever a rule needs it
    // (0 until a chart has been built).
    void setNyquistSource(std::function<qint32()> source) { nyquistSource_ = std::move(source); }
    qint32 nyquistHz() const { return nyquistSource_ ? nyquistSource_() : 0; }

    // ---- handlers ----
    void FormResize();
    void seStepChange();
    void seFmaxChange();
    void seFmaxDblClick();
    void btSpGoClick();
    void btTrClick();
    void btSaveChClick();
    void btSaveChMouseDown();
    void btSaveChMouseUp();

    // ---- the runs the main window starts ----
    // Step 1 of a spectrum run: Chart1 shown, the spectrum's controls enabled.
    void prepareSpectrum();
    // The series to analyse next; btSpectrumClick() works on it.
    void setSpectrumSource(const SignalSource& source) { source_ = source; }
    // The spectrum of the source's visible stretch. False, with a message and
    // nothing drawn, when there is no stretch to analyse.
    bool btSpectrumClick();
    // Runs `adjust`, a change the program makes on its own (the frequency limit brought within
    // the sampling's reach): it is no change of the operator's, so an app.ini that could not be
    // read stays unreplaced if it was before.
    void adjustOnOwnAccount(const std::function<void()>& adjust);
    // Step 1 of a trend run: Chart2 shown, the spectrum's controls disabled.
    void prepareTrend();
    // The trend of the source's visible stretch. False, with a message and
    // nothing drawn, when there is no stretch; a stretch with fewer than two
    // usable points shows its logarithms without a line, and a message.
    bool showTrend(const SignalSource& source);

    // The label the bottom axis shows for point `index` of each chart ("" past
    // the points).
    QString spectrumLabel(qint64 index) const;
    QString trendLabel(qint64 index) const;

    // ---- window state ----
    qint32 spectrumWidthMargin = 12;
    qint32 spectrumHeightMargin = 65;
    qint32 prevStep = 1;
    bool stepRulesOn = false;
    int analysisChannel = 1; // 1 X, 2 Y, 3 Z
    std::vector<double> spectrumAmp;
    quint32 pressTick = 0;
    QString settingsFile;

    // ---- controls (object names as the window's design names them) ----
    HoldButton* btSaveCh;
    QLabel* lbStep;
    SpinEdit* seStep;
    QLabel* lbFmax;
    SpinEdit* seFmax;
    app::RadioGroup* rgSpEnv;
    QPushButton* btSpGo;
    QPushButton* btTr;
    QCheckBox* cbSp2ClipBrd;
    QLabel* lbSpectrumMax;
    QCustomPlot* Chart1;
    QCPGraph* SpectArrows;
    QCPGraph* Envelope;
    QCustomPlot* Chart2;
    QCPGraph* seriLn;
    QCPGraph* seriTrend;
    QPushButton* btSpectrum;
    // The analysis controls beyond the design's, in the strip under the charts.
    SpectrumOptionsPanel* analysisOptions = nullptr;

    // What the analyses beyond the plain spectrum drew; the spectrogram window
    // once it was asked for (else null).
    const SpectrumAnalysisView& analysisView() const { return *analysisView_; }
    SpectrogramWindow* spectrogramWindow() const { return spectrogram_; }
    void showSpectrogram();
    void saveSpectrum();

  signals:
    // btSpGo and btTr run the main window's handlers.
    void spectrumRequested();
    void trendRequested();

  protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    void buildControls();
    // The tool row, in its focus order, then what lies under and beside it.
    void buildSaveButton();
    void buildStepAndLimitBoxes();
    void buildRunControls();
    void buildSpectrumChart();
    void buildTrendChart();
    void buildSpectrumButton();
    void buildAnalysisOptions();
    void keepStripOnTop();
    void connectControls();
    void layoutStrip();
    void placeResultLabel();
    QCustomPlot* makeChart(const char* name, const QString& leftTitle, IndexLabelTicker** ticker);
    void FormCreate();
    void FormClose();
    // Sets every key FormClose writes; the window's place is given apart.
    void storeSettings(platform::IniFile& ini, QPoint place) const;
    std::optional<QByteArray> unreadComparisonText() const;
    double stepRatio() const;
    // Keeps the analysis's lower frequency limit below the upper one.
    void boundLowerLimit();
    void colourFmax();
    QCustomPlot* shownChart() const;
    QChar decimalSeparator() const;

    app::Services services_;
    std::function<qint32()> nyquistSource_;
    SignalSource source_;
    // The spectrum as the design draws it: arrows or an envelope over the bins.
    bool showPlainSpectrum(const Stretch& span, int step);
    void drawPlainSpectrum(const SpectrumSummary& summary, int step, QChar sep);
    // The bottom axis of Chart1 labels bins by their frequencies.
    void labelBins(int binCount, int step, QChar sep);
    // What a spectrum report says about the source's points firstIndex ... lastIndex.
    ReportContext reportContext(qint64 firstIndex, qint64 lastIndex, QChar sep) const;
    bool showAnalysis(const Stretch& visible, int step);
    // The series the analysis takes over the visible stretch, with their colours.
    void gatherChannels(const Stretch& visible, std::vector<ChannelInput>& inputs, std::vector<QColor>& colours) const;
    void makeSpectrogramWindow();
    SpectrogramSource spectrogramSource(const Stretch& visible) const;
    void drawTrendPoints(const Trend& trend);
    void labelTrendPoints(const Stretch& stretch, double period, double divisor, QChar sep);
    void reportTrend(const Trend& trend, const SignalSource& source, const Stretch& stretch, QChar sep);

    std::unique_ptr<SpectrumAnalysisView> analysisView_;
    SpectrogramWindow* spectrogram_ = nullptr;
    QString spectrumFile_; // the last spectrum as the file a person saves ("" before the first)
    IndexLabelTicker* spectrumTicker_ = nullptr;
    IndexLabelTicker* trendTicker_ = nullptr;
    QColor chartColour_;
    // When app.ini was too large to be read: the settings as FormCreate left them, as they would
    // be written, and the place they were given. The file is replaced only once they change.
    std::optional<QByteArray> unreadSettings_;
    QPoint unreadPlace_;
};

} // namespace analysis
