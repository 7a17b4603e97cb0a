// The main window measuring through a real serial line: the board emulator on a pseudo-terminal,
// the serial backend behind the device library, and the window's own handlers. The emulator runs
// on the real clock, so the receive timer is fired by hand after real waits.

#include "acqwindow.h"
#include "boardsimprocess.h"
#include "common/testutil.h"
#include "scenecheck.h"

#include "acquisition/boardsearch.h"
#include "acquisition/deviceconfig.h"
#include "acquisition/devicelink.h"
#include "acquisition/serialline.h"
#include "acquisition/streambackend.h"
#include "files/runjournal.h"
#include "files/ui/scalesui.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

using app::TForm1;

namespace {

class SerialWindowTest : public AcqWindowTest {
  public:
    // readTimeoutMs is device.ini's ReadTimeoutMs; generous by default, as a loaded machine may
    // schedule the emulator late.
    std::unique_ptr<TForm1> makeOn(const QString& port, int readTimeoutMs = 500, std::uint32_t baud = 921600)
    {
        auto f = make();
        useSerialPort(*f, port, readTimeoutMs, baud);
        board = nullptr;
        // The window's start-up notices (no scales file here) come through the message loop.
        QTest::qWait(20);
        dialogs.messages.clear();
        return f;
    }

    // The start awaits its read-backs through the message loop.
    static void start(TForm1& f)
    {
        f.measurementRun->btStartClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f.measurementRun->starting(); }, 20000));
    }

    // Lets the message loop run the transfer (its timers, the line watch) until it has ended.
    static bool runToEnd(TForm1& f, int ms = 30000)
    {
        QSignalSpy ended(f.measurementRun.get(), &acq::MeasurementRun::transferEnded);
        return ended.wait(ms);
    }

    static void setUp(TForm1& f, std::array<bool, 3> channels, int frequencyIndex, int rangeIndex,
                      int samples, int target = 0, bool external = false)
    {
        for (int i = 0; i < 3; ++i)
            f.setupPanel->channelBoxes[std::size_t(i)]->setChecked(channels[std::size_t(i)]);
        f.setupPanel->cbF->setCurrentIndex(frequencyIndex);
        f.setupPanel->cbRange->setCurrentIndex(rangeIndex);
        f.setupPanel->rgMem->setItemIndex(target);
        f.setupPanel->cbExternalStart->setChecked(external);
        f.setupPanel->seDelayStart->setValue(0);
        f.setupPanel->seSamples->setValue(samples);
    }

    QString texts() const
    {
        QStringList t;
        for (const auto& m : dialogs.messages)
            t << m.text;
        return t.join(QLatin1Char('\n'));
    }

    // Fires the receive timer at its interval, as the message loop would, until it stops.
    static void pollUntilDone(TForm1& f, int maxPolls = 40)
    {
        for (int i = 0; i < maxPolls && f.measurementRun->timRx->isActive(); ++i) {
            QThread::msleep(std::uint32_t(std::min(f.measurementRun->timRx->interval(), 1000)));
            f.measurementRun->timRxTimer();
        }
        ASSERT_FALSE(f.measurementRun->timRx->isActive()) << "the transfer did not end";
    }
};

} // namespace

