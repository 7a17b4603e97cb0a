#pragma once

// The main window with fake services, and records made to measure, for the tests of the chart's
// window side.

#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "common/fakedialogs.h"
#include "common/windowpaths.h"
#include "common/fakehelp.h"
#include "platform/ticks.h"

class ChartWindowTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        const app::AppPaths p = testutil::pathsIn(dir.path());
        files::MainSettings s;
        s.loadHelpOnStart = 1;
        f = std::make_unique<app::TForm1>(app::Services{&dialogs, &help, &ticks}, p, s);
        f->resize(900, 600);
    }

    // Three channels; X counts up from 0 (mod 500), Y is -X, Z is 7; the pulse is high on every
    // 10th frame.
    void fillRecord(int frames, double periodUs = 312.5)
    {
        std::vector<char> bytes;
        for (int k = 0; k < frames; ++k) {
            const int x = k % 500;
            const std::uint16_t words[3] = {std::uint16_t(x), std::uint16_t(-x & 0x3FF),
                                            std::uint16_t(7 | (k % 10 == 0 ? 0x8000 : 0))};
            for (std::uint16_t w : words) {
                bytes.push_back(char(w & 0xFF));
                bytes.push_back(char(w >> 8));
            }
        }
        f->record.clearForTransfer(std::uint32_t(bytes.size()));
        f->record.appendReceived(bytes.data(), bytes.size());
        f->record.samplePeriodUs = periodUs;
        f->record.axisK = {2.0, 2.0, 2.0};
        f->record.axisC = {0.0, 0.0, 0.0};
        f->record.startTime = QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30));
    }

    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks{4242};
    std::unique_ptr<app::TForm1> f;
};
