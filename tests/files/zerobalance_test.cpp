// The zero balancing: a run with the board at rest, its chart's values taken as zero levels.

#include "acquisition/simulatedboard.h"
#include "acquisition/ui/measurementrun.h"
#include "files/scales.h"
#include "files/ui/scalesui.h"
#include "filesfixture.h"
#include "platform/inifile.h"

namespace {

// The settings a zero balancing changes and must put back.
struct RunSettings {
    std::array<bool, 3> channels;
    int samples, view, smoothWeight;
    bool smooth;
    int frequency, range, target;
    friend bool operator==(const RunSettings&, const RunSettings&) = default;
};

RunSettings runSettings(const app::TForm1& f)
{
    return {{f.setupPanel->cbCh1->isChecked(), f.setupPanel->cbCh2->isChecked(), f.setupPanel->cbCh3->isChecked()},
            f.setupPanel->seSamples->value(),
            f.chartPart->cbShowK->currentIndex(),
            f.chartPart->seSmooth->value(),
            f.chartPart->cbSmooth->isChecked(),
            f.setupPanel->cbF->currentIndex(),
            f.setupPanel->cbRange->currentIndex(),
            f.setupPanel->rgMem->itemIndex()};
}

// The operator's own set-up before the balancing.
void operatorSetUp(app::TForm1& f)
{
    f.setupPanel->cbCh2->setChecked(false);
    f.setupPanel->seSamples->setValue(1000);
    f.setupPanel->cbRange->setCurrentIndex(2);
    f.setupPanel->cbF->setCurrentIndex(5);
    f.chartPart->cbShowK->setCurrentIndex(2);
    f.chartPart->seSmooth->setValue(8);
    f.chartPart->cbSmooth->setChecked(false);
}

// A record of three axes that read the same values in every frame.
QByteArray restingFrames(int frames, std::array<int, 3> counts)
{
    QByteArray b;
    for (int k = 0; k < frames; ++k) {
        for (int v : counts) {
            const quint16 w = quint16(v) & 0x3FF;
            b += char(w & 0xFF);
            b += char(w >> 8);
        }
    }
    return b;
}

} // namespace

