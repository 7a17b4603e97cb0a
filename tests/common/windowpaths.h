#pragma once

#include <QString>

#include "app/apppaths.h"

namespace testutil {

// The paths of a portable copy whose executable sits in `folder`: every file the
// window keeps beside itself lands in the test's own temporary folder.
inline app::AppPaths pathsIn(const QString& folder)
{
    app::AppPaths p;
    p.exeFolder = p.appFolder = folder + QLatin1Char('/');
    p.helpFolder = folder + QStringLiteral("/accel3.help");
    p.settingsFile = p.appFolder + QStringLiteral("tremor.ini");
    p.scalesFile = p.appFolder + QStringLiteral("Scales.scl");
    p.spectrumSettingsFile = p.appFolder + QStringLiteral("app.ini");
    p.deviceFile = p.appFolder + QStringLiteral("device.ini");
    p.journalFolder = p.appFolder + QStringLiteral("runs");
    return p;
}

} // namespace testutil
