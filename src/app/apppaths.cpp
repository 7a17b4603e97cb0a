#include "app/apppaths.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

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

AppPaths resolvePaths(const QString& exePath, const QString& userConfigFolder)
{
    const QFileInfo exe(exePath);
    AppPaths p;
    p.exeFolder = withTrailingSlash(exe.absolutePath());
    const bool writable = folderIsWritable(p.exeFolder);
    p.appFolder = chooseDataFolder(p.exeFolder, writable, userConfigFolder);
    if (p.appFolder != p.exeFolder)
        QDir().mkpath(p.appFolder);
    const QString base = exe.suffix().isEmpty() ? exe.fileName() : exe.completeBaseName();
    p.helpFolder = p.exeFolder + base + QStringLiteral(".help");
    p.settingsFile = p.appFolder + QStringLiteral("tremor.ini");
    p.scalesFile = p.appFolder + QStringLiteral("Scales.scl");
    p.spectrumSettingsFile = p.appFolder + QStringLiteral("app.ini");
    return p;
}

} // namespace app
