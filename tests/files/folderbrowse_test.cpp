#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/testutil.h"
#include "files/axdfile.h"
#include "files/folderbrowse.h"

using namespace files;

namespace {

QByteArray measurement(const QString& comment, int dataBytes = 6)
{
    AxdWriteSource src;
    src.header.channelMask = 7;
    src.header.samplePeriodUs = 312.5;
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("Ускорение, см/с/с");
    const std::vector<std::uint8_t> data(std::size_t(dataBytes), 0x41);
    src.data = data;
    src.comment = comment;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    writeAxd(out, src);
    return out.data();
}

} // namespace

TEST(FolderBrowse, ListingIsInNameOrderWithoutRegardToCase)
{
    QTemporaryDir dir;
    for (const char* n : {"b.axd", "C.AXD", "a.axd", ".hidden.axd", "B.axd", "notes.txt", "aa.axd.bak"})
        ASSERT_TRUE(testutil::writeAll(dir.filePath(QString::fromUtf8(n)), "x"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.axd")));
    EXPECT_EQ(listFolder(dir.path() + QLatin1Char('/'), QStringLiteral("*.axd")),
              (QStringList{QStringLiteral(".hidden.axd"), QStringLiteral("a.axd"), QStringLiteral("B.axd"),
                           QStringLiteral("b.axd"), QStringLiteral("C.AXD"), QStringLiteral("folder.axd")}));
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("*.txt")), QStringList{QStringLiteral("notes.txt")});
    EXPECT_TRUE(listFolder(dir.filePath(QStringLiteral("missing")), QStringLiteral("*.axd")).isEmpty());
    EXPECT_TRUE(listFolder({}, QStringLiteral("*")).isEmpty())
        << "no current file lists nothing, not the working folder";
}

TEST(FolderBrowse, PathParts)
{
    EXPECT_EQ(folderOf(QStringLiteral("/d/e/a.axd")), QStringLiteral("/d/e/"));
    EXPECT_EQ(folderOf({}), QString());
    EXPECT_EQ(fileExtension(QStringLiteral("/d.x/a.Axd")), QStringLiteral(".Axd"));
    EXPECT_EQ(fileExtension(QStringLiteral("/d.x/a")), QString());
}

TEST(FolderBrowse, StepsThroughTheListing)
{
    const QStringList abc{QStringLiteral("a.axd"), QStringLiteral("b.axd"), QStringLiteral("c.axd")};
    struct Case {
        const char* what;
        bool next;
        const char* current;
        StepResult::Kind kind;
        const char* name;
    } cases[] = {
        {"next of b", true, "b.axd", StepResult::Found, "c.axd"},
        {"previous of b", false, "b.axd", StepResult::Found, "a.axd"},
        {"next of the last", true, "c.axd", StepResult::NoMoreFiles, ""},
        {"previous of the first", false, "a.axd", StepResult::NoMoreFiles, ""},
        {"next of a file not listed", true, "x.axd", StepResult::NoMoreFiles, ""},
        {"previous of a file not listed stays silent", false, "x.axd", StepResult::NotListed, ""},
        {"names compare with letter case", true, "B.axd", StepResult::NoMoreFiles, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString current = QString::fromUtf8(c.current);
        const StepResult r = c.next ? nextInListing(abc, current) : previousInListing(abc, current);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.name, QString::fromUtf8(c.name));
    }
    EXPECT_EQ(nextInListing({}, QStringLiteral("a.axd")).kind, StepResult::NoMoreFiles);
}

TEST(FolderBrowse, CommentListSkipsDataAndStopsAtAForeignFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("1.axd")),
                                   measurement(QStringLiteral("первый\nвторая строка"))));
    // A long data block that holds bytes which would look like a comment line.
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("2.axd")),
                                   measurement(QStringLiteral("=v=ложный=v="), 3 * 1024 * 1024)));
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("3.axd")), measurement({})));
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("4.axd")), QByteArray("\x03\x80\x10", 3)));
    ASSERT_TRUE(
        testutil::writeAll(dir.filePath(QStringLiteral("5.axd")), measurement(QStringLiteral("пятый"))));
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("6.axd")), QByteArray(40, '\x07')));
    ASSERT_TRUE(
        testutil::writeAll(dir.filePath(QStringLiteral("7.axd")), measurement(QStringLiteral("седьмой"))));

    // A file of another program is named, not read, and the files behind it are listed.
    const CommentListing list = buildCommentList(dir.path(), listFolder(dir.path(), QStringLiteral("*.axd")));
    EXPECT_EQ(list.foreignFiles, QStringList{QStringLiteral("6.axd")});
    EXPECT_EQ(list.lines, (QStringList{QStringLiteral("=v=1.axd=v="), QStringLiteral("первый"),
                                       QStringLiteral("вторая строка"), QStringLiteral("=v=2.axd=v="),
                                       QStringLiteral("=v=ложный=v="), QStringLiteral("=v=3.axd=v="),
                                       QStringLiteral("=v=5.axd=v="), QStringLiteral("пятый"),
                                       QStringLiteral("=x=6.axd=x= не читается: это не файл измерения"),
                                       QStringLiteral("=v=7.axd=v="), QStringLiteral("седьмой")}));
}