TEST_F(SerialWindowTest, StreamedRunAndRunToMemoryEndInTheEmulatorsScene)
{
    acq::SimScene scene;
    scene.seed = 3;
    BoardSimProcess sim({QStringLiteral("--Seed"), QStringLiteral("3"), QStringLiteral("--ContactOpenMs"),
                         QStringLiteral("300")});
    ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
    auto f = makeOn(sim.path());

    // 98,304 bytes: more than one read takes, so the run is polled several times.
    setUp(*f, {true, true, true}, 0, 0, 16384);
    start(*f);
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
    pollUntilDone(*f);
    ASSERT_EQ(f->record.sampleStream.size(), 98304u);
    expectScene(streamBytes(f->record.sampleStream), {true, true, true}, 3200, 0, scene);
    EXPECT_TRUE(f->chartPart->Chart1->isEnabled()) << "the chart was built";

    // To memory, started by the contact 300 ms after the command; then "Считать".
    setUp(*f, {true, false, true}, 2, 1, 400, 1, true);
    const QDateTime before = QDateTime::currentDateTime();
    start(*f);
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
    setUp(*f, {true, true, true}, 0, 0, 100, 1, true); // the header brings the recording's own
    QThread::msleep(300 + 500 + 300);
    f->measurementRun->btRdClick();
    ASSERT_TRUE(runToEnd(*f));
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
    EXPECT_FALSE(f->setupPanel->cbCh2->isChecked());
    EXPECT_EQ(f->setupPanel->cbF->currentIndex(), 2);
    EXPECT_EQ(f->setupPanel->cbRange->currentIndex(), 1);
    ASSERT_EQ(f->record.sampleStream.size(), 1600u);
    expectScene(streamBytes(f->record.sampleStream), {true, false, true}, 800, 1, scene);
    EXPECT_GE(f->record.startTime, before.addMSecs(300)) << "the contact's delay is applied";
    EXPECT_LE(f->record.startTime, after.addMSecs(300 + 100)) << "the start command went out before 'after'";
    EXPECT_TRUE(f->status->panelText(1).endsWith(QStringLiteral(" начало измерения")));
}

TEST_F(SerialWindowTest, BoardUnpluggedMidRunThenPluggedBackIn)
{
    const QString port = dir.filePath(QStringLiteral("ttyBoard"));
    auto sim = std::make_unique<BoardSimProcess>(
        QStringList{QStringLiteral("--link"), port, QStringLiteral("--exit-after"), QStringLiteral("20000")});
    ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
    auto f = makeOn(port);
    EXPECT_TRUE(f->linkIndicator->btUSB->toolTip().contains(port)) << "the operator sees which board is used";

    setUp(*f, {true, true, true}, 0, 0, 16384);
    start(*f);
    ASSERT_TRUE(runToEnd(*f));
    EXPECT_EQ(f->record.sampleStream.size(), 20000u - 7u)
        << "all that came after the device-ID probe at the open and the six read-backs";
    EXPECT_TRUE(f->chartPart->Chart1->isEnabled()) << "what arrived is charted";
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Передача прервана: принято 3332 из 16384 кадров (порт ")))
        << qPrintable(texts());
    EXPECT_TRUE(f->record.isPartial());
    EXPECT_TRUE(f->status->panelText(1).endsWith(QStringLiteral("неполная запись")));

    // A start that cannot reach the board leaves the record as the run made it.
    dialogs.messages.clear();
    const QByteArray samples = streamBytes(f->record.sampleStream);
    setUp(*f, {true, false, false}, 5, 2, 1000);
    f->btStartClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(
        dialogs.messages[0].text.startsWith(acq::sendFailedMessage(1, QStringLiteral("Запрет прерываний"))));
    EXPECT_TRUE(dialogs.messages[0].text.contains(port)) << qPrintable(texts());
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
    EXPECT_EQ(streamBytes(f->record.sampleStream), samples);
    EXPECT_EQ(f->record.channelLetters, QStringLiteral("XYZ"));
    EXPECT_DOUBLE_EQ(f->record.samplePeriodUs, 312.5);
    EXPECT_DOUBLE_EQ(f->record.axisK[0], f->record.baseAxisK[0]) << "still scaled to ±2 g";
    EXPECT_TRUE(f->record.isPartial());

    // The same adapter plugged in again: the next run works without restarting the program.
    dialogs.messages.clear();
    sim = std::make_unique<BoardSimProcess>(QStringList{QStringLiteral("--link"), port});
    ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
    setUp(*f, {true, true, true}, 0, 0, 320);
    start(*f);
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
    pollUntilDone(*f);
    ASSERT_EQ(f->record.sampleStream.size(), 1920u);
    EXPECT_FALSE(f->record.isPartial());
    expectScene(streamBytes(f->record.sampleStream), {true, true, true}, 3200, 0);
}

TEST_F(SerialWindowTest, AMissingPortIsNamedInTheProgramsOwnMessage)
{
    const QString port = dir.filePath(QStringLiteral("ttyUSB7"));
    auto f = makeOn(port);
    f->btStartClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const QString& m = dialogs.messages[0].text;
    EXPECT_TRUE(m.startsWith(acq::sendFailedMessage(1, QStringLiteral("Запрет прерываний"))));
    EXPECT_TRUE(m.contains(port) && m.contains(QStringLiteral("не найден"))) << qPrintable(m);
    EXPECT_TRUE(f->linkIndicator->btUSB->toolTip().startsWith(QStringLiteral("Подключить АЦП к компьютеру\n")))
        << "the button's own hint stays";
}

TEST_F(SerialWindowTest, ConnectionIndicatorTellsWhetherTheBoardAnswers)
{
    auto sim = std::make_unique<BoardSimProcess>();
    ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
    auto f = makeOn(sim->path());
    auto shows = [&](const QPixmap& glyph) {
        const QImage want = glyph.toImage();
        return f->linkIndicator->btUSB->icon().pixmap(glyph.size()).toImage().convertToFormat(want.format()) == want;
    };
    // As after a chart: the activity shown, the timer started by the paint.
    f->status->setPanelText(0, QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));
    f->linkIndicator->timCheckUSB->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(f->linkIndicator->imgUSBgreen); }, 10000)) << "a board that answers";
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));

    sim.reset(); // unplugged
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(f->linkIndicator->imgUSBred); }, 10000));
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("USB: связь отсутствует"));
    EXPECT_TRUE(f->linkIndicator->timCheckUSB->isActive()) << "it goes on asking while idle";
}

