#pragma once

// The connection indicator on the tool bar (btUSB). While the program is idle its timer asks the
// board for the accelerometer's device ID once a second: green when the board answers, red with
// "USB: связь отсутствует" when it does not. It never asks while a run or a memory read is under
// way, nor while the board records on its own after a start to memory or waits for its contact:
// a command then would end the run or mix its reply into the samples.

#include <QObject>

namespace app {
class TForm1;
}

namespace acq {

class MeasurementRun;

class LinkIndicator : public QObject {
    Q_OBJECT
  public:
    LinkIndicator(app::TForm1& form, MeasurementRun& run);

    // One tick of the indicator's timer.
    void check();
    // A click on the indicator: asks at once and keeps asking while idle.
    void checkNow();

  private:
    bool boardBusy() const;
    bool boardAnswers();

    app::TForm1& f_;
    MeasurementRun& run_;
};

} // namespace acq
