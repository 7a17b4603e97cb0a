#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <thread>

#include <csignal>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/filesizelimit.h"
#include "common/axdtoolrun.h"
#include "common/testutil.h"
#include "files/runjournal.h"
#include "files/ui/journalui.h"

using namespace files;

namespace {

JournalStart startOf(std::uint8_t mask, const QDateTime& when, const QString& comment = QStringLiteral("опыт 1"))
{
    JournalStart s;
    s.header.channelMask = mask;
    s.header.samplePeriodUs = 312.5;
    s.axisK = {0.5, 0.25, 2};
    s.axisC = {1, -2, 3};
    s.xAxisTitle = QStringLiteral("Время, мс");
    s.yAxisTitle = QStringLiteral("Ускорение, g");
    s.startTime = when;
    s.comment = comment;
    s.expectedBytes = 6000;
    return s;
}

QByteArray frames(int count, int channels)
{
    QByteArray b(count * channels * 2, '\0');
    for (int i = 0; i < b.size(); ++i)
        b[i] = char(i * 7 + 1);
    return b;
}

const QDateTime kStart(QDate(2026, 3, 14), QTime(15, 9, 26));

} // namespace

// What the run sent is what the journal holds, whether the run ended, or the program died in the
// middle (the journal then reads as the frames that reached the disk, with any partial frame cut).
TEST(RunJournal, HoldsTheRunWhetherItEndedOrNot)
{
    struct Case {
        const char* what;
        bool finished;
        int extraBytes; // a partial frame at the end
    } cases[] = {{"finished", true, 0}, {"finished, partial frame", true, 3}, {"killed", false, 0},
                 {"killed, partial frame", false, 5}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QByteArray data = frames(1000, 3) + QByteArray(c.extraBytes, 'z');
        QString path;
        {
            RunJournal journal;
            QString why;
            ASSERT_TRUE(journal.begin(dir.path(), startOf(0x07, kStart), why)) << why.toStdString();
            path = journal.path();
            for (int at = 0; at < data.size(); at += 777)
                journal.append(data.constData() + at, std::size_t(std::min<qsizetype>(777, data.size() - at)));
            // Being written (here, or by another copy of the program): not a crash's leftover.
            EXPECT_TRUE(unfinishedJournals(dir.path()).empty()) << c.what;
            if (c.finished) {
                EXPECT_TRUE(journal.finish());
            }
        } // an unfinished journal is left as a crash leaves it

        const AxdReadResult r = readAxdFile(path);
        ASSERT_TRUE(r.ok()) << c.what;
        EXPECT_EQ(r.contents.header.channelMask, 0x07) << c.what;
        EXPECT_EQ(r.contents.header.samplePeriodUs, 312.5) << c.what;
        EXPECT_EQ(r.contents.axisC[1], -2) << c.what;
        EXPECT_EQ(r.contents.yAxisTitle, QStringLiteral("Ускорение, g")) << c.what;
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.contents.data.data()), qsizetype(r.contents.data.size())),
                  frames(1000, 3))
            << c.what;
        EXPECT_EQ(r.contents.unfinishedJournal, !c.finished) << c.what;
        EXPECT_EQ(r.contents.comment, c.finished ? QStringLiteral("опыт 1") : QString()) << c.what;
        // axdtool tells the run's start and comment whether the journal was closed or not.
        const testutil::ToolRun info = testutil::axdtool({QStringLiteral("info"), path});
        ASSERT_EQ(info.status, 0) << c.what;
        EXPECT_TRUE(info.out.contains(QStringLiteral("\"comment\":\"опыт 1\""))) << info.out.toStdString();
        EXPECT_TRUE(info.out.contains(QStringLiteral("\"startTime\":\"2026-03-14T15:09:26"))) << info.out.toStdString();
        EXPECT_TRUE(info.out.contains(c.finished ? QStringLiteral("\"journal\":\"closed\",\"partial\":false")
                                                 : QStringLiteral("\"journal\":\"open\",\"partial\":true")))
            << info.out.toStdString();
        // An export of an open journal takes the comment from beside it and says what it is.
        const testutil::ToolRun exported =
            testutil::axdtool({QStringLiteral("export"), path, QStringLiteral("-"), QStringLiteral("--format"),
                               QStringLiteral("txt"), QStringLiteral("--encoding"), QStringLiteral("utf-8")});
        ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
        EXPECT_TRUE(exported.out.contains(QStringLiteral("опыт 1"))) << c.what;
        EXPECT_EQ(exported.err.contains(QStringLiteral("unfinished run journal")), !c.finished) << c.what;

        const auto open = unfinishedJournals(dir.path());
        ASSERT_EQ(open.size(), c.finished ? 0u : 1u) << c.what;
        const auto listed = listJournals(dir.path());
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].frames(), 1000) << c.what;
        EXPECT_EQ(listed[0].startTime, kStart) << c.what;
        EXPECT_EQ(listed[0].complete, c.finished) << c.what;
        if (!c.finished) {
            EXPECT_EQ(journalOfferText(open[0]),
                      QStringLiteral("Найдено несохранённое измерение от 14.03.2026 15:09:26 (1000 кадров), программа была прервана во время приёма. Открыть?"));
            JournalEntry damaged = open[0];
            damaged.damaged = true; // a header claiming more than the file holds
            EXPECT_TRUE(journalOfferText(damaged).endsWith(
                QStringLiteral(", повреждён, программа была прервана во время приёма. Открыть?")));
            // Offered once: afterwards it is a closed file with the frames it had, still partial.
            closeUnfinishedJournal(path);
            EXPECT_TRUE(unfinishedJournals(dir.path()).empty()) << c.what;
            const AxdReadResult closed = readAxdFile(path);
            ASSERT_TRUE(closed.ok());
            EXPECT_FALSE(closed.contents.unfinishedJournal);
            EXPECT_EQ(closed.contents.data.size(), std::size_t(6000));
            EXPECT_FALSE(listJournals(dir.path())[0].complete);
        }
        // Closed either way, the file itself holds the comment and the start.
        const AxdReadResult closed = readAxdFile(path);
        EXPECT_EQ(closed.contents.comment, QStringLiteral("опыт 1")) << c.what;
        EXPECT_EQ(QFileInfo(path).lastModified(), kStart) << c.what;
        EXPECT_TRUE(testutil::axdtool({QStringLiteral("info"), path})
                        .out.contains(QStringLiteral("\"journal\":\"closed\",\"partial\":%1")
                                          .arg(c.finished ? QStringLiteral("false") : QStringLiteral("true"))))
            << c.what;
    }
}

