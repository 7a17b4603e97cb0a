#pragma once

// A main window for acquisition tests: fake dialogs and help, a tick counter that moves on by
// itself (as the real one does, so the link's 4 ms pauses end) and can be moved on by hand
// between polls, and a fresh simulated board behind the device library.

#include "acquisition/serialline.h"
#include "acquisition/simulatedboard.h"
#include "acquisition/streambackend.h"
#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "common/fakedialogs.h"
#include "common/windowpaths.h"
#include "common/fakehelp.h"
#include "platform/ticks.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

// The window's board behind a serial port (the emulator's terminal). readTimeoutMs is device.ini's
// ReadTimeoutMs; the waits are generous for an emulator that a loaded machine schedules late.
inline void useSerialPort(app::TForm1& f, const QString& port, int readTimeoutMs = 500, std::uint32_t baud = 921600)
{
    acq::SerialSettings s;
    s.port = port;
    s.probeWait = std::chrono::seconds(4);
    acq::StreamOptions o;
    o.openWait = std::chrono::seconds(5);
    o.firstByteWait = std::chrono::milliseconds(readTimeoutMs);
    o.bytesPerSecond = baud / 10;
    f.measurementRun->setBackend(std::make_unique<acq::StreamBackend>(std::make_unique<acq::SerialOpener>(s), o));
}

class AcqWindowTest : public ::testing::Test {
  public:
    std::unique_ptr<app::TForm1> make(files::MainSettings s = {})
    {
        ticks.setAutoAdvance(1);
        s.loadHelpOnStart = 1;
        const app::AppPaths p = testutil::pathsIn(dir.path());
        auto f = std::make_unique<app::TForm1>(app::Services{&dialogs, &help, &ticks}, p, s);
        auto b = std::make_unique<acq::SimulatedBoard>(ticks, boardSettings);
        board = b.get();
        f->measurementRun->device().setBackend(std::move(b));
        dialogs.messages.clear();
        return f;
    }

    // Shown and active, so that focus works as it does for the operator.
    static void showActive(app::TForm1& f)
    {
        f.show();
        f.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    }

    static void focus(QWidget* w)
    {
        w->setFocus();
        ASSERT_TRUE(w->hasFocus()) << qPrintable(w->objectName());
    }

    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks{100000};
    acq::SimulatedBoard::Settings boardSettings;
    acq::SimulatedBoard* board = nullptr;
};
