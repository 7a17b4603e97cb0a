#include <QBuffer>
#include <QDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include "files/axdfile.h"
#include "files/folderbrowse.h"
#include "files/textexport.h"
#include "files/ui/folderbrowserui.h"
#include "files/ui/measurementfilesui.h"
#include "filesfixture.h"

namespace {

void writeMeasurement(const QString& path, const QString& comment, std::uint16_t typeWord = 0x8003)
{
    files::AxdWriteSource src;
    src.header.typeWord = typeWord;
    src.header.channelMask = 7;
    src.header.samplePeriodUs = 312.5;
    src.axisK = {1, 1, 1};
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("g");
    const std::vector<std::uint8_t> data(60, 1);
    src.data = data;
    src.comment = comment;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(files::writeAxd(out, src));
    ASSERT_TRUE(testutil::writeAll(path, out.data()));
}

class BrowserTest : public FilesWindowTest {
  protected:
    // A folder of measurements a, b, c and one to open first.
    std::unique_ptr<app::TForm1> withFolder(const char* open)
    {
        folder = file(QStringLiteral("data"));
        EXPECT_TRUE(QDir().mkpath(folder));
        for (const char* n : {"a", "b", "c"})
            writeMeasurement(at(QString::fromUtf8(n) + QStringLiteral(".axd")),
                             QStringLiteral("файл %1\nвторая строка").arg(QString::fromUtf8(n)));
        auto f = make();
        dialogs.openAnswers = {at(QString::fromUtf8(open))};
        f->measurementFiles->btLoadFileClick();
        dialogs.messages.clear();
        return f;
    }

    QString at(const QString& name) const { return folder + QLatin1Char('/') + name; }

    static QString current(const app::TForm1& f) { return f.measurementFiles->currentFileName; }

    static QStringList listLines(const app::TForm1& f)
    {
        QStringList lines;
        for (QTextBlock b = f.folderBrowser->MAllCmnt->document()->begin(); b.isValid(); b = b.next())
            lines << b.text();
        return lines;
    }

    QString folder;
};

} // namespace

TEST_F(BrowserTest, NextAndPreviousStepThroughTheFolder)
{
    auto f = withFolder("b.axd");
    f->setupPanel->gbFT->show();
    struct Step {
        bool next;
        const char* expect;
        bool noMore;
    } steps[] = {
        {true, "c.axd", false},  {true, "c.axd", true},  {false, "b.axd", false},
        {false, "a.axd", false}, {false, "a.axd", true}, {true, "b.axd", false},
    };
    for (const Step& s : steps) {
        dialogs.messages.clear();
        s.next ? f->folderBrowser->btNextFileClick() : f->folderBrowser->btPrevFileClick();
        const QString name = QString::fromUtf8(s.expect);
        EXPECT_EQ(current(*f), at(name));
        EXPECT_EQ(f->measurementFiles->gbFile->title(), QStringLiteral("ФАЙЛ ") + name);
        EXPECT_EQ(f->measurementFiles->mComment->toPlainText().section(QLatin1Char('\n'), 0, 0),
                  QStringLiteral("файл ") + name.left(1));
        EXPECT_EQ(dialogs.messageTexts(),
                  s.noMore ? QStringList{QStringLiteral("Больше нет файлов")} : QStringList{});
        EXPECT_FALSE(f->setupPanel->gbFT->isVisibleTo(f.get()));
    }
    // A current file gone from its folder: next says so, previous stays silent.
    ASSERT_TRUE(QFile::remove(at(QStringLiteral("b.axd"))));
    dialogs.messages.clear();
    f->folderBrowser->btPrevFileClick();
    EXPECT_TRUE(dialogs.messages.empty());
    f->folderBrowser->btNextFileClick();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Больше нет файлов")});
    EXPECT_EQ(current(*f), at(QStringLiteral("b.axd")));
}

