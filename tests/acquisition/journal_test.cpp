// The run journal in the window: every run and memory read goes to disk as it arrives, a journal
// a crash left is offered at the next start, and a full disk stops the journal, not the run. The
// crash itself is a SIGKILL of a child process measuring from the board emulator through a real
// pseudo-terminal.

#include "acqwindow.h"
#include "boardsimprocess.h"
#include "scenecheck.h"

#include "common/filesizelimit.h"
#include "common/testutil.h"
#include "files/axdfile.h"
#include "files/runjournal.h"
#include "files/ui/commentbox.h"
#include "files/ui/journalui.h"
#include "files/ui/measurementfilesui.h"
#include "platform/ticks.h"
#include "app/ui/unixsignals.h"

#include <QDialog>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QTreeWidget>

#include <csignal>
#include <cstdio>

using app::TForm1;

namespace {

struct Transfer {
    const char* what;
    bool memory; // a run to memory, then "Считать"; else a run to the computer
    std::array<bool, 3> channels;
    int frequencyIndex;
    int rangeIndex;
    int samples;
};

void setUp(TForm1& f, const Transfer& t)
{
    for (int i = 0; i < 3; ++i)
        f.setupPanel->channelBoxes[std::size_t(i)]->setChecked(t.channels[std::size_t(i)]);
    f.setupPanel->cbF->setCurrentIndex(t.frequencyIndex);
    f.setupPanel->cbRange->setCurrentIndex(t.rangeIndex);
    f.setupPanel->rgMem->setItemIndex(t.memory ? 1 : 0);
    f.setupPanel->cbExternalStart->setChecked(false);
    f.setupPanel->seDelayStart->setValue(0);
    f.setupPanel->seSamples->setValue(t.samples);
}

QByteArray dataOf(const files::AxdContents& c)
{
    return QByteArray(reinterpret_cast<const char*>(c.data.data()), qsizetype(c.data.size()));
}

class JournalWindowTest : public AcqWindowTest {
  public:
    QString runs() const { return dir.filePath(QStringLiteral("runs")); }

    // The receive timer fired at its interval on the tick counter until the transfer ends.
    void runToEnd(TForm1& f)
    {
        for (int i = 0; i < 200 && f.measurementRun->timRx->isActive(); ++i) {
            ticks.advance(std::uint32_t(f.measurementRun->timRx->interval()));
            f.measurementRun->timRxTimer();
        }
        ASSERT_FALSE(f.measurementRun->timRx->isActive()) << "the transfer did not end";
    }

    void transfer(TForm1& f, const Transfer& t)
    {
        setUp(f, t);
        f.btStartClick();
        if (t.memory) {
            ticks.advance(std::uint32_t(f.measurementRun->timRx->interval())); // the time of the recording
            f.measurementRun->timRxTimer();
            f.measurementRun->btRdClick();
        }
        runToEnd(f);
    }
};

} // namespace