// A disk that fills up stops the journal with one message, and the run's appends go on at once.
TEST(RunJournal, FullDiskStopsTheJournalNotTheRun)
{
    QTemporaryDir dir;
    RunJournal journal(RunJournal::Options{std::chrono::milliseconds(20), std::size_t(64) << 20});
    QString why;
    ASSERT_TRUE(journal.begin(dir.path(), startOf(0x01, kStart), why));
    const QByteArray block = frames(4096, 1);
    {
        testutil::FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.active());
        for (int i = 0; i < 64; ++i)
            journal.append(block.constData(), std::size_t(block.size()));
        for (int i = 0; i < 200 && QFileInfo(journal.path()).size() < 64 * 1024; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_FALSE(journal.finish());
    }
    const QString failure = journal.takeFailure();
    EXPECT_FALSE(failure.isEmpty());
    EXPECT_TRUE(journal.takeFailure().isEmpty()) << "told once";
}

// A journal left unfinished is later described by what happened to it, also once offered and
// closed; one without a single whole frame is not offered but removed.
TEST(RunJournal, AnUnfinishedJournalSaysWhyAndAnEmptyOneGoes)
{
    enum class End { Kill, Exit, FullDisk };
    struct Case {
        const char* what;
        End end;
        int frameCount;
        const char* why; // nullptr: removed, not offered
    } cases[] = {{"killed", End::Kill, 500, "программа была прервана во время приёма"},
                 {"program ended", End::Exit, 500, "прервано при завершении программы"},
                 {"disk full", End::FullDisk, 40000, "запись журнала остановлена: диск заполнен"},
                 {"killed before a whole frame", End::Kill, 0, nullptr},
                 {"ended before a whole frame", End::Exit, 0, nullptr}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        {
            RunJournal journal(RunJournal::Options{std::chrono::milliseconds(20), std::size_t(64) << 20});
            QString why;
            ASSERT_TRUE(journal.begin(dir.path(), startOf(0x01, kStart), why));
            const QByteArray data = frames(c.frameCount, 1) + "z";
            if (c.end == End::FullDisk) {
                testutil::FileSizeLimit limit(16 * 1024);
                journal.append(data.constData(), std::size_t(data.size()));
                for (int i = 0; i < 200 && journal.takeFailure().isEmpty(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                journal.recordStop();
                EXPECT_FALSE(journal.finish());
            } else {
                journal.append(data.constData(), std::size_t(data.size()));
                if (c.end == End::Exit)
                    journal.interrupt();
            }
        }
        const auto left = unfinishedJournals(dir.path());
        if (!c.why) {
            EXPECT_TRUE(left.empty()) << c.what;
            EXPECT_TRUE(QDir(dir.path()).isEmpty()) << c.what;
            continue;
        }
        ASSERT_EQ(left.size(), 1u) << c.what;
        EXPECT_EQ(journalStopText(left[0]), QString::fromUtf8(c.why)) << c.what;
        EXPECT_TRUE(journalOfferText(left[0]).contains(QString::fromUtf8(c.why))) << c.what;
        closeUnfinishedJournal(left[0].path);
        EXPECT_EQ(journalStopText(listJournals(dir.path())[0]), QString::fromUtf8(c.why)) << c.what;
    }
}

// Another running copy's journal (a real process holds its lock) is listed as such, never
// offered, closed or removed here.
TEST(RunJournal, AnotherCopysJournalIsLeftAlone)
{
    // A copy showing a finished journal's record holds it shared: neither this copy's keeping nor
    // a save here may remove it, and a hold of this copy keeps it from its own keeping likewise.
    {
        QTemporaryDir dir;
        QStringList paths;
        for (int run = 0; run < 2; ++run) {
            RunJournal journal;
            QString why;
            JournalStart s = startOf(0x01, kStart);
            s.sequence = nextJournalSequence(dir.path());
            ASSERT_TRUE(journal.begin(dir.path(), s, why));
            const QByteArray data = frames(100, 1);
            journal.append(data.constData(), std::size_t(data.size()));
            ASSERT_TRUE(journal.finish());
            paths << journal.path();
        }
        const QString older = paths[0];
        QProcess shower;
        shower.start(QStringLiteral("flock"), {QStringLiteral("--shared"), older, QStringLiteral("cat")});
        ASSERT_TRUE(shower.waitForStarted(10000));
        const auto heldElsewhere = [&] {
            QFile f(older);
            return f.open(QIODevice::ReadOnly) && ::flock(f.handle(), LOCK_EX | LOCK_NB) != 0;
        };
        for (int i = 0; i < 500 && !heldElsewhere(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_TRUE(heldElsewhere());
        EXPECT_TRUE(pruneJournals(dir.path(), {1, 0}, {}).empty());
        EXPECT_FALSE(removeJournal(older));
        shower.closeWriteChannel();
        ASSERT_TRUE(shower.waitForFinished(10000));
        JournalHold mine;
        mine.hold(older);
        EXPECT_TRUE(pruneJournals(dir.path(), {1, 0}, {}).empty());
        mine.release();
        EXPECT_EQ(pruneJournals(dir.path(), {1, 0}, {}).size(), 1u) << "no one holds it any more";
        EXPECT_FALSE(QFileInfo::exists(older));
    }
    QTemporaryDir dir;
    QString path;
    {
        RunJournal journal;
        QString why;
        ASSERT_TRUE(journal.begin(dir.path(), startOf(0x01, kStart), why));
        path = journal.path();
        const QByteArray data = frames(100, 1);
        journal.append(data.constData(), std::size_t(data.size()));
    }
    // Another copy: a real process holding the lock, flock(1) running cat until its input closes.
    QProcess other;
    other.start(QStringLiteral("flock"), {QStringLiteral("--exclusive"), path, QStringLiteral("cat")});
    ASSERT_TRUE(other.waitForStarted(10000));
    for (int i = 0; i < 500 && !journalInUse(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(journalInUse(path));

    const auto listed = listJournals(dir.path());
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(listed[0].inUse);
    EXPECT_TRUE(unfinishedJournals(dir.path()).empty());
    EXPECT_TRUE(pruneJournals(dir.path(), {1, 0}, {}).empty());
    EXPECT_FALSE(removeJournal(path));
    closeUnfinishedJournal(path);
    EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral(".json")));
    EXPECT_TRUE(readAxdFile(path).contents.unfinishedJournal) << "not closed";
    other.closeWriteChannel(); // the other copy ends, and its lock with it
    ASSERT_TRUE(other.waitForFinished(10000));
    EXPECT_EQ(unfinishedJournals(dir.path()).size(), 1u) << "gone with the other copy: a crash's";
}

// The keeping removes the runs made first, beyond the count or the size, and says which went;
// never one a crash left that was not offered, nor the record's on screen. A run's start time
// (any a memory read may carry) does not count. A journal with no frame goes unmentioned.
TEST(RunJournal, KeepsTheNewestMadeRunsAndTellsWhatWent)
{
    struct Case {
        const char* what;
        JournalLimits limits;
        int keptRun;   // the record on screen; -1 none
        int crashRun;  // left unfinished, not offered; -1 none
        std::vector<int> kept; // the runs left, newest made first
    } cases[] = {{"count", {3, std::uint64_t(1) << 30}, -1, -1, {4, 3, 2}},
                 {"size", {10, 2500}, -1, -1, {4, 3}},
                 {"record on screen", {2, std::uint64_t(1) << 30}, 0, -1, {4, 3, 0}},
                 {"crash's, not offered", {2, std::uint64_t(1) << 30}, -1, 1, {4, 3, 1}}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        std::vector<QString> paths;
        for (int run = 0; run < 6; ++run) {
            RunJournal journal;
            QString why;
            // Each made later than the one before, each starting earlier.
            JournalStart s = startOf(0x01, kStart.addDays(-run));
            s.sequence = nextJournalSequence(dir.path());
            ASSERT_TRUE(journal.begin(dir.path(), s, why));
            paths.push_back(journal.path());
            const QByteArray data = frames(run == 5 ? 0 : 600, 1); // the last one received nothing
            journal.append(data.constData(), std::size_t(data.size()));
            if (run != c.crashRun)
                ASSERT_TRUE(journal.finish());
        }
        const QStringList keep = c.keptRun >= 0 ? QStringList{paths[std::size_t(c.keptRun)]} : QStringList{};
        const auto removed = pruneJournals(dir.path(), c.limits, keep);
        std::vector<int> left;
        for (const JournalEntry& e : listJournals(dir.path()))
            left.push_back(int(std::find(paths.begin(), paths.end(), e.path) - paths.begin()));
        EXPECT_EQ(left, c.kept) << c.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), qsizetype(2 * c.kept.size())) << c.what;
        ASSERT_EQ(removed.size(), 5 - c.kept.size()) << c.what;
        EXPECT_TRUE(prunedJournalsText(removed).startsWith(QStringLiteral("Удалено %1 ").arg(removed.size())))
            << c.what;
    }
    // The count agrees with its noun as Russian has it.
    const std::pair<std::size_t, const char*> counts[] = {
        {1, "1 несохранённое измерение:"},   {2, "2 несохранённых измерения:"},  {4, "4 несохранённых измерения:"},
        {5, "5 несохранённых измерений:"},   {11, "11 несохранённых измерений:"}, {12, "12 несохранённых измерений:"},
        {21, "21 несохранённое измерение:"}, {22, "22 несохранённых измерения:"}};
    for (const auto& [n, text] : counts)
        EXPECT_TRUE(prunedJournalsText(std::vector<JournalEntry>(n)).startsWith(QStringLiteral("Удалено ") +
                                                                               QString::fromUtf8(text)))
            << n;
}

// Killed (SIGKILL, in a child) before any write of the close, the journal reads as exactly the
// frames received: open with no comment, or closed and whole; never a comment read as frames.
TEST(RunJournal, AKillAtAnyStepOfTheCloseLeavesWholeFrames)
{
    for (int killAt = 0; killAt <= RunJournal::kFinishSteps; ++killAt) {
        SCOPED_TRACE(killAt);
        QTemporaryDir dir;
        const QByteArray data = frames(1000, 3) + QByteArray(3, 'z'); // and a partial frame
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RunJournal::Options options;
            options.beforeFinishStep = [killAt](int step) {
                if (step == killAt)
                    ::raise(SIGKILL);
            };
            RunJournal journal(options);
            QString why;
            if (!journal.begin(dir.path(), startOf(0x07, kStart, QStringLiteral("опыт 1\nвторая строка")), why))
                ::_exit(2);
            journal.append(data.constData(), std::size_t(data.size()));
            ::_exit(journal.finish() ? 0 : 3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_EQ(killAt < RunJournal::kFinishSteps, WIFSIGNALED(status));
        const auto listed = listJournals(dir.path());
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].frames(), 1000);
        for (bool closedSince : {false, true}) {
            const AxdReadResult r = readAxdFile(listed[0].path);
            ASSERT_TRUE(r.ok()) << r.reason.toStdString();
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(r.contents.data.data()), qsizetype(r.contents.data.size())),
                      frames(1000, 3));
            if (r.contents.unfinishedJournal || closedSince)
                EXPECT_TRUE(r.contents.comment.isEmpty() || r.contents.comment == QStringLiteral("опыт 1\nвторая строка"));
            else
                EXPECT_EQ(r.contents.comment, QStringLiteral("опыт 1\nвторая строка"));
            closeUnfinishedJournal(listed[0].path); // offered at the next start
        }
    }
}

