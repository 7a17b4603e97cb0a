#include "common/fakehelp.h"
#include "common/testutil.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/help.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

// Restores the current directory when a test that moves it ends, pass or fail.
class CurrentDirGuard {
  public:
    CurrentDirGuard() : saved_(QDir::currentPath()) {}
    ~CurrentDirGuard() { QDir::setCurrent(saved_); }

  private:
    QString saved_;
};

QStringList listTitles(const QListWidget* list)
{
    QStringList titles;
    for (int row = 0; row < list->count(); ++row)
        titles << list->item(row)->text();
    return titles;
}

bool writePage(const QDir& dir, const QString& name, const QString& title, const QString& body)
{
    const QString html =
        QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>"
                       "</head><body>%2</body></html>\n")
            .arg(title, body);
    return testutil::writeAll(dir.filePath(name), html.toUtf8());
}

} // namespace

TEST(FileDialogRules, PipeFilterBecomesQtFilter)
{
    struct Case {
        const char* pipe;
        const char* qt;
    };
    const Case cases[] = {
        {"Accelerometer files|*.axd|All files|*.*", "Accelerometer files (*.axd);;All files (*.*)"},
        {"Accelerometer files|*.axd|Save to Text file|*.txt|Save to CSV-file|*.csv|All files|*.*",
         "Accelerometer files (*.axd);;Save to Text file (*.txt);;Save to CSV-file (*.csv);;All files (*.*)"},
        {"Pictures|*.svg;*.png", "Pictures (*.svg *.png)"},
        {"Data|*.axd|Dangling description", "Data (*.axd)"},
        {"No pattern||Data|*.axd", "Data (*.axd)"},
        {"|*.axd", "*.axd"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(qtFilterFromPipeFilter(QString::fromUtf8(c.pipe)), QString::fromUtf8(c.qt)) << c.pipe;
}

TEST(FileDialogRules, DefaultExtensionOnlyWhenNameHasNone)
{
    struct Case {
        const char* name;
        const char* ext;
        const char* result;
    };
    const Case cases[] = {
        {"/data/run1", "axd", "/data/run1.axd"},
        {"/data/run1.txt", "axd", "/data/run1.txt"},
        {"/data/run1.AXD", "axd", "/data/run1.AXD"}, // the save decides the format by this exact text
        {"/data/set.2024/run1", "axd", "/data/set.2024/run1.axd"},
        {"/data/run1.", "axd", "/data/run1.axd"},
        {"run1", ".axd", "run1.axd"},
        {"run1", "", "run1"},
        {"", "axd", ""}, // cancelled stays cancelled
    };
    for (const Case& c : cases)
        EXPECT_EQ(applyDefaultExtension(QString::fromUtf8(c.name), QString::fromUtf8(c.ext)),
                  QString::fromUtf8(c.result))
            << c.name << " + " << c.ext;
}

TEST(FileDialogRules, InitialFolderResolvedAgainstCurrentDirectory)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("Data")));
    const QString data = QDir(tmp.path()).absoluteFilePath(QStringLiteral("Data"));

    CurrentDirGuard guard;
    ASSERT_TRUE(QDir::setCurrent(tmp.path()));
    EXPECT_EQ(QFileInfo(resolveInitialFolder(QStringLiteral("Data"))).canonicalFilePath(),
              QFileInfo(data).canonicalFilePath());
    EXPECT_EQ(resolveInitialFolder(data), data);
    EXPECT_TRUE(resolveInitialFolder(QStringLiteral("Missing")).isEmpty());
    EXPECT_TRUE(resolveInitialFolder(QString()).isEmpty());
}

TEST(QtDialogsTest, SaveDialogShowsConvertedFilterAndAppendsExtension)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    FileDialogSpec spec;
    spec.filter = QStringLiteral("Accelerometer files|*.axd|All files|*.*");
    spec.defaultExtension = QStringLiteral("axd");
    spec.initialFolder = tmp.path();
    spec.fileName = QStringLiteral("run1");

    QStringList filtersSeen;
    QString folderSeen;
    int attempts = 0;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            answer.stop();
            filtersSeen = dialog->nameFilters();
            folderSeen = dialog->directory().absolutePath();
            static_cast<QDialog*>(dialog)->accept(); // public in QDialog, runs the file dialog's own accept
        } else if (++attempts > 250) {
            // Never leave the test hanging on a dialog that did not come up as expected.
            answer.stop();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* stray = qobject_cast<QFileDialog*>(w))
                    stray->reject();
        }
    });
    answer.start();

    QtDialogs dialogs;
    const QString chosen = dialogs.saveFile(nullptr, spec);

    EXPECT_EQ(filtersSeen, (QStringList{QStringLiteral("Accelerometer files (*.axd)"),
                                        QStringLiteral("All files (*.*)")}));
    EXPECT_EQ(QFileInfo(folderSeen).canonicalFilePath(), QFileInfo(tmp.path()).canonicalFilePath());
    EXPECT_EQ(QFileInfo(chosen).fileName(), QStringLiteral("run1.axd"));
}