// A run to the computer and a read of the board's memory are each journalled: the journal holds
// the record's bytes, described as the record is, and closed as a measurement file when the
// transfer ends. It stays through a text export or a save of a zoomed stretch, and goes once the
// record has been saved whole.
TEST_F(JournalWindowTest, EachTransferIsJournalledAndGoesOnceSavedWhole)
{
    const Transfer cases[] = {{"run to the computer", false, {true, true, true}, 0, 0, 3000},
                              {"memory read", true, {true, false, true}, 2, 1, 5000}};
    for (const Transfer& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        f->record.baseAxisK = {3, 4, 5};
        f->measurementFiles->mComment->setComment(QStringLiteral("стенд 2\nвтулка"));
        transfer(*f, c);
        ASSERT_FALSE(f->record.sampleStream.isEmpty());
        EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(dialogs.messageTexts().join('\n'));

        const auto kept = files::listJournals(runs());
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_TRUE(kept[0].complete);
        EXPECT_EQ(kept[0].source, c.memory ? files::JournalSource::Memory : files::JournalSource::Stream);
        const files::AxdReadResult r = files::readAxdFile(kept[0].path);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(dataOf(r.contents), streamBytes(f->record.sampleStream));
        EXPECT_EQ(acq::ChannelSet::fromMask(r.contents.header.channelMask),
                  (acq::ChannelSet{c.channels[0], c.channels[1], c.channels[2]}));
        EXPECT_EQ(r.contents.header.samplePeriodUs, f->record.samplePeriodUs);
        EXPECT_EQ(r.contents.axisK, f->record.axisK);
        EXPECT_EQ(r.contents.comment, QStringLiteral("стенд 2\nвтулка"));

        const QString text = dir.filePath(QStringLiteral("run.txt"));
        dialogs.saveAnswers = {text};
        f->measurementFiles->btSaveClick();
        ASSERT_TRUE(QFileInfo::exists(text));
        EXPECT_EQ(files::listJournals(runs()).size(), 1u) << "a text export keeps it";
        dialogs.saveAnswers = {dir.filePath(QStringLiteral("run.axd"))};
        f->measurementFiles->btSaveClick();
        EXPECT_TRUE(files::listJournals(runs()).empty()) << "saved whole";
        EXPECT_TRUE(dialogs.messages.empty()) << qPrintable(dialogs.messageTexts().join('\n'));
        f.reset();
        QDir(runs()).removeRecursively();
    }
}

// The settings file says how many runs are kept; the newest stay.
TEST_F(JournalWindowTest, KeepsAsManyRunsAsTheSettingsFileSays)
{
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("tremor.ini")), "[Journal]\r\nRuns=2\r\n"));
    auto f = make();
    for (int run = 0; run < 3; ++run)
        transfer(*f, {"run", false, {true, false, false}, 0, 0, 100 + run});
    const auto kept = files::listJournals(runs());
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].frames() + kept[1].frames(), 102 + 101);
    // The one that went was never saved: the operator is told.
    const auto told = [&] {
        return dialogs.messageTexts().filter(QRegularExpression(QStringLiteral("^Удалено 1 несохранённое измерение: "))).size();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return told() == 1; }, 5000)) << qPrintable(dialogs.messageTexts().join('\n'));
}

// Several journals a crash left are offered in one question; "Да" lists them all. Each is closed
// as offered, so no keeping can take one that nobody was asked about. One with no frame is
// not offered.
TEST_F(JournalWindowTest, SeveralJournalsACrashLeftAreOfferedTogether)
{
    for (const int frameCount : {300, 200, 0}) {
        files::JournalStart s;
        s.header.channelMask = 0x01;
        s.header.samplePeriodUs = 1250;
        s.startTime = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26)).addSecs(frameCount);
        s.sequence = files::nextJournalSequence(runs());
        files::RunJournal journal;
        QString why;
        ASSERT_TRUE(journal.begin(runs(), s, why)) << qPrintable(why);
        journal.append(QByteArray(frameCount * 2, '\1').constData(), std::size_t(frameCount * 2));
    }
    dialogs.questionAnswers = {true};
    auto f = make();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.questions.empty(); }, 5000));
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_TRUE(dialogs.questions[0].startsWith(QStringLiteral("Найдено несохранённых измерений: 2.")));
    EXPECT_TRUE(dialogs.questions[0].contains(QStringLiteral("(300 кадров)")) &&
                dialogs.questions[0].contains(QStringLiteral("(200 кадров)")))
        << qPrintable(dialogs.questions[0]);
    ASSERT_TRUE(f->journal->listDialog());
    EXPECT_EQ(f->journal->listDialog()->findChild<QTreeWidget*>(QStringLiteral("lvJournals"))->topLevelItemCount(), 2);
    EXPECT_TRUE(files::unfinishedJournals(runs()).empty());
    EXPECT_EQ(QDir(runs()).entryList(QDir::Files).size(), 4);
}

