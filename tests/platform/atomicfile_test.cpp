#include "platform/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/sysmacros.h>
#include <csignal>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/filesizelimit.h"
#include "common/testutil.h"

using namespace platform;

namespace {

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

const QByteArray kOld = "old contents, whole\r\n";

} // namespace

// Whatever stops a write, the old file stays byte for byte, no temporary file is left, and the
// failure names the file and the reason.
TEST(AtomicFile, AFailedWriteLeavesTheOldFileWholeAndNoTemporary)
{
    struct Case {
        const char* what;
        const char* name;
        rlim_t sizeLimit; // 0: none
        std::function<bool(QIODevice&)> fill;
        QString message; // after the path
    } cases[] = {
        {"one big write past a size limit", "a.csv", 2048,
         [](QIODevice& out) { return out.write(QByteArray(10000, 'x')) == 10000; },
         QStringLiteral("Превышен допустимый размер файла")},
        // Small writes all fit the buffer: only the last flush fails, and still it is seen.
        {"the last buffered bytes past a size limit", "b.ini", 2048,
         [](QIODevice& out) {
             for (int i = 0; i < 30; ++i)
                 out.write(QByteArray(100, 'y'));
             return true;
         },
         QStringLiteral("Превышен допустимый размер файла")},
        {"the writer gives up", "c.axd", 0,
         [](QIODevice& out) {
             out.write("half of the new");
             return false;
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QString::fromUtf8(c.name));
        ASSERT_TRUE(testutil::writeAll(path, kOld));
        std::optional<WriteFailure> failure;
        {
            std::optional<testutil::FileSizeLimit> limit;
            if (c.sizeLimit)
                limit.emplace(c.sizeLimit);
            failure = writeFileAtomically(path, c.fill);
        }
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(testutil::readAll(path), kOld);
        EXPECT_EQ(entries(dir.path()), QStringList{QString::fromUtf8(c.name)});
        if (c.message.isEmpty())
            EXPECT_EQ(failure->message(), QStringLiteral("Stream write error"));
        else
            EXPECT_EQ(failure->message(), QStringLiteral("Unable to write to ") + path + QStringLiteral(": ") + c.message);
    }

    // Nothing to replace with: a missing folder, a folder in the file's place.
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("none/x.txt"));
    const auto noFolder = writeFileAtomically(missing, QByteArrayView("x"));
    ASSERT_TRUE(noFolder.has_value());
    EXPECT_EQ(noFolder->message(), QStringLiteral("Cannot create file ") + missing + QStringLiteral(": ") +
                                       writeFailureReason(ENOENT));
    const QString folder = dir.filePath(QStringLiteral("taken"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/inside")));
    const auto taken = writeFileAtomically(folder, QByteArrayView("x"));
    ASSERT_TRUE(taken.has_value());
    EXPECT_TRUE(taken->message().startsWith(QStringLiteral("Unable to write to ") + folder + QStringLiteral(": ")));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("taken")});
}

