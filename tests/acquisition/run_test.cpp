#include "acqwindow.h"
#include "boardsimprocess.h"
#include "scenecheck.h"

#include "acquisition/devicelink.h"
#include "acquisition/runplan.h"
#include "files/axdfile.h"
#include "files/savefile.h"
#include "files/ui/measurementfilesui.h"

#include <QSignalSpy>
#include <QThread>

#include <functional>
#include <map>
#include <optional>
#include <set>

using app::TForm1;

namespace {

class RunTest : public AcqWindowTest {
  public:
    struct SetUp {
        std::array<bool, 3> channels{true, true, true};
        int frequencyIndex = 0;
        int rangeIndex = 0;
        int samples = 320;
        int target = 0; // 0 to the computer, 1 to memory
        bool external = false;
        int delayS = 0;
    };

    // The set-up as the operator leaves it: boxes and spin edits through their handlers, the
    // lists set directly (their handler follows the operator only).
    static void setUp(TForm1& f, const SetUp& s)
    {
        for (int i = 0; i < 3; ++i)
            f.setupPanel->channelBoxes[std::size_t(i)]->setChecked(s.channels[std::size_t(i)]);
        f.setupPanel->cbF->setCurrentIndex(s.frequencyIndex);
        f.setupPanel->cbRange->setCurrentIndex(s.rangeIndex);
        f.setupPanel->rgMem->setItemIndex(s.target);
        f.setupPanel->cbExternalStart->setChecked(s.external);
        f.setupPanel->seDelayStart->setValue(s.delayS);
        f.setupPanel->seSamples->setValue(s.samples);
    }

    // Lets the receive timer's interval pass on the tick counter, then fires it.
    void poll(TForm1& f, int ms = -1)
    {
        ticks.advance(std::uint32_t(ms >= 0 ? ms : f.measurementRun->timRx->interval()));
        f.measurementRun->timRxTimer();
    }

    // The transfer hands over to the chart build, which puts its own text into panel 0.
    static bool handedToChart(const TForm1& f)
    {
        return f.status->panelText(0).compare(QStringLiteral("Построение графика"), Qt::CaseInsensitive) == 0;
    }

    static QStringList activities(const QSignalSpy& spy)
    {
        QStringList texts;
        for (const auto& args : spy)
            texts << args.at(0).toString();
        return texts;
    }

    static QString stepName(int step)
    {
        static const char* const names[] = {"Запрет прерываний",
                                            "Частоты выборки акселерометра",
                                            "Диапазон акселерометра",
                                            "Int_Map",
                                            "Int_Enabled",
                                            "Measure Enable",
                                            "Пуск измерения"};
        return QString::fromUtf8(names[step - 1]);
    }
};

} // namespace