// A journal a crash left is offered once, at the next start: "Да" opens it as the record a run
// leaves (partial, and said so, ready to be saved as a new measurement); "Нет" leaves it to the
// list of unsaved measurements, which opens it the same way.
TEST_F(JournalWindowTest, AJournalACrashLeftIsOfferedOnceAndOpensAsThePartialRun)
{
    const QDateTime start(QDate(2026, 3, 14), QTime(15, 9, 26));
    QByteArray frames(600 * 4, '\0');
    for (int i = 0; i < frames.size(); ++i)
        frames[i] = char(i * 13 + 5);
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Да" : "Нет");
        QDir(runs()).removeRecursively();
        {
            files::JournalStart s;
            s.header.channelMask = 0x05;
            s.header.samplePeriodUs = 1250;
            s.axisK = {2, 2, 2};
            s.startTime = start;
            s.comment = QStringLiteral("опыт 7");
            s.expectedBytes = 4000;
            s.simulated = true;
            files::RunJournal journal;
            QString why;
            ASSERT_TRUE(journal.begin(runs(), s, why)) << qPrintable(why);
            journal.append(frames.constData(), std::size_t(frames.size()));
            journal.append("xyz", 3); // a frame cut by the crash
        } // left as the crash left it

        dialogs.questions.clear();
        dialogs.questionAnswers = {yes};
        auto f = make();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.questions.empty(); }, 5000));
        EXPECT_EQ(dialogs.questions,
                  std::vector<QString>{QStringLiteral("Найдено несохранённое измерение от 14.03.2026 15:09:26 (600 кадров), программа была прервана во время приёма. Открыть?")});
        if (!yes) {
            EXPECT_TRUE(f->record.sampleStream.isEmpty());
            f->journal->showList();
            QDialog* list = f->journal->listDialog();
            ASSERT_TRUE(list);
            auto* rows = list->findChild<QTreeWidget*>(QStringLiteral("lvJournals"));
            ASSERT_EQ(rows->topLevelItemCount(), 1);
            EXPECT_EQ(rows->topLevelItem(0)->text(1), QStringLiteral("XZ"));
            EXPECT_TRUE(rows->topLevelItem(0)->text(2).startsWith(QStringLiteral("600 кадров")));
            EXPECT_EQ(rows->topLevelItem(0)->text(3), QStringLiteral("опыт 7"));
            list->findChild<QPushButton*>(QStringLiteral("btOpenJournal"))->click();
        }
        EXPECT_EQ(streamBytes(f->record.sampleStream), frames);
        EXPECT_TRUE(f->record.isPartial());
        EXPECT_FALSE(f->record.loadedFromFile);
        EXPECT_EQ(f->record.startTime, start);
        EXPECT_TRUE(f->record.simulatedBoard) << "saved marked as the simulated board's";
        EXPECT_EQ(f->record.channelLetters, QStringLiteral("XZ"));
        EXPECT_DOUBLE_EQ(f->record.sampleRateHz, 800);
        EXPECT_EQ(f->measurementFiles->mComment->comment(), QStringLiteral("опыт 7"));
        EXPECT_TRUE(f->status->panelText(1).endsWith(QStringLiteral(", неполная запись")))
            << qPrintable(f->status->panelText(1));
        EXPECT_TRUE(f->status->panelText(1).startsWith(QStringLiteral("Имитатор платы: ")))
            << qPrintable(f->status->panelText(1));
        EXPECT_TRUE(f->chartPart->Chart1->isEnabled()) << "charted";
        if (yes) {
            // Saved onto its own journal: what was just written stays.
            const QString own = files::listJournals(runs())[0].path;
            dialogs.saveAnswers = {own};
            f->measurementFiles->btSaveClick();
            const files::AxdReadResult saved = files::readAxdFile(own);
            ASSERT_TRUE(saved.ok()) << qPrintable(saved.message(own));
            EXPECT_EQ(dataOf(saved.contents), frames);
        }

        // Offered once only.
        f.reset();
        dialogs.questions.clear();
        f = make();
        QTest::qWait(50);
        EXPECT_TRUE(dialogs.questions.empty());
        EXPECT_EQ(files::listJournals(runs()).size(), 1u);
    }
}

