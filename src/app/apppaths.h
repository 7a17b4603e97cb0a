#pragma once

#include <QString>

namespace app {

// Where the program finds its help and keeps the files that live "beside the
// executable" (tremor.ini, app.ini, Scales.scl).
struct AppPaths {
    QString exeFolder;    // the executable's folder, with a trailing '/'
    QString appFolder;    // where the settings and scales files live, with a trailing '/'
    // The shipped files of an installed tree (bin/accel3 beside share/accel3/), with a
    // trailing '/'; empty for a portable copy.
    QString sharedFolder;
    // The help pages: share/accel3/help in an installed tree, else the executable's path
    // with ".help" in place of its extension.
    QString helpFolder;
    QString settingsFile; // appFolder + "tremor.ini"
    QString scalesFile;   // appFolder + "Scales.scl"
    QString spectrumSettingsFile; // appFolder + "app.ini"
    // The board's configuration: appFolder + "device.ini" in an installed tree or when it
    // exists there, else beside the executable.
    QString deviceFile;
    // Where runs are journalled as they arrive (see files/runjournal.h).
    QString journalFolder;
};

// A portable copy (build tree, a copied folder) keeps its files beside the
// executable; a system-wide install, whose folder the user cannot write, keeps
// them in the user's configuration folder instead.
QString chooseDataFolder(const QString& exeFolder, bool exeFolderWritable, const QString& userConfigFolder);

// True when a file can actually be created in the folder (permission bits alone
// say nothing about read-only mounts).
bool folderIsWritable(const QString& folder);

QString withTrailingSlash(const QString& folder);

// The share/accel3/ folder that an installation puts beside bin/, or empty when the
// executable does not sit in such a tree.
QString installedSharedFolder(const QString& exeFolder);

// The user's own folder for this program: $XDG_CONFIG_HOME/accel3 (~/.config/accel3).
QString userConfigFolder();

// An installed program keeps its settings in the user's configuration folder even when
// its bin/ can be written (an install into the home folder): several users, or a
// reinstall, must not share or lose them. A portable copy keeps them beside itself
// while it can write there. On the first start of an installed program the shipped
// calibration file is copied into that folder, since the zero balancing writes into it.
AppPaths resolvePaths(const QString& exePath, const QString& userConfigFolder);

} // namespace app