TEST_F(BrowserTest, CommentListOpensTheFileOfAWord)
{
    auto f = withFolder("a.axd");
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->folderBrowser->btShowCmntClick();
    EXPECT_TRUE(f->folderBrowser->isVisible());
    EXPECT_TRUE(f->folderBrowser->MAllCmnt->isVisible());
    EXPECT_EQ(listLines(*f), (QStringList{QStringLiteral("=v=a.axd=v="), QStringLiteral("файл a"),
                                          QStringLiteral("вторая строка"), QStringLiteral("=v=b.axd=v="),
                                          QStringLiteral("файл b"), QStringLiteral("вторая строка"),
                                          QStringLiteral("=v=c.axd=v="), QStringLiteral("файл c"),
                                          QStringLiteral("вторая строка")}));
    EXPECT_EQ(f->folderBrowser->MAllCmnt->textCursor().position(), 0) << "the list starts at its top";

    // A double click on a word of the second block.
    QTextCursor c(f->folderBrowser->MAllCmnt->document()->findBlockByNumber(5));
    c.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
    const QPoint at = f->folderBrowser->MAllCmnt->cursorRect(c).center();
    QTest::mouseDClick(f->folderBrowser->MAllCmnt->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCoreApplication::processEvents();
    EXPECT_EQ(current(*f), this->at(QStringLiteral("b.axd")));
    EXPECT_EQ(f->measurementFiles->mComment->toPlainText(), QStringLiteral("файл b\nвторая строка"));
    EXPECT_FALSE(f->folderBrowser->isVisible());
    EXPECT_TRUE(dialogs.messages.empty());

    // Enter on a line of the third block, and "Открыть файл" on the first block's name line.
    f->folderBrowser->btShowCmntClick();
    QTextCursor third(f->folderBrowser->MAllCmnt->document()->findBlockByNumber(7));
    f->folderBrowser->MAllCmnt->setTextCursor(third);
    QTest::keyClick(f->folderBrowser->MAllCmnt, Qt::Key_Return);
    EXPECT_EQ(current(*f), this->at(QStringLiteral("c.axd")));
    f->folderBrowser->btShowCmntClick();
    f->folderBrowser->btOpenFindClick();
    EXPECT_EQ(current(*f), this->at(QStringLiteral("a.axd")));
}

TEST_F(BrowserTest, SearchSelectsTheFoundLineExactly)
{
    folder = file(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkpath(folder));
    // Lines 0..11: 3 and 10 hold the word, long lines above them wrap in the list.
    const QString longLine = QStringLiteral("длинная строка ").repeated(30);
    writeMeasurement(at(QStringLiteral("1.axd")), longLine + QStringLiteral("\nb\nНа опоре вибрация"));
    writeMeasurement(at(QStringLiteral("2.axd")),
                     QStringLiteral("x\n") + longLine + QStringLiteral("\nz\nv"));
    writeMeasurement(at(QStringLiteral("3.axd")), QStringLiteral("ОПОРА СЕВЕР\nконец"));
    auto f = make();
    dialogs.openAnswers = {at(QStringLiteral("1.axd"))};
    f->measurementFiles->btLoadFileClick();
    f->resize(700, 500);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->folderBrowser->btShowCmntClick();
    ASSERT_EQ(listLines(*f).size(), 12);
    ASSERT_EQ(listLines(*f)[10], QStringLiteral("ОПОРА СЕВЕР"));

    struct Case {
        const char* what;
        const char* text;
        bool matchCase;
        std::vector<int> lines;
    } cases[] = {
        {"without case: both, then round again", "опор", false, {3, 10, 3}},
        {"Cyrillic capitals in the search text", "ОПОР", false, {3, 10}},
        {"with case only the small letters", "опор", true, {3, 3}},
        {"with case only the capitals", "ОПОР", true, {10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f->measurementFiles->searchLine = 0;
        f->folderBrowser->eFind->setText(QString::fromUtf8(c.text));
        f->folderBrowser->chkCaps->setChecked(c.matchCase);
        for (int expected : c.lines) {
            f->folderBrowser->btFindClick();
            const QTextCursor sel = f->folderBrowser->MAllCmnt->textCursor();
            EXPECT_EQ(sel.blockNumber(), expected);
            EXPECT_EQ(sel.selectedText(), listLines(*f)[expected]);
        }
    }
    // Nothing found, or nothing to find: the selection stays.
    const int before = f->folderBrowser->MAllCmnt->textCursor().position();
    for (const char* text : {"нет такого", ""}) {
        f->folderBrowser->eFind->setText(QString::fromUtf8(text));
        f->folderBrowser->btFindClick();
        EXPECT_EQ(f->folderBrowser->MAllCmnt->textCursor().position(), before);
    }
    // A load starts the next search from the top.
    f->measurementFiles->searchLine = 7;
    f->folderBrowser->btOpenFindClick();
    EXPECT_EQ(f->measurementFiles->searchLine, 0);
}

TEST_F(BrowserTest, AFileOfAnotherKindIsNamedAndGonePast)
{
    auto f = withFolder("a.axd");
    writeMeasurement(at(QStringLiteral("b.axd")), QStringLiteral("чужой"), 0x8004);

    struct Step {
        bool next;
        const char* expect;
    } steps[] = {{true, "c.axd"}, {false, "a.axd"}};
    for (const Step& s : steps) {
        f->status->setPanelText(1, {});
        s.next ? f->folderBrowser->btNextFileClick() : f->folderBrowser->btPrevFileClick();
        EXPECT_EQ(current(*f), at(QString::fromUtf8(s.expect)));
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join('|').toStdString();
        EXPECT_TRUE(f->status->panelText(1).contains(QStringLiteral("не файл измерения: b.axd")))
            << f->status->panelText(1).toStdString();
    }

    f->folderBrowser->btShowCmntClick();
    EXPECT_TRUE(f->folderBrowser->MAllCmnt->isVisibleTo(f.get()));
    const QStringList lines = listLines(*f);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_EQ(lines[3], QStringLiteral("=x=b.axd=x= не читается: это не файл измерения"));
    EXPECT_EQ(lines[4], QStringLiteral("=v=c.axd=v="));
    EXPECT_TRUE(f->status->panelText(1).contains(QStringLiteral("b.axd")));
    // Its line opens nothing.
    QTextCursor onForeign(f->folderBrowser->MAllCmnt->document()->findBlockByNumber(3));
    f->folderBrowser->MAllCmnt->setTextCursor(onForeign);
    f->folderBrowser->btOpenFindClick();
    EXPECT_EQ(current(*f), at(QStringLiteral("a.axd")));
    EXPECT_TRUE(f->folderBrowser->isVisibleTo(f.get()));
    f->folderBrowser->btCancelClick();
    EXPECT_FALSE(f->folderBrowser->isVisibleTo(f.get()));
}

TEST_F(BrowserTest, ChoosingAFolder)
{
    auto f = withFolder("b.axd");
    const QByteArray record(reinterpret_cast<const char*>(f->record.sampleStream.data()),
                            qsizetype(f->record.sampleStream.size()));

    // Cancelled: the current file stays, the list is empty and says what it needs.
    f->folderBrowser->btPathClick();
    EXPECT_EQ(current(*f), at(QStringLiteral("b.axd")));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Выберите путь, содержащий файлы .axd")});
    EXPECT_TRUE(listLines(*f).join(QString()).isEmpty());
    // A double click in the empty list does nothing.
    dialogs.messages.clear();
    const auto dialogsShown = dialogs.fileDialogs.size();
    f->folderBrowser->MAllCmntDblClick();
    EXPECT_EQ(current(*f), at(QStringLiteral("b.axd")));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.fileDialogs.size(), dialogsShown);

    // Any file of another folder names that folder and its kind of files; nothing is loaded.
    const QString other = file(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(other));
    writeMeasurement(other + QStringLiteral("/x.axd"), QStringLiteral("икс"));
    ASSERT_TRUE(testutil::writeAll(other + QStringLiteral("/notes.txt"), "текст"));
    dialogs.openAnswers = {other + QStringLiteral("/x.axd")};
    f->folderBrowser->btPathClick();
    EXPECT_EQ(current(*f), other + QStringLiteral("/x.axd"));
    EXPECT_EQ(listLines(*f), (QStringList{QStringLiteral("=v=x.axd=v="), QStringLiteral("икс")}));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(f->record.sampleStream.data()),
                         qsizetype(f->record.sampleStream.size())),
              record);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(BrowserTest, CopyPutsTheCommentNameAndDateOnTheClipboard)
{
    auto f = withFolder("c.axd");
    const QDateTime t(QDate(2023, 5, 17), QTime(10, 20, 30));
    ASSERT_TRUE(files::setFileStartTime(at(QStringLiteral("c.axd")), t));
    f->measurementFiles->mComment->setPlainText(QStringLiteral("опора 2\nветер"));
    f->measurementFiles->btCopyClick();
    EXPECT_EQ(dialogs.clipboard, QStringLiteral("опора 2\nветер\n") + at(QStringLiteral("c.axd")) +
                                     QStringLiteral("  ") + files::dateTimeText(t, QLocale::system()));
    EXPECT_TRUE(dialogs.messages.empty());

    // Without a current file there is no date to give: an error and the clipboard as it was.
    auto g = make();
    dialogs.clipboard = QStringLiteral("прежнее");
    g->measurementFiles->btCopyClick();
    EXPECT_EQ(dialogs.clipboard, QStringLiteral("прежнее"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].standardError);
}

TEST_F(BrowserTest, AFileThatDoesNotLoadLeavesTheCurrentFileAndItsFolder)
{
    auto f = withFolder("b.axd");
    // Another folder's truncated file through the open dialog, then a foreign file next in line,
    // which is passed over: no file is left after it.
    const QString other = file(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(other));
    const QByteArray whole = testutil::readAll(at(QStringLiteral("a.axd")));
    ASSERT_TRUE(testutil::writeAll(other + QStringLiteral("/cut.axd"), whole.left(whole.size() - 70)));
    writeMeasurement(at(QStringLiteral("c.axd")), QStringLiteral("чужой"), 0x8004);
    dialogs.openAnswers = {other + QStringLiteral("/cut.axd")};
    f->measurementFiles->btLoadFileClick();
    f->folderBrowser->btNextFileClick();
    const QStringList texts = dialogs.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("Stream read error: "))) << texts[0].toStdString();
    EXPECT_EQ(texts[1], QString::fromUtf8(files::kNoMoreFilesMessage));
    EXPECT_TRUE(f->status->panelText(1).contains(QStringLiteral("c.axd")));
    EXPECT_EQ(current(*f), at(QStringLiteral("b.axd")));
    EXPECT_EQ(f->measurementFiles->gbFile->title(), QStringLiteral("ФАЙЛ b.axd"));
    EXPECT_TRUE(f->measurementFiles->chartExportSource().sourceLine.contains(at(QStringLiteral("b.axd"))));
    f->measurementFiles->btCopyClick();
    EXPECT_TRUE(dialogs.clipboard.startsWith(QStringLiteral("файл b\nвторая строка\n") + at(QStringLiteral("b.axd"))));
    // The navigation still walks b's folder.
    dialogs.messages.clear();
    f->folderBrowser->btPrevFileClick();
    EXPECT_EQ(current(*f), at(QStringLiteral("a.axd")));
    EXPECT_TRUE(dialogs.messages.empty());
}
