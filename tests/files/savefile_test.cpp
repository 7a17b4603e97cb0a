#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/atomicfile.h"
#include "common/testutil.h"
#include "files/savefile.h"

using namespace files;

TEST(SaveFile, FormatByExtensionWithoutRegardToCase)
{
    struct Case {
        const char* name;
        SaveFormat format;
    } cases[] = {
        {"/d/a.axd", SaveFormat::Axd},  {"/d/A.AXD", SaveFormat::Axd},      {"/d/a.Txt", SaveFormat::Text},
        {"/d/a.CSV", SaveFormat::Csv},  {"/d/a.dat", SaveFormat::None},     {"/d/axd", SaveFormat::None},
        {"/d.axd/a", SaveFormat::None}, {"/d/a.axd.bak", SaveFormat::None}, {"/d/.axd", SaveFormat::Axd},
    };
    for (const Case& c : cases)
        EXPECT_EQ(saveFormatFor(QString::fromUtf8(c.name)), c.format) << c.name;
}

TEST(SaveFile, StoredStretchIsTheFramesBehindTheVisiblePoints)
{
    // Point i of a channel series is frame i + 1; frame F goes in front.
    struct Case {
        const char* what;
        std::uint64_t streamBytes;
        int channels;
        std::int64_t first, last;
        std::uint64_t offset, length;
    } cases[] = {
        // 10 frames of 3 channels, all 9 points shown: every frame.
        {"whole chart", 60, 3, 0, 8, 0, 60},
        {"zoomed in", 60, 3, 2, 5, 12, 30},
        {"one point", 60, 3, 4, 4, 24, 12},
        {"one channel", 20, 1, 3, 6, 6, 10},
        {"trailing partial frame ignored", 63, 3, 0, 8, 0, 60},
        {"visible range past the stream is cut", 60, 3, 7, 30, 42, 18},
        {"never painted keeps everything", 60, 3, -1, -1, 0, 60},
        {"first beyond the stream", 60, 3, 12, 14, 0, 0},
        {"no channels", 60, 0, 0, 8, 0, 0},
        {"empty stream", 0, 2, 0, 8, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Stretch s = savedStretch(c.streamBytes, c.channels, c.first, c.last);
        EXPECT_EQ(s.offset, c.offset);
        EXPECT_EQ(s.length, c.length);
    }
    // dataLength has 32 bits: a stream beyond that keeps whole frames below it.
    const Stretch huge = savedStretch(std::uint64_t(6) << 32, 3, -1, -1);
    EXPECT_LE(huge.length, 0xFFFFFFFFu);
    EXPECT_EQ(huge.length % 6, 0u);
}

TEST(SaveFile, AxesLine)
{
    const QString smoothed =
        QStringLiteral(". Перед сохранением файла ГРАФИК просматривался при сглаживании с весом ");
    struct Case {
        const char* what;
        QString memo;
        bool fromFile;
        std::optional<int> smooth;
        QString expected;
    } cases[] = {
        {"measured, empty comment", {}, false, {}, QStringLiteral("Записаны оси XZ")},
        {"measured, earlier axes lines all go",
         QStringLiteral("Записаны оси Y\nстенд 2\nЗаписаны оси XYZ"),
         false,
         {},
         QStringLiteral("стенд 2\nЗаписаны оси XZ")},
        {"measured and smoothed", QStringLiteral("стенд"), false, 8,
         QStringLiteral("стенд\nЗаписаны оси XZ") + smoothed + QStringLiteral("8")},
        {"from a file, the last axes line moves to the end",
         QStringLiteral("Записаны оси X\nЗаписаны оси YZ\nпосле"),
         true,
         {},
         QStringLiteral("Записаны оси X\nпосле\nЗаписаны оси YZ")},
        {"from a file, the remark is replaced",
         QStringLiteral("a\nЗаписаны оси XYZ") + smoothed + QStringLiteral("8"), true, 500,
         QStringLiteral("a\nЗаписаны оси XYZ") + smoothed + QStringLiteral("500")},
        {"from a file, the remark goes without smoothing",
         QStringLiteral("Записаны оси XYZ") + smoothed + QStringLiteral("8"),
         true,
         {},
         QStringLiteral("Записаны оси XYZ")},
        {"from a file without an axes line nothing is added",
         QStringLiteral("a\nb"),
         true,
         {},
         QStringLiteral("a\nb")},
        {"from a file without an axes line, smoothed", QStringLiteral("a"), true, 4,
         QStringLiteral("a\n") + smoothed + QStringLiteral("4")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QStringList once = withAxesLine(memoLines(c.memo), c.fromFile, QStringLiteral("XZ"), c.smooth);
        EXPECT_EQ(once.join(QLatin1Char('\n')), c.expected);
        // A second save changes nothing more.
        const QStringList twice = withAxesLine(once, c.fromFile, QStringLiteral("XZ"), c.smooth);
        EXPECT_EQ(twice, once);
    }

    // A record of the simulated board says so, and keeps saying so when saved again from its file.
    const QStringList simulated = withAxesLine({QStringLiteral("стенд")}, false, QStringLiteral("XZ"), 3, true);
    EXPECT_EQ(simulated.last(), QStringLiteral("Записаны оси XZ (имитатор платы)") + smoothed + QStringLiteral("3"));
    EXPECT_EQ(withAxesLine(simulated, true, QStringLiteral("XZ"), {}).last(),
              QStringLiteral("Записаны оси XZ (имитатор платы)"));
}

TEST(SaveFile, ACutShortRunSaysSoInItsAxesLineAndTheNoteReadsBack)
{
    const QString remark =
        partialRemark(5014, 16384, QStringLiteral("порт /dev/ttyUSB0 отключён (USB-устройство 0403:6001)"));
    const QStringList saved =
        withAxesLine({QStringLiteral("стенд")}, false, QStringLiteral("XYZ"), 3, false, remark);
    EXPECT_EQ(saved.last(),
              QStringLiteral("Записаны оси XYZ (неполная запись: принято 5014 из 16384 кадров, порт "
                             "/dev/ttyUSB0 отключён (USB-устройство 0403:6001)). Перед сохранением файла "
                             "ГРАФИК просматривался при сглаживании с весом 3"));
    const QString note =
        QStringLiteral("принято 5014 из 16384 кадров, порт /dev/ttyUSB0 отключён (USB-устройство 0403:6001)");
    const struct {
        const char* what;
        QString comment;
        std::optional<QString> note;
    } cases[] = {
        {"as saved", saved.join(QLatin1Char('\n')), note},
        {"saved again from its file",
         withAxesLine(saved, true, QStringLiteral("XYZ"), {}).join(QLatin1Char('\n')), note},
        {"a whole record", QStringLiteral("Записаны оси XYZ (имитатор платы)"), std::nullopt},
        {"only the last axes line counts",
         QStringLiteral("Записаны оси X") + remark + QStringLiteral("\nЗаписаны оси X"), std::nullopt},
        {"no axes line", QStringLiteral("неполная запись: принято 1 из 2 кадров, x"), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(partialNote(c.comment), c.note) << c.what;
}

TEST(SaveFile, AFailedSaveKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("m.axd"));
    ASSERT_TRUE(testutil::writeAll(path, "old contents"));

    const QString failed = saveAtomically(path, [](QIODevice& out) {
        out.write("half of the new");
        return false;
    });
    EXPECT_EQ(failed, QStringLiteral("Stream write error"));
    EXPECT_EQ(testutil::readAll(path), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file is left behind";

    EXPECT_TRUE(saveAtomically(path, [](QIODevice& out) { return out.write("new") == 3; }).isEmpty());
    EXPECT_EQ(testutil::readAll(path), QByteArray("new"));

    const QString missing = dir.filePath(QStringLiteral("no/such/folder/m.axd"));
    EXPECT_EQ(saveAtomically(missing, [](QIODevice&) { return true; }),
              QStringLiteral("Cannot create file ") + missing + QStringLiteral(": ") + platform::writeFailureReason(ENOENT));
}