TEST_F(RunTest, RunToTheComputerFillsTheStreamWithTheBoardsSamples)
{
    auto f = make();
    setUp(*f, {});
    QSignalSpy shown(f->measurementRun.get(), &acq::MeasurementRun::activityShown);
    f->linkIndicator->timCheckUSB->start();
    // What the previous run and the pointer left behind.
    f->measurementRun->lbPercent->setText(QStringLiteral("40%"));
    f->measurementRun->lbRestPercent->setText(QStringLiteral("60%"));
    f->status->setPanelText(2, QStringLiteral("x=12"));
    f->btStartClick();
    EXPECT_TRUE(f->measurementRun->lbPercent->text().isEmpty());
    EXPECT_TRUE(f->measurementRun->lbRestPercent->text().isEmpty());
    EXPECT_TRUE(f->status->panelText(2).isEmpty());

    const auto& sent = board->commandsReceived();
    ASSERT_EQ(sent.size(), 13u) << "six registers written and read back, then the start command";
    EXPECT_EQ(sent.front().toHex(' '), QByteArray("28 2e 00"));
    EXPECT_EQ(sent.back().toHex(' '), QByteArray("2b 07 40 01 00 00 00 00 00"));
    EXPECT_EQ(board->registerValue(0x2D), 0x08);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_FALSE(f->linkIndicator->timCheckUSB->isActive());
    EXPECT_EQ(f->record.channelLetters, QStringLiteral("XYZ"));
    EXPECT_EQ(f->record.expectedBytes, 1920u);
    EXPECT_DOUBLE_EQ(f->record.samplePeriodUs, 312.5);
    EXPECT_TRUE(f->measurementRun->timRx->isActive());
    EXPECT_EQ(f->measurementRun->timRx->interval(), 900);
    EXPECT_FALSE(f->measurementRun->pnlChart->isVisibleTo(f.get())) << "900 ms need no progress panel";
    EXPECT_FALSE(f->chartPart->Chart1->isEnabled());

    poll(*f, 50); // the board has sent a part
    EXPECT_TRUE(f->measurementRun->timRx->isActive());
    EXPECT_GT(f->record.receivedBytes, 0u);
    EXPECT_LT(f->record.receivedBytes, 1920u);
    poll(*f);
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
    ASSERT_EQ(f->record.sampleStream.size(), 1920u);
    expectScene(streamBytes(f->record.sampleStream), {true, true, true}, 3200, 0);
    EXPECT_FALSE(f->record.loadedFromFile);
    EXPECT_TRUE(f->chartPart->Chart1->isEnabled()) << "the chart was built";

    const QStringList texts = activities(shown);
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], QStringLiteral("ИЗМЕРЕНИЕ"));
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("Принято "))) << qPrintable(texts[1]);
    EXPECT_EQ(texts[2], QStringLiteral("Построение графика"));

    // The same run once more, polled only when all is in: straight to the chart, and the
    // earlier stream is gone.
    shown.clear();
    setUp(*f, {{true, false, true}, 2, 1, 100});
    f->btStartClick();
    EXPECT_EQ(f->record.sampleStream.size(), 0u);
    poll(*f);
    EXPECT_EQ(activities(shown),
              (QStringList{QStringLiteral("ИЗМЕРЕНИЕ"), QStringLiteral("Построение графика")}));
    EXPECT_EQ(f->record.channelLetters, QStringLiteral("XZ"));
    expectScene(streamBytes(f->record.sampleStream), {true, false, true}, 800, 1);
    EXPECT_EQ(f->record.sampleStream.size(), 400u);
}

TEST_F(RunTest, EnterOnTheStartButtonStartsTheRun)
{
    auto f = make();
    showActive(*f);
    f->setupPanel->btChooseFClick();
    focus(f->setupPanel->btStart);
    QTest::keyClick(f->setupPanel->btStart, Qt::Key_Return);
    EXPECT_FALSE(f->setupPanel->gbFT->isVisible());
    EXPECT_TRUE(f->measurementRun->timRx->isActive());
    EXPECT_EQ(board->commandsReceived().size(), 13u) << "started exactly once";
}

TEST_F(RunTest, EachSendFailureStopsWhereItHappened)
{
    for (int step = 1; step <= 7; ++step) {
        SCOPED_TRACE(step);
        auto f = make();
        setUp(*f, {});
        f->record.sampleStream.append(QByteArray("earlier"));
        f->record.samplePeriodUs = 1;
        f->record.loadedFromFile = true;
        // Writes 1, 3, ... 11 set the registers (each followed by its read-back); write 13 starts.
        board->failWrite(step <= 6 ? 2 * step - 1 : 13);
        f->btStartClick();

        EXPECT_EQ(dialogs.messageTexts(),
                  QStringList{
                      QStringLiteral("Не удалось передать команду %1 (%2), проверьте подключение устройства.")
                          .arg(step)
                          .arg(stepName(step))});
        EXPECT_EQ(board->commandsReceived().size(), std::size_t(2 * (step - 1)))
            << "nothing sent after the failure";
        EXPECT_EQ(streamBytes(f->record.sampleStream), QByteArray("earlier"));
        EXPECT_FALSE(f->measurementRun->timRx->isActive());
        // The record stays the earlier one until the start command has gone out.
        EXPECT_TRUE(f->record.loadedFromFile);
        EXPECT_DOUBLE_EQ(f->record.samplePeriodUs, 1);
        EXPECT_TRUE(f->record.channelLetters.isEmpty());
    }
}