TEST_F(SerialWindowTest, AStreamedRunThatEndsOtherwiseThanAskedSaysHowAndKeepsOnlyRealFrames)
{
    struct Case {
        const char* what;
        QStringList args;
        int frequencyIndex;
        std::uint64_t keptBytes; // of 1000 frames of X, Y, Z asked; 0 with an unplug: some
        const char* message;     // how the one message begins
        bool partial;
    };
    const Case cases[] = {
        {"fewer frames than asked", {QStringLiteral("--stream-frames"), QStringLiteral("500")}, 0, 3000,
         "Передача прервана: принято 500 из 1000 кадров (плата перестала передавать данные).", true},
        {"more frames than asked", {QStringLiteral("--stream-frames"), QStringLiteral("1500")}, 0, 6000,
         "Плата передала больше данных, чем запрошено: сохранены запрошенные 1000 кадров", false},
        {"nothing at all", {QStringLiteral("--stream-frames"), QStringLiteral("0")}, 0, 0,
         "Плата не передала данные.", false},
        // 100 Hz: the first poll is due after 10.8 s; the unplug is told long before it.
        {"unplugged before the first poll", {QStringLiteral("--unplug-at"), QStringLiteral("800")}, 5, 0,
         "Передача прервана: принято ", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BoardSimProcess sim(c.args);
        ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
        auto f = makeOn(sim.path());
        setUp(*f, {true, true, true}, c.frequencyIndex, 0, 1000);
        // An earlier record on the chart, which must not stand for this run.
        f->record.sampleStream.append(QByteArray(600, '\x01'));
        f->chartPart->ShowChart(nullptr);
        ASSERT_GT(f->chartPart->Chart1->pointCount(display::Series::X), 0);

        start(*f);
        ASSERT_TRUE(runToEnd(*f, 6000)) << "the run did not end before its first poll";
        ASSERT_EQ(dialogs.messages.size(), 1u) << qPrintable(texts());
        EXPECT_TRUE(dialogs.messages[0].text.startsWith(QString::fromUtf8(c.message))) << qPrintable(texts());
        const QByteArray kept = streamBytes(f->record.sampleStream);
        if (c.keptBytes > 0) {
            EXPECT_EQ(std::uint64_t(kept.size()), c.keptBytes);
        } else if (c.partial) {
            EXPECT_TRUE(kept.size() > 0 && kept.size() < 6000 &&
                        dialogs.messages[0].text.contains(QStringLiteral("отключён")))
                << kept.size() << qPrintable(texts());
        }
        if (!kept.isEmpty())
            expectScene(kept, {true, true, true}, c.frequencyIndex == 0 ? 3200 : 100, 0);
        EXPECT_EQ(f->record.isPartial(), c.partial);
        EXPECT_EQ(f->status->panelText(1).endsWith(QStringLiteral("неполная запись")), c.partial);
        EXPECT_EQ(f->chartPart->Chart1->pointCount(display::Series::X) == 0, kept.isEmpty()) << "the chart is this run's";
        EXPECT_EQ(f->record.unsavableReason().isEmpty(), !kept.isEmpty()) << "no data, no file";
        dialogs.messages.clear();
    }
}

// A run that fits one read is polled only at its end: what has come before is taken in meanwhile
// and reaches the journal, so a crash does not lose it. The poll still decides how the run ended:
// bytes taken in since the last poll are no stop, and frames beyond those asked for are counted,
// not kept.
TEST_F(SerialWindowTest, AStreamedRunIsJournalledAsItArrivesNotOnlyAtItsPoll)
{
    struct Case {
        const char* what;
        int sentFrames; // of 1000 asked
        int polls;      // until the run ends
        const char* message;
    };
    const Case cases[] = {
        {"fewer frames than asked", 600, 2,
         "Передача прервана: принято 600 из 1000 кадров (плата перестала передавать данные)."},
        {"more frames than asked", 1500, 1,
         "Плата передала больше данных, чем запрошено: сохранены запрошенные 1000 кадров, лишние 3000 байт "
         "отброшены."},
    };
    const QString runs = dir.filePath(QStringLiteral("runs"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BoardSimProcess sim({QStringLiteral("--stream-frames"), QString::number(c.sentFrames)});
        ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
        auto f = makeOn(sim.path());
        setUp(*f, {true, true, true}, 0, 0, 1000);
        start(*f);
        f->measurementRun->timRx->start(3600000); // the test plays the poll
        const int kept = std::min(c.sentFrames, 1000);
        const std::size_t surplus = std::size_t(c.sentFrames - kept) * 6;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const auto j = files::listJournals(runs);
                return j.size() == 1 && j[0].frames() == kept &&
                       f->measurementRun->device().backend().pendingBytes() == surplus;
            },
            20000))
            << "all the board sent is in the journal before the poll";
        for (int poll = 1; poll < c.polls; ++poll) {
            f->measurementRun->timRxTimer();
            ASSERT_TRUE(f->measurementRun->timRx->isActive()) << "bytes came since the last poll";
        }
        f->measurementRun->timRxTimer();
        ASSERT_FALSE(f->measurementRun->timRx->isActive());
        ASSERT_EQ(dialogs.messages.size(), 1u) << qPrintable(texts());
        EXPECT_TRUE(dialogs.messages[0].text.startsWith(QString::fromUtf8(c.message))) << qPrintable(texts());
        EXPECT_EQ(std::uint64_t(f->record.sampleStream.size()), std::uint64_t(kept) * 6);
        const auto j = files::listJournals(runs);
        ASSERT_EQ(j.size(), 1u);
        EXPECT_TRUE(j[0].complete);
        EXPECT_EQ(j[0].frames(), kept);
        f.reset();
        dialogs.messages.clear();
        QDir(runs).removeRecursively();
    }
}

