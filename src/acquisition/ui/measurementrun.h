#pragma once

// The window's side of the device link: the device library with its configured board, the
// command link, the connection indicator's repeat request (double click on the tool-bar band)
// and the start bookkeeping of a run.

#include "acquisition/devicelibrary.h"
#include "acquisition/devicelink.h"
#include "platform/ticks.h"

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

    // Start bookkeeping: start time, progress labels cleared, run start tick, "ИЗМЕРЕНИЕ".
    void Measure();
    // Asks the board again for memory block 0 and lets the receive timer take what comes,
    // without touching the command buffer or the stream.
    void ctlBarDblClick();
    // At the window's close: the device is closed; its status is kept, errors are ignored.
    void closeDevice();

    // Status bar panel 0 (what the program is doing), announced for observers as well.
    void showActivity(const QString& text);

  signals:
    void activityShown(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    platform::TickSource& ticks();

    app::TForm1& f_;
    SetupPanel& setup_;
    std::unique_ptr<platform::SystemTicks> ownTicks_; // when the window was given no tick counter
    std::unique_ptr<DeviceLibrary> library_;
    std::unique_ptr<DeviceLink> link_;
};

} // namespace acq
