#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "app/commandline.h"

#include <functional>

#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "common/fakedialogs.h"
#include "common/windowpaths.h"
#include "common/fakehelp.h"
#include "platform/ticks.h"
#include "platform/ui/help.h"
#include "files/ui/folderbrowserui.h"
#include "files/ui/measurementfilesui.h"

using app::TForm1;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<TForm1> make(const files::MainSettings& s = {})
    {
        const app::AppPaths p = testutil::pathsIn(dir.path());
        return std::make_unique<TForm1>(app::Services{&dialogs, &help, &ticks}, p, s);
    }

    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks;
};

QColor buttonTextColour(const QWidget* w)
{
    return w->palette().color(QPalette::ButtonText);
}

} // namespace

TEST_F(MainWindowTest, FirstStartUsesTheDefaults)
{
    auto f = make();
    // The indicator's timer only starts after the chart has been painted.
    EXPECT_FALSE(f->linkIndicator->timCheckUSB->isActive());
    EXPECT_EQ(f->size(), QSize(794, 515));
    EXPECT_EQ(f->pos(), QPoint(0, 0));
    // The test's board is the simulated one, and the title says so after the program's name.
    EXPECT_TRUE(f->windowTitle().startsWith(app::mainWindowTitle())) << qPrintable(f->windowTitle());
    EXPECT_TRUE(f->windowTitle().startsWith(QStringLiteral("3-канальный АКСЕЛЕРОМЕТР USB")));
    QCoreApplication::processEvents();
    EXPECT_EQ(help.contentsShown, 1) << "the help opens at its contents on a first start";
    EXPECT_EQ(f->measurementFiles->cbDivider->currentText(), QStringLiteral("точка"));
    EXPECT_EQ(f->record.channelCount, 3);
    const QColor reds[3] = {QColor(64, 0, 0), QColor(128, 0, 0), QColor(192, 0, 0)};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(f->setupPanel->channelBoxes[i]->isChecked());
        EXPECT_EQ(f->chartPart->channelColourPanels[i]->colour(), reds[i]);
        EXPECT_EQ(f->chartPart->Chart1->seriesColour(f->chartPart->channelSeries[i]), reds[i]);
    }
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("USB: связь отсутствует"));
    EXPECT_FALSE(f->chartPart->Chart1->isEnabled()) << "the chart ignores the mouse until the first build";
    EXPECT_FALSE(f->setupPanel->gbFT->isVisibleTo(f.get()));
    EXPECT_FALSE(f->gbChart->isVisibleTo(f.get()));
    EXPECT_FALSE(f->gbOptions->isVisibleTo(f.get()));
    // The run divides by the sampling rate; right after start it must already be set.
    EXPECT_DOUBLE_EQ(f->record.sampleRateHz, 3200.0);
    EXPECT_EQ(f->setupPanel->seTime->maximum(), 20970880);
    EXPECT_EQ(f->setupPanel->seTime->minimum(), 1);
    EXPECT_TRUE(f->formReady);
    f->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(f->status->panelWidth(0), 200);
    EXPECT_EQ(f->status->panelWidth(1), 220);
    EXPECT_GE(f->status->panelWidth(2), 50) << "the last panel runs on to the right edge";
    EXPECT_GT(f->status->panelWidth(2), 300);
}