TEST(QtDialogsTest, PictureSizeKeepsTheTypedWidthWhenEnterIsPressedInTheHeight)
{
    // Typed as an operator does: the width, Tab, Enter. The height follows the width; Enter in
    // the height must not recompute the width from the rounded height.
    int attempts = 0;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        const QList<QSpinBox*> boxes = dialog ? dialog->findChildren<QSpinBox*>() : QList<QSpinBox*>();
        if (boxes.size() == 2) {
            answer.stop();
            boxes[0]->setFocus();
            boxes[0]->selectAll();
            QTest::keyClicks(boxes[0], QStringLiteral("1900"));
            QTest::keyClick(boxes[0], Qt::Key_Tab);
            // The dialog's own focus child: the application's focus is not set while another
            // window of the test run is the active one.
            QWidget* height = dialog->focusWidget();
            QTest::keyClick(height ? height : boxes[1], Qt::Key_Return);
        } else if (++attempts > 250) {
            answer.stop();
            if (auto* d = qobject_cast<QDialog*>(dialog))
                d->reject();
        }
    });
    answer.start();
    QtDialogs dialogs;
    const std::optional<QSize> size = dialogs.askPictureSize(nullptr, QSize(782, 380));
    ASSERT_TRUE(size.has_value());
    EXPECT_EQ(*size, QSize(1900, 923));
}

TEST(QtDialogsTest, ABareSaveNameTakesTheExtensionOfTheChosenType)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    FileDialogSpec spec;
    spec.filter = QStringLiteral(
        "Accelerometer files|*.axd|Save to Text file|*.txt|Save to CSV-file|*.csv|All files|*.*");
    spec.defaultExtension = QStringLiteral("axd");
    spec.initialFolder = tmp.path();
    struct Case {
        int typeRow; // chosen in the type list with the arrow keys, as the operator would
        const char* typed;
        const char* saved;
    } cases[] = {
        {0, "run1", "run1.axd"}, {2, "run5", "run5.csv"}, {1, "run6", "run6.txt"},
        {3, "run7", "run7.axd"}, {2, "run8.txt", "run8.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        int attempts = 0;
        QTimer answer;
        answer.setInterval(20);
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                answer.stop();
                auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (types && name) {
                    for (int i = 0; i < c.typeRow; ++i)
                        QTest::keyClick(types, Qt::Key_Down);
                    name->setText(QString::fromUtf8(c.typed));
                    static_cast<QDialog*>(dialog)->accept();
                } else {
                    dialog->reject();
                }
            } else if (++attempts > 250) {
                answer.stop();
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* stray = qobject_cast<QFileDialog*>(w))
                        stray->reject();
            }
        });
        answer.start();
        QtDialogs dialogs;
        EXPECT_EQ(QFileInfo(dialogs.saveFile(nullptr, spec)).fileName(), QString::fromUtf8(c.saved));
    }
}

TEST(QtDialogsTest, ClipboardPictureCarriesSvgAndBitmapTogether)
{
    QtDialogs dialogs;
    const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\"/>";
    QImage png(4, 4, QImage::Format_RGB32);
    png.fill(Qt::white);

    dialogs.setClipboardPicture(svg, png);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data(QStringLiteral("image/svg+xml")), svg);
    EXPECT_TRUE(data->hasImage());

    dialogs.setClipboardText(QStringLiteral("Комментарий\r\nстрока"));
    EXPECT_EQ(dialogs.clipboardText(), QStringLiteral("Комментарий\r\nстрока"));
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasFormat(QStringLiteral("image/svg+xml")));
}