TEST_F(FilesWindowTest, ZeroBalancingRunOnTheBoard)
{
    struct Case {
        const char* what;
        double gravityG;
        int z;
        QString clipboard;
    } cases[] = {
        {"a level above 100 goes to the clipboard", 150.0 / 256, 150, QStringLiteral("150")},
        {"the first balancing without one copies the box's text", 50.0 / 256, 50,
         QStringLiteral("4ClipBrdZeroMax")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        acq::SimulatedBoard::Settings board;
        board.scene.gravityG = c.gravityG;
        board.scene.tremorG = 0;
        board.scene.vibrationG = 0;
        board.scene.noiseG = 0;
        f->measurementRun->device().setBackend(std::make_unique<acq::SimulatedBoard>(ticks, board));
        operatorSetUp(*f);
        const RunSettings before = runSettings(*f);
        dialogs.messages.clear();

        f->scales->btZerosClick();
        ASSERT_TRUE(f->measurementRun->timRx->isActive()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
        EXPECT_EQ(runSettings(*f), (RunSettings{{true, true, true}, 2500, 1, 500, true, 0, 0, 0}));
        for (int polls = 0; f->measurementRun->timRx->isActive() && polls < 100; ++polls) {
            ticks.advance(std::uint32_t(f->measurementRun->timRx->interval()));
            f->measurementRun->timRxTimer();
        }
        ASSERT_FALSE(f->measurementRun->timRx->isActive());

        EXPECT_FALSE(f->scales->capturePending());
        EXPECT_EQ(f->record.zeroLevels, (std::array<double, 3>{0, 0, double(c.z)}));
        EXPECT_EQ(f->scales->levelText(0), QStringLiteral("X=0"));
        EXPECT_EQ(f->scales->levelText(1), QStringLiteral("Y=0"));
        EXPECT_EQ(f->scales->levelText(2), QStringLiteral("Z=%1").arg(c.z));
        EXPECT_EQ(dialogs.clipboard, c.clipboard);
        EXPECT_EQ(runSettings(*f), before);
        EXPECT_EQ(f->record.baseAxisC, (std::array<double, 3>{0, 0, double(c.z)}));
        const platform::IniFile scales(paths().scalesFile);
        EXPECT_EQ(scales.readString(QStringLiteral("Shift, ADC units"), QStringLiteral("Z"), {}),
                  QString::number(c.z));
        EXPECT_EQ(scales.readString(QStringLiteral("factor"), QStringLiteral("Y"), {}),
                  QStringLiteral("0.25"));
        EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    }
}

TEST_F(FilesWindowTest, ZeroCaptureInTheChartBuild)
{
    struct Case {
        const char* what;
        int frames;
        std::array<int, 3> resting;
        bool captured;
        QString clipboard;
    } cases[] = {
        {"three resting axes", 2500, {300, 150, -3}, true, QStringLiteral("150")},
        {"a run cut short captures nothing", 1500, {300, 150, -3}, false, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make();
        operatorSetUp(*f);
        const RunSettings before = runSettings(*f);
        const QByteArray scalesBefore = testutil::readAll(paths().scalesFile);
        dialogs.clipboard.clear();
        dialogs.messages.clear();

        f->scales->btZerosClick();
        f->measurementRun->timRx->stop();
        // What the run brought in: the board at rest.
        f->record.sampleStream.clear();
        f->record.sampleStream.append(restingFrames(c.frames, c.resting));
        f->record.samplePeriodUs = 312.5;
        f->chartPart->ShowChart(f->measurementRun->timRx);
        QCoreApplication::processEvents();

        EXPECT_FALSE(f->scales->capturePending());
        EXPECT_EQ(runSettings(*f), before);
        EXPECT_EQ(dialogs.clipboard, c.clipboard);
        if (c.captured) {
            EXPECT_EQ(f->scales->levelText(0), QStringLiteral("X=300"));
            EXPECT_EQ(f->scales->levelText(1), QStringLiteral("Y=150"));
            EXPECT_EQ(f->scales->levelText(2), QStringLiteral("Z=-3"));
            EXPECT_EQ(f->record.baseAxisC, (std::array<double, 3>{300, 150, -3}));
            EXPECT_TRUE(dialogs.messages.empty());
        } else {
            EXPECT_EQ(f->scales->levelText(0), QStringLiteral("X=0"));
            EXPECT_EQ(testutil::readAll(paths().scalesFile), scalesBefore);
            EXPECT_EQ(dialogs.messageTexts(), QStringList{QString::fromUtf8(files::kZeroRunTooShortMessage)});
        }
    }
}

TEST_F(FilesWindowTest, ABalancingThatCannotStartLeavesNothingPending)
{
    auto f = make();
    auto board = std::make_unique<acq::SimulatedBoard>(ticks);
    board->failWrite(1);
    f->measurementRun->device().setBackend(std::move(board));
    operatorSetUp(*f);
    const RunSettings before = runSettings(*f);
    f->scales->btZerosClick();
    EXPECT_FALSE(f->measurementRun->timRx->isActive());
    EXPECT_FALSE(f->scales->capturePending());
    EXPECT_EQ(runSettings(*f), before);
}

TEST_F(FilesWindowTest, TheSetUpAfterABalancingIsTheOperators)
{
    enum class End { Captured, CutShort, NothingCame, NotStarted };
    const std::pair<const char*, End> cases[] = {
        {"levels captured", End::Captured},
        {"the run brought too few frames", End::CutShort},
        {"the run brought nothing", End::NothingCame},
        {"the start failed", End::NotStarted},
    };
    for (const auto& [what, end] : cases) {
        SCOPED_TRACE(what);
        auto f = make();
        auto owned = std::make_unique<acq::SimulatedBoard>(ticks);
        acq::SimulatedBoard* board = owned.get();
        f->measurementRun->device().setBackend(std::move(owned));
        // Into the board's memory on the contact, the time worked out from the samples as the
        // panel does it: a balancing runs into the computer with other samples and time.
        operatorSetUp(*f);
        f->setupPanel->setTarget(1);
        f->setupPanel->setExternalStart(true);
        f->setupPanel->timeFromSamples();
        const files::MainSettings stored = f->collectSettings();
        const int timeMs = f->setupPanel->seTime->value();
        const QString timeText = f->setupPanel->lbTime->text();
        ASSERT_EQ(timeMs, 10000);

        if (end == End::NotStarted)
            board->failWrite(1);
        f->scales->btZerosClick();
        // Counted from the first poll: the start's read-backs are behind.
        if (end == End::CutShort) {
            board->failRead(acq::SimulatedBoard::ReadFault::Short, 1, 1500 * 6);
            board->failRead(acq::SimulatedBoard::ReadFault::Nothing, 2);
        } else if (end == End::NothingCame) {
            board->failRead(acq::SimulatedBoard::ReadFault::Nothing, 1);
        }
        for (int polls = 0; f->measurementRun->timRx->isActive() && polls < 100; ++polls) {
            ticks.advance(std::uint32_t(f->measurementRun->timRx->interval()));
            f->measurementRun->timRxTimer();
        }
        QCoreApplication::processEvents();

        EXPECT_FALSE(f->scales->capturePending());
        EXPECT_EQ(f->scales->levelText(2) != QStringLiteral("Z=0"), end == End::Captured);
        EXPECT_TRUE(f->collectSettings() == stored);
        EXPECT_EQ(f->setupPanel->seTime->value(), timeMs);
        EXPECT_EQ(f->setupPanel->lbTime->text().toStdString(), timeText.toStdString());
        EXPECT_TRUE(f->setupPanel->cbExternalStart->isChecked());
    }
}