// A journal's size is what is on disk: a header claiming more marks the entry damaged, listed at
// what it holds and never pushing another out. Without a usable ".json" a journal is still listed
// from its own file, and a length no measurement file can have is not taken.
TEST(RunJournal, DamagedOrOrphanedJournalsAreListedAtWhatTheyHold)
{
    struct Case {
        const char* what;
        std::uint32_t claim; // 0: as written
        const char* json;    // nullptr: as written; "": removed
        bool damaged;
        std::uint64_t expected;
        bool comment;
    } cases[] = {
        {"claims 4 GiB", 0xFFFFFFFFu, nullptr, true, 6000, true},
        {"claims 3 GiB", 0xC0000000u, nullptr, true, 6000, true},
        {"no .json", 0, "", false, 0, false},
        {"malformed .json", 0, "{\"start\": ", false, 0, false},
        {"huge expectedBytes", 0, "{\"start\":\"2026-03-14T15:11:26.000\",\"expectedBytes\":1e30}", false, 0, false},
        {"expectedBytes past 2^32", 0, "{\"start\":\"2026-03-14T15:11:26.000\",\"expectedBytes\":4294967297}", false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const JournalLimits limits{10, 2 * 1200};
        QString path;
        for (int run = 0; run < 3; ++run) {
            RunJournal journal;
            QString why;
            ASSERT_TRUE(journal.begin(dir.path(), startOf(0x01, kStart.addSecs(run * 60)), why));
            const QByteArray data = frames(600, 1); // 1200 bytes
            journal.append(data.constData(), std::size_t(data.size()));
            ASSERT_TRUE(journal.finish());
            pruneJournals(dir.path(), limits, {});
            if (run == 2)
                path = journal.path();
        }
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            if (c.claim) {
                f.seek(5);
                const char claim[4] = {char(c.claim), char(c.claim >> 8), char(c.claim >> 16), char(c.claim >> 24)};
                f.write(claim, 4);
            }
        }
        if (c.json) {
            QFile::remove(path + QStringLiteral(".json"));
            if (*c.json) {
                QFile j(path + QStringLiteral(".json"));
                ASSERT_TRUE(j.open(QIODevice::WriteOnly));
                j.write(c.json);
            }
        }
        auto listed = listJournals(dir.path());
        ASSERT_EQ(listed.size(), 2u) << "the newest is the one changed, the two before it within the size";
        EXPECT_EQ(listed[0].path, path);
        EXPECT_EQ(listed[0].damaged, c.damaged);
        EXPECT_EQ(journalListRow(listed[0])[2].endsWith(QStringLiteral(", повреждён")), c.damaged);
        EXPECT_EQ(listed[0].frames(), c.damaged ? 603 : 600) << "the data and comment it holds";
        EXPECT_EQ(listed[0].startTime, kStart.addSecs(120));
        EXPECT_EQ(listed[0].expectedBytes, c.expected);
        EXPECT_EQ(listed[0].comment, c.comment ? QStringLiteral("опыт 1") : QString());
        if (!c.damaged) {
            EXPECT_TRUE(readAxdFile(path).ok());
        }
        // The next run (2 bytes) pushes the oldest out unless the damaged one is not counted.
        RunJournal journal;
        QString why;
        ASSERT_TRUE(journal.begin(dir.path(), startOf(0x01, kStart.addSecs(600)), why));
        journal.append("ab", 2);
        ASSERT_TRUE(journal.finish());
        pruneJournals(dir.path(), limits, {});
        listed = listJournals(dir.path());
        ASSERT_FALSE(listed.empty());
        EXPECT_EQ(listed.back().startTime, kStart.addSecs(c.damaged ? 60 : 120));
    }
}

