#include "acqwindow.h"

#include "acquisition/devicelink.h"
#include "acquisition/ui/linkindicator.h"
#include "files/ui/folderbrowserui.h"
#include "files/ui/measurementfilesui.h"

#include <functional>

using app::TForm1;

namespace {

using SetupPanelTest = AcqWindowTest;

struct FT {
    int timeMs;
    int samples;
};

void set(TForm1& f, FT v)
{
    f.setupPanel->seTime->setValue(v.timeMs);
    f.setupPanel->seSamples->setValue(v.samples);
}

} // namespace

TEST_F(SetupPanelTest, StartUpKeepsTheStoredSampleCountAndDerivesTheTime)
{
    files::MainSettings s;
    s.frequency = 0;
    s.samples = 16384;
    auto f = make(s);
    EXPECT_EQ(f->setupPanel->seSamples->value(), 16384);
    EXPECT_EQ(f->setupPanel->seTime->value(), 5120);
    EXPECT_EQ(f->setupPanel->lbTime->text(), QStringLiteral(" 0 мин  5 c 120.000 мс"));

    // Opening the panel recomputes from the time, which now agrees with the samples.
    showActive(*f);
    f->setupPanel->btChooseFClick();
    EXPECT_TRUE(f->setupPanel->gbFT->isVisible());
    EXPECT_TRUE(f->setupPanel->seTime->hasFocus());
    EXPECT_EQ(f->setupPanel->seSamples->value(), 16384);
    EXPECT_EQ(f->setupPanel->btChooseF->text(), QStringLiteral("Закрыть"));
    EXPECT_EQ(f->setupPanel->btChooseF->palette().color(QPalette::ButtonText), QColor(Qt::red));
    f->setupPanel->btChooseFClick();
    EXPECT_FALSE(f->setupPanel->gbFT->isVisible());
    EXPECT_EQ(f->setupPanel->btChooseF->text(), QStringLiteral("Выбор F/T"));
    EXPECT_EQ(f->setupPanel->btChooseF->palette().color(QPalette::ButtonText), QColor(Qt::black));
}