TEST_F(SerialWindowTest, AMemoryReadOverASlowOrShortLineIsWholeOrSaysWhatIsMissing)
{
    struct Case {
        const char* what;
        QStringList args;
        std::uint32_t baud;
        const char* message; // empty: the read is whole and quiet
    };
    const Case cases[] = {
        {"the last block holds only the bytes recorded", {QStringLiteral("--stored-bytes-only")}, 921600, ""},
        {"a line paced at 230400 bit/s", {QStringLiteral("--baud"), QStringLiteral("230400")}, 230400, ""},
        {"blocks answered 2 s late", {QStringLiteral("--block-delay"), QStringLiteral("2000")}, 921600, ""},
        {"nothing recorded", {QStringLiteral("--empty-memory")}, 921600,
         "Не удалось считать FRAM: плата не прислала записи после 3 запросов."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BoardSimProcess sim(c.args);
        ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
        auto f = makeOn(sim.path(), 100, c.baud);
        // 6000 frames of X, Y, Z: a full block 0 and 3238 bytes of block 1.
        setUp(*f, {true, true, true}, 0, 0, 6000, 1);
        start(*f);
        ASSERT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
        QThread::msleep(6000 * 1000 / 3200 + 300);
        f->measurementRun->btRdClick();
        ASSERT_TRUE(runToEnd(*f));
        EXPECT_TRUE(*c.message ? texts().startsWith(QString::fromUtf8(c.message)) : texts().isEmpty())
            << qPrintable(texts());
        if (*c.message == 0) {
            ASSERT_EQ(f->record.sampleStream.size(), 36000u);
            expectScene(streamBytes(f->record.sampleStream), {true, true, true}, 3200, 0);
            EXPECT_FALSE(f->record.isPartial());
        }
        EXPECT_FALSE(f->measurementRun->timRx->isActive());
        dialogs.messages.clear();
    }
}

TEST_F(SerialWindowTest, ReadBacksAreAwaitedThroughTheMessageLoopAndLateRepliesNeverBecomeSamples)
{
    {
        SCOPED_TRACE("a board answering within ReadTimeoutMs");
        BoardSimProcess sim({QStringLiteral("--register-delay"), QStringLiteral("300")});
        ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
        auto f = makeOn(sim.path(), 900);
        setUp(*f, {true, true, true}, 0, 0, 320);
        f->measurementRun->btStartClick();
        EXPECT_TRUE(f->measurementRun->starting() && !f->measurementRun->timRx->isActive())
            << "the window waited for the read-backs instead of the message loop";
        start(*f); // a second press restarts the sequence
        EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
        ASSERT_TRUE(runToEnd(*f));
        ASSERT_EQ(f->record.sampleStream.size(), 1920u);
        expectScene(streamBytes(f->record.sampleStream), {true, true, true}, 3200, 0);

        // A start pressed while the connection check awaits its reply (as late as a read-back's)
        // begins once that reply is in: taken for the first read-back, it would fail the start.
        f->linkIndicator->checkNow();
        ASSERT_TRUE(f->measurementRun->checkingLink());
        f->measurementRun->btStartClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return f->measurementRun->starting(); }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f->measurementRun->starting(); }, 20000));
        EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
        ASSERT_TRUE(runToEnd(*f));
    }
    {
        SCOPED_TRACE("a board answering later than ReadTimeoutMs");
        BoardSimProcess sim({QStringLiteral("--register-delay"), QStringLiteral("2500")});
        ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
        auto f = makeOn(sim.path(), 300);
        f->record.sampleStream.append(QByteArray("earlier"));
        setUp(*f, {true, true, true}, 0, 0, 320);
        start(*f);
        ASSERT_EQ(dialogs.messages.size(), 1u) << qPrintable(texts());
        EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("ReadTimeoutMs")) &&
                    dialogs.messages[0].text.contains(QStringLiteral("Измерение не запущено")))
            << qPrintable(texts());
        EXPECT_FALSE(f->measurementRun->timRx->isActive());
        EXPECT_EQ(streamBytes(f->record.sampleStream), QByteArray("earlier"));
    }
}

