#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/filesizelimit.h"
#include "common/testutil.h"
#include "files/cp1251.h"
#include "files/mainsettings.h"
#include "platform/inifile.h"

using namespace files;

namespace {

MainSettings unusual()
{
    MainSettings s;
    s.height = 600;
    s.width = 901;
    s.left = -20;
    s.top = 33;
    s.timeUnits = 2;
    s.xyMode = 3;
    s.smoothWeight = 4096;
    s.timeStep = 50;
    s.samplesStep = 7;
    s.divider = 0;
    s.loadHelpOnStart = 1;
    s.channelColour = {0x0000FF, 0x00FF00, 0xFF0000};
    s.channelSelected = {false, true, false};
    s.modulusColour = 0x123456;
    s.pulseColour = 0xFFFFFF;
    s.sensitivity = 3;
    s.frequency = 9;
    s.samples = 26843546;
    s.pcOrMem = 1;
    s.externalStart = true;
    s.delay = 250;
    s.modulusShown = false;
    s.markShown = false;
    s.pulseShown = false;
    s.degreeOrTime = 0;
    return s;
}

} // namespace

TEST(MainSettings, EveryKeyRoundTripsInWindows1251)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tremor.ini"));
    writeMainSettingsFile(path, unusual());
    EXPECT_EQ(readMainSettingsFile(path), unusual());

    const QString text = fromCp1251(testutil::readAll(path));
    // Sections and keys by their exact names, booleans as 1 and 0.
    const char* expectedLines[] = {"[График сигнала]",
                                   "высота=600",
                                   "ширина=901",
                                   "слева=-20",
                                   "сверху=33",
                                   "[Окно F/T]",
                                   "Sensitivity=3",
                                   "F=9",
                                   "Samples=26843546",
                                   "PC or Mem=1",
                                   "StartMode=1",
                                   "Delay=250",
                                   "[Options]",
                                   "TimeUnits=2",
                                   "XYmode=3",
                                   "Smooth by scale=4096",
                                   "Load Help on Start=1",
                                   "Time Step=50",
                                   "Samples Step=7",
                                   "Divider=0",
                                   "[Series Color]",
                                   "Channel 1=255",
                                   "Channel 2=65280",
                                   "Channel 3=16711680",
                                   "Channel IaI=1193046",
                                   "Channel Pls=16777215",
                                   "[Series select]",
                                   "Channel 1=0",
                                   "Channel 2=1",
                                   "Channel 3=0",
                                   "[Module]",
                                   "Show=0",
                                   "[Mark]",
                                   "[Pls]",
                                   "Degree|Time=0"};
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r?\n")));
    for (const char* l : expectedLines)
        EXPECT_TRUE(lines.contains(QString::fromUtf8(l))) << l;
    EXPECT_TRUE(testutil::readAll(path).contains("[\xC3\xF0\xE0\xF4\xE8\xEA \xF1\xE8\xE3\xED\xE0\xEB\xE0]"))
        << "section names are Windows-1251 bytes";
    EXPECT_EQ(text.count(QStringLiteral("сверху=")), 1) << "the second write of the top edge is the same key";
}

TEST(MainSettings, ReadingFallsBackKeyByKey)
{
    struct Case {
        const char* what;
        QString text;
        std::function<void(MainSettings&)> expect;
    } cases[] = {
        {"no file", {}, [](MainSettings&) {}},
        {"hexadecimal and Delphi-style integers",
         QStringLiteral("[Series Color]\nChannel 2=0xFF\nChannel IaI=$10\n[Options]\nDivider=0x0\n"),
         [](MainSettings& s) {
             s.channelColour[1] = 255;
             s.modulusColour = 16;
             s.divider = 0;
         }},
        {"names without regard to letter case",
         QStringLiteral("[ГРАФИК СИГНАЛА]\nВЫСОТА=700\n[options]\ntimeunits=1\n"),
         [](MainSettings& s) {
             s.height = 700;
             s.timeUnits = 1;
         }},
        {"not a number keeps the default",
         QStringLiteral("[График сигнала]\nширина=wide\n[Pls]\nDegree|Time=0\n"),
         [](MainSettings& s) { s.degreeOrTime = 0; }},
        {"any non-zero integer is true",
         QStringLiteral("[Series select]\nChannel 1=0\nChannel 3=-5\n[Mark]\nShow=0\n"),
         [](MainSettings& s) {
             s.channelSelected[0] = false;
             s.markShown = false;
         }},
        // Out of range values are the controls' business, not the reader's.
        {"values out of range are read as they are", QStringLiteral("[Окно F/T]\nSamples=99999999\nF=12\n"),
         [](MainSettings& s) {
             s.samples = 99999999;
             s.frequency = 12;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tremor.ini"));
        if (!c.text.isEmpty()) {
            ASSERT_TRUE(testutil::writeAll(path, toCp1251(c.text)));
        }
        MainSettings expected;
        c.expect(expected);
        EXPECT_EQ(readMainSettingsFile(path), expected);
    }
    // The defaults given stand in for every missing key.
    QTemporaryDir dir;
    EXPECT_EQ(readMainSettingsFile(dir.filePath(QStringLiteral("none.ini")), unusual()), unusual());
}

TEST(MainSettings, AFailedWriteLeavesThePreviousFileWhole)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tremor.ini"));
    const QByteArray previous = toCp1251(QStringLiteral("; мои настройки\n[График сигнала]\nвысота=480\n"));
    ASSERT_TRUE(testutil::writeAll(path, previous));

    // The disk is full (a size limit, which holds for root as well): the new file cannot be had.
    {
        testutil::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        EXPECT_THROW(writeMainSettingsFile(path, unusual()), platform::IniWriteError);
    }
    EXPECT_EQ(testutil::readAll(path), previous);

    // The settings path is taken by a folder: nothing can replace it.
    const QString taken = dir.filePath(QStringLiteral("taken.ini"));
    ASSERT_TRUE(QDir().mkpath(taken + QStringLiteral("/inside")));
    EXPECT_THROW(writeMainSettingsFile(taken, unusual()), platform::IniWriteError);
    EXPECT_TRUE(QFileInfo(taken + QStringLiteral("/inside")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary copy is left";

    // A successful write keeps the comment and the keys it does not know.
    writeMainSettingsFile(path, unusual());
    const QString text = fromCp1251(testutil::readAll(path));
    EXPECT_TRUE(text.startsWith(QStringLiteral("; мои настройки")));
    EXPECT_EQ(QFileInfo(path).permissions() & QFile::ReadOther, QFile::ReadOther);
}