TEST_F(RunTest, WrongReadBackIsReportedAndTheRunGoesOn)
{
    // A board whose line knows why a call failed, as an unplugged USB device's does.
    struct TellingBoard : acq::SimulatedBoard {
        using SimulatedBoard::SimulatedBoard;
        QString lastError() const override { return QStringLiteral("USB-устройство отключено."); }
    };
    struct Case {
        const char* what;
        std::function<void(acq::SimulatedBoard&)> fault;
        const char* message;
    };
    const Case cases[] = {
        {"a wrong value (the rate register's)",
         [](acq::SimulatedBoard& b) { b.failRead(acq::SimulatedBoard::ReadFault::Garbage, 2); },
         "Не удалось установить состояние регистра 2C"},
        {"a read-back lost to the line (the first register's)",
         [](acq::SimulatedBoard& b) { b.failWrite(2); },
         "Не удалось установить состояние регистра 2E\n\nUSB-устройство отключено."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        auto telling = std::make_unique<TellingBoard>(ticks, boardSettings);
        board = telling.get();
        f->measurementRun->device().setBackend(std::move(telling));
        setUp(*f, {});
        c.fault(*board);
        f->btStartClick();
        EXPECT_EQ(dialogs.messageTexts(), QStringList{QString::fromUtf8(c.message)});
        EXPECT_EQ(board->commandsReceived().back().at(0), char(0x2B));
        EXPECT_TRUE(f->measurementRun->timRx->isActive());
    }
}

TEST_F(RunTest, APollThatReadsNothingEndsTheTransfer)
{
    auto f = make();
    setUp(*f, {});
    f->btStartClick();
    poll(*f, 50);
    const auto first = f->record.sampleStream.size();
    ASSERT_GT(first, 0u);
    board->failRead(acq::SimulatedBoard::ReadFault::Nothing);
    poll(*f);
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
    EXPECT_EQ(f->record.sampleStream.size(), first);
    EXPECT_TRUE(handedToChart(*f));
    EXPECT_TRUE(f->chartPart->Chart1->isEnabled());

    // Saved, the file says it is partial and why.
    const QString path = dir.filePath(QStringLiteral("cut.axd"));
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();
    auto saved = files::readAxdFile(path);
    ASSERT_TRUE(saved.ok()) << qPrintable(saved.message(path));
    EXPECT_EQ(files::partialNote(saved.contents.comment),
              QStringLiteral("принято %1 из 320 кадров, плата перестала передавать данные").arg(first / 6))
        << qPrintable(saved.contents.comment);
}

TEST_F(RunTest, LongRunShowsAndCountsDownTheProgressPanel)
{
    auto f = make();
    setUp(*f, {{true, false, false}, 5, 0, 1000, 0, false, 5});
    const QDateTime before = QDateTime::currentDateTime();
    f->btStartClick();
    EXPECT_EQ(f->record.expectedBytes, 2000u);
    EXPECT_EQ(f->measurementRun->pollIntervalMs(), 10800u);
    EXPECT_EQ(f->measurementRun->timRx->interval(), 15800);
    EXPECT_TRUE(f->measurementRun->pnlChart->isVisibleTo(f.get()));
    EXPECT_TRUE(f->measurementRun->TimPrgssBar->isActive());
    EXPECT_EQ(f->measurementRun->progressBar->maximum(), 15800);
    EXPECT_EQ(f->measurementRun->lbAll->text(), QStringLiteral("00:16"));
    EXPECT_EQ(f->measurementRun->lbRestVal->text(), QStringLiteral("00:16"));
    EXPECT_EQ(f->measurementRun->lbElapsedVal->text(), QStringLiteral("00:00"));
    // The start time lies the delay ahead.
    EXPECT_GE(f->record.startTime, before.addSecs(5));

    ticks.set(f->chartPart->values().runStartTick + 8000);
    f->measurementRun->TimPrgssBarTimer();
    EXPECT_EQ(f->measurementRun->lbPercent->text(), QStringLiteral("50%"));
    EXPECT_EQ(f->measurementRun->lbRestPercent->text(), QStringLiteral("50%"));
    EXPECT_EQ(f->measurementRun->lbElapsedVal->text(), QStringLiteral("00:08"));
    EXPECT_EQ(f->measurementRun->lbRestVal->text(), QStringLiteral("00:08"));
    EXPECT_EQ(f->measurementRun->progressBar->value(), 7900);
    ticks.set(f->chartPart->values().runStartTick + 16000);
    f->measurementRun->TimPrgssBarTimer();
    EXPECT_FALSE(f->measurementRun->pnlChart->isVisibleTo(f.get()));
    EXPECT_FALSE(f->measurementRun->TimPrgssBar->isActive());

    // The delay passes before the board's first sample: the whole run arrives at the first poll.
    poll(*f, 0);
    EXPECT_EQ(f->record.sampleStream.size(), 2000u);
    expectScene(streamBytes(f->record.sampleStream), {true, false, false}, 100, 0);
}

TEST_F(RunTest, RunToMemoryThenReadRestoresTheRecording)
{
    auto f = make();
    f->record.baseAxisK = {3, 3, 3};
    f->record.baseAxisC = {8, 8, 8};
    setUp(*f, {{true, false, true}, 2, 1, 256, 1});
    f->linkIndicator->timCheckUSB->start();
    f->btStartClick();
    EXPECT_EQ(board->commandsReceived().back().toHex(' '), QByteArray("2c 05 00 01 00 00 02 01 00"));
    EXPECT_EQ(board->closeCount(), 1) << "the device is closed once the board records on its own";
    EXPECT_FALSE(f->linkIndicator->timCheckUSB->isActive());
    EXPECT_EQ(f->measurementRun->timRx->interval(), 1120);
    poll(*f);
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("Время измерения истекло"));
    EXPECT_TRUE(f->measurementRun->timRx->isActive()) << "the timer keeps telling the time is up";

    // The operator changes the set-up before reading: the recording's own comes back.
    setUp(*f, {{false, true, false}, 0, 3, 1000, 0});
    f->measurementRun->btRdClick();
    EXPECT_EQ(board->commandsReceived().back().toHex(' '), QByteArray("25 00"));
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("СЧИТЫВАНИЕ FRAM, 32КБайт"));
    EXPECT_EQ(f->measurementRun->timRx->interval(), 1000);
    EXPECT_EQ(f->record.sampleStream.size(), 0u);
    poll(*f);
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
    EXPECT_TRUE(f->setupPanel->cbCh1->isChecked());
    EXPECT_FALSE(f->setupPanel->cbCh2->isChecked());
    EXPECT_TRUE(f->setupPanel->cbCh3->isChecked());
    EXPECT_EQ(f->record.channelCount, 2);
    EXPECT_EQ(f->setupPanel->cbF->currentIndex(), 2);
    EXPECT_DOUBLE_EQ(f->record.samplePeriodUs, 1250);
    EXPECT_EQ(f->setupPanel->cbRange->currentIndex(), 1);
    // Scaled to the recording's range, not to the ±16 g selected when "Считать" was pressed.
    EXPECT_EQ(f->record.axisK, (std::array<double, 3>{6, 6, 6}));
    EXPECT_EQ(f->record.axisC, (std::array<double, 3>{4, 4, 4}));
    EXPECT_EQ(f->measurementRun->link().commandBuffer[1], acq::kReadBlockComplete);
    EXPECT_EQ(f->record.expectedBytes, 1024u);
    ASSERT_EQ(f->record.sampleStream.size(), 1024u);
    expectScene(streamBytes(f->record.sampleStream), {true, false, true}, 800, 1);
    EXPECT_TRUE(handedToChart(*f));
}

