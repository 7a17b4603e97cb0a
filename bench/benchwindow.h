#pragma once

// The main window the benchmarks open files in, made once: no dialogs, the real clock, its
// settings and scales files in a temporary folder, 1600 × 900.

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include "app/ui/mainwindow.h"
#include "platform/ticks.h"

namespace bench {

inline app::TForm1& window()
{
    struct Window {
        QTemporaryDir dir;
        platform::SystemTicks ticks;
        std::unique_ptr<app::TForm1> form;
    };
    static Window w;
    if (!w.form) {
        const QString folder = w.dir.path() + QLatin1Char('/');
        app::AppPaths p;
        p.exeFolder = p.appFolder = folder;
        p.helpFolder = folder + QStringLiteral("accel3.help");
        p.settingsFile = folder + QStringLiteral("tremor.ini");
        p.scalesFile = folder + QStringLiteral("Scales.scl");
        p.spectrumSettingsFile = folder + QStringLiteral("app.ini");
        QFile scales(p.scalesFile);
        if (scales.open(QIODevice::WriteOnly))
            scales.write("[factor]\nX=3.8\nY=3.8\nZ=3.8\n");
        w.form = std::make_unique<app::TForm1>(app::Services{nullptr, nullptr, &w.ticks}, p);
        w.form->resize(1600, 900);
        // The window goes while the application is still there: left to the end of the program,
        // a window that was shown is destroyed after its platform and crashes the exit.
        qAddPostRoutine([] { w.form.reset(); });
    }
    return *w.form;
}

} // namespace bench
