#pragma once

// The measurement set-up panel's handlers: frequency, measuring time and number of samples kept
// consistent, the channels, the recording target and the start source.
//
// Two rules shape them. A change handler of a set-up value acts only while its own control has
// the input focus, so a value the program writes into another control starts no recomputation.
// And setting a check box, spin edit or radio group from code runs its handler, while setting
// the item of a drop-down list does not (its handler listens to the operator's choice only).

#include "acquisition/measurementrecord.h"

#include <QObject>
#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace app {
class RadioGroup;
}

namespace acq {

// A pair of small arrow buttons beside a control (the "up/down" buttons of the set-up panel):
// they step a value by rules of their own, not by the spin box's.
class UpDown : public QWidget {
    Q_OBJECT
  public:
    explicit UpDown(QWidget* parent = nullptr);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
  signals:
    void upClicked();
    void downClicked();

  private:
    QToolButton* up_;
    QToolButton* down_;
};

// The set-up values as the settings keep them.
struct SetupValues {
    int frequency = 0;   // item of the rate list
    int range = 0;       // item of the sensitivity list
    int samples = 0;
    int target = 0;      // 0 to the computer, 1 to the board's memory
    bool externalStart = false;
    int delayS = 0;
    std::array<bool, 3> channels{};
    int timeStep = 1;    // the spin arrows' steps
    int samplesStep = 1;
};

// The set-up panel "Частота выборки / Время измерения" (gbFT) with everything in it, its toggle
// button btChooseF on the controller's tool bar, and the hidden step group gbFDiscret. The panel
// and the step group are made without a parent: the window puts them where they belong.
class SetupPanel : public QObject {
    Q_OBJECT
  public:
    SetupPanel(MeasurementRecord& record, QFrame* toolBar, QObject* parent);

    // ---- controls (object names as the window's design names them) ----
    QToolButton* btChooseF;
    QGroupBox* gbFT;
    QGroupBox* gbTFparam;
    QComboBox* cbF;
    UpDown* se2F;
    QSpinBox* seTime;
    UpDown* se2Time;
    QLabel* lbTime;
    QSpinBox* seSamples;
    UpDown* se2Samples;
    QSpinBox* seDelayStart;
    QLabel* lbDelayStart;
    QGroupBox* gbStart;
    QCheckBox* cbExternalStart;
    QLabel* lbExternalStart;
    app::RadioGroup* rgMem;
    QGroupBox* gbSensitivity;
    QComboBox* cbRange;
    QGroupBox* gbChannels;
    QCheckBox *cbCh1, *cbCh2, *cbCh3;
    std::array<QCheckBox*, 3> channelBoxes{}; // X, Y, Z
    QPushButton* btStart;
    QGroupBox* gbFDiscret;
    QSpinBox* seTimeStep;
    QSpinBox* seSamplesStep;

    // ---- what the others may read and set ----
    SetupValues values() const;
    bool channelChecked(int axis) const;
    // The rate of the selected item of the rate list (of the first one when none is selected).
    double selectedRateHz() const;
    QString channelCaption(int axis) const;
    // Each runs the control's own handler, as a change by the operator would.
    void setChannelChecked(int axis, bool checked);
    void setSamples(int samples);
    // A measuring time kept with its sample count: shown as it was, nothing recomputed from it.
    void setTime(int ms);
    void setTarget(int target);
    void setExternalStart(bool external);
    void setDelay(int seconds);
    void setSteps(int timeStep, int samplesStep);
    // Lists: the item only; their handlers follow the operator's choice alone.
    void setFrequencyIndex(int index);
    void setRangeIndex(int index);
    // The sensitivity list's items renamed in place (the scales file names its top range).
    void setRangeItemTexts(const QStringList& texts);
    // A channel box wears its channel's colour.
    void setChannelColour(int axis, const QColor& colour);
    // The stored set-up at the window's start: lists out of range take their first item, the
    // memory's sample limit applies, and no channel at all means all three.
    void applySettings(const SetupValues& v);
    // The time follows the sample count (after the stored values are in).
    void timeFromSamples();

    // ---- handlers ----
    void btChooseFClick();
    // Closes the panel, its button's caption with it.
    void closePanel() { showPanel(false); }
    void cbFChange();
    void seTimeChange();
    void seSamplesChange();
    void se2FUpClick();
    void se2FDownClick();
    void se2TimeUpClick();
    void se2TimeDownClick();
    void se2SamplesUpClick();
    void se2SamplesDownClick();
    void cbCh1Click() { channelClick(AxisX); }
    void cbCh2Click() { channelClick(AxisY); }
    void cbCh3Click() { channelClick(AxisZ); }
    void rgMemClick();
    void cbExternalStartClick();
    void seTimeStepExit();
    void seSamplesStepExit();
    // Enter starts the run, Escape closes the panel; false for any other key.
    bool btStartKeyPress(int key);

    // Reconciles frequency, time and samples; origin is the control whose change caused the
    // call and decides which of time and samples follows the other.
    void CalcFTSamples(QObject* origin);
    // Recounts the record's channels from the channel boxes.
    void CalcUseChnl();
    ChannelSet checkedChannels() const;

  signals:
    // "ПУСК ИЗМЕРЕНИЯ" on the panel, or Enter on it.
    void startRequested();
    // A channel box changed: the chart shows or hides the channel.
    void channelToggled(int axis, bool shown);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QCheckBox* channelBox(int axis) const;
    void channelClick(int axis);
    void showPanel(bool shown);
    void buildTimeGroup();
    void buildStartGroup();
    void buildOtherGroups();
    void buildStepGroup();
    void connectHandlers();

    MeasurementRecord& record_;
};

} // namespace acq