TEST(FolderBrowse, FileNameOfALine)
{
    const QStringList lines{QStringLiteral("сирота"), QStringLiteral("=v=a.axd=v="),
                            QStringLiteral("x"),      QStringLiteral("=v=b b.axd=v="),
                            QStringLiteral("y"),      QStringLiteral("=v==v"),
                            QStringLiteral("=x=c.axd=x= не читается")};
    struct Case {
        int line;
        std::optional<QString> name;
    } cases[] = {
        {0, std::nullopt},
        {1, QStringLiteral("a.axd")},
        {2, QStringLiteral("a.axd")},
        {4, QStringLiteral("b b.axd")},
        {6, std::nullopt}, // a foreign file's line opens nothing, not the file above it
        {99, std::nullopt},
        {-1, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileNameForLine(lines, c.line), c.name) << c.line;
    EXPECT_EQ(fileNameForLine({}, 0), std::nullopt);
}

TEST(FolderBrowse, SearchWalksOnAndWraps)
{
    QStringList lines;
    for (int i = 0; i < 12; ++i)
        lines << QStringLiteral("строка %1").arg(i);
    lines[3] = QStringLiteral("Вибрация на ОПОРЕ");
    lines[10] = QStringLiteral("опора вторая");
    const QLocale ru(QLocale::Russian, QLocale::Russia);

    int searchLine = 0;
    std::vector<int> found;
    for (int i = 0; i < 3; ++i) {
        const SearchResult r = findInLines(lines, QStringLiteral("опор"), false, searchLine, ru);
        found.push_back(r.line);
        searchLine = r.nextSearchLine;
    }
    EXPECT_EQ(found, (std::vector<int>{3, 10, 3}));

    struct Case {
        const char* what;
        QString text;
        bool matchCase;
        int from;
        int line;
        int next;
    } cases[] = {
        {"the case rule holds for Cyrillic", QStringLiteral("опор"), true, 0, 10, 11},
        {"capitals match with case", QStringLiteral("ОПОР"), true, 4, 3, 4},
        {"nowhere", QStringLiteral("нет такого"), false, 5, -1, 5},
        {"empty text", QString(), false, 5, -1, 5},
        {"a match on the last line wraps the next search to the top", QStringLiteral("строка 11"), false, 0,
         11, 12},
        {"a start beyond the lines begins at the top", QStringLiteral("вибрация"), false, 500, 3, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SearchResult r = findInLines(lines, c.text, c.matchCase, c.from, ru);
        EXPECT_EQ(r.line, c.line);
        EXPECT_EQ(r.nextSearchLine, c.next);
    }
}

// However large the comments, the list is bounded: each comment as its start with long lines cut,
// all of them together within the total, and past the total or the deadline the files by name
// only, so that every file can still be opened from the list. `cut` says that something was left.
TEST(FolderBrowse, CommentListIsBoundedAndSaysSo)
{
    QTemporaryDir dir;
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("1.axd")), measurement(QStringLiteral("short"))));
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("2.axd")),
                                   measurement(QStringLiteral("0123456789abcdef\nxy"))));
    ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("3.axd")), measurement(QStringLiteral("third"))));
    const QStringList names = listFolder(dir.path(), QStringLiteral("*.axd"));
    const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    struct Case {
        const char* what;
        CommentListBounds bounds;
        QStringList lines;
        bool cut;
    } cases[] = {
        {"within every bound", {}, {"=v=1.axd=v=", "short", "=v=2.axd=v=", "0123456789abcdef", "xy", "=v=3.axd=v=", "third"}, false},
        {"each comment to 12 characters", {12, 100, {}}, {"=v=1.axd=v=", "short", "=v=2.axd=v=", "0123456789ab…", "=v=3.axd=v=", "third"}, true},
        {"all comments to 8 characters", {100, 8, {}}, {"=v=1.axd=v=", "short", "=v=2.axd=v=", "012…", "=v=3.axd=v="}, true},
        {"past the deadline", {100, 100, past}, {"=v=1.axd=v=", "=v=2.axd=v=", "=v=3.axd=v="}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CommentListing list = buildCommentList(dir.path(), names, c.bounds);
        EXPECT_EQ(list.lines, c.lines);
        EXPECT_EQ(list.cut, c.cut);
    }
}
