#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/testutil.h"
#include "files/axdfile.h"
#include "files/cp1251.h"

using namespace files;

namespace {

void appendLe16(QByteArray& b, quint16 v)
{
    b += char(v & 0xFF);
    b += char(v >> 8);
}

void appendLe32(QByteArray& b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b += char((v >> (8 * i)) & 0xFF);
}

void appendDouble(QByteArray& b, double v)
{
    quint64 bits;
    std::memcpy(&bits, &v, 8);
    for (int i = 0; i < 8; ++i)
        b += char((bits >> (8 * i)) & 0xFF);
}

// "Тест 1" CR LF "Записаны оси XZ" in Windows-1251.
const QByteArray kGoldenComment("\xD2\xE5\xF1\xF2 1\r\n\xC7\xE0\xEF\xE8\xF1\xE0\xED\xFB \xEE\xF1\xE8 XZ");
constexpr int kGoldenTitlesEnd = 65 + 10 + 18;

// A measurement file laid down byte by byte, field by field, independently of the writer.
QByteArray goldenFile()
{
    QByteArray b;
    appendLe16(b, 0x0003);  // typeWord
    b += char(0x10);        // fixedByte2
    b += char(0x01);        // fixedByte3
    b += char(0x05);        // channelMask: X and Z
    appendLe32(b, 12);      // dataLength: three frames of two words
    appendDouble(b, 312.5); // samplePeriodUs
    for (double k : {0.0039, 0.0041, -0.5})
        appendDouble(b, k);
    for (double c : {12.0, -3.25, 0.0})
        appendDouble(b, c);
    // "Время, мс" and "Ускорение, см/с/с" in Windows-1251.
    b += QByteArray("\xC2\xF0\xE5\xEC\xFF, \xEC\xF1", 9);
    b += '\0';
    b += QByteArray("\xD3\xF1\xEA\xEE\xF0\xE5\xED\xE8\xE5, \xF1\xEC/\xF1/\xF1", 17);
    b += '\0';
    // X = 0x01FF (+511), Z = 0x8200 (-512 with the pulse bit) ...
    b += QByteArray("\xFF\x01\x00\x82\x00\x00\xFF\x03\x05\x00\x05\x80", 12);
    b += kGoldenComment;
    return b;
}

AxdReadResult readBytes(const QByteArray& bytes, DataBlock mode = DataBlock::Read)
{
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    return readAxd(buf, mode);
}

} // namespace

TEST(AxdFile, GoldenFileReadsEveryFieldAndWritesBackTheSameBytes)
{
    const QByteArray golden = goldenFile();
    const AxdReadResult r = readBytes(golden);
    ASSERT_TRUE(r.ok());
    const AxdContents& c = r.contents;
    EXPECT_EQ(c.header.typeWord, 0x0003);
    EXPECT_TRUE(c.header.hasPlainTypeWord());
    EXPECT_EQ(c.header.fixedByte2, 16);
    EXPECT_EQ(c.header.fixedByte3, 1);
    EXPECT_EQ(c.header.channelMask, 5);
    EXPECT_EQ(c.header.dataLength, 12u);
    EXPECT_EQ(c.header.samplePeriodUs, 312.5);
    EXPECT_EQ(c.axisK, (std::array<double, 3>{0.0039, 0.0041, -0.5}));
    EXPECT_EQ(c.axisC, (std::array<double, 3>{12.0, -3.25, 0.0}));
    EXPECT_EQ(c.xAxisTitle, QStringLiteral("Время, мс"));
    EXPECT_EQ(c.yAxisTitle, QStringLiteral("Ускорение, см/с/с"));
    ASSERT_EQ(c.data.size(), 12u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(c.data.data()), 12), golden.mid(kGoldenTitlesEnd, 12));
    EXPECT_EQ(c.comment, QStringLiteral("Тест 1\nЗаписаны оси XZ"));
    EXPECT_EQ(axdFrames(c.header), 3);
    const acq::FrameDecoder frames(c.data, acq::ChannelSet::fromMask(c.header.channelMask));
    EXPECT_EQ(frames.frame(0).samples[0], 511);
    EXPECT_EQ(frames.frame(0).samples[1], -512);
    EXPECT_TRUE(frames.frame(0).pulse);

    AxdWriteSource src;
    src.header = c.header;
    src.axisK = c.axisK;
    src.axisC = c.axisC;
    src.xAxisTitle = c.xAxisTitle;
    src.yAxisTitle = c.yAxisTitle;
    src.data = {c.data.data(), std::size_t(c.data.size())};
    src.comment = c.comment;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(writeAxd(out, src));
    EXPECT_EQ(out.data(), golden);
}

