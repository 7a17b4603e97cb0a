#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/apppaths.h"

TEST(AppPaths, DataFolderFollowsWritability)
{
    struct Case {
        QString exe;
        bool writable;
        QString config;
        QString expected;
    };
    const Case cases[] = {
        {"/opt/accel3/bin", true, "/home/u/.config/accel3", "/opt/accel3/bin/"},
        {"/opt/accel3/bin/", false, "/home/u/.config/accel3", "/home/u/.config/accel3/"},
        // Without a configuration folder the executable's folder is the only choice.
        {"/usr/bin", false, "", "/usr/bin/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::chooseDataFolder(c.exe, c.writable, c.config), c.expected) << qPrintable(c.exe);
}

TEST(AppPaths, PortableCopyKeepsItsFilesBesideTheExecutable)
{
    QTemporaryDir dir;
    const auto p = app::resolvePaths(dir.filePath("accel3"), dir.filePath("config"));
    const QString folder = dir.path() + QLatin1Char('/');
    EXPECT_EQ(p.appFolder, folder);
    EXPECT_EQ(p.settingsFile, folder + "tremor.ini");
    EXPECT_EQ(p.scalesFile, folder + "Scales.scl");
    EXPECT_EQ(p.spectrumSettingsFile, folder + "app.ini");
    EXPECT_EQ(p.helpFolder, folder + "accel3.help");
    EXPECT_FALSE(QDir(dir.filePath("config")).exists()) << "nothing is created elsewhere";
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "the probe leaves nothing";
}

TEST(AppPaths, MissingFolderIsNotWritable)
{
    QTemporaryDir dir;
    EXPECT_TRUE(app::folderIsWritable(dir.path()));
    EXPECT_FALSE(app::folderIsWritable(dir.filePath("missing")));
}