TEST_F(RunTest, LongRunToMemoryWaitsTheWholeMeasuringTime)
{
    auto f = make();
    // 43689 frames of three channels at 3200 Hz fill the memory: 13653 ms of recording.
    setUp(*f, {{true, true, true}, 0, 0, 43689, 1});
    f->btStartClick();
    EXPECT_EQ(f->measurementRun->timRx->interval(), 13653 + 800);
    EXPECT_EQ(f->measurementRun->lbAll->text(), QStringLiteral("00:14")) << "the progress panel counts the whole recording";
}

TEST_F(RunTest, ExternalStartWaitsForTheContactAndCorrectsTheStartTime)
{
    boardSettings.contactOpenMs = 3000;
    auto f = make();
    setUp(*f, {{true, true, false}, 0, 0, 256, 1, true, 5});
    const QDateTime before = QDateTime::currentDateTime();
    f->btStartClick();
    const QDateTime after = QDateTime::currentDateTime();
    EXPECT_EQ(board->commandsReceived().back().toHex(' '), QByteArray("2c 03 00 01 00 00 00 00 ff"));
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("По окончании нажмите \"Считать\""));
    // The delay is not added: the start time is the moment of the start command.
    EXPECT_GE(f->record.startTime, before);
    EXPECT_LE(f->record.startTime, after);
    const QDateTime started = f->record.startTime;

    ticks.advance(5000);
    f->measurementRun->btRdClick();
    poll(*f);
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
    EXPECT_EQ(f->record.startTime, started.addMSecs(3000)) << "moved by the board's 300 units of 10 ms";
    EXPECT_TRUE(f->status->panelText(1).endsWith(QStringLiteral(" начало измерения")));
    expectScene(streamBytes(f->record.sampleStream), {true, true, false}, 3200, 0);
    EXPECT_EQ(f->record.sampleStream.size(), 1024u);

    // Reading the same recording again, even after another start time was shown (a file load
    // sets its own), gives the same start: the contact's delay counts from the start command.
    f->record.startTime = started.addDays(-3);
    f->measurementRun->btRdClick();
    poll(*f);
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
    EXPECT_EQ(f->record.startTime, started.addMSecs(3000));
}