TEST_F(MainWindowTest, CreationAppliesTheStoredChoices)
{
    struct Case {
        const char* what;
        std::function<void(files::MainSettings&)> store;
        std::function<void(TForm1&, FakeHelp&)> check;
    };
    const Case cases[] = {
        {"no channel selected brings all three up", [](auto& s) { s.channelSelected = {false, false, false}; },
         [](TForm1& f, FakeHelp&) {
             EXPECT_EQ(f.record.channelCount, 3);
             for (auto* b : f.setupPanel->channelBoxes)
                 EXPECT_TRUE(b->isChecked());
         }},
        {"one channel stays one", [](auto& s) { s.channelSelected = {false, true, false}; },
         [](TForm1& f, FakeHelp&) {
             EXPECT_EQ(f.record.channelCount, 1);
             EXPECT_FALSE(f.setupPanel->cbCh1->isChecked());
             EXPECT_TRUE(f.setupPanel->cbCh2->isChecked());
         }},
        // The board's memory holds 131068 words: three channels fit 43689 samples,
        // below the 131072 cap of the creation sequence.
        {"memory target limits the sample count to what the memory holds",
         [](auto& s) {
             s.pcOrMem = 1;
             s.samples = 200000;
         },
         [](TForm1& f, FakeHelp&) { EXPECT_EQ(f.setupPanel->seSamples->value(), 43689); }},
        {"computer target keeps a large sample count",
         [](auto& s) { s.samples = 200000; }, [](TForm1& f, FakeHelp&) { EXPECT_EQ(f.setupPanel->seSamples->value(), 200000); }},
        {"help not loaded at start", [](auto& s) { s.loadHelpOnStart = 1; },
         [](TForm1&, FakeHelp& h) { EXPECT_EQ(h.contentsShown, 0); }},
        {"list index outside its list takes the default item",
         [](auto& s) {
             s.timeUnits = 7;
             s.divider = -1;
             s.frequency = 12;
         },
         [](TForm1& f, FakeHelp&) {
             EXPECT_EQ(f.chartPart->cbTimeunits->currentIndex(), 0);
             EXPECT_EQ(f.measurementFiles->cbDivider->currentIndex(), 1);
             EXPECT_EQ(f.setupPanel->cbF->currentIndex(), 0);
         }},
        {"sampling rate follows the stored frequency", [](auto& s) { s.frequency = 8; },
         [](TForm1& f, FakeHelp&) { EXPECT_DOUBLE_EQ(f.record.sampleRateHz, 12.5); }},
        {"series visibility and colours",
         [](auto& s) {
             s.modulusShown = false;
             s.pulseShown = false;
             s.pulseColour = 0x00FF0000; // blue in 0x00BBGGRR
         },
         [](TForm1& f, FakeHelp&) {
             EXPECT_FALSE(f.chartPart->Chart1->isSeriesShown(display::Series::IaI));
             EXPECT_TRUE(f.chartPart->Chart1->isSeriesShown(display::Series::Mark));
             EXPECT_FALSE(f.chartPart->Chart1->isSeriesShown(display::Series::Pls));
             EXPECT_EQ(f.chartPart->pPlsCl->colour(), QColor(0, 0, 255));
             EXPECT_EQ(f.chartPart->Chart1->seriesColour(display::Series::Pls), QColor(0, 0, 255));
         }},
        {"window geometry", [](auto& s) {
             s.width = 700;
             s.height = 500;
             s.left = 10;
             s.top = 20;
         },
         [](TForm1& f, FakeHelp&) {
             EXPECT_EQ(f.size(), QSize(700, 500));
             EXPECT_EQ(f.pos(), QPoint(10, 20));
             EXPECT_EQ(f.chartPart->Chart1->size(), QSize(700 - 12, 500 - 135));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHelp localHelp;
        files::MainSettings s;
        c.store(s);
        app::AppPaths p;
        TForm1 f(app::Services{&dialogs, &localHelp, &ticks}, p, s);
        QCoreApplication::processEvents();
        c.check(f, localHelp);
    }
}

TEST_F(MainWindowTest, ResizeLaysOutChartCommentAndBrowser)
{
    auto f = make();
    const int snapWidth = f->ctlBar->width() + 8;
    ASSERT_LE(snapWidth, 620) << "the 620-pixel restore must not be widened by the snap";
    struct Case {
        QSize asked;
        QSize expected;
    };
    const Case cases[] = {
        {{794, 515}, {794, 515}},
        {{1000, 700}, {1000, 700}},
        {{snapWidth, 460}, {snapWidth, 460}},
        {{300, 460}, {snapWidth, 460}}, // narrower than the tool-bar strip + 8 snaps back
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(c.asked.width()).arg(c.asked.height()).toStdString());
        f->resize(c.asked);
        QCoreApplication::processEvents();
        // Offscreen windows get their resize events only when shown; the handler is
        // what the rules live in, so it is called as the window would.
        f->FormResize();
        ASSERT_EQ(f->size(), c.expected);
        // The outer margins of the design (22 × 169) less the frame they included: 6 pixels on
        // either side of the chart, the status bar right under it.
        const int w = c.expected.width() - 12;
        const int h = c.expected.height() - 135;
        EXPECT_EQ(f->chartPart->Chart1->size(), QSize(w, h));
        EXPECT_EQ(f->measurementFiles->gbFile->width(), w);
        EXPECT_EQ(f->measurementRun->pnlChart->width(), w);
        EXPECT_EQ(f->measurementRun->progressBar->width(), w - 20);
        EXPECT_EQ(f->measurementFiles->mComment->width(), w - 16);
        EXPECT_EQ(f->folderBrowser->size(), QSize(w, h));
        EXPECT_EQ(f->folderBrowser->MAllCmnt->width(), f->measurementFiles->mComment->width());
        EXPECT_EQ(f->folderBrowser->MAllCmnt->height(), h - f->folderBrowser->pSearch->height() - f->folderBrowser->MAllCmnt->y() - 10);
        EXPECT_EQ(f->folderBrowser->pSearch->width(), w - 20);
        EXPECT_EQ(f->folderBrowser->pSearch->y(), h - f->folderBrowser->pSearch->height() - 5);
        EXPECT_EQ(f->chartPart->btSaveChart->y(), h - 26);
        EXPECT_EQ(f->chartPart->Chart1->x(), f->width() - f->chartPart->Chart1->geometry().right() - 1) << "equal side margins";
        const int band = f->status->y() - f->chartPart->Chart1->geometry().bottom() - 1;
        EXPECT_GE(band, 0);
        EXPECT_LE(band, 6) << "no empty band above the status bar";
    }
}

TEST_F(MainWindowTest, ClickIntoBareWindowTogglesFullScreen)
{
    auto f = make();
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    QScreen* scr = f->screen();
    const QRect work = scr->availableGeometry();
    const QSize full(scr->geometry().width(), work.y() + work.height());

    // Disabled chart: the click does nothing.
    f->FormClick();
    EXPECT_EQ(f->size(), QSize(794, 515));

    f->chartPart->Chart1->setEnabled(true);
    f->resize(700, 500);
    f->move(30, 40);
    QTest::mouseClick(f.get(), Qt::LeftButton, {}, QPoint(f->width() - 3, f->height() - 30));
    // The whole window, frame included, fills the work area.
    EXPECT_EQ(f->frameGeometry(), QRect(QPoint(0, 0), full));
    EXPECT_EQ(f->savedBounds, (std::array<int, 4>{500, 700, 30, 40}));

    QTest::mouseClick(f.get(), Qt::LeftButton, {}, QPoint(f->width() - 3, f->height() - 30));
    EXPECT_EQ(f->size(), QSize(700, 500));
    EXPECT_EQ(f->pos(), QPoint(30, 40));

    // A click on a control is the control's, not the window's.
    QTest::mouseClick(f->status, Qt::LeftButton);
    EXPECT_EQ(f->size(), QSize(700, 500));
}

TEST_F(MainWindowTest, FirstRestoreOfAWindowStartedFullScreenIs620By480)
{
    QScreen* scr = QGuiApplication::primaryScreen();
    const QRect work = scr->availableGeometry();
    files::MainSettings s;
    s.width = scr->geometry().width();
    s.height = work.y() + work.height();
    auto f = make(s);
    f->chartPart->Chart1->setEnabled(true);
    f->FormClick();
    f->FormResize();
    EXPECT_EQ(f->size(), QSize(620, 480));
    EXPECT_EQ(f->pos(), QPoint(0, 0));
}

TEST_F(MainWindowTest, PanelTogglesShowHideAndRecaption)
{
    auto f = make();
    f->show();
    struct Step {
        std::function<void()> act;
        bool chartShown, optionsShown;
        QString chartCaption, optionsCaption;
        QColor chartColour, optionsColour;
    };
    const QString close = QStringLiteral("Закрыть");
    const Step steps[] = {
        {[&] { QTest::mouseClick(f->btChart, Qt::LeftButton); }, true, false, close, QStringLiteral("Опции"), Qt::red,
         Qt::black},
        {[&] { QTest::mouseClick(f->btOptions, Qt::LeftButton); }, true, true, close, close, Qt::red, Qt::red},
        // A click on the empty area of either panel hides only the options panel.
        {[&] { QTest::mouseClick(f->gbChart, Qt::LeftButton, {}, QPoint(f->gbChart->width() - 4, 6)); }, true, false,
         close, QStringLiteral("ОПЦИИ"), Qt::red, Qt::black},
        {[&] { QTest::mouseClick(f->btOptions, Qt::LeftButton); }, true, true, close, close, Qt::red, Qt::red},
        {[&] { QTest::mouseClick(f->btOptions, Qt::LeftButton); }, true, false, close, QStringLiteral("Опции"), Qt::red,
         Qt::black},
        {[&] { QTest::mouseClick(f->btChart, Qt::LeftButton); }, false, false, QStringLiteral("График"),
         QStringLiteral("Опции"), Qt::black, Qt::black},
    };
    int n = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(n++);
        s.act();
        EXPECT_EQ(f->gbChart->isVisible(), s.chartShown);
        EXPECT_EQ(f->gbOptions->isVisible(), s.optionsShown);
        EXPECT_EQ(f->btChart->text(), s.chartCaption);
        EXPECT_EQ(f->btOptions->text(), s.optionsCaption);
        EXPECT_EQ(buttonTextColour(f->btChart), s.chartColour);
        EXPECT_EQ(buttonTextColour(f->btOptions), s.optionsColour);
    }
}