TEST(HelpContext, NearestNumberedAncestorWins)
{
    QWidget window;
    setHelpContext(&window, 6);
    auto* panel = new QWidget(&window);
    setHelpContext(panel, 4);
    auto* inner = new QWidget(panel);
    auto* numbered = new QWidget(inner);
    setHelpContext(numbered, 303);
    auto* cleared = new QWidget(panel);
    setHelpContext(cleared, 5);
    setHelpContext(cleared, 0); // removing a number hands the control back to its parent's topic
    QWidget loose;

    struct Case {
        const QWidget* widget;
        int topic;
    };
    const Case cases[] = {
        {&window, 6}, {panel, 4}, {inner, 4}, {numbered, 303}, {cleared, 4}, {&loose, 0}, {nullptr, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(helpContextOf(c.widget), c.topic) << (c.widget ? "widget" : "null");
}

TEST(HelpKey, F1OpensTopicOfFocusedControlOrContents)
{
    QWidget window;
    setHelpContext(&window, 6);
    auto* layout = new QVBoxLayout(&window);
    auto* group = new QGroupBox(QStringLiteral("Комментарий"));
    setHelpContext(group, 2);
    auto* comment = new QLineEdit(group);
    (new QVBoxLayout(group))->addWidget(comment);
    auto* save = new QPushButton(QStringLiteral("Сохранить"));
    save->setFocusPolicy(Qt::StrongFocus);
    setHelpContext(save, 101);
    auto* plain = new QLineEdit;
    layout->addWidget(group);
    layout->addWidget(save);
    layout->addWidget(plain);

    FakeHelp help;
    installHelpKey(&window, help);
    installHelpKey(&window, help); // installing again must not leave two competing F1 keys
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    struct Case {
        QWidget* focus;
        int topic;
    };
    const Case cases[] = {{comment, 2}, {save, 101}, {plain, 6}};
    for (const Case& c : cases) {
        help.topicsShown.clear();
        c.focus->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), c.focus);
        QTest::keyClick(c.focus, Qt::Key_F1);
        EXPECT_EQ(help.topicsShown, std::vector<int>{c.topic});
    }
    EXPECT_EQ(help.contentsShown, 0);
    window.hide();

    QWidget bare;
    auto* edit = new QLineEdit(&bare);
    FakeHelp bareHelp;
    installHelpKey(&bare, bareHelp);
    bare.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&bare));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F1);
    EXPECT_EQ(bareHelp.contentsShown, 1);
    EXPECT_TRUE(bareHelp.topicsShown.empty());
}

class HelpWindowTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        const QDir dir(tmp.path());
        ASSERT_TRUE(writePage(dir, QStringLiteral("index.html"), QStringLiteral("Содержание"),
                              QStringLiteral("<p>Оглавление справки</p><a href=\"topic-9.html\">9</a>")));
        ASSERT_TRUE(writePage(dir, QStringLiteral("topic-2.html"), QStringLiteral("Комментарий"),
                              QStringLiteral("<p>Страница два</p><a href=\"topic-9.html#end\">дальше</a>")));
        ASSERT_TRUE(writePage(dir, QStringLiteral("topic-9.html"), QStringLiteral("Спектр и тренд"),
                              QStringLiteral("<p>Страница девять</p><a name=\"end\"></a>")));
        ASSERT_TRUE(writePage(dir, QStringLiteral("topic-10.html"), QStringLiteral("  Десятый\n раздел "),
                              QStringLiteral("<p>Страница десять</p>")));
        ASSERT_TRUE(writePage(dir, QStringLiteral("topic-101.html"),
                              QStringLiteral("Кнопка &laquo;Сохранить&raquo;"),
                              QStringLiteral("<p>Страница сто один</p>")));
        ASSERT_TRUE(testutil::writeAll(dir.filePath(QStringLiteral("topic-300.html")),
                                       "<html><body>no title</body></html>"));
        // Not topic pages: they must not show up in the contents.
        ASSERT_TRUE(writePage(dir, QStringLiteral("topic-x.html"), QStringLiteral("Лишний"), QString()));
        ASSERT_TRUE(writePage(dir, QStringLiteral("topic-007.html"), QStringLiteral("Лишний"), QString()));
        ASSERT_TRUE(writePage(dir, QStringLiteral("notes.html"), QStringLiteral("Лишний"), QString()));
    }

    QString shownText(const HelpWindow& w) const { return w.browser()->toPlainText(); }

    QTemporaryDir tmp;
};

TEST_F(HelpWindowTest, ContentsListsTitlesInTopicNumberOrder)
{
    HelpWindow w(tmp.path());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Справка"));
    EXPECT_TRUE(w.isWindow());
    EXPECT_EQ(listTitles(w.contentsList()),
              (QStringList{QStringLiteral("Содержание"), QStringLiteral("Комментарий"),
                           QStringLiteral("Спектр и тренд"), QStringLiteral("Десятый раздел"),
                           QStringLiteral("Кнопка «Сохранить»"), QStringLiteral("Раздел 300")}));
}