// The memory read's own failures: each case starts from a finished recording of 256 frames of
// X, Y, Z at 800 Hz (unless it records something else) and presses "Считать".
TEST_F(RunTest, MemoryReadFailures)
{
    using RF = acq::SimulatedBoard::ReadFault;
    struct Case {
        const char* what;
        std::function<void(RunTest&, TForm1&)> before; // after the recording, before "Считать"
        std::function<void(RunTest&, TForm1&)> check;
    };
    const Case cases[] = {
        {"the request for block 0 fails: message, no timer",
         [](RunTest& t, TForm1&) { t.board->failWrite(); },
         [](RunTest& t, TForm1& f) {
             EXPECT_EQ(t.dialogs.messageTexts(),
                       QStringList{QStringLiteral(
                           "Не удалось передать команду Считать FRAM, проверьте подключение устройства.")});
             EXPECT_FALSE(f.measurementRun->timRx->isActive());
             EXPECT_EQ(streamBytes(f.record.sampleStream), QByteArray("earlier"));
         }},
        {"block 0 missing: shown, and the next tick reads block 0 again",
         [](RunTest& t, TForm1& f) {
             t.board->failRead(RF::Nothing, 1);
             f.measurementRun->btRdClick();
             t.poll(f);
             EXPECT_EQ(f.status->panelText(0), QStringLiteral("Не удалось считать FRAM"));
             EXPECT_TRUE(f.measurementRun->timRx->isActive());
             EXPECT_EQ(f.measurementRun->link().commandBuffer[1], 0);
             EXPECT_TRUE(f.setupPanel->cbCh2->isChecked() == false) << "nothing restored yet";
         },
         [](RunTest&, TForm1& f) {
             EXPECT_FALSE(f.measurementRun->timRx->isActive());
             EXPECT_EQ(f.record.sampleStream.size(), 1536u);
             EXPECT_TRUE(f.setupPanel->cbCh2->isChecked());
         }},
        {"a header naming no frequency is not a recording",
         [](RunTest& t, TForm1&) {
             auto cmd = acq::startCommand({true, {true, true, true}, 16, 0, 0, false, 0});
             cmd[6] = 12;
             std::uint32_t n = 0;
             t.board->write(cmd.data(), 9, n);
             t.ticks.advance(100);
         },
         [](RunTest&, TForm1& f) {
             EXPECT_EQ(f.status->panelText(0), QStringLiteral("Не удалось считать FRAM"));
             EXPECT_TRUE(f.measurementRun->timRx->isActive());
             EXPECT_FALSE(f.setupPanel->cbCh2->isChecked()) << "no selection changed";
             EXPECT_EQ(f.setupPanel->cbF->currentIndex(), 2);
         }},
        {"a recording of no samples leaves the record shown",
         [](RunTest& t, TForm1&) {
             std::uint32_t n = 0;
             const auto cmd = acq::startCommand({true, {true, false, false}, 0, 1, 0, false, 0});
             t.board->write(cmd.data(), 9, n);
         },
         [](RunTest& t, TForm1& f) {
             EXPECT_FALSE(f.measurementRun->timRx->isActive());
             EXPECT_EQ(t.dialogs.messageTexts(), QStringList{QStringLiteral("Плата не передала данные.")});
             EXPECT_EQ(streamBytes(f.record.sampleStream), QByteArray("earlier"));
             EXPECT_FALSE(f.setupPanel->cbCh2->isChecked()) << "no selection changed";
         }},
        {"a later request fails: message, and the chart shows the blocks that arrived",
         [](RunTest& t, TForm1&) {
             std::uint32_t n = 0;
             const auto cmd = acq::startCommand({true, {true, true, true}, 43689, 0, 0, false, 0});
             t.board->write(cmd.data(), 9, n);
             t.ticks.advance(20000);
             t.board->failWrite(2); // "Считать" asks for block 0, then block 1 fails
         },
         [](RunTest& t, TForm1& f) {
             const QStringList m = t.dialogs.messageTexts();
             ASSERT_EQ(m.size(), 2);
             EXPECT_TRUE(m[1].startsWith(QStringLiteral("Считывание прервано: принято 5460 из 43689 кадров")))
                 << qPrintable(m[1]);
             EXPECT_TRUE(f.record.isPartial());
             EXPECT_FALSE(f.measurementRun->timRx->isActive());
             EXPECT_EQ(f.record.sampleStream.size(), std::uint64_t(acq::SimulatedBoard::kBlockBytes - 6));
             const QByteArray whole = streamBytes(f.record.sampleStream).left(32760);
             // The chip still runs as the earlier start set it: 800 Hz, ±4 g.
             expectScene(whole, {true, true, true}, 800, 1);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        setUp(*f, {{true, true, true}, 2, 1, 256, 1});
        f->btStartClick();
        poll(*f);
        f->setupPanel->cbCh2->setChecked(false);
        f->record.sampleStream.append(QByteArray("earlier"));
        dialogs.messages.clear();
        c.before(*this, *f);
        if (!f->measurementRun->timRx->isActive() || f->measurementRun->link().commandBuffer[0] != acq::cmd::ReadMemoryBlock)
            f->measurementRun->btRdClick();
        if (f->measurementRun->timRx->isActive())
            poll(*f);
        c.check(*this, *f);
    }
}

// A double-click on the tool strip asks the board for its memory's first block again, with a
// loaded file on the chart. A recording that comes back replaces the file as "Считать" would show
// it; a board that brings none leaves the file charted, dated and savable as it was.
TEST_F(RunTest, RepeatedRequestForBlockZeroReadsTheMemoryAsTheReadButtonDoes)
{
    struct Case {
        const char* what;
        std::optional<SetUp> recording; // made to memory before the file is loaded
        bool overLine;                   // the emulator, its memory empty
        const char* message;             // how the one message begins; empty: none
    };
    const Case cases[] = {
        {"a recording", SetUp{{true, false, true}, 2, 1, 256, 1}, false, ""},
        {"a recording started by the contact", SetUp{{true, true, false}, 0, 0, 256, 1, true, 5}, false, ""},
        {"nothing recorded", std::nullopt, false, "Плата не передала данные."},
        {"nothing recorded, over a line", std::nullopt, true,
         "Не удалось считать FRAM: плата не прислала записи после 3 запросов."},
    };
    boardSettings.contactOpenMs = 3000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        std::unique_ptr<BoardSimProcess> sim;
        if (c.overLine) {
            sim = std::make_unique<BoardSimProcess>(QStringList{QStringLiteral("--empty-memory")});
            ASSERT_FALSE(sim->path().isEmpty()) << qPrintable(sim->error());
            useSerialPort(*f, sim->path());
            QTest::qWait(20);
        }
        QDateTime started;
        if (c.recording) {
            setUp(*f, *c.recording);
            f->btStartClick();
            started = f->record.startTime;
            ticks.advance(5000);
            QThread::msleep(20); // the start command and the request are not in the same millisecond
        }
        // A file as its load leaves it: 1250 µs, dated 14.03.2025, on the chart.
        f->record.clearForTransfer(0);
        f->record.appendReceived(QByteArray(600, '\x01'));
        f->record.samplePeriodUs = 1250;
        f->record.startTime = QDateTime(QDate(2025, 3, 14), QTime(9, 30));
        f->record.loadedFromFile = true;
        f->chartPart->ShowChart(nullptr);
        ASSERT_GT(f->chartPart->Chart1->pointCount(display::Series::X), 0);
        dialogs.messages.clear();
        const QString statusBefore = f->status->panelText(1);

        const auto toEnd = [&] {
            if (c.overLine) {
                QSignalSpy ended(f->measurementRun.get(), &acq::MeasurementRun::transferEnded);
                ended.wait(60000);
            }
            for (int i = 0; i < 10 && f->measurementRun->timRx->isActive(); ++i)
                poll(*f);
            return !f->measurementRun->timRx->isActive();
        };
        const auto outcome = [&] {
            return QStringList{QString::fromLatin1(streamBytes(f->record.sampleStream).toHex()),
                               QString::number(f->record.samplePeriodUs),
                               f->record.startTime.toString(Qt::ISODateWithMs),
                               f->status->panelText(1),
                               QString::number(f->chartPart->Chart1->pointCount(display::Series::X)),
                               dialogs.messageTexts().join(QLatin1Char('\n'))};
        };
        QTest::mouseDClick(f->ctlBar, Qt::LeftButton, {}, QPoint(f->ctlBar->width() - 3, 5));
        if (c.overLine)
            EXPECT_FALSE(f->measurementRun->isReceiving())
                << "the record shown stays savable while block 0 is awaited";
        ASSERT_TRUE(toEnd()) << "the request never ended";
        const QString texts = dialogs.messageTexts().join(QLatin1Char('\n'));
        EXPECT_TRUE(*c.message ? texts.startsWith(QString::fromUtf8(c.message)) : texts.isEmpty()) << qPrintable(texts);
        if (c.recording) {
            const SetUp& r = *c.recording;
            ASSERT_EQ(f->record.sampleStream.size(), 1024u);
            expectScene(streamBytes(f->record.sampleStream), {r.channels[0], r.channels[1], r.channels[2]},
                        r.frequencyIndex == 2 ? 800 : 3200, r.rangeIndex);
            EXPECT_DOUBLE_EQ(f->record.samplePeriodUs, r.frequencyIndex == 2 ? 1250 : 312.5);
            // The recording's own start: not the file's date, nor the moment of the request.
            EXPECT_EQ(f->record.startTime, r.external ? started.addMSecs(3000) : started);
        } else {
            EXPECT_EQ(streamBytes(f->record.sampleStream), QByteArray(600, '\x01'));
            EXPECT_DOUBLE_EQ(f->record.samplePeriodUs, 1250);
            EXPECT_EQ(f->record.startTime, QDateTime(QDate(2025, 3, 14), QTime(9, 30)));
            EXPECT_TRUE(f->record.loadedFromFile);
            EXPECT_GT(f->chartPart->Chart1->pointCount(display::Series::X), 0) << "the file is still charted";
            EXPECT_TRUE(f->record.unsavableReason().isEmpty()) << "and can still be saved";
            EXPECT_EQ(f->status->panelText(1), statusBefore);
        }
        if (c.overLine)
            continue; // "Считать" on an empty line board has its own test
        const QStringList asRequested = outcome();
        dialogs.messages.clear();
        f->measurementRun->btRdClick();
        ASSERT_TRUE(toEnd());
        EXPECT_EQ(outcome(), asRequested) << "as \"Считать\" shows the same memory";
    }
}

TEST_F(RunTest, ProtectionClearAndTheReceiveTimersOtherCodes)
{
    using RF = acq::SimulatedBoard::ReadFault;
    auto f = make();
    struct Case {
        const char* what;
        std::function<void()> fault;
        bool shown;
    };
    const Case cases[] = {
        {"answered '@'", [] {}, true},
        {"answered otherwise", [&] { board->failRead(RF::Garbage); }, false},
        {"not answered", [&] { board->failRead(RF::Nothing); }, false},
        {"not sent", [&] { board->failWrite(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.messages.clear();
        c.fault();
        f->measurementRun->btFM25ProtectClrClick();
        EXPECT_EQ(dialogs.messageTexts(),
                  c.shown ? QStringList{QStringLiteral("Память готова к записи")} : QStringList{});
    }
    EXPECT_EQ(board->commandsReceived().back().toHex(' '), QByteArray("22 00"));

    // The last command was the protection clear: the receive timer has nothing to do and stops.
    f->measurementRun->timRx->start(1000);
    f->measurementRun->timRxTimer();
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
}

// The progress panel comes for waits above 2000 ms, also when the contact on the board starts
// the run (the receive timer then waits unarmed with that interval).
TEST_F(RunTest, ProgressPanelOnlyAbove2000Ms)
{
    struct Case {
        const char* what;
        int samples; // one channel at 3200 Hz to memory: the wait is N / 3.2 + 800 ms
        bool external;
        bool panel;
    } cases[] = {
        {"2000 ms", 3840, false, false},
        {"2001 ms", 3844, false, true},
        {"2001 ms, external start", 3844, true, true},
        {"2000 ms, external start", 3840, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        setUp(*f, {{true, false, false}, 0, 0, c.samples, 1, c.external});
        f->btStartClick();
        EXPECT_EQ(f->measurementRun->timRx->interval(), c.panel ? 2001 : 2000);
        EXPECT_EQ(f->measurementRun->pnlChart->isVisibleTo(f.get()), c.panel);
        EXPECT_EQ(f->measurementRun->TimPrgssBar->isActive(), c.panel);
        EXPECT_EQ(f->measurementRun->lbAll->text(), c.panel ? QStringLiteral("00:02") : QString());
    }
}

// Each read asks for no more than its reply can hold: 11 bytes for a register read back, one for
// the protection clear, 65535 for the samples.
TEST_F(RunTest, ReadsAskForNoMoreThanTheirReply)
{
    class Spy : public acq::DeviceBackend {
      public:
        explicit Spy(std::unique_ptr<acq::SimulatedBoard> b) : board(std::move(b)) {}
        int write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override
        {
            lastCommand = bytes[0];
            return board->write(bytes, count, written);
        }
        int read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got) override
        {
            maxByCommand[lastCommand].insert(max);
            return board->read(buffer, max, got);
        }
        int close() override { return board->close(); }
        QString description() const override { return board->description(); }

        std::unique_ptr<acq::SimulatedBoard> board;
        std::uint8_t lastCommand = 0;
        std::map<std::uint8_t, std::set<std::uint32_t>> maxByCommand;
    };
    auto f = make();
    auto spy = std::make_unique<Spy>(std::make_unique<acq::SimulatedBoard>(ticks, boardSettings));
    Spy* s = spy.get();
    f->measurementRun->device().setBackend(std::move(spy));
    setUp(*f, {});
    f->btStartClick();
    poll(*f);
    f->measurementRun->btFM25ProtectClrClick();
    EXPECT_EQ(s->maxByCommand[acq::cmd::ReadRegister], (std::set<std::uint32_t>{11}));
    EXPECT_EQ(s->maxByCommand[acq::cmd::ClearProtection], (std::set<std::uint32_t>{1}));
    EXPECT_EQ(s->maxByCommand[acq::cmd::StartToComputer], (std::set<std::uint32_t>{65535}));
}

// "Считать" first does what a click on the connection indicator does.
TEST_F(RunTest, ReadingTheMemoryRunsTheIndicatorsHandler)
{
    for (bool sent : {true, false}) {
        SCOPED_TRACE(sent ? "sent" : "not sent");
        auto f = make();
        f->linkIndicator->btUSB->setIcon(QIcon(f->linkIndicator->imgUSBgreen));
        f->status->setPanelText(0, QStringLiteral("ИЗМЕРЕНИЕ"));
        if (!sent)
            board->failWrite();
        f->measurementRun->btRdClick();
        const QImage red = f->linkIndicator->imgUSBred.toImage();
        EXPECT_EQ(f->linkIndicator->btUSB->icon().pixmap(f->linkIndicator->imgUSBred.size()).toImage().convertToFormat(red.format()), red);
        EXPECT_EQ(f->status->panelText(0), sent ? QStringLiteral("СЧИТЫВАНИЕ FRAM, 32КБайт")
                                                : QStringLiteral("USB: связь отсутствует"));
    }
}