TEST_F(MainWindowTest, HelpNumbersAndHelpButton)
{
    auto f = make();
    const std::pair<const char*, int> cases[] = {
        {"Form1", 6},      {"status", 6},      {"mComment", 2},     {"eFind", 3},   {"cbF", 4},
        {"seTime", 4},     {"cbCh3", 4},       {"btRd", 4},         {"cbXM", 5},    {"cbHelp", 5},
        {"Chart1", 7},     {"btSaveChart", 8}, {"btTrend", 9},      {"btSave", 101}, {"btPrint", 107},
        {"btOptions", 300}, {"cbShowK", 303},  {"cbTimeunits", 305}, {"seSmooth", 306}, {"btZeros", 309},
        {"cbStoreX", 312}, {"btUSB", 403},     {"btHelpTOC", 404},
    };
    for (const auto& [name, number] : cases) {
        QWidget* w = QString::fromLatin1(name) == QStringLiteral("Form1") ? f.get() : f->findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(platform::helpContextOf(w), number) << name;
    }
    const int before = help.contentsShown;
    QTest::mouseClick(f->btHelpTOC, Qt::LeftButton);
    EXPECT_EQ(help.contentsShown, before + 1);
}

TEST_F(MainWindowTest, EveryControlCanBeNamedByAScreenReader)
{
    auto f = make();
    for (QWidget* w : f->findChildren<QWidget*>()) {
        if (w->focusPolicy() == Qt::NoFocus || !w->isVisibleTo(f.get()) || w->objectName().isEmpty())
            continue;
        if (w->inherits("QAbstractSpinBox") || w->inherits("QComboBox") || w->inherits("QAbstractButton") ||
            w->inherits("QLineEdit") || w->inherits("QPlainTextEdit") || w->inherits("app::ColourPanel")) {
            const auto* b = qobject_cast<QAbstractButton*>(w);
            const bool captioned = b && !b->text().isEmpty();
            EXPECT_TRUE(captioned || !w->accessibleName().isEmpty()) << qPrintable(w->objectName());
        }
    }
}