TEST(AtomicFile, ReasonsSayWhatTheOperatorCanDo)
{
    struct Case {
        int error;
        QString reason;
    } cases[] = {
        {ENOSPC, QStringLiteral("Недостаточно места на диске")},
        {EDQUOT, QStringLiteral("Недостаточно места на диске")},
        {EFBIG, QStringLiteral("Превышен допустимый размер файла")},
        {EROFS, QStringLiteral("Диск доступен только для чтения")},
        {EACCES, QStringLiteral("Нет прав доступа")},
        {EPERM, QStringLiteral("Нет прав доступа")},
        {ENOENT, QStringLiteral("Файл или папка не найдены")},
        {EIO, qt_error_string(EIO)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(writeFailureReason(c.error), c.reason);
        const WriteFailure create{WriteFailure::Step::Create, QStringLiteral("/d/f.axd"), c.error, {}};
        EXPECT_EQ(create.message(), QStringLiteral("Cannot create file /d/f.axd: ") + c.reason);
    }
}

// A link keeps pointing where it did and what it points at is replaced; a replaced file keeps
// its permissions, a new one gets the usual ones.
TEST(AtomicFile, WritesThroughSymbolicLinksAndKeepsPermissions)
{
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("real/tremor.ini"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("real"))));
    ASSERT_TRUE(testutil::writeAll(real, kOld));
    ASSERT_EQ(::chmod(QFile::encodeName(real).constData(), 0640), 0);
    const QString link = dir.filePath(QStringLiteral("tremor.ini"));
    ASSERT_TRUE(QFile::link(real, link));
    const QString dangling = dir.filePath(QStringLiteral("app.ini"));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("real/app.ini")), dangling));

    EXPECT_FALSE(writeFileAtomically(link, QByteArrayView("new")));
    EXPECT_FALSE(writeFileAtomically(dangling, QByteArrayView("made")));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(QFileInfo(dangling).isSymLink());
    EXPECT_EQ(testutil::readAll(real), QByteArray("new"));
    EXPECT_EQ(testutil::readAll(dir.filePath(QStringLiteral("real/app.ini"))), QByteArray("made"));
    auto mode = [](const QString& p) {
        struct stat st {};
        return ::stat(QFile::encodeName(p).constData(), &st) == 0 ? st.st_mode & 07777 : 0u;
    };
    EXPECT_EQ(mode(real), 0640u);

    const mode_t mask = ::umask(022);
    const QString fresh = dir.filePath(QStringLiteral("fresh.csv"));
    EXPECT_FALSE(writeFileAtomically(fresh, QByteArrayView("x")));
    ::umask(mask);
    EXPECT_EQ(mode(fresh), 0644u);
}

// A writer killed at any moment leaves the old file or the new one, and its temporary file goes
// at the next start; a temporary of a writer still alive, or a file that only looks alike, stays.
TEST(AtomicFile, AKillAtAnyPointLeavesOldOrNewAndTheNextStartTidiesUp)
{
    const QByteArray fresh(200000, 'n'); // more than one buffer's worth
    enum Point { BeforeWriting, HalfWritten, AllWrittenNotClosed, AfterReturning };
    struct Case {
        const char* what;
        Point point;
        QByteArray expected;
    } cases[] = {
        {"before writing", BeforeWriting, kOld},
        {"half written", HalfWritten, kOld},
        {"all written, not yet closed and renamed", AllWrittenNotClosed, kOld},
        {"after the rename", AfterReturning, fresh},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("m.axd"));
        ASSERT_TRUE(testutil::writeAll(path, kOld));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            writeFileAtomically(path, [&](QIODevice& out) {
                if (c.point == BeforeWriting)
                    ::raise(SIGKILL);
                out.write(fresh.left(fresh.size() / 2));
                if (c.point == HalfWritten)
                    ::raise(SIGKILL);
                out.write(fresh.mid(fresh.size() / 2));
                if (c.point == AllWrittenNotClosed)
                    ::raise(SIGKILL);
                return true;
            });
            ::raise(SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(testutil::readAll(path), c.expected);

        // Look-alikes that are not stale temporaries of ours.
        const QString alive = QStringLiteral(".m.axd.~accel3-%1-abcdef").arg(::getpid());
        ASSERT_TRUE(testutil::writeAll(dir.filePath(alive), "in use"));
        ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral(".m.axd.~accel3-notes")), "mine"));
        removeStaleTemporaries(dir.path());
        QStringList expected{QStringLiteral("m.axd"), alive, QStringLiteral(".m.axd.~accel3-notes")};
        expected.sort();
        QStringList left = entries(dir.path());
        left.sort();
        EXPECT_EQ(left, expected);
    }
}

namespace {

// The kind of node at `path`, links followed: what a write must leave in place.
mode_t kindOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

bool makeNode(const QString& path, mode_t kind, dev_t device)
{
    return ::mknod(QFile::encodeName(path).constData(), kind | 0666, device) == 0;
}

} // namespace

