#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

#include "acquisition/measurementrecord.h"
#include "app/apppaths.h"
#include "app/ui/controls.h"
#include "app/ui/services.h"
#include "display/ui/signalchart.h"
#include "files/mainsettings.h"

class QHBoxLayout;

namespace analysis {
class TForm2;
class MainWindowAnalysis;
struct MainChartView;
} // namespace analysis

// acquisition: the set-up panel's handlers and the run, owned by the window.
namespace acq {
class SetupPanel;
class MeasurementRun;
class LinkIndicator;
class BoardChoiceUi;
} // namespace acq

// files: measurement files, scales and folder browsing, owned by the window.
namespace files {
class MeasurementFilesUi;
class ScalesUi;
class FolderBrowserUi;
class JournalUi;
class SettingsUi;
} // namespace files

// display: the chart with its panel groups, build, handlers and output.
namespace display {
class ChartPart;
} // namespace display

namespace app {

class ZeroRunLink;
class FilesLink;
class DisplayLink;
class AcquisitionLink;

// The main window: the tool bars, the comment, the signal chart, the status bar
// and the floating option panels. The measurement record lives here.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    TForm1(Services services, AppPaths paths, files::MainSettings settings = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // The spectrum window is created right after the main window.
    void setSpectrumWindow(analysis::TForm2* form2);
    // SIGTERM, SIGHUP, a logout: the program ends. A run still receiving takes in what has come,
    // and its journal is left to be offered at the next start, not closed as a finished run.
    void closeOnTerminationSignal();

    // Handlers, named after the control and the event they serve.
    void FormResize();
    void FormClick();
    void btChartClick();
    void btOptionsClick();
    void gbOptionsClick();
    void btHelpTOCClick();

    // Puts a text into status panel 0 before a rebuild.
    void ShowStartProcess(const QString& text);

    // ---- state shared by the handlers ----
    acq::MeasurementRecord record;
    AppPaths paths;
    quint16 chartWidthMargin = 22;
    quint16 chartHeightMargin = 169;
    std::array<int, 4> savedBounds{0, 0, 0, 0}; // height, width, left, top
    bool formReady = false;
    int helpOnStart = 0;

    // ---- controls (object names as the window's design names them) ----
    QWidget* Header;
    std::array<QLabel*, 4> headerSections{};
    QFrame* ctlBar;
    QFrame* tbFile;
    QFrame* tbMCctl;
    QFrame* tbOptions;
    QToolButton *btChart, *btOptions, *btHelpTOC;

    StatusPanels* status;

    // Chart panel.
    PanelBox* gbChart;

    // Options panel.
    PanelBox* gbOptions;
    QGroupBox* gbHelp;
    QComboBox* cbHelp;



    Services services() const { return services_; }

    // ==== Subsystem sections ====
    // Each subsystem keeps its handlers and state in classes of its own folder
    // (src/<subsystem>/ui/); the window only owns them. Add members of a
    // subsystem inside its own section.
    // ---- acquisition: device link, set-up, run, memory read ----
    std::unique_ptr<acq::SetupPanel> setupPanel;
    std::unique_ptr<acq::MeasurementRun> measurementRun;
    std::unique_ptr<acq::LinkIndicator> linkIndicator;
    // "Плата…" and the marks of the simulated board.
    std::unique_ptr<acq::BoardChoiceUi> boardChoice;
    // Called by other subsystems too (the zero balancing starts a run, a settings load
    // recounts the channels); the work is done by the classes above.
    void btStartClick();
    // ---- display: the chart, its panel groups, build, interaction, output ----
    display::ChartPart* chartPart = nullptr;
    // ---- files: measurement files, scales, settings, folder browsing ----
    // The file tool bar's save, open and copy, the comment and the export options.
    std::unique_ptr<files::MeasurementFilesUi> measurementFiles;
    // The group "Нулевые уровни" of the chart panel: the scales file and the zero balancing.
    files::ScalesUi* scales = nullptr;
    // The folder navigation of the file tool bar and the comment browser over the chart.
    files::FolderBrowserUi* folderBrowser = nullptr;
    // The run journal: runs written to disk as they arrive, and offered again after a crash.
    std::unique_ptr<files::JournalUi> journal;
    // The window's state as "tremor.ini" keeps it, gathered from the parts (fileslinks.cpp).
    files::MainSettings collectSettings() const;
    // The chart build calls this after filling the series while zeroCapturePending() is set.
    void ZeroCapture();
    bool zeroCapturePending() const;
    // ---- analysis ----
    // The tool bar "Обработка": "Спектр" and "Тренд".
    analysis::MainWindowAnalysis* analysisActions = nullptr;
    analysis::TForm2* spectrumWindow() const { return form2_; }
    // ==== end of subsystem sections ====

signals:
    // The closing sequence has run; the program ends.
    void closed();
    // A chart build has drawn the record: the analyses may take it.
    void chartShown();

protected:
    void resizeEvent(QResizeEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void buildHeader();
    void buildStatusBar();
    void connectPanelButtons();
    void buildToolBars();
    // The frame of the tool bars, with their smaller font; its row takes the bars in order.
    QHBoxLayout* buildToolStrip();
    void buildFileToolBar();
    void buildOptionsToolBar();
    void placeSetupPanel();
    void buildChartPanel();
    void buildOptionsPanel();
    void buildCommentBrowser();
    void placeProgressPanel();
    void assignHelpNumbers();
    void FormCreate(const files::MainSettings& s);
    void createSettingsAndBoardChoice();
    void wireFilesAndReadScales();
    // The stored window geometry, chart, export, set-up and help choices, into the parts.
    void applyStoredSettings(const files::MainSettings& s);
    // The help and an unfinished run, shown over the window once it is up.
    void offerStartWindows();
    void FormClose();
    void layoutChartArea();
    void placeFloatingPanels();
    QWidget* lastOpenedPanel_ = nullptr; // the floating panel shown last
    void alignHeaderWithToolBars();
    void applyStoredGeometry(const QRect& stored);
    void setButtonOpen(QToolButton* button, bool open, const QString& closedCaption);
    // Joins the scales part to the set-up panel, the run and the chart (partlinks.cpp).
    void wireScales();
    // Joins the files parts to each other (fileslinks.cpp).
    void wireFiles();
    // The acquisition parts, made as their tool bar is (acquisitionlinks.cpp).
    void buildAcquisitionParts();
    // Joins the acquisition parts to the chart (acquisitionlinks.cpp).
    void wireAcquisition();
    // The main chart as the analyses take it (partlinks.cpp).
    analysis::MainChartView mainChartView() const;
    // Starts the chart part with the stored choices and joins it to the others (displaylinks.cpp).
    void wireChart();

    Services services_;
    analysis::TForm2* form2_ = nullptr;
    std::unique_ptr<ZeroRunLink> zeroRunLink_;
    // Made first: the files parts made with the tool bars ask through it.
    std::unique_ptr<FilesLink> filesLink_;
    // "tremor.ini" at the end of creation and at closing.
    std::unique_ptr<files::SettingsUi> settingsUi_;
    std::unique_ptr<DisplayLink> displayLink_;
    std::unique_ptr<AcquisitionLink> acquisitionLink_;
    bool closing_ = false;
};

} // namespace app