TEST_F(SerialWindowTest, AZeroBalancingOverALineMeasuresAndPutsTheOperatorsSetUpBack)
{
    struct Case {
        const char* what;
        QStringList args;
        bool captured;
    } cases[] = {
        {"a start whose read-backs do not come",
         {QStringLiteral("--register-delay"), QStringLiteral("2500")},
         false},
        {"the board at rest", {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Z reads 150 units at rest, X and Y nothing.
        BoardSimProcess sim(c.args + QStringList{QStringLiteral("--GravityG"), QStringLiteral("0.5859375"),
                                                 QStringLiteral("--TremorG"), QStringLiteral("0"),
                                                 QStringLiteral("--VibrationG"), QStringLiteral("0"),
                                                 QStringLiteral("--NoiseG"), QStringLiteral("0")});
        ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
        auto f = makeOn(sim.path());
        setUp(*f, {false, true, true}, 2, 1, 16384);
        f->setupPanel->timeFromSamples();
        const files::MainSettings stored = f->collectSettings();
        const int timeMs = f->setupPanel->seTime->value();

        f->scales->btZerosClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !f->scales->capturePending(); }, 30000));
        QTest::qWait(50);

        EXPECT_TRUE(f->collectSettings() == stored);
        EXPECT_EQ(f->setupPanel->seTime->value(), timeMs);
        EXPECT_FALSE(f->measurementRun->busy());
        if (!c.captured) {
            EXPECT_EQ(f->scales->levelText(2), QStringLiteral("Z=0"));
            EXPECT_FALSE(QFile::exists(testutil::pathsIn(dir.path()).scalesFile));
            continue;
        }
        EXPECT_EQ(f->scales->levelText(0), QStringLiteral("X=0"));
        EXPECT_EQ(f->scales->levelText(2), QStringLiteral("Z=150"));
        EXPECT_EQ(f->record.baseAxisC[2], 150.0) << "written to the scales file and read back";
        // The run's record keeps the operator's channels, as the chart frames and a save writes it.
        EXPECT_EQ(f->chartPart->values().channelMask, 6);
        EXPECT_EQ(f->record.channelLetters, QStringLiteral("YZ"));
        ASSERT_EQ(f->record.sampleStream.size(), 2500u * 4);
        const acq::FrameDecoder frames(f->record.sampleStream, {false, true, true});
        for (const std::int64_t k : {std::int64_t(0), frames.frameCount() - 1})
            EXPECT_EQ(frames.frame(k).samples, (std::array<int, 3>{0, 150, 0})) << k;
    }
}