// Journal files are made new in a folder only this user may enter; a link, a FIFO or a device
// where a journal's file is expected is replaced or passed over, never written through, waited
// on or read without bound: by the writer, the list, the close of a crash's journal and axdtool.
TEST(RunJournal, OddFilesAreNeverFollowedOrWaitedOn)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("runs"));
    const QString victim = dir.filePath(QStringLiteral("victim.txt"));
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    {
        QFile v(victim);
        ASSERT_TRUE(v.open(QIODevice::WriteOnly));
        v.write("keep");
    }
    const auto link = [](const QString& target, const QString& name) {
        QFile::remove(name);
        return QFile::link(target, name);
    };
    // The names a run's journal will take, planted beforehand.
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString stem = folder + QStringLiteral("/20260314-150926-%1").arg(::getpid());
    ASSERT_TRUE(link(victim, stem + QStringLiteral(".axd")));
    ASSERT_TRUE(link(victim, stem + QStringLiteral("-2.axd.json")));
    QString path;
    {
        RunJournal journal;
        QString why;
        ASSERT_TRUE(journal.begin(folder, startOf(0x07, kStart), why)) << why.toStdString();
        path = journal.path();
        const QByteArray data = frames(100, 3);
        journal.append(data.constData(), std::size_t(data.size()));
    } // left open, as by a crash
    EXPECT_EQ(QFileInfo(folder).permissions() & 0x7777, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                            QFileDevice::ExeOwner | QFileDevice::ReadUser |
                                                            QFileDevice::WriteUser | QFileDevice::ExeUser);
    EXPECT_EQ(path, stem + QStringLiteral("-2.axd"));
    EXPECT_FALSE(QFileInfo(path + QStringLiteral(".json")).isSymLink());
    QFile::remove(stem + QStringLiteral(".axd"));

    // Seen at the next start: its ".json" now a link to the user's file, closed at the offer.
    ASSERT_TRUE(link(victim, path + QStringLiteral(".json")));
    ASSERT_EQ(unfinishedJournals(folder).size(), 1u);
    closeUnfinishedJournal(path);
    EXPECT_FALSE(QFileInfo(path + QStringLiteral(".json")).isSymLink());
    EXPECT_TRUE(unfinishedJournals(folder).empty());
    EXPECT_EQ(testutil::readAll(victim), QByteArray("keep"));

    // FIFOs and devices, named or linked, as journals and as their ".json".
    struct Odd {
        const char* name;
        QString target;
    } odds[] = {{"a.axd", fifo}, {"b.axd", QStringLiteral("/dev/zero")}, {"c.axd", QStringLiteral("/dev/urandom")}};
    for (const Odd& o : odds)
        ASSERT_TRUE(link(o.target, folder + QLatin1Char('/') + QLatin1String(o.name)));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/d.axd")).constData(), 0600), 0);
    for (const QString& json : {fifo, QStringLiteral("/dev/zero"), QString()}) {
        SCOPED_TRACE(json.toStdString());
        QFile::remove(path + QStringLiteral(".json"));
        if (!json.isEmpty())
            ASSERT_TRUE(link(json, path + QStringLiteral(".json")));
        const auto listed = listJournals(folder);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].frames(), 100);
        EXPECT_FALSE(readJournalEntry(path).has_value()) << "closed, and no usable .json";
        EXPECT_EQ(testutil::axdtool({QStringLiteral("info"), path}).status, 0);
    }
    for (const char* name : {"a.axd", "b.axd", "d.axd"}) {
        const testutil::ToolRun info = testutil::axdtool({QStringLiteral("info"), folder + QLatin1Char('/') + QLatin1String(name)});
        EXPECT_EQ(info.status, 1) << name;
        EXPECT_TRUE(info.err.contains(QStringLiteral("Это не обычный файл"))) << info.err.toStdString();
    }
    // The next run's prune and close pass them over.
    RunJournal journal;
    QString why;
    ASSERT_TRUE(journal.begin(folder, startOf(0x07, kStart.addSecs(60)), why));
    EXPECT_TRUE(journal.finish());
    pruneJournals(folder, {1, 1}, {});
    EXPECT_EQ(testutil::readAll(victim), QByteArray("keep"));
}

// A journal that cannot be made says why in Russian, in a sentence of its own.
TEST(RunJournal, TellsWhyItCannotBeMadeInRussian)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("file"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    RunJournal journal;
    QString why;
    EXPECT_FALSE(journal.begin(file + QStringLiteral("/runs"), startOf(0x07, kStart), why));
    EXPECT_TRUE(why.startsWith(QStringLiteral("не удалось создать папку ") + file + QStringLiteral("/runs: ")))
        << why.toStdString();
}
