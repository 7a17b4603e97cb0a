// Measurement files that are absurd rather than broken: a title that never ends, a comment or a
// data block of gigabytes. The reader must answer at once, in bounded memory, and say why.

#include <QBuffer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/axdtoolrun.h"
#include "common/testutil.h"
#include "files/axdfile.h"
#include "files/folderbrowse.h"
#include "files/ui/measurementfilesui.h"
#include "filesfixture.h"
#include "platform/memory.h"

using namespace files;

namespace {

constexpr qint64 kTwoGigabytes = qint64(2) << 30;

// Header, calibration and titles of a file with the given channels and data length.
QByteArray fileStart(std::uint8_t mask, std::uint32_t dataLength, const QByteArray& titles = QByteArray("t\0y\0", 4))
{
    AxdHeader h;
    h.channelMask = mask;
    h.dataLength = dataLength;
    h.samplePeriodUs = 312.5;
    QByteArray b(kAxdHeaderSize, '\0');
    encodeAxdHeader(h, b.data());
    b += QByteArray(kAxdCalibrationSize, '\0');
    return b + titles;
}

// A file of `size` bytes that begins with `start` and holds nothing but zeros behind it, without
// taking the disk space.
QString sparseFile(const QTemporaryDir& dir, const QString& name, const QByteArray& start, qint64 size)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(start) != start.size() || !f.resize(size))
        return {};
    return path;
}

// A 2 GB device whose bytes after `start` are all 'A': a title that never finds its zero. It
// counts what is read from it.
class EndlessTitle : public QIODevice {
  public:
    explicit EndlessTitle(QByteArray start) : start_(std::move(start)) { open(QIODevice::ReadOnly); }
    qint64 size() const override { return kTwoGigabytes; }
    qint64 delivered = 0;

  protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = std::min(maxSize, size() - pos());
        for (qint64 i = 0; i < n; ++i)
            data[i] = pos() + i < start_.size() ? start_[pos() + i] : 'A';
        delivered += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

  private:
    QByteArray start_;
};

} // namespace

TEST(AxdBounds, ATitleWithoutItsZeroIsGivenUpAtItsBound)
{
    const QByteArray longest(kAxdMaxTitleBytes, 'x');
    struct Case {
        const char* what;
        QByteArray titles; // what follows the calibration, before the endless run of 'A'
        AxdStatus status;
    } cases[] = {
        {"the X title never ends", {}, AxdStatus::TitleTooLong},
        {"the Y title never ends", QByteArray("t\0", 2), AxdStatus::TitleTooLong},
        {"titles of the longest length are read", longest + '\0' + longest + '\0', AxdStatus::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray start = fileStart(1, 0, c.titles);
        EndlessTitle in(start);
        const AxdReadResult r = readAxd(in, DataBlock::Skip);
        EXPECT_EQ(r.status, c.status);
        if (c.status == AxdStatus::Ok) {
            EXPECT_EQ(r.contents.yAxisTitle.size(), kAxdMaxTitleBytes);
        } else {
            // Given up near the bound, not after the 2 GB.
            EXPECT_LT(in.delivered, 1 << 20);
            EXPECT_TRUE(r.message(QStringLiteral("/d/t.axd")).contains(QStringLiteral("/d/t.axd")));
        }
    }

    // The command-line tool and the comment browser give it up as well.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("endless.axd"));
    ASSERT_TRUE(testutil::writeAll(path, fileStart(1, 0, {}) + QByteArray(64 << 10, 'A')));
    const testutil::ToolRun run = testutil::axdtool({QStringLiteral("info"), path});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("подпись оси"))) << run.err.toStdString();
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("fine.axd")), fileStart(1, 0) + "ok"));
    const CommentListing list = buildCommentList(dir.path(), listFolder(dir.path(), QStringLiteral("*.axd")));
    EXPECT_EQ(list.lines, QStringList({QStringLiteral("=v=fine.axd=v="), QStringLiteral("ok")}));
}

TEST(AxdBounds, AHugeCommentIsReadOnlyAsFarAsItsBound)
{
    QTemporaryDir dir;
    // Typed text as far as the bound and a little beyond, then zeros up to 2 GB.
    const QByteArray typed(kAxdMaxCommentBytes + 100, 'c');
    const QString path =
        sparseFile(dir, QStringLiteral("comment.axd"), fileStart(1, 2) + "\x01\x00" + typed, kTwoGigabytes);
    ASSERT_FALSE(path.isEmpty());

    for (const DataBlock mode : {DataBlock::Read, DataBlock::Skip}) {
        const AxdReadResult r = readAxdFile(path, mode);
        ASSERT_TRUE(r.ok());
        EXPECT_TRUE(r.contents.commentCut);
        EXPECT_EQ(r.contents.comment.size(), kAxdMaxCommentBytes);
    }
    // A comment that just fits is whole.
    QBuffer fits;
    fits.setData(fileStart(1, 0) + QByteArray(kAxdMaxCommentBytes, 'c'));
    fits.open(QIODevice::ReadOnly);
    const AxdReadResult whole = readAxd(fits);
    EXPECT_FALSE(whole.contents.commentCut);
    EXPECT_EQ(whole.contents.comment.size(), kAxdMaxCommentBytes);

    // The tool prints the start and says it is only the start; the browser lists the file.
    const testutil::ToolRun run = testutil::axdtool({QStringLiteral("info"), path});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(o.value(QStringLiteral("comment")).toString().size(), kAxdMaxCommentBytes);
    EXPECT_EQ(o.value(QStringLiteral("frames")).toInt(), 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("только его начало"))) << run.err.toStdString();
    const CommentListing list = buildCommentList(dir.path(), {QStringLiteral("comment.axd")});
    ASSERT_FALSE(list.lines.isEmpty());
    EXPECT_EQ(list.lines.first(), QStringLiteral("=v=comment.axd=v="));
}

