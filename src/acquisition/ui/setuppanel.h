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

namespace app {
class TForm1;
}

namespace acq {

class SetupPanel : public QObject {
    Q_OBJECT
  public:
    explicit SetupPanel(app::TForm1& form);

    void btChooseFClick();
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

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void channelClick(int axis);
    void showPanel(bool shown);

    app::TForm1& f_;
};

// Caption colour of the panel-toggle buttons.
void setCaptionColour(QWidget* w, const QColor& colour);

} // namespace acq
