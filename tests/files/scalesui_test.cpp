#include <QDir>
#include <QFile>

#include "files/cp1251.h"
#include "files/scales.h"
#include "files/ui/scalesui.h"
#include "filesfixture.h"

TEST_F(FilesWindowTest, ScalesFileAtCreation)
{
    const QString missing = QString::fromUtf8(files::kScalesMissingMessage);
    const QStringList standard{QStringLiteral("±2g"), QStringLiteral("±4g"), QStringLiteral("±8g"),
                               QStringLiteral("±16g")};
    const QStringList wide{QStringLiteral("±25g"), QStringLiteral("±50g"), QStringLiteral("±100g"),
                           QStringLiteral("±200g")};
    struct Case {
        const char* what;
        const char* scales; // nullptr: no file
        int messages;
        std::array<double, 3> k;
        QString title;
        QStringList ranges;
    } cases[] = {
        {"no file", nullptr, 1, {1, 1, 1}, QStringLiteral("Ускорение, см/с/с"), standard},
        {"factors and shifts", kScales, 0, {0.5, 0.25, 2}, QStringLiteral("Ускорение, см/с/с"), standard},
        {"a 200 g board",
         "[factor]\nX=2\nY=2\nZ=2\n[Yscale]\nrange=200\nName=g\n",
         0,
         {2, 2, 2},
         QStringLiteral("g"),
         wide},
        {"a 100 g board changes nothing",
         "[factor]\nX=2\nY=2\nZ=2\n[Yscale]\nrange=100\n",
         0,
         {2, 2, 2},
         QStringLiteral("Ускорение, см/с/с"),
         standard},
        {"a broken factor",
         "[factor]\nX=2\nY=two\nZ=2\n",
         1,
         {2, 1, 2},
         QStringLiteral("Ускорение, см/с/с"),
         standard},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(paths().scalesFile);
        dialogs.messages.clear();
        files::MainSettings s;
        s.sensitivity = 2;
        auto f = make(s, c.scales);
        QCoreApplication::processEvents(); // the notice waits for the event loop
        EXPECT_EQ(dialogs.messageTexts().count(missing), c.messages);
        EXPECT_EQ(f->record.baseAxisK, c.k);
        EXPECT_EQ(f->scales->yTitle(), c.title);
        QStringList items;
        for (int i = 0; i < f->setupPanel->cbRange->count(); ++i)
            items << f->setupPanel->cbRange->itemText(i);
        EXPECT_EQ(items, c.ranges);
        EXPECT_EQ(f->setupPanel->cbRange->currentIndex(), 2) << "the stored range still selects its item";
    }
}

TEST_F(FilesWindowTest, ZeroLevelsAreWrittenAndReadBack)
{
    auto f = make();
    f->record.zeroLevels = {300, 150, -3};
    EXPECT_TRUE(f->scales->btSaveZerosClick());
    f->scales->btLoadScalesFileClick();
    EXPECT_EQ(f->record.baseAxisC, (std::array<double, 3>{300, 150, -3}));
    EXPECT_EQ(f->record.baseAxisK, (std::array<double, 3>{0.5, 0.25, 2})) << "the factors stay";

    // A scales path that cannot be written: the error box, and the levels stay in memory only.
    dialogs.messages.clear();
    ASSERT_TRUE(QFile::remove(paths().scalesFile));
    ASSERT_TRUE(QDir().mkpath(paths().scalesFile));
    f->record.zeroLevels = {1, 2, 3};
    EXPECT_FALSE(f->scales->btSaveZerosClick());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].standardError);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Unable to write to ") + paths().scalesFile + QStringLiteral(": ")));
}
