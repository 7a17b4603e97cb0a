#pragma once

// The connection indicator on the tool bar (btUSB). While the program is idle its timer asks the
// board for the accelerometer's device ID once a second: green when the board answers, red with
// "USB: связь отсутствует" when it does not. The reply is awaited through the message loop, so a
// silent board never holds the window. It never asks while a run or a memory read is under
// way, nor while the board records on its own after a start to memory or waits for its contact:
// a command then would end the run or mix its reply into the samples.

#include <QObject>
#include <QPixmap>

class QFrame;
class QTimer;
class QToolButton;

namespace acq {

class AcquisitionHost;
class MeasurementRun;

class LinkIndicator : public QObject {
    Q_OBJECT
  public:
    // The button goes onto toolBar; the run's signals say when the board must not be asked.
    LinkIndicator(MeasurementRun& run, AcquisitionHost& host, QFrame* toolBar);

    // ---- controls (object names as the window's design names them) ----
    QToolButton* btUSB;
    QTimer* timCheckUSB;
    QPixmap imgUSBred;
    QPixmap imgUSBgreen;

    // One tick of the indicator's timer.
    void check();
    // A click on the indicator: asks at once and keeps asking while idle.
    void checkNow();
    // The link counts as lost until the board answers again: red, "USB: связь отсутствует",
    // no asking.
    void btUSBClick();
    // Asking again once a second (after a chart is drawn).
    void restartChecks();
    // The board in use, in a line under the button's own hint.
    void showBoard(const QString& description);

  private:
    bool boardBusy() const;
    void showAnswer(bool answered);
    void showClosed();

    MeasurementRun& run_;
    AcquisitionHost& host_;
    QString hint_; // the button's own hint
};

} // namespace acq