// A journal another running copy writes (a real process holds its lock) is shown as such in the
// list; it is neither opened nor saved over.
TEST_F(JournalWindowTest, AnotherCopysJournalIsNeitherOpenedNorSavedOver)
{
    QString path;
    {
        files::JournalStart s;
        s.header.channelMask = 0x01;
        s.header.samplePeriodUs = 1250;
        s.startTime = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26));
        files::RunJournal journal;
        QString why;
        ASSERT_TRUE(journal.begin(runs(), s, why)) << qPrintable(why);
        journal.append(QByteArray(600, '\1').constData(), 600);
        path = journal.path();
    }
    // Another copy: a real process holding the lock, flock(1) running cat until its input closes.
    QProcess other;
    other.start(QStringLiteral("flock"), {QStringLiteral("--exclusive"), path, QStringLiteral("cat")});
    ASSERT_TRUE(other.waitForStarted(10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return files::journalInUse(path); }, 5000));
    const QByteArray before = testutil::readAll(path);

    auto f = make();
    QTest::qWait(50);
    EXPECT_TRUE(dialogs.questions.empty()) << "not offered";
    f->journal->showList();
    auto* rows = f->journal->listDialog()->findChild<QTreeWidget*>(QStringLiteral("lvJournals"));
    ASSERT_EQ(rows->topLevelItemCount(), 1);
    EXPECT_EQ(rows->topLevelItem(0)->text(2), QStringLiteral("идёт запись в другой копии программы"));
    EXPECT_FALSE(rows->topLevelItem(0)->flags() & Qt::ItemIsEnabled);
    f->journal->listDialog()->findChild<QPushButton*>(QStringLiteral("btOpenJournal"))->click();
    EXPECT_TRUE(f->record.sampleStream.isEmpty()) << "not opened";
    EXPECT_FALSE(f->journal->open(files::listJournals(runs())[0]));

    transfer(*f, {"run", false, {true, false, false}, 0, 0, 100});
    dialogs.saveAnswers = {path};
    f->measurementFiles->btSaveClick();
    EXPECT_EQ(testutil::readAll(path), before) << "not saved over";
    other.closeWriteChannel(); // the other copy ends, and its lock with it
    ASSERT_TRUE(other.waitForFinished(10000));
}

// A disk that fills up during a run: the run completes whole, and one message says that the
// journal stopped.
TEST_F(JournalWindowTest, AFullDiskStopsTheJournalWithOneMessageNotTheRun)
{
    auto f = make();
    QTest::qWait(20); // the start-up notices
    dialogs.messages.clear();
    {
        testutil::FileSizeLimit limit(32 * 1024);
        ASSERT_TRUE(limit.active());
        transfer(*f, {"run", false, {true, true, true}, 0, 0, 20000});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.empty(); }, 5000));
    }
    ASSERT_EQ(f->record.sampleStream.size(), 120000u);
    expectScene(streamBytes(f->record.sampleStream), {true, true, true}, 3200, 0);
    EXPECT_FALSE(f->record.isPartial());
    QTest::qWait(1200); // a second look of the watch finds nothing more to tell
    ASSERT_EQ(dialogs.messages.size(), 1u) << qPrintable(dialogs.messageTexts().join('\n'));
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Запись измерения на диск остановлена: ")))
        << qPrintable(dialogs.messages[0].text);
}

// ---- A crash in the middle of a transfer -----------------------------------------------------

namespace {

constexpr char kChildPort[] = "ACCEL3_JOURNAL_CHILD_PORT";
constexpr char kChildFolder[] = "ACCEL3_JOURNAL_CHILD_FOLDER";
constexpr char kChildMemory[] = "ACCEL3_JOURNAL_CHILD_MEMORY";
constexpr char kChildTerm[] = "ACCEL3_JOURNAL_CHILD_TERM"; // ends on SIGTERM as the program does
constexpr int kSeed = 5;
constexpr std::uint32_t kBaud = 921600;

const Transfer kCrashCases[] = {
    // 30 s of three channels at 3200 Hz, killed after about 2 s.
    {"run to the computer", false, {true, true, true}, 0, 0, 96000},
    // 12,000 frames: the header block and two more, the blocks two seconds apart.
    {"memory read", true, {true, true, true}, 0, 0, 12000},
};

} // namespace

