#include "app/apppaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "files/runjournal.h"
#include "files/savefile.h"

namespace app {

QString withTrailingSlash(const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

QString chooseDataFolder(const QString& exeFolder, bool exeFolderWritable, const QString& userConfigFolder)
{
    if (exeFolderWritable || userConfigFolder.isEmpty())
        return withTrailingSlash(exeFolder);
    return withTrailingSlash(userConfigFolder);
}

bool folderIsWritable(const QString& folder)
{
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(withTrailingSlash(folder) + QStringLiteral(".accel3-probe-XXXXXX"));
    return probe.open();
}

QString installedSharedFolder(const QString& exeFolder)
{
    const QDir exeDir(exeFolder);
    if (exeDir.dirName() != QLatin1String("bin"))
        return {};
    const QString shared = QDir::cleanPath(exeDir.absoluteFilePath(QStringLiteral("../share/accel3")));
    return QFileInfo(shared).isDir() ? withTrailingSlash(shared) : QString();
}

QString userConfigFolder()
{
    // Not AppConfigLocation: with an organisation name set that would be accel3/accel3.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return base.isEmpty() ? QString() : withTrailingSlash(base) + QStringLiteral("accel3");
}

namespace {

void copyShippedFileIfMissing(const QString& shipped, const QString& target)
{
    if (QFileInfo::exists(target) || !QFileInfo(shipped).isFile())
        return;
    QFile source(shipped);
    if (!source.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = source.readAll();
    // A failed copy is not reported here: the scales reader reports the missing file
    // in its own words, as for any other missing calibration.
    files::saveAtomically(target, [&](QIODevice& out) { return out.write(bytes) == bytes.size(); });
}

} // namespace

AppPaths resolvePaths(const QString& exePath, const QString& userConfigFolder)
{
    const QFileInfo exe(exePath);
    AppPaths p;
    p.exeFolder = withTrailingSlash(exe.absolutePath());
    p.sharedFolder = installedSharedFolder(p.exeFolder);
    const bool installed = !p.sharedFolder.isEmpty();
    const bool writable = !installed && folderIsWritable(p.exeFolder);
    p.appFolder = chooseDataFolder(p.exeFolder, writable, userConfigFolder);
    if (p.appFolder != p.exeFolder)
        QDir().mkpath(p.appFolder);
    const QString base = exe.suffix().isEmpty() ? exe.fileName() : exe.completeBaseName();
    p.helpFolder = installed ? p.sharedFolder + QStringLiteral("help") : p.exeFolder + base + QStringLiteral(".help");
    p.settingsFile = p.appFolder + QStringLiteral("tremor.ini");
    p.scalesFile = p.appFolder + QStringLiteral("Scales.scl");
    p.spectrumSettingsFile = p.appFolder + QStringLiteral("app.ini");
    p.deviceFile = p.appFolder + QStringLiteral("device.ini");
    if (!installed && !QFileInfo::exists(p.deviceFile))
        p.deviceFile = p.exeFolder + QStringLiteral("device.ini");
    // A portable copy keeps its runs beside itself too; otherwise they go to the user's state folder.
    p.journalFolder = files::journalFolder(p.appFolder == p.exeFolder ? p.appFolder : QString());
    if (installed && p.appFolder != p.exeFolder)
        copyShippedFileIfMissing(p.sharedFolder + QStringLiteral("Scales.scl"), p.scalesFile);
    return p;
}

} // namespace app
