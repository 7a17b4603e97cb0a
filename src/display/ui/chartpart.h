#pragma once

#include <QColor>
#include <QObject>
#include <QPoint>
#include <QString>

#include <array>
#include <memory>
#include <optional>

#include "app/ui/controls.h"
#include "app/ui/services.h"
#include "display/chartbuild.h"
#include "display/ui/signalchart.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QSpinBox;
class QToolButton;

namespace acq {
struct MeasurementRecord;
}

namespace display {

class ChartBuilder;
class ChartInteraction;
class ChartOutput;
class ChartViewOptions;

// What each chart build and paint leaves for the others (the save, the spectrum, the journal):
// plain values, written by the chart part alone.
struct ChartValues {
    double timeUnitDivisor = 1;
    QString timeUnitText = QStringLiteral("мкс");
    QString xAxisTitle = QStringLiteral("Время, мкс");
    QString yAxisTitle; // the Y title of a loaded file
    QString scalesYTitle = QStringLiteral("Ускорение, см/с/с");
    qint32 nyquistHz = 0;
    double sampleStepX = 1;
    quint8 channelMask = 7;
    quint32 runStartTick = 0;
    // Taken after each paint from the first shown channel series; -1 before any paint.
    qint32 firstVisibleIndex = -1;
    qint32 lastVisibleIndex = -1;
};

// The chart's choices as the settings file keeps them.
struct ChartSettings {
    int timeUnits = 0;
    int view = 0;
    int smoothWeight = 8;
    std::array<QColor, 3> channelColours{};
    QColor modulusColour;
    QColor pulseColour;
    bool modulusShown = false;
    bool markShown = false;
    bool pulseShown = false;
    int degreeOrTime = 0;
    bool fitValuesToVisible = false;
    bool pulseStrip = false;
    bool markerTableShown = true;
    QPoint markerTableGap;
};

// What the chart asks of the rest of the window, answered by the window that composes it.
class ChartHost {
  public:
    virtual ~ChartHost() = default;
    // The set-up panel's channel choice: a build draws the chosen channels.
    virtual bool channelChecked(int channel) const = 0;
    // A channel took a new colour; the set-up panel's box shows it too.
    virtual void channelColourChanged(int channel, const QColor& colour) = 0;
    // A build replaces the picture of a run: its progress panel goes.
    virtual void hideRunProgress() = 0;
    // The zero balancing waits for the chart of its run.
    virtual bool zeroCapturePending() const = 0;
    virtual void zeroCapture() = 0;
    // The window has finished its creation (the readout waits for it).
    virtual bool windowReady() const = 0;
    // The file whose record is shown; empty for a run.
    virtual QString shownFileName() const = 0;
};

// The signal chart with everything that belongs to it: the chart itself with its copy button and
// pop-up menu, the groups of the "График" panel (axes, smoothing, modulus, pulse display), the
// options panel's colours and time unit, and the print button. It builds the chart from the
// record, handles the pointer over it and sends it out as a picture or a printout. The window
// places the controls; the others read the chart through values() and chart() and ask for a
// build through ShowChart().
class ChartPart : public QObject {
    Q_OBJECT
  public:
    // The controls are made at once, without a parent: the window puts each where it belongs, so
    // that each takes its place in the window's keyboard order there. They work once start() has
    // joined them. window is the parent of the dialogs and menus.
    ChartPart(acq::MeasurementRecord& record, app::Services services, QWidget* window);
    ~ChartPart() override;

    // The stored choices, set before start() so that setting them builds nothing.
    void applySettings(const ChartSettings& s);
    ChartSettings settings() const;
    // Joins the handlers to the controls.
    void start(ChartHost& host, app::StatusPanels* status);

    // ---- read-only views ----
    const ChartValues& values() const { return values_; }
    const SignalChart& chart() const { return *Chart1; }
    // The smoothing weight while the chart is smoothed.
    std::optional<int> smoothing() const;
    // The display choices as the controls stand.
    ChartOptions optionsFromControls() const;

    // ---- what others may ask ----
    // Builds the chart from the record; sender tells which control asked (see ChartBuilder).
    void ShowChart(QObject* sender);
    // A run's picture as the stream stands.
    void showReceived();
    // The record is gone: no picture and no stretch stand for it.
    void clearChart();
    void setChannelShown(int channel, bool shown);
    void setRunStartTick(quint32 tick) { values_.runStartTick = tick; }
    // The titles of a loaded or saved file.
    void setFileTitles(const QString& xTitle, const QString& yTitle);
    void setScalesYTitle(const QString& title) { values_.scalesYTitle = title; }
    // The view and smoothing the zero balancing sets for its run and puts back.
    int viewIndex() const;
    void setViewIndex(int index);
    bool smoothOn() const;
    void setSmoothOn(bool on);
    int smoothWeight() const;
    void setSmoothWeight(int weight);
    // The view choices, for the window to put into the "График" panel.
    ChartViewOptions* viewOptions() const;
    // A build that the other panels' lists ask for (the export and help lists rebuild as the time
    // unit does).
    void rebuild();

    // Tests set up the values of a built chart without building one.
    ChartValues& valuesForTests() { return values_; }

    // ---- controls (object names as the window's design names them) ----
    SignalChart* Chart1;
    QToolButton* btSaveChart;
    QMenu* pmChart = nullptr; // the chart's pop-up menu, opened from the keyboard
    QAction* N1 = nullptr;    // its item "Копировать"
    QToolButton* btPrint;
    // Chart panel.
    QGroupBox* gbScales;
    QLabel* lbPnt1;
    QComboBox* cbShowK;
    QGroupBox* gbSmooth;
    QCheckBox* cbSmooth;
    QSpinBox* seSmooth;
    QGroupBox* GroupBox2;
    QCheckBox *cbXM, *cbYM, *cbZM;
    app::RadioGroup* rgTimGrad;
    // Options panel.
    QGroupBox* gbColours;
    app::ColourPanel *pColorCh1, *pColorCh2, *pColorCh3, *pIaICl, *pPlsCl;
    QGroupBox* gbXshow;
    QComboBox* cbTimeunits;

    // Channel tables, always in the order X, Y, Z.
    const std::array<Series, 3> channelSeries{Series::X, Series::Y, Series::Z};
    std::array<app::ColourPanel*, 3> channelColourPanels{};
    std::array<QCheckBox*, 3> modulusBoxes{};

    // The build, the pointer handling and the output; made by start().
    std::unique_ptr<ChartBuilder> chartBuilder;
    std::unique_ptr<ChartInteraction> chartInteraction;
    std::unique_ptr<ChartOutput> chartOutput;

    acq::MeasurementRecord& record() const { return record_; }
    app::Services services() const { return services_; }
    QWidget* window() const { return window_; }
    ChartHost& host() const { return *host_; }
    app::StatusPanels* status() const { return status_; }

  signals:
    // A build has drawn the record: the analyses may take it.
    void chartShown();
    // A build has finished with its picture.
    void built();
    // The chart was painted.
    void drawn();

  private:
    friend class ChartBuilder;
    // The groups of the "График" panel, then those of the options panel.
    void buildAxesAndSmoothingGroups();
    void buildModulusAndPulseGroups();
    void buildOptionGroups();
    void assignHelpNumbers();

    acq::MeasurementRecord& record_;
    app::Services services_;
    QWidget* window_;
    ChartHost* host_ = nullptr;
    app::StatusPanels* status_ = nullptr;
    ChartValues values_;
    // The view choices and the marker table's place, kept for start().
    ChartSettings stored_;
};

} // namespace display
