// The main window measuring through a real serial line: the board emulator on a pseudo-terminal,
// the serial backend behind the device library, and the window's own handlers. The emulator runs
// on the real clock, so the receive timer is fired by hand after real waits.

#include "acqwindow.h"
#include "boardsimprocess.h"
#include "scenecheck.h"

#include "acquisition/devicelink.h"
#include "acquisition/serialline.h"
#include "acquisition/streambackend.h"

#include <QTest>
#include <QThread>

using app::TForm1;

namespace {

class SerialWindowTest : public AcqWindowTest {
  public:
    std::unique_ptr<TForm1> makeOn(const QString& port)
    {
        auto f = make();
        acq::SerialSettings s;
        s.port = port;
        // Generous for an emulator that a loaded machine schedules late.
        s.probeWait = std::chrono::seconds(2);
        acq::StreamOptions options;
        options.openWait = std::chrono::seconds(5);
        f->measurementRun->setBackend(
            std::make_unique<acq::StreamBackend>(std::make_unique<acq::SerialOpener>(s), options));
        board = nullptr;
        return f;
    }

    static void setUp(TForm1& f, std::array<bool, 3> channels, int frequencyIndex, int rangeIndex,
                      int samples, int target = 0, bool external = false)
    {
        for (int i = 0; i < 3; ++i)
            f.channelBoxes[std::size_t(i)]->setChecked(channels[std::size_t(i)]);
        f.cbF->setCurrentIndex(frequencyIndex);
        f.cbRange->setCurrentIndex(rangeIndex);
        f.rgMem->setItemIndex(target);
        f.cbExternalStart->setChecked(external);
        f.seDelayStart->setValue(0);
        f.seSamples->setValue(samples);
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
        for (int i = 0; i < maxPolls && f.timRx->isActive(); ++i) {
            QThread::msleep(std::uint32_t(std::min(f.timRx->interval(), 1000)));
            f.measurementRun->timRxTimer();
        }
        ASSERT_FALSE(f.timRx->isActive()) << "the transfer did not end";
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
    f->btStartClick();
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
    pollUntilDone(*f);
    ASSERT_EQ(f->record.sampleStream.size(), 98304u);
    expectScene(streamBytes(f->record.sampleStream), {true, true, true}, 3200, 0, scene);
    EXPECT_TRUE(f->Chart1->isEnabled()) << "the chart was built";

    // To memory, started by the contact 300 ms after the command; then "Считать".
    setUp(*f, {true, false, true}, 2, 1, 400, 1, true);
    const QDateTime before = QDateTime::currentDateTime();
    f->btStartClick();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
    setUp(*f, {true, true, true}, 0, 0, 100, 1, true); // the header brings the recording's own
    QThread::msleep(300 + 500 + 300);
    f->measurementRun->btRdClick();
    pollUntilDone(*f);
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
    EXPECT_FALSE(f->cbCh2->isChecked());
    EXPECT_EQ(f->cbF->currentIndex(), 2);
    EXPECT_EQ(f->cbRange->currentIndex(), 1);
    ASSERT_EQ(f->record.sampleStream.size(), 1600u);
    expectScene(streamBytes(f->record.sampleStream), {true, false, true}, 800, 1, scene);
    EXPECT_GE(f->record.startTime, before.addMSecs(300)) << "the contact's delay is applied";
    EXPECT_LE(f->record.startTime, after.addMSecs(300));
    EXPECT_TRUE(f->status->panelText(1).endsWith(QStringLiteral(" начало измерения")));
}

TEST_F(SerialWindowTest, BoardUnpluggedMidRunThenPluggedBackIn)
{
    const QString port = dir.filePath(QStringLiteral("ttyBoard"));
    auto sim = std::make_unique<BoardSimProcess>(
        QStringList{QStringLiteral("--link"), port, QStringLiteral("--exit-after"), QStringLiteral("20000")});
    ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
    auto f = makeOn(port);
    EXPECT_TRUE(f->btUSB->toolTip().contains(port)) << "the operator sees which board is used";

    setUp(*f, {true, true, true}, 0, 0, 16384);
    f->btStartClick();
    pollUntilDone(*f);
    EXPECT_EQ(f->record.sampleStream.size(), 20000u - 7u)
        << "all that came after the device-ID probe at the open and the six read-backs";
    EXPECT_TRUE(f->Chart1->isEnabled()) << "what arrived is charted";

    f->btStartClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(
        dialogs.messages[0].text.startsWith(acq::sendFailedMessage(1, QStringLiteral("Запрет прерываний"))));
    EXPECT_TRUE(dialogs.messages[0].text.contains(port)) << qPrintable(texts());
    EXPECT_FALSE(f->timRx->isActive());

    // The same adapter plugged in again: the next run works without restarting the program.
    dialogs.messages.clear();
    sim = std::make_unique<BoardSimProcess>(QStringList{QStringLiteral("--link"), port});
    ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
    setUp(*f, {true, true, true}, 0, 0, 320);
    f->btStartClick();
    EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(texts());
    pollUntilDone(*f);
    ASSERT_EQ(f->record.sampleStream.size(), 1920u);
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
    EXPECT_TRUE(f->btUSB->toolTip().startsWith(QStringLiteral("Подключить АЦП к компьютеру\n")))
        << "the button's own hint stays";
}

TEST_F(SerialWindowTest, ConnectionIndicatorTellsWhetherTheBoardAnswers)
{
    auto sim = std::make_unique<BoardSimProcess>();
    ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
    auto f = makeOn(sim->path());
    auto shows = [&](const QPixmap& glyph) {
        const QImage want = glyph.toImage();
        return f->btUSB->icon().pixmap(glyph.size()).toImage().convertToFormat(want.format()) == want;
    };
    // As after a chart: the activity shown, the timer started by the paint.
    f->status->setPanelText(0, QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));
    f->timCheckUSB->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(f->imgUSBgreen); }, 10000)) << "a board that answers";
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));

    sim.reset(); // unplugged
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(f->imgUSBred); }, 10000));
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("USB: связь отсутствует"));
    EXPECT_TRUE(f->timCheckUSB->isActive()) << "it goes on asking while idle";
}
