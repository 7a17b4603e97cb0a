#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <thread>

#include "common/filesizelimit.h"
#include "common/axdtoolrun.h"
#include "common/testutil.h"
#include "files/runjournal.h"

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
            ASSERT_TRUE(journal.begin(dir.path(), startOf(0x07, kStart), {}, why)) << why.toStdString();
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

        const auto open = unfinishedJournals(dir.path());
        ASSERT_EQ(open.size(), c.finished ? 0u : 1u) << c.what;
        const auto listed = listJournals(dir.path());
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].frames(), 1000) << c.what;
        EXPECT_EQ(listed[0].startTime, kStart) << c.what;
        EXPECT_EQ(listed[0].complete, c.finished) << c.what;
        if (!c.finished) {
            EXPECT_EQ(journalOfferText(open[0]),
                      QStringLiteral("Найдено несохранённое измерение от 14.03.2026 15:09:26 (1000 кадров). Открыть?"));
            // Offered once: afterwards it is a closed file with the frames it had, still partial.
            closeUnfinishedJournal(path);
            EXPECT_TRUE(unfinishedJournals(dir.path()).empty()) << c.what;
            const AxdReadResult closed = readAxdFile(path);
            ASSERT_TRUE(closed.ok());
            EXPECT_FALSE(closed.contents.unfinishedJournal);
            EXPECT_EQ(closed.contents.data.size(), std::size_t(6000));
            EXPECT_FALSE(listJournals(dir.path())[0].complete);
        } else {
            EXPECT_EQ(QFileInfo(path).lastModified(), kStart) << c.what;
        }
    }
}

// A disk that fills up stops the journal with one message, and the run's appends go on at once.
TEST(RunJournal, FullDiskStopsTheJournalNotTheRun)
{
    QTemporaryDir dir;
    RunJournal journal(RunJournal::Options{std::chrono::milliseconds(20), std::size_t(64) << 20});
    QString why;
    ASSERT_TRUE(journal.begin(dir.path(), startOf(0x01, kStart), {}, why));
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

// The newest runs are kept, up to the count and the size, whichever is smaller.
TEST(RunJournal, KeepsTheNewestRunsWithinBothLimits)
{
    struct Case {
        const char* what;
        JournalLimits limits;
        std::size_t kept;
    } cases[] = {{"count", {3, std::uint64_t(1) << 30}, 3}, {"size", {10, 2500}, 2}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        for (int run = 0; run < 5; ++run) {
            RunJournal journal;
            QString why;
            ASSERT_TRUE(journal.begin(dir.path(), startOf(0x01, kStart.addSecs(run * 60)), c.limits, why));
            const QByteArray data = frames(600, 1); // 1200 bytes
            journal.append(data.constData(), std::size_t(data.size()));
            ASSERT_TRUE(journal.finish());
        }
        const auto kept = listJournals(dir.path());
        ASSERT_EQ(kept.size(), c.kept) << c.what;
        EXPECT_EQ(kept.front().startTime, kStart.addSecs(4 * 60)) << c.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), qsizetype(2 * c.kept)) << c.what;
    }
}