// A change handler recomputes only when its own control has the focus; a list's handler runs
// only on the operator's choice.
TEST_F(SetupPanelTest, ChangeHandlersActOnlyWithTheirFocus)
{
    auto f = make();
    showActive(*f);
    f->setupPanel->btChooseFClick();
    struct Case {
        const char* what;
        std::function<void(TForm1&)> act;
        FT expected; // from {1000 ms, 3200 samples} at 3200 Hz
    };
    const Case cases[] = {
        {"samples written without focus", [](TForm1& f) { f.setupPanel->seSamples->setValue(8000); }, {1000, 8000}},
        {"samples typed with focus",
         [](TForm1& f) {
             focus(f.setupPanel->seSamples);
             f.setupPanel->seSamples->setValue(8000);
         },
         {2500, 8000}},
        {"time written without focus",
         [](TForm1& f) {
             focus(f.setupPanel->seSamples);
             f.setupPanel->seTime->setValue(2000);
         },
         {2000, 3200}},
        {"time typed with focus",
         [](TForm1& f) {
             focus(f.setupPanel->seTime);
             QTest::keyClick(f.setupPanel->seTime, Qt::Key_Up);
         },
         {1001, 3203}},
        {"delay changed: nothing recomputed",
         [](TForm1& f) {
             focus(f.setupPanel->seDelayStart);
             f.setupPanel->seDelayStart->setValue(7);
         },
         {1000, 3200}},
        {"frequency set from code: nothing recomputed",
         [](TForm1& f) {
             focus(f.setupPanel->cbF);
             f.setupPanel->cbF->setCurrentIndex(1);
         },
         {1000, 3200}},
        {"frequency chosen by the operator: the time follows the samples",
         [](TForm1& f) {
             focus(f.setupPanel->cbF);
             QTest::keyClick(f.setupPanel->cbF, Qt::Key_Down);
         },
         {2000, 3200}},
        {"range chosen by the operator: nothing recomputed",
         [](TForm1& f) {
             focus(f.setupPanel->cbRange);
             QTest::keyClick(f.setupPanel->cbRange, Qt::Key_Down);
         },
         {1000, 3200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        focus(f->setupPanel->btStart);
        f->setupPanel->cbF->setCurrentIndex(0);
        set(*f, {1000, 3200});
        c.act(*f);
        EXPECT_EQ(f->setupPanel->seTime->value(), c.expected.timeMs);
        EXPECT_EQ(f->setupPanel->seSamples->value(), c.expected.samples);
    }
}

TEST_F(SetupPanelTest, ArrowButtonsStepFrequencyTimeAndSamples)
{
    auto f = make();
    showActive(*f);
    f->setupPanel->btChooseFClick();
    auto& p = *f->setupPanel;
    struct Case {
        const char* what;
        int frequencyIndex;
        FT before;
        std::function<void()> click;
        int frequencyAfter;
        FT after;
    };
    const Case cases[] = {
        {"up at 3200 stays and still recomputes", 0, {1, 16384}, [&] { p.se2FUpClick(); }, 0, {5120, 16384}},
        {"down at 6,25 stays and still recomputes", 9, {1, 16}, [&] { p.se2FDownClick(); }, 9, {2560, 16}},
        {"down from 3200 to 1600", 0, {1, 16384}, [&] { p.se2FDownClick(); }, 1, {10240, 16384}},
        {"doubling the time", 0, {1000, 1}, [&] { p.se2TimeUpClick(); }, 0, {2000, 6400}},
        {"halving 1 ms clamps to 1", 0, {1, 1}, [&] { p.se2TimeDownClick(); }, 0, {1, 3}},
        {"halving 5 samples gives 2", 0, {1, 5}, [&] { p.se2SamplesDownClick(); }, 0, {1, 2}},
        {"halving 7 samples gives 4", 0, {1, 7}, [&] { p.se2SamplesDownClick(); }, 0, {1, 4}},
        {"doubling the samples", 5, {1, 100}, [&] { p.se2SamplesUpClick(); }, 5, {2000, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        focus(f->setupPanel->btStart);
        f->setupPanel->cbF->setCurrentIndex(c.frequencyIndex);
        set(*f, c.before);
        c.click();
        EXPECT_EQ(f->setupPanel->cbF->currentIndex(), c.frequencyAfter);
        EXPECT_EQ(f->setupPanel->seTime->value(), c.after.timeMs);
        EXPECT_EQ(f->setupPanel->seSamples->value(), c.after.samples);
        EXPECT_DOUBLE_EQ(f->record.sampleRateHz, acq::kFrequencyTable[std::size_t(c.frequencyAfter)].hz);
    }
}

TEST_F(SetupPanelTest, TargetAndExternalStartRules)
{
    auto f = make();
    struct State {
        bool externalChecked, externalEnabled, delayEnabled;
    };
    auto state = [&] {
        EXPECT_EQ(f->setupPanel->lbExternalStart->isEnabled(), f->setupPanel->cbExternalStart->isEnabled());
        EXPECT_EQ(f->setupPanel->lbDelayStart->isEnabled(), f->setupPanel->seDelayStart->isEnabled());
        return State{f->setupPanel->cbExternalStart->isChecked(), f->setupPanel->cbExternalStart->isEnabled(),
                     f->setupPanel->seDelayStart->isEnabled()};
    };
    struct Case {
        const char* what;
        std::function<void()> act;
        State expected;
    };
    const Case cases[] = {
        {"to the computer at start: no external start", [] {}, {false, false, true}},
        {"external start refused while recording to the computer",
         [&] { f->setupPanel->cbExternalStart->setChecked(true); },
         {false, false, true}},
        {"to memory offers the external start", [&] { f->setupPanel->rgMem->setItemIndex(1); }, {false, true, true}},
        {"external start takes the delay away",
         [&] { f->setupPanel->cbExternalStart->setChecked(true); },
         {true, true, false}},
        {"back to the computer: unchecked, disabled, delay back",
         [&] { f->setupPanel->rgMem->setItemIndex(0); },
         {false, false, true}},
        {"to memory again keeps it unchecked", [&] { f->setupPanel->rgMem->setItemIndex(1); }, {false, true, true}},
        {"external start off gives the delay back",
         [&] {
             f->setupPanel->cbExternalStart->setChecked(true);
             f->setupPanel->cbExternalStart->setChecked(false);
         },
         {false, true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        const State s = state();
        EXPECT_EQ(s.externalChecked, c.expected.externalChecked);
        EXPECT_EQ(s.externalEnabled, c.expected.externalEnabled);
        EXPECT_EQ(s.delayEnabled, c.expected.delayEnabled);
    }
}

TEST_F(SetupPanelTest, MemoryTargetAndChannelsLimitTheSamples)
{
    auto f = make();
    set(*f, {1, 100000});
    f->setupPanel->rgMem->setItemIndex(1);
    EXPECT_EQ(f->setupPanel->seSamples->value(), 43689);
    EXPECT_EQ(f->setupPanel->seTime->value(), 13653);

    // Each box shows or hides its series, recounts the channels and reconciles from the samples.
    f->setupPanel->cbCh3->setChecked(false);
    EXPECT_FALSE(f->chartPart->Chart1->isSeriesShown(display::Series::Z));
    EXPECT_EQ(f->record.channelCount, 2);
    EXPECT_EQ(f->setupPanel->seSamples->value(), 43689) << "the limit only cuts, it never raises";
    set(*f, {1, 100000});
    f->setupPanel->cbCh2->setChecked(false);
    EXPECT_EQ(f->record.channelCount, 1);
    EXPECT_EQ(f->setupPanel->seSamples->value(), 100000);
    EXPECT_EQ(f->setupPanel->seTime->value(), 31250);
    f->setupPanel->cbCh1->setChecked(false);
    EXPECT_EQ(f->record.channelCount, 0) << "no channel: no limit, and no division by zero";
    EXPECT_EQ(f->setupPanel->seSamples->value(), 100000);
    f->setupPanel->cbCh1->setChecked(true);
    EXPECT_TRUE(f->chartPart->Chart1->isSeriesShown(display::Series::X));
    EXPECT_EQ(f->setupPanel->seSamples->value(), 100000);
    f->setupPanel->cbCh2->setChecked(true);
    EXPECT_EQ(f->setupPanel->seSamples->value(), 65534);
}

TEST_F(SetupPanelTest, KeysOnTheStartButton)
{
    auto f = make();
    showActive(*f);
    f->setupPanel->btChooseFClick();
    focus(f->setupPanel->btStart);
    QTest::keyClick(f->setupPanel->btStart, Qt::Key_Escape);
    EXPECT_FALSE(f->setupPanel->gbFT->isVisible());
    EXPECT_EQ(f->setupPanel->btChooseF->text(), QStringLiteral("Выбор F/T"));
    EXPECT_TRUE(board->commandsReceived().empty()) << "Escape starts nothing";
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
}

// Whatever closes the set-up panel, its button must not go on offering to close it.
TEST_F(SetupPanelTest, EveryWayThePanelClosesPutsItsButtonBack)
{
    const struct {
        const char* what;
        std::function<void(TForm1&)> close;
    } cases[] = {
        {"its own button", [](TForm1& f) { f.setupPanel->btChooseFClick(); }},
        {"a run's start", [](TForm1& f) { f.measurementRun->btStartClick(); }},
        {"a double-click on the tool bar", [](TForm1& f) { f.measurementRun->ctlBarDblClick(); }},
        {"a file's load", [](TForm1& f) { f.measurementFiles->loadWithoutDialog(QStringLiteral("/nonexistent.axd")); }},
        {"the next file of the folder", [](TForm1& f) { f.folderBrowser->btNextFileClick(); }},
        {"the folder's comments", [](TForm1& f) { f.folderBrowser->btShowCmntClick(); }},
    };
    for (const auto& c : cases) {
        auto f = make();
        showActive(*f);
        f->setupPanel->btChooseFClick();
        ASSERT_EQ(f->setupPanel->btChooseF->text(), QStringLiteral("Закрыть"));
        c.close(*f);
        EXPECT_FALSE(f->setupPanel->gbFT->isVisible()) << c.what;
        EXPECT_EQ(f->setupPanel->btChooseF->text(), QStringLiteral("Выбор F/T")) << c.what;
        EXPECT_EQ(f->setupPanel->btChooseF->palette().color(QPalette::ButtonText), QColor(Qt::black)) << c.what;
    }
}

TEST_F(SetupPanelTest, DoubleClickOnTheToolBarAsksForBlockZeroAgain)
{
    auto f = make();
    auto& link = f->measurementRun->link();
    link.commandBuffer = {0x2B, 0x07, 1, 2, 3, 4, 5, 6, 7};
    f->measurementRun->timRx->setInterval(1234);
    f->linkIndicator->timCheckUSB->start();
    f->setupPanel->gbFT->show();
    f->measurementRun->lbPercent->setText(QStringLiteral("40%"));
    f->measurementRun->lbRestPercent->setText(QStringLiteral("60%"));
    f->status->setPanelText(2, QStringLiteral("x=12"));
    QTest::mouseDClick(f->ctlBar, Qt::LeftButton, {}, QPoint(f->ctlBar->width() - 3, 5));
    EXPECT_FALSE(f->setupPanel->gbFT->isVisibleTo(f.get()));
    EXPECT_TRUE(f->measurementRun->lbPercent->text().isEmpty());
    EXPECT_TRUE(f->measurementRun->lbRestPercent->text().isEmpty());
    EXPECT_TRUE(f->status->panelText(2).isEmpty());
    ASSERT_FALSE(board->commandsReceived().empty());
    EXPECT_EQ(board->commandsReceived().back().toHex(' '), QByteArray("25 00"));
    EXPECT_EQ(link.commandBuffer[0], 0x25) << "the reply is read as block 0, not by the last command's code";
    EXPECT_EQ(link.commandBuffer[1], 0);
    EXPECT_FALSE(f->linkIndicator->timCheckUSB->isActive());
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("ИЗМЕРЕНИЕ"));
    EXPECT_TRUE(f->measurementRun->timRx->isActive());
    EXPECT_EQ(f->measurementRun->timRx->interval(), 1234);

    f->measurementRun->timRx->stop();
    board->dropOut();
    f->measurementRun->ctlBarDblClick();
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("Command is not in uC"));
    EXPECT_TRUE(f->measurementRun->timRx->isActive()) << "the timer starts all the same";
}

TEST_F(SetupPanelTest, ClosingTheWindowClosesTheDevice)
{
    auto f = make();
    f->close();
    EXPECT_EQ(board->closeCount(), 1);
}

TEST_F(SetupPanelTest, ConnectionIndicatorAsksTheBoardOnlyWhileIdle)
{
    auto f = make();
    showActive(*f);
    auto shows = [&](const QPixmap& glyph) {
        const QImage want = glyph.toImage();
        return f->linkIndicator->btUSB->icon().pixmap(glyph.size()).toImage().convertToFormat(want.format()) == want;
    };
    f->status->setPanelText(0, QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));
    f->chartPart->Chart1->replot();
    ASSERT_TRUE(f->linkIndicator->timCheckUSB->isActive()) << "a paint starts the indicator's timer";
    EXPECT_EQ(f->linkIndicator->timCheckUSB->interval(), 1000);
    // A perfect run must not end in a red light.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(f->linkIndicator->imgUSBgreen); }, 10000));
    EXPECT_EQ(f->status->panelText(0), QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));
    EXPECT_EQ(board->commandsReceived().back().toHex(' '), QByteArray("29 00"));

    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool asks;
        bool green;
    };
    const Case cases[] = {
        {"a run being received", [&] { f->measurementRun->timRx->start(100000); }, false, true},
        {"the board records on its own or waits for its contact",
         [&] { f->measurementRun->link().commandBuffer[0] = 0x2C; }, false, true},
        {"the board gone", [&] { board->dropOut(); }, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f->measurementRun->timRx->stop();
        f->measurementRun->link().commandBuffer[0] = 0x25;
        c.arrange();
        const std::size_t sent = board->commandsReceived().size();
        f->linkIndicator->timCheckUSB->start();
        f->linkIndicator->check();
        if (!c.asks) {
            EXPECT_EQ(board->commandsReceived().size(), sent) << "nothing may be sent to a busy board";
        }
        EXPECT_EQ(f->linkIndicator->timCheckUSB->isActive(), c.asks);
        EXPECT_TRUE(shows(c.green ? f->linkIndicator->imgUSBgreen : f->linkIndicator->imgUSBred));
        if (!c.green) {
            EXPECT_EQ(f->status->panelText(0), QStringLiteral("USB: связь отсутствует"));
        }
    }
}

TEST_F(SetupPanelTest, TypedValuesAreBroughtIntoTheBounds)
{
    auto f = make();
    showActive(*f);
    f->setupPanel->btChooseFClick();
    f->gbChart->show(); // where the smoothing weight is typed
    struct Case {
        QSpinBox* edit;
        const char* typed;
        Qt::Key finish; // Enter, or Tab to leave the field
        int value;
        FT after; // at 6.25 Hz the time's handler recomputes the samples from the value
    } cases[] = {
        {f->setupPanel->seDelayStart, "300", Qt::Key_Tab, 250, {1000, 3200}},
        {f->setupPanel->seTime, "99999999", Qt::Key_Tab, 20970880, {20970880, 131068}},
        {f->setupPanel->seTime, "0", Qt::Key_Return, 1, {1, 1}},
        {f->setupPanel->seTime, "0", Qt::Key_Tab, 1, {1, 1}},
        {f->chartPart->seSmooth, "16", Qt::Key_Tab, 16, {1000, 3200}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        QSpinBox* edit = c.edit;
        f->setupPanel->cbF->setCurrentIndex(9);
        set(*f, {1000, 3200});
        focus(edit);
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromUtf8(c.typed));
        QTest::keyClick(edit, c.finish);
        EXPECT_EQ(edit->value(), c.value);
        EXPECT_EQ(edit->text(), QString::number(c.value));
        EXPECT_EQ(f->setupPanel->seTime->value(), c.after.timeMs);
        EXPECT_EQ(f->setupPanel->seSamples->value(), c.after.samples);
    }
}