TEST_F(MainWindowTest, ClosingRunsOnceAndFreesTheStream)
{
    auto f = make();
    f->record.sampleStream.append(QByteArray(64, '\1'));
    QSignalSpy closed(f.get(), &TForm1::closed);
    f->close();
    f->close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(f->record.sampleStream.size(), 0u);
}

TEST_F(MainWindowTest, StoredGeometryIsBroughtOntoTheScreenAndWrittenBackAsApplied)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // The chart keeps 120 pixels, and no floating panel reaches under the status bar.
    const int minHeight = make()->minimumHeight();
    ASSERT_GE(minHeight, 135 + 120);
    struct Case {
        const char* what;
        QRect stored; // left, top, width, height as "tremor.ini" holds them
        QRect applied;
    } cases[] = {
        {"height 0", {0, 0, 794, 0}, {0, 0, 794, minHeight}},
        {"negative size and position", {-100, -50, -5, -5}, {area.x(), area.y(), 620, minHeight}},
        {"left of 3000", {3000, 0, 794, 515}, {area.right() + 1 - 794, 0, 794, 515}},
        {"top of 99999", {0, 99999, 794, 515}, {0, area.bottom() + 1 - 515, 794, 515}},
        {"larger than the screen", {0, 0, 5000, 4000}, area},
        {"a fitting window stays", {10, 20, 700, 500}, {10, 20, 700, 500}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(dir.filePath(QStringLiteral("tremor.ini"))); // the previous case's
        files::MainSettings s;
        s.loadHelpOnStart = 1;
        s.left = c.stored.x();
        s.top = c.stored.y();
        s.width = c.stored.width();
        s.height = c.stored.height();
        auto f = make(s);
        EXPECT_EQ(QRect(f->pos(), f->size()), c.applied);
        EXPECT_EQ(f->chartPart->Chart1->height(), f->height() - 135);
        f->close();
        const files::MainSettings written = files::readMainSettingsFile(dir.filePath(QStringLiteral("tremor.ini")));
        EXPECT_EQ(QRect(written.left, written.top, written.width, written.height), c.applied);
    }
}