TEST(AxdFile, RefusedFilesSayWhyAndHoldNothing)
{
    const QByteArray golden = goldenFile();
    auto withBytes = [&](int at, QByteArray bytes) {
        QByteArray b = golden;
        b.replace(at, bytes.size(), bytes);
        return b;
    };
    struct Case {
        const char* what;
        QByteArray bytes;
        AxdStatus status;
    } cases[] = {
        {"empty file", {}, AxdStatus::StreamReadError},
        {"shorter than the header", golden.left(16), AxdStatus::StreamReadError},
        {"type byte 4", withBytes(0, QByteArray("\x04\x80", 2)), AxdStatus::NotMeasurement},
        {"type byte 0x13", withBytes(0, QByteArray("\x13\x00", 2)), AxdStatus::NotMeasurement},
        {"calibration cut short", golden.left(40), AxdStatus::StreamReadError},
        {"title without its zero byte", golden.left(70), AxdStatus::StreamReadError},
        {"data block cut short", golden.left(kGoldenTitlesEnd + 11), AxdStatus::StreamReadError},
        {"dataLength far beyond the file", withBytes(5, QByteArray("\xFF\xFF\xFF\xFF", 4)),
         AxdStatus::StreamReadError},
        {"dataLength one byte beyond the file", withBytes(5, QByteArray("\x24\x00\x00\x00", 4)),
         AxdStatus::StreamReadError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const AxdReadResult r = readBytes(c.bytes);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.contents.data.size(), 0u);
        EXPECT_FALSE(axdStatusMessage(r.status, QStringLiteral("f.axd")).isEmpty());
    }
    EXPECT_EQ(axdStatusMessage(AxdStatus::StreamReadError, {}), QStringLiteral("Stream read error"));
    EXPECT_EQ(axdStatusMessage(AxdStatus::CannotOpen, QStringLiteral("/x/a.axd")),
              QStringLiteral("Cannot open file /x/a.axd"));
    EXPECT_EQ(readAxdFile(QStringLiteral("/nonexistent/a.axd")).status, AxdStatus::CannotOpen);
}

TEST(AxdFile, AcceptedVariants)
{
    const QByteArray golden = goldenFile();
    struct Case {
        const char* what;
        QByteArray bytes;
        std::uint32_t dataLength;
        QString comment;
    } cases[] = {
        // The high byte of the type word and the two fixed bytes are not looked at.
        {"type word 0x8003, other fixed bytes", QByteArray("\x03\x80\x00\x07", 4) + golden.mid(4), 12,
         QStringLiteral("Тест 1\nЗаписаны оси XZ")},
        {"no comment", golden.left(golden.size() - kGoldenComment.size()), 12, {}},
        // dataLength taking the comment's bytes as data leaves no comment.
        {"dataLength exactly to the end",
         QByteArray(golden).replace(5, 4, QByteArray("\x23\x00\x00\x00", 4)),
         35,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const AxdReadResult r = readBytes(c.bytes);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.contents.header.dataLength, c.dataLength);
        EXPECT_EQ(r.contents.data.size(), c.dataLength);
        EXPECT_EQ(r.contents.comment, c.comment);
    }
    // Skipping the data block still checks that it is there, and still reads the comment.
    const AxdReadResult skipped = readBytes(golden, DataBlock::Skip);
    ASSERT_TRUE(skipped.ok());
    EXPECT_EQ(skipped.contents.data.size(), 0u);
    EXPECT_EQ(skipped.contents.comment, QStringLiteral("Тест 1\nЗаписаны оси XZ"));
}