// The child: the window measuring from the emulator, telling on standard output how many bytes
// the record holds each time the window announces progress, until it is killed.
TEST(JournalCrash, DISABLED_Child)
{
    if (qEnvironmentVariableIsEmpty(kChildPort))
        GTEST_SKIP() << "started by JournalCrash.KilledInTheMiddle only";
    FakeDialogs dialogs;
    FakeHelp help;
    platform::SystemTicks ticks;
    files::MainSettings settings;
    settings.loadHelpOnStart = 1;
    TForm1 f(app::Services{&dialogs, &help, &ticks}, testutil::pathsIn(qEnvironmentVariable(kChildFolder)), settings);
    useSerialPort(f, qEnvironmentVariable(kChildPort), 500, kBaud);
    const Transfer& t = kCrashCases[qEnvironmentVariableIntValue(kChildMemory)];
    setUp(f, t);
    QObject::connect(f.measurementRun.get(), &acq::MeasurementRun::activityShown, [&f] {
        std::printf("received %u\n", f.record.receivedBytes);
        std::fflush(stdout);
    });
    app::TerminationSignals termination;
    if (!qEnvironmentVariableIsEmpty(kChildTerm)) {
        QObject::connect(&termination, &app::TerminationSignals::terminationRequested, &f,
                         [&f] { f.closeOnTerminationSignal(); });
        QObject::connect(&f, &TForm1::closed, [] { std::_Exit(0); });
    }
    f.btStartClick();
    if (t.memory) {
        // The recording's time is up; then it is read back.
        ASSERT_TRUE(QTest::qWaitFor([&] { return f.status->panelText(0).contains(QStringLiteral("истекло")); }, 30000));
        f.measurementRun->btRdClick();
    }
    QTest::qWait(60000);
    ADD_FAILURE() << "not killed";
}

namespace {

bool startChild(QProcess& child, const QString& port, const QString& folder, int transfer, bool term)
{
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildPort), port);
    env.insert(QString::fromLatin1(kChildFolder), folder);
    env.insert(QString::fromLatin1(kChildMemory), QString::number(transfer));
    if (term)
        env.insert(QString::fromLatin1(kChildTerm), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=JournalCrash.DISABLED_Child"), QStringLiteral("--gtest_also_run_disabled_tests")});
    return child.waitForStarted(10000);
}

// The most the child's record held, as it told, read until it held at least `atLeast` bytes (0:
// only what was told so far).
std::uint32_t readReceived(QProcess& child, std::uint32_t atLeast, std::uint32_t seen = 0)
{
    do {
        while (child.canReadLine()) {
            const QByteArray line = child.readLine().trimmed();
            if (line.startsWith("received "))
                seen = std::max(seen, line.mid(9).toUInt());
        }
    } while (seen < atLeast && child.state() == QProcess::Running && (child.canReadLine() || child.waitForReadyRead(60000)));
    return seen;
}

} // namespace

