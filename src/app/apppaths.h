#pragma once

#include <QString>

namespace app {

// Where the program finds its help and keeps the files that live "beside the
// executable" (tremor.ini, app.ini, Scales.scl).
struct AppPaths {
    QString exeFolder;    // the executable's folder, with a trailing '/'
    QString appFolder;    // where the settings and scales files live, with a trailing '/'
    QString helpFolder;   // the help pages: the executable's path with ".help" in place of its extension
    QString settingsFile; // appFolder + "tremor.ini"
    QString scalesFile;   // appFolder + "Scales.scl"
    QString spectrumSettingsFile; // appFolder + "app.ini"
};

// A portable copy (build tree, a copied folder) keeps its files beside the
// executable; a system-wide install, whose folder the user cannot write, keeps
// them in the user's configuration folder instead.
QString chooseDataFolder(const QString& exeFolder, bool exeFolderWritable, const QString& userConfigFolder);

// True when a file can actually be created in the folder (permission bits alone
// say nothing about read-only mounts).
bool folderIsWritable(const QString& folder);

QString withTrailingSlash(const QString& folder);

AppPaths resolvePaths(const QString& exePath, const QString& userConfigFolder);

} // namespace app