// A data block of several read pieces arrives whole and in order, the progress told after each
// piece but the last; a progress that says stop leaves nothing read.
TEST(AxdFile, ALargeDataBlockIsReadPieceByPiece)
{
    QByteArray data(qsizetype(2 * kAxdReadPiece + 6), Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(i % 251);
    QByteArray bytes = goldenFile().left(kGoldenTitlesEnd) + data + kGoldenComment;
    QByteArray length;
    appendLe32(length, quint32(data.size()));
    bytes.replace(5, 4, length);

    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopped" : "whole");
        QBuffer buf(&bytes);
        buf.open(QIODevice::ReadOnly);
        std::vector<std::uint64_t> told;
        const AxdReadResult r = readAxd(buf, DataBlock::Read, std::nullopt, [&](std::uint64_t done, std::uint64_t all) {
            EXPECT_EQ(all, std::uint64_t(data.size()));
            told.push_back(done);
            return !stop;
        });
        if (stop) {
            EXPECT_EQ(r.status, AxdStatus::Abandoned);
            EXPECT_EQ(r.contents.data.size(), 0u);
            EXPECT_EQ(told, std::vector<std::uint64_t>{kAxdReadPiece});
            continue;
        }
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(told, (std::vector<std::uint64_t>{kAxdReadPiece, 2 * kAxdReadPiece}));
        EXPECT_TRUE(QByteArrayView(r.contents.data.data(), qsizetype(r.contents.data.size())) == data);
        EXPECT_EQ(r.contents.comment, QStringLiteral("Тест 1\nЗаписаны оси XZ"));
    }
}

TEST(AxdFile, CommentLineBreaks)
{
    struct Case {
        QByteArray file;
        QString memo;
        QByteArray writtenBack;
    } cases[] = {
        {"a\r\nb", QStringLiteral("a\nb"), "a\r\nb"},   {"a\rb\nc", QStringLiteral("a\nb\nc"), "a\r\nb\r\nc"},
        {"a\r\n", QStringLiteral("a\n"), "a\r\n"},      {"\r\n\r\n", QStringLiteral("\n\n"), "\r\n\r\n"},
        {"\xC0\xFF", QStringLiteral("Ая"), "\xC0\xFF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(commentFromBytes(c.file), c.memo);
        EXPECT_EQ(commentToBytes(c.memo), c.writtenBack);
    }
    // A character the code page lacks becomes '?'.
    EXPECT_EQ(commentToBytes(QStringLiteral("€ ✓")), QByteArray("\x88 ?"));
}

TEST(AxdFile, StartTimeIsKeptToTheEvenSecond)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.axd"));
    ASSERT_TRUE(testutil::writeAll(path, goldenFile()));
    struct Case {
        QTime set;
        QTime expected;
    } cases[] = {
        {QTime(10, 20, 31, 999), QTime(10, 20, 30)},
        {QTime(10, 20, 30, 0), QTime(10, 20, 30)},
        {QTime(23, 59, 59, 500), QTime(23, 59, 58)},
    };
    for (const Case& c : cases) {
        const QDateTime t(QDate(2023, 5, 17), c.set);
        ASSERT_TRUE(setFileStartTime(path, t));
        EXPECT_EQ(fileModificationTime(path), QDateTime(QDate(2023, 5, 17), c.expected));
    }
    EXPECT_FALSE(setFileStartTime(path, QDateTime()));
    EXPECT_FALSE(fileModificationTime(dir.filePath(QStringLiteral("missing.axd"))).isValid());
}
