#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include "files/cp1251.h"
#include "files/ui/settingsui.h"
#include "filesfixture.h"
#include "platform/inifile.h"

TEST_F(FilesWindowTest, ClosingWritesEveryKeyAndTheNextStartRestoresThem)
{
    files::MainSettings chosen;
    chosen.height = 600;
    chosen.width = 900;
    chosen.left = 30;
    chosen.top = 40;
    chosen.timeUnits = 2;
    chosen.xyMode = 3;
    chosen.smoothWeight = 99;
    chosen.timeStep = 5;
    chosen.samplesStep = 6;
    chosen.divider = 0;
    chosen.loadHelpOnStart = 1;
    chosen.channelColour = {0x0000FF, 0x00FF00, 0xFF0000};
    chosen.channelSelected = {true, false, true};
    chosen.modulusColour = 0x123456;
    chosen.pulseColour = 0x654321;
    chosen.sensitivity = 2;
    chosen.frequency = 5;
    chosen.samples = 1000;
    chosen.pcOrMem = 0;
    chosen.externalStart = false;
    chosen.delay = 17;
    chosen.modulusShown = false;
    chosen.markShown = true;
    chosen.pulseShown = false;
    chosen.degreeOrTime = 0;
    chosen.fitValuesToVisible = true;
    chosen.pulseStrip = true;
    chosen.markerTableShown = false;
    chosen.markerTableRight = 120;
    chosen.markerTableTop = 30;

    // The first run comes up with these values and leaves them in the file when it closes.
    auto first = make(chosen);
    const files::MainSettings shown = first->collectSettings();
    // The chart's view choices and the marker table's place are the operator's, not the defaults.
    EXPECT_TRUE(shown.fitValuesToVisible && shown.pulseStrip && !shown.markerTableShown);
    EXPECT_EQ(QPoint(shown.markerTableRight, shown.markerTableTop), QPoint(120, 30));
    first->close();
    ASSERT_TRUE(QFile::exists(paths().settingsFile));
    EXPECT_EQ(files::readMainSettingsFile(paths().settingsFile), shown);

    const QString text = files::fromCp1251(testutil::readAll(paths().settingsFile));
    for (const char* key : {"высота=",
                            "ширина=",
                            "слева=",
                            "сверху=",
                            "TimeUnits=",
                            "XYmode=",
                            "Smooth by scale=",
                            "Time Step=",
                            "Samples Step=",
                            "Divider=",
                            "Load Help on Start=",
                            "Channel 1=",
                            "Channel 2=",
                            "Channel 3=",
                            "Channel IaI=",
                            "Channel Pls=",
                            "Sensitivity=",
                            "F=",
                            "Samples=",
                            "PC or Mem=",
                            "StartMode=0",
                            "Delay=",
                            "Show=0",
                            "Show=1",
                            "Degree|Time="})
        EXPECT_TRUE(text.contains(QString::fromUtf8(key))) << key;

    // The second run starts from the file alone and shows what the first one had.
    auto second = make();
    EXPECT_EQ(second->collectSettings(), shown);
}

TEST_F(FilesWindowTest, StartingFromTheFileIsStartingWithItsValues)
{
    // Whatever the rules of the controls make of a stored value, they make the same of it read
    // from the file as of it given directly.
    struct Case {
        const char* what;
        const char* ini;
        std::function<void(files::MainSettings&)> same;
    } cases[] = {
        {"no channel selected", "[Series select]\nChannel 1=0\nChannel 2=0\nChannel 3=0\n",
         [](files::MainSettings& s) {
             s.channelSelected = {false, false, false};
         }},
        {"board memory with many samples", "[Окно F/T]\nPC or Mem=1\nSamples=200000\n",
         [](files::MainSettings& s) {
             s.pcOrMem = 1;
             s.samples = 200000;
         }},
        {"indices outside their lists",
         "[Options]\nTimeUnits=9\nDivider=-1\nXYmode=4\n[Окно F/T]\nF=10\n[Pls]\nDegree|Time=5\n",
         [](files::MainSettings& s) {
             s.timeUnits = 9;
             s.divider = -1;
             s.xyMode = 4;
             s.frequency = 10;
             s.degreeOrTime = 5;
         }},
        {"spin values beyond their bounds", "[Options]\nSmooth by scale=1\n[Окно F/T]\nDelay=999\n",
         [](files::MainSettings& s) {
             s.smoothWeight = 1;
             s.delay = 999;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        files::MainSettings direct;
        c.same(direct);
        QFile::remove(paths().settingsFile);
        auto expected = make(direct);
        const files::MainSettings want = expected->collectSettings();
        ASSERT_TRUE(testutil::writeAll(paths().settingsFile, files::toCp1251(QString::fromUtf8(c.ini))));
        auto fromFile = make();
        EXPECT_EQ(fromFile->collectSettings(), want);
    }
    // No list is ever left without an item.
    auto f = make();
    for (QComboBox* list : {f->chartPart->cbTimeunits, f->chartPart->cbShowK, f->measurementFiles->cbDivider, f->cbHelp, f->setupPanel->cbRange, f->setupPanel->cbF})
        EXPECT_GE(list->currentIndex(), 0) << list->objectName().toStdString();
}

TEST_F(FilesWindowTest, AFailedSettingsWriteStillClosesTheWindow)
{
    auto f = make();
    ASSERT_TRUE(QDir().mkpath(paths().settingsFile + QStringLiteral("/x")));
    QSignalSpy closed(f.get(), &app::TForm1::closed);
    f->close();
    EXPECT_EQ(closed.count(), 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].standardError);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Unable to write to ") + paths().settingsFile + QStringLiteral(": ")));
    EXPECT_TRUE(QFileInfo(paths().settingsFile + QStringLiteral("/x")).isDir());
}

// A settings file too large to read: the operator is told, the defaults apply, and closing keeps
// the file unless the operator changed something.
TEST_F(FilesWindowTest, ASettingsFileTooLargeToReadIsLeftAloneUnlessSomethingChanged)
{
    QByteArray big = "[Options]\r\nSmooth by scale=77\r\n";
    while (big.size() <= platform::kMaxIniFileBytes)
        big += "; " + QByteArray(78, 'x') + "\r\n";
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "changed" : "unchanged");
        ASSERT_TRUE(testutil::writeAll(paths().settingsFile, big));
        dialogs.messages.clear();
        auto f = make();
        QCoreApplication::processEvents();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, platform::iniTooLargeMessage(paths().settingsFile));
        EXPECT_EQ(f->chartPart->seSmooth->value(), 8) << "not read: the default";
        if (changed)
            f->chartPart->seSmooth->setValue(20);
        f->close();
        const QByteArray after = testutil::readAll(paths().settingsFile);
        if (changed) {
            EXPECT_LT(after.size(), 4096);
            EXPECT_TRUE(after.contains("Smooth by scale=20"));
        } else {
            EXPECT_EQ(after, big);
        }
    }
}