TEST_F(HelpWindowTest, OpensWholeOnTheScreenAndStaysWhereMoved)
{
    HelpWindow w(tmp.path());
    // Taller and wider than the screen, as the window is on a small one.
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    w.resize(work.width() + 300, work.height() + 300);
    w.move(work.left() + 50, work.bottom() - 100);
    w.showContents();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(work.contains(w.geometry())) << "the end of the contents list must be reachable";
    w.move(work.left() + 5, work.top() + 7);
    w.showTopic(2);
    EXPECT_EQ(w.pos(), QPoint(work.left() + 5, work.top() + 7));
}

TEST_F(HelpWindowTest, TopicPagesAndNotesForMissingOnes)
{
    HelpWindow w(tmp.path());
    w.showTopic(9);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(shownText(w).contains(QStringLiteral("Страница девять")));
    ASSERT_NE(w.contentsList()->currentItem(), nullptr);
    EXPECT_EQ(w.contentsList()->currentItem()->text(), QStringLiteral("Спектр и тренд"));

    w.showTopic(7);
    EXPECT_TRUE(shownText(w).contains(QStringLiteral("Раздел справки 7 не найден.")));
    EXPECT_EQ(w.contentsList()->currentItem(), nullptr);

    w.showContents();
    EXPECT_TRUE(shownText(w).contains(QStringLiteral("Оглавление справки")));
    EXPECT_EQ(w.shownTopic(), 0);

    // Choosing a title in the list shows its page.
    w.contentsList()->setCurrentRow(4);
    EXPECT_TRUE(shownText(w).contains(QStringLiteral("Страница сто один")));
    EXPECT_EQ(w.shownTopic(), 101);
}

TEST_F(HelpWindowTest, LinksStayInsideTheHelp)
{
    HelpWindow w(tmp.path());
    w.showTopic(2);

    emit w.browser()->anchorClicked(QUrl(QStringLiteral("topic-9.html#end")));
    EXPECT_EQ(w.shownTopic(), 9);
    EXPECT_TRUE(shownText(w).contains(QStringLiteral("Страница девять")));

    // Addresses outside the help are not opened and leave the page as it was.
    emit w.browser()->anchorClicked(QUrl(QStringLiteral("https://example.com/topic-2.html")));
    emit w.browser()->anchorClicked(QUrl(QStringLiteral("mailto:someone@example.com")));
    EXPECT_EQ(w.shownTopic(), 9);
    EXPECT_TRUE(shownText(w).contains(QStringLiteral("Страница девять")));

    emit w.browser()->anchorClicked(QUrl(QStringLiteral("index.html")));
    EXPECT_EQ(w.shownTopic(), 0);

    emit w.browser()->anchorClicked(QUrl(QStringLiteral("../secret.html")));
    EXPECT_TRUE(shownText(w).contains(QStringLiteral("не найдена")));
}

TEST(HelpWindowMissing, MissingFolderGivesNotesNotFailures)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    HelpWindow w(QDir(tmp.path()).filePath(QStringLiteral("absent")));
    EXPECT_EQ(listTitles(w.contentsList()), QStringList{QStringLiteral("Содержание")});
    w.showContents();
    EXPECT_TRUE(w.browser()->toPlainText().contains(QStringLiteral("не найдено")));
    w.showTopic(4);
    EXPECT_TRUE(w.browser()->toPlainText().contains(QStringLiteral("Раздел справки 4 не найден.")));
}

// Every topic number the windows assign must have a page, listed in the table of contents.
TEST(ShippedHelp, EveryAssignedTopicHasAPageInTheContents)
{
    const QDir pages(QStringLiteral(ACCEL3_HELP_PAGES));
    ASSERT_TRUE(pages.exists(QStringLiteral("index.html"))) << ACCEL3_HELP_PAGES;
    const QString index = QString::fromUtf8(testutil::readAll(pages.filePath(QStringLiteral("index.html"))));

    HelpWindow w(pages.absolutePath());
    const int numbers[] = {2,   3,   4,   5,   6,   7,   8,   9,   101, 102, 103, 104,
                           105, 106, 107, 300, 303, 305, 306, 309, 312, 403, 404};
    for (int n : numbers) {
        const QString name = QStringLiteral("topic-%1.html").arg(n);
        EXPECT_TRUE(pages.exists(name)) << n;
        EXPECT_TRUE(index.contains(QStringLiteral("href=\"%1\"").arg(name))) << n;
        w.showTopic(n);
        EXPECT_FALSE(w.browser()->toPlainText().contains(QStringLiteral("не найден"))) << n;
        EXPECT_NE(w.contentsList()->currentItem(), nullptr) << n;
    }
}