TEST_F(SerialWindowTest, NothingConfiguredAndNoBoardFoundMeansNoMeasurement)
{
    // The program as started with no device.ini choice and no variable, on a machine whose
    // search finds nothing (a port that stays silent).
    testutil::writeAll(dir.filePath(QStringLiteral("device.ini")),
                       "[Device]\r\nSearchPorts=" + dir.filePath(QStringLiteral("ttyNone*")).toUtf8() +
                           "\r\n");
    const QByteArray was = qgetenv(acq::kDeviceEnvironmentVariable);
    qunsetenv(acq::kDeviceEnvironmentVariable);
    ticks.setAutoAdvance(1);
    auto f = std::make_unique<TForm1>(app::Services{&dialogs, &help, &ticks}, testutil::pathsIn(dir.path()));
    qputenv(acq::kDeviceEnvironmentVariable, was);
    QTest::qWait(20);
    dialogs.messages.clear();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return dynamic_cast<const acq::BoardSearch&>(f->measurementRun->device().backend()).finished();
        },
        10000));

    f->btStartClick();
    ASSERT_EQ(dialogs.messages.size(), 1u) << qPrintable(texts());
    EXPECT_EQ(dialogs.messages[0].text, acq::sendFailedMessage(1, QStringLiteral("Запрет прерываний")) +
                                            QStringLiteral("\n\n") + QString::fromUtf8(acq::kNoBoardHint));
    EXPECT_TRUE(f->record.sampleStream.isEmpty()) << "no made-up signal";
    EXPECT_FALSE(f->windowTitle().contains(QStringLiteral("имитатор")));
    f->linkIndicator->checkNow();
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("USB: связь отсутствует"));
    // Every later try is told as well, whatever the idle checks did meanwhile.
    QTest::qWait(1100);
    f->btStartClick();
    f->measurementRun->btRdClick();
    EXPECT_EQ(dialogs.messages.size(), 3u) << qPrintable(texts());
}
