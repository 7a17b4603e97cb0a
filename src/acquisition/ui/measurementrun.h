#pragma once

// The window's side of the board: the device library with its configured board and the command
// link; starting a run (registers, start command, poll interval, progress panel); the receive
// timer that takes the samples in or reads the board's memory block by block; and the memory
// chip's protection clear.

#include "acquisition/devicelibrary.h"
#include "acquisition/devicelink.h"
#include "platform/ticks.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>

namespace app {
class TForm1;
}

namespace acq {

class SetupPanel;

class MeasurementRun : public QObject {
    Q_OBJECT
  public:
    MeasurementRun(app::TForm1& form, SetupPanel& setup);
    ~MeasurementRun() override;

    DeviceLibrary& device() { return *library_; }
    DeviceLink& link() { return *link_; }
    // Puts another board behind the library (tests, a changed configuration).
    void setBackend(std::unique_ptr<DeviceBackend> backend);

    // "ПУСК ИЗМЕРЕНИЯ": configures the chip, sends the start command and arms the receive timer.
    void btStartClick();
    // Start bookkeeping: start time, progress labels cleared, run start tick, "ИЗМЕРЕНИЕ".
    void Measure();
    // One tick of the receive timer; what the bytes mean depends on the last command sent.
    void timRxTimer();
    void TimPrgssBarTimer();
    // "Считать": reads back a recording from the board's memory.
    void btRdClick();
    void btFM25ProtectClrClick();
    // Asks the board again for memory block 0 and lets the receive timer take what comes,
    // without touching the command buffer or the stream.
    void ctlBarDblClick();
    // At the window's close: the device is closed; its status is kept, errors are ignored.
    void closeDevice();

    // The receive timer's interval between polls of the current run.
    std::uint32_t pollIntervalMs() const { return pollIntervalMs_; }

    // Status bar panel 0 (what the program is doing), announced for observers as well.
    void showActivity(const QString& text);

  signals:
    void activityShown(const QString& text);
    // A poll of a run to the computer brought samples and more are to come.
    void streamReceived();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    platform::TickSource& ticks();
    // Sends one register of the set-up; false when the command did not go out (reported).
    bool setRegister(int step, const RegisterStep& r);
    void pollToComputer(const QByteArray& got);
    void pollMemory(QByteArray got);
    bool applyMemoryHeader(const QByteArray& got);
    void requestBlock(std::uint8_t block);
    void finishTransfer();
    void correctExternalStart();
    void message(const QString& text);
    // A command that did not go out: the program's own message, and below it what the board's
    // line knows about the cause (a missing port, no permission), when it knows anything.
    void sendFailed(const QString& text);
    // The operator sees which board the program talks to in the hint of the connection button.
    void showBoard();
    double selectedRate() const;

    app::TForm1& f_;
    SetupPanel& setup_;
    std::unique_ptr<platform::SystemTicks> ownTicks_; // when the window was given no tick counter
    std::unique_ptr<DeviceLibrary> library_;
    std::unique_ptr<DeviceLink> link_;
    std::uint32_t pollIntervalMs_ = 0;
    std::uint32_t progressWaitMs_ = 0; // the progress bar's maximum
    // When Measure last ran, normally the moment the last start command went out (invalid
    // before the first run). The contact's delay that the board reports counts from it, however
    // often the recording is read back.
    QDateTime startCommandTime_;
    QString usbHint_; // the connection button's own hint
};

} // namespace acq
