#pragma once

// A main window for the files tests: fake dialogs and help, a tick counter that moves on by
// itself (so any device pause ends at once), and a fresh folder beside the "executable" that
// holds its settings and scales files.

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "common/fakedialogs.h"
#include "common/windowpaths.h"
#include "common/fakehelp.h"
#include "common/testutil.h"
#include "platform/ticks.h"
#include "files/ui/measurementfilesui.h"

class FilesWindowTest : public ::testing::Test {
  protected:
    // A scales file with factors other than 1 keeps the missing-scales notice away.
    static constexpr const char* kScales =
        "[factor]\nX=0.5\nY=0.25\nZ=2\n[Shift, ADC units]\nX=1\nY=2\nZ=3\n";

    std::unique_ptr<app::TForm1> make(files::MainSettings s = {}, const char* scales = kScales)
    {
        ticks.setAutoAdvance(1);
        s.loadHelpOnStart = 1;
        if (scales) {
            EXPECT_TRUE(testutil::writeAll(paths().scalesFile, QByteArray(scales)));
        }
        return std::make_unique<app::TForm1>(app::Services{&dialogs, &help, &ticks}, paths(), s);
    }

    app::AppPaths paths() const
    {
        const app::AppPaths p = testutil::pathsIn(dir.path());
        return p;
    }

    QString file(const QString& name) const { return dir.filePath(name); }

    // Sets the window's export choices from a case that names them as the tool's options do
    // (view, unit, comma, storeX, modulus, smooth), rebuilds the chart and shows every point, so
    // that a save exports the whole record; `full` is a series the record has.
    template <class Case>
    static void showForExport(app::TForm1& f, const Case& c, display::Series full)
    {
        f.chartPart->cbShowK->setCurrentIndex(c.view);
        f.chartPart->cbTimeunits->setCurrentIndex(c.unit);
        f.measurementFiles->cbDivider->setCurrentIndex(c.comma ? 0 : 1);
        f.measurementFiles->cbStoreX->setCurrentIndex(c.storeX ? 0 : 1);
        f.chartPart->Chart1->setSeriesShown(display::Series::IaI, c.modulus);
        if (c.smooth)
            f.chartPart->seSmooth->setValue(c.smooth);
        f.chartPart->cbSmooth->setChecked(c.smooth != 0);
        f.chartPart->ShowChart(nullptr);
        QCoreApplication::processEvents();
        f.chartPart->valuesForTests().firstVisibleIndex = 0;
        f.chartPart->valuesForTests().lastVisibleIndex = qint32(f.chartPart->Chart1->pointCount(full) - 1);
    }

    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks;
};