TEST_F(MainWindowTest, TabLeavesTheCommentAndTheUsualKeysReachTheirButtons)
{
    auto f = make();
    f->show();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f.get()));

    // A TAB in the comment would split its line into fields of the text export.
    f->measurementFiles->mComment->setFocus(Qt::OtherFocusReason);
    QTest::keyClicks(f->measurementFiles->mComment, QStringLiteral("ab"));
    QTest::keyClick(f->measurementFiles->mComment, Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("cd"));
    EXPECT_EQ(f->measurementFiles->mComment->toPlainText(), QStringLiteral("ab"));
    EXPECT_FALSE(f->measurementFiles->mComment->hasFocus());

    // Each key acts as its button does, also while the operator is typing the comment.
    f->measurementFiles->btSave->setEnabled(true);
    // The start key is checked on the button alone: a start here would talk to the board.
    QObject::disconnect(f->measurementRun->btStartPlus, &QAbstractButton::clicked, nullptr, nullptr);
    const struct {
        QKeySequence key;
        QAbstractButton* button;
        int clicks;
    } cases[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_O), f->measurementFiles->btLoadFile, 1},
        {QKeySequence(Qt::CTRL | Qt::Key_S), f->measurementFiles->btSave, 1},
        {QKeySequence(Qt::Key_F5), f->measurementRun->btStartPlus, 1},
        {QKeySequence(Qt::CTRL | Qt::Key_R), f->measurementRun->btStartPlus, 1},
    };
    for (const auto& c : cases) {
        QSignalSpy clicked(c.button, &QAbstractButton::clicked);
        f->measurementFiles->mComment->setFocus(Qt::OtherFocusReason);
        QTest::keySequence(f->measurementFiles->mComment, c.key);
        EXPECT_EQ(clicked.count(), c.clicks) << c.key.toString().toStdString();
    }
    // Ctrl+S on a window with no record is the save refusing, not a save dialog.
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].kind, FakeDialogs::FileDialogKind::Open);
    EXPECT_TRUE(dialogs.messageTexts().contains(QStringLiteral("Файл не записан: в записи нет данных.")));
}

TEST_F(MainWindowTest, ShrinkingKeepsAUsableChartUnderTheToolBars)
{
    auto f = make();
    f->show();
    f->resize(300, 50);
    QCoreApplication::processEvents();
    EXPECT_GE(f->chartPart->Chart1->height(), 120);
    EXPECT_GE(f->status->y(), f->chartPart->Chart1->geometry().bottom()) << "the status bar over the chart";
    EXPECT_GT(f->status->y(), f->ctlBar->geometry().bottom()) << "the status bar over the tool bars";
    for (QWidget* panel : {static_cast<QWidget*>(f->setupPanel->gbFT), static_cast<QWidget*>(f->gbChart), static_cast<QWidget*>(f->gbOptions)}) {
        panel->show();
        QCoreApplication::processEvents();
        EXPECT_LT(panel->mapTo(f.get(), QPoint(0, panel->height() - 1)).y(), f->status->y())
            << "the status bar over the foot of " << panel->objectName().toStdString();
        panel->hide();
    }
}