// Killed with SIGKILL in the middle of a run to the computer, or half-way through a memory read:
// the journal left on disk holds, frame by frame, what the board sent, at least all that the
// window had taken a second before the kill; the next start offers it and opens it as that record.
TEST(JournalCrash, KilledInTheMiddle)
{
    for (int i = 0; i < 2; ++i) {
        const Transfer& t = kCrashCases[i];
        SCOPED_TRACE(t.what);
        QTemporaryDir dir;
        acq::SimScene scene;
        scene.seed = kSeed;
        QStringList simArguments{QStringLiteral("--Seed"), QString::number(kSeed), QStringLiteral("--baud"),
                                 QString::number(kBaud)};
        if (t.memory)
            simArguments << QStringLiteral("--block-delay") << QStringLiteral("2000");
        BoardSimProcess sim(simArguments);
        ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());

        QProcess child;
        ASSERT_TRUE(startChild(child, sim.path(), dir.path(), i, false));
        // The board's data rate, and the amount after which the child is killed: 2 s of a run,
        // the first block of a read.
        const std::uint32_t killAfter = t.memory ? 30000u : 2u * 3200u * 6u;
        const std::uint32_t seen = readReceived(child, killAfter);
        ASSERT_GE(seen, killAfter) << child.readAllStandardError().toStdString();
        // All the window had a second ago must be on disk now.
        QThread::msleep(1000);
        ASSERT_EQ(child.state(), QProcess::Running);
        ::kill(pid_t(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(10000));

        const QString runs = dir.filePath(QStringLiteral("runs"));
        const auto left = files::unfinishedJournals(runs);
        ASSERT_EQ(left.size(), 1u);
        const files::AxdReadResult r = files::readAxdFile(left[0].path);
        ASSERT_TRUE(r.ok());
        ASSERT_TRUE(r.contents.unfinishedJournal);
        const QByteArray journalled = dataOf(r.contents);
        EXPECT_GE(std::uint64_t(journalled.size()), seen / 6 * 6) << "whole frames";
        EXPECT_LT(std::uint64_t(journalled.size()), std::uint64_t(t.samples) * 6) << "killed in the middle";
        expectScene(journalled, {true, true, true}, 3200, 0, scene);

        // Started again: offered, and opened as the record.
        FakeDialogs dialogs;
        FakeHelp help;
        platform::ManualTicks ticks{1000};
        dialogs.questionAnswers = {true};
        files::MainSettings settings;
        settings.loadHelpOnStart = 1;
        TForm1 again(app::Services{&dialogs, &help, &ticks}, testutil::pathsIn(dir.path()), settings);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.questions.empty(); }, 5000));
        EXPECT_EQ(dialogs.questions[0], files::journalOfferText(left[0]));
        EXPECT_EQ(streamBytes(again.record.sampleStream), journalled);
        EXPECT_TRUE(again.record.isPartial());
    }
}

// SIGTERM (a shutdown, a logout) in the middle of a run to the computer: what had come on the line
// is taken in, and the journal is left as an interrupted run, offered at the next start as such.
TEST(JournalCrash, TerminatedInTheMiddle)
{
    QTemporaryDir dir;
    acq::SimScene scene;
    scene.seed = kSeed;
    BoardSimProcess sim({QStringLiteral("--Seed"), QString::number(kSeed), QStringLiteral("--baud"), QString::number(kBaud)});
    ASSERT_FALSE(sim.path().isEmpty()) << qPrintable(sim.error());
    QProcess child;
    ASSERT_TRUE(startChild(child, sim.path(), dir.path(), 0, true));
    std::uint32_t seen = readReceived(child, 2u * 3200u * 6u);
    ASSERT_GE(seen, 2u * 3200u * 6u) << child.readAllStandardError().toStdString();
    // Half a second of bytes waits on the line, not yet taken (they are taken about once a second).
    QThread::msleep(500);
    child.waitForReadyRead(0);
    seen = readReceived(child, 0, seen);
    ::kill(pid_t(child.processId()), SIGTERM);
    ASSERT_TRUE(child.waitForFinished(10000));
    ASSERT_EQ(child.exitCode(), 0) << child.readAllStandardError().toStdString();

    const auto left = files::unfinishedJournals(dir.filePath(QStringLiteral("runs")));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].stop, files::JournalStop::Exit);
    const files::AxdReadResult r = files::readAxdFile(left[0].path);
    ASSERT_TRUE(r.ok());
    const QByteArray journalled = dataOf(r.contents);
    EXPECT_GT(std::uint64_t(journalled.size()), seen) << "what had come was taken in";
    expectScene(journalled, {true, true, true}, 3200, 0, scene);

    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks{1000};
    dialogs.questionAnswers = {false};
    files::MainSettings settings;
    settings.loadHelpOnStart = 1;
    TForm1 again(app::Services{&dialogs, &help, &ticks}, testutil::pathsIn(dir.path()), settings);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.questions.empty(); }, 5000));
    EXPECT_TRUE(dialogs.questions[0].contains(QStringLiteral(", прервано при завершении программы. Открыть?")))
        << qPrintable(dialogs.questions[0]);
}
