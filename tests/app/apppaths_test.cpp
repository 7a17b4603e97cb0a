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
    EXPECT_EQ(p.deviceFile, folder + "device.ini");
    EXPECT_EQ(p.journalFolder, folder + "runs");
    EXPECT_FALSE(QDir(dir.filePath("config")).exists()) << "nothing is created elsewhere";
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "the probe leaves nothing";
}

TEST(AppPaths, MissingFolderIsNotWritable)
{
    QTemporaryDir dir;
    EXPECT_TRUE(app::folderIsWritable(dir.path()));
    EXPECT_FALSE(app::folderIsWritable(dir.filePath("missing")));
}

// An installed tree (bin/ beside share/accel3/): help from share/accel3/help, settings in the
// user's folder even though this bin/ can be written, and the shipped calibration copied there
// once, never over the user's own.
TEST(AppPaths, InstalledTreeKeepsSettingsInTheUserFolder)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath("usr");
    ASSERT_TRUE(QDir().mkpath(prefix + "/bin"));
    ASSERT_TRUE(QDir().mkpath(prefix + "/share/accel3/help"));
    QFile shipped(prefix + "/share/accel3/Scales.scl");
    ASSERT_TRUE(shipped.open(QIODevice::WriteOnly));
    shipped.write("shipped\r\n");
    shipped.close();
    const QString config = dir.filePath("home/.config/accel3");

    const auto p = app::resolvePaths(prefix + "/bin/accel3", config);
    EXPECT_EQ(p.appFolder, config + "/");
    EXPECT_EQ(p.settingsFile, config + "/tremor.ini");
    EXPECT_EQ(p.helpFolder, prefix + "/share/accel3/help");
    EXPECT_EQ(p.deviceFile, config + "/device.ini");
    EXPECT_TRUE(p.journalFolder.endsWith("/accel3/runs") && !p.journalFolder.startsWith(prefix))
        << qPrintable(p.journalFolder);
    QFile copied(p.scalesFile);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), "shipped\r\n");
    copied.close();
    EXPECT_TRUE(QDir(prefix + "/bin").entryList(QDir::Files | QDir::Hidden).isEmpty()) << "nothing beside the program";

    // The zero balancing has written the user's own shifts: a later start keeps them.
    ASSERT_TRUE(copied.open(QIODevice::WriteOnly | QIODevice::Truncate));
    copied.write("own\r\n");
    copied.close();
    app::resolvePaths(prefix + "/bin/accel3", config);
    ASSERT_TRUE(copied.open(QIODevice::ReadOnly));
    EXPECT_EQ(copied.readAll(), "own\r\n");
}

TEST(AppPaths, UserFolderFollowsXdgConfigHome)
{
    QTemporaryDir dir;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    const QString folder = app::userConfigFolder();
    if (old.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", old);
    EXPECT_EQ(folder, dir.path() + "/accel3");
}