// Only a regular file, or none yet, is ever replaced. A pipe or a character device behind a link
// (or in the file's own place) takes the bytes in place, as `> /dev/stdout` would; a FIFO nobody
// reads fails at once and says why; a block device is refused. The node itself always stays.
TEST(AtomicFile, ANodeThatIsNoRegularFileIsWrittenInPlaceOrRefusedButNeverReplaced)
{
    enum Outcome { InPlace, NoReader, Refused };
    struct Case {
        const char* what;
        mode_t kind;
        dev_t device;
        bool viaLink;
        bool withReader;
        Outcome outcome;
    } cases[] = {
        {"a FIFO with a reader, behind a link", S_IFIFO, 0, true, true, InPlace},
        {"a FIFO with a reader, named directly", S_IFIFO, 0, false, true, InPlace},
        {"a FIFO nobody reads, behind a link", S_IFIFO, 0, true, false, NoReader},
        {"the null device, behind a link", S_IFCHR, makedev(1, 3), true, false, InPlace},
        {"the null device, named directly", S_IFCHR, makedev(1, 3), false, false, InPlace},
        {"a block device, behind a link", S_IFBLK, makedev(7, 0), true, false, Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString node = dir.filePath(QStringLiteral("node"));
        if (!makeNode(node, c.kind, c.device)) {
            if (c.kind == S_IFIFO)
                FAIL() << "mkfifo in the test's own folder: " << std::strerror(errno);
            // The device cases come last, so the FIFO cases have been checked by now.
            GTEST_SKIP() << c.what << ": this test may not make device nodes (" << std::strerror(errno) << ")";
        }
        const QString path = c.viaLink ? dir.filePath(QStringLiteral("out.csv")) : node;
        if (c.viaLink) {
            ASSERT_TRUE(QFile::link(node, path));
        }
        int reader = -1;
        if (c.withReader)
            reader = ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NONBLOCK);

        const auto failure = writeFileAtomically(path, QByteArrayView("new bytes"));

        EXPECT_EQ(kindOf(node), c.kind) << "the node was replaced";
        EXPECT_EQ(QFileInfo(path).isSymLink(), c.viaLink);
        QStringList expected{QStringLiteral("node")};
        if (c.viaLink)
            expected.append(QStringLiteral("out.csv"));
        EXPECT_EQ(entries(dir.path()), expected) << "a temporary file was left";
        switch (c.outcome) {
        case InPlace:
            EXPECT_FALSE(failure.has_value()) << failure->message().toStdString();
            break;
        case NoReader:
            ASSERT_TRUE(failure.has_value());
            EXPECT_EQ(failure->message(),
                      QStringLiteral("Cannot create file ") + path + QStringLiteral(": канал никто не читает"));
            break;
        case Refused:
            ASSERT_TRUE(failure.has_value());
            EXPECT_EQ(failure->message(), QStringLiteral("Cannot create file ") + path +
                                              QStringLiteral(": это не обычный файл, заменять его нельзя"));
            break;
        }
        if (reader >= 0) {
            char buf[64] = {};
            EXPECT_EQ(::read(reader, buf, sizeof buf), 9);
            EXPECT_STREQ(buf, "new bytes");
            ::close(reader);
        }
    }
}

// A write tidies its folder of temporary files that writers killed in the middle of their work
// left, whatever file they were writing; those of a living process stay.
TEST(AtomicFile, AWriteRemovesTemporariesOfDeadWritersInItsFolder)
{
    QTemporaryDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    const QString dead = QStringLiteral(".other.csv.~accel3-%1-abcdef").arg(child);
    const QString alive = QStringLiteral(".other.csv.~accel3-%1-abcdef").arg(::getpid());
    ASSERT_TRUE(testutil::writeAll(dir.filePath(dead), "left by a killed export"));
    ASSERT_TRUE(testutil::writeAll(dir.filePath(alive), "in use"));
    EXPECT_FALSE(writeFileAtomically(dir.filePath(QStringLiteral("x.csv")), QByteArrayView("x")));
    EXPECT_EQ(entries(dir.path()), (QStringList{alive, QStringLiteral("x.csv")}));
}