TEST(AxdBounds, AFileBiggerThanTheFreeMemoryIsRefusedBeforeAllocating)
{
    // 1000 frames of X and Z: 4000 bytes of data and 1000 x 3 chart values.
    QByteArray small = fileStart(5, 4000);
    small += QByteArray(4000, '\x01');
    const std::uint64_t needed = axdMemoryNeeded(decodeAxdHeader(small.constData()));
    EXPECT_GE(needed, 4000u + 1000u * 3 * 8);

    struct Case {
        DataBlock mode;
        std::uint64_t available;
        AxdStatus status;
    } cases[] = {
        {DataBlock::Read, needed, AxdStatus::Ok},
        {DataBlock::Read, needed - 1, AxdStatus::OutOfMemory},
        {DataBlock::Skip, 0, AxdStatus::Ok}, // nothing of the data block is held
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.available);
        QBuffer in;
        in.setData(small);
        in.open(QIODevice::ReadOnly);
        const AxdReadResult r = readAxd(in, c.mode, c.available);
        EXPECT_EQ(r.status, c.status);
        if (c.status == AxdStatus::OutOfMemory) {
            EXPECT_EQ(r.contents.data.size(), 0u);
            EXPECT_EQ(r.message(QStringLiteral("/d/big.axd")),
                      QStringLiteral("Недостаточно памяти для файла /d/big.axd (нужно 1 МБ)"));
        }
    }

    // A real file of 4 GB of frames (a sparse one), larger than a machine's free memory: the tool
    // maps the data block and decodes only what it reads, so it analyses the file all the same.
    QTemporaryDir dir;
    const QByteArray start = fileStart(7, 0xFFFFFFFA);
    const QString path = sparseFile(dir, QStringLiteral("big.axd"), start, start.size() + 0xFFFFFFFAll);
    ASSERT_FALSE(path.isEmpty());
    const testutil::ToolRun run = testutil::axdtool({QStringLiteral("spectrum"), path});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("F,Hz\tAmplitude"))) << run.out.left(200).toStdString();
    const testutil::ToolRun info = testutil::axdtool({QStringLiteral("info"), path});
    EXPECT_EQ(info.status, 0) << "info does not hold the data block";
}

TEST_F(FilesWindowTest, AFileTooBigForTheMemoryLeavesTheShownMeasurement)
{
    const QByteArray start = fileStart(7, 0xFFFFFFFA);
    const QString path = sparseFile(dir, QStringLiteral("big.axd"), start, start.size() + 0xFFFFFFFAll);
    ASSERT_FALSE(path.isEmpty());
    const auto available = platform::availableMemoryBytes();
    ASSERT_TRUE(available.has_value());
    if (*available >= axdMemoryNeeded(decodeAxdHeader(start.constData())))
        GTEST_SKIP() << "this machine has room for the file";

    auto f = make();
    f->record.sampleStream.append(QByteArray("\x01\x00\x02\x00", 4));
    f->measurementFiles->mComment->setPlainText(QStringLiteral("текущий"));
    dialogs.openAnswers = {path};
    f->measurementFiles->btLoadFileClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].standardError);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Недостаточно памяти для файла ") + path))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(f->record.sampleStream.size(), 4u);
    EXPECT_EQ(f->measurementFiles->mComment->toPlainText(), QStringLiteral("текущий"));
}

// A comment of megabytes, in one line or in many, opens as its start, each line cut where a text
// box lays it out at once, with a note; the box cannot be edited then, and a save writes the
// comment whole. A comment the box can hold is shown as it is and stays editable.
TEST_F(FilesWindowTest, AHugeCommentIsShownAsItsStartAndSavedWhole)
{
    struct Case {
        const char* what;
        QString comment;
        bool partial;
    } cases[] = {
        {"three megabytes in one line", QString(3 << 20, QLatin1Char('A')), true},
        {"three megabytes in short lines", QStringLiteral("строка комментария\n").repeated((3 << 20) / 19), true},
        {"a line just short enough", QString(4096, QLatin1Char('B')), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = file(QStringLiteral("big.axd"));
        ASSERT_TRUE(testutil::writeAll(path, fileStart(7, 1200) + QByteArray(1200, 'A') + commentToBytes(c.comment)));
        auto f = make();
        dialogs.openAnswers = {path};
        f->measurementFiles->btLoadFileClick();
        ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text.toStdString();
        EXPECT_EQ(f->measurementFiles->mComment->comment(), c.comment);
        EXPECT_EQ(f->measurementFiles->mComment->showsPart(), c.partial);
        EXPECT_EQ(f->measurementFiles->mComment->isReadOnly(), c.partial);
        EXPECT_EQ(f->measurementFiles->mComment->partNote()->isVisibleTo(f.get()), c.partial);
        const QString shown = f->measurementFiles->mComment->toPlainText();
        EXPECT_LE(shown.size(), (1 << 20) + 1);
        for (const QStringView line : QStringView(shown).split(QLatin1Char('\n'))) {
            ASSERT_LE(line.size(), 4097);
        }
        if (!c.partial) {
            EXPECT_EQ(shown, c.comment);
        }

        const QString saved = file(QStringLiteral("saved.axd"));
        dialogs.saveAnswers = {saved};
        f->measurementFiles->btSaveClick();
        ASSERT_TRUE(dialogs.messages.empty()) << dialogs.messages[0].text.toStdString();
        EXPECT_EQ(readAxdFile(saved).contents.comment, c.comment);
        EXPECT_EQ(f->measurementFiles->mComment->comment(), c.comment);
    }
}
