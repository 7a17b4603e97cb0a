#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QScreen>
#include <QSpinBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <memory>
#include <vector>

#include <qcustomplot.h>

#include "platform/atomicfile.h"
#include "analysis/spectrum.h"
#include "analysis/ui/chartpicture.h"
#include "analysis/ui/spectrogramwindow.h"
#include "analysis/ui/spectrumanalysisview.h"
#include "analysis/ui/spectrumoptions.h"
#include "analysis/ui/spectrumwindow.h"
#include "analysis/ui/spinedit.h"
#include "app/ui/controls.h"
#include "common/fakedialogs.h"
#include "common/fakehelp.h"
#include "common/testutil.h"
#include "platform/cp1251.h"
#include "platform/inifile.h"
#include "platform/ticks.h"

using analysis::SignalSource;
using analysis::TForm2;

namespace {

class SpectrumWindowTest : public ::testing::Test {
  protected:
    QString iniPath() const { return dir.path() + QStringLiteral("/app.ini"); }

    std::unique_ptr<TForm2> make(qint32 nyquist = 0)
    {
        auto f = std::make_unique<TForm2>(app::Services{&dialogs, &help, &ticks}, iniPath());
        nyquistHz = nyquist;
        f->setNyquistSource([this] { return nyquistHz; });
        return f;
    }

    static void type(analysis::SpinEdit* box, const QString& text)
    {
        box->selectAll();
        if (text.isEmpty())
            QTest::keyClick(box, Qt::Key_Backspace);
        else
            QTest::keyClicks(box, text);
    }

    static bool isYellow(const QWidget* w)
    {
        return w->palette().color(QPalette::Base) == QColor(Qt::yellow);
    }

    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks{5000};
    qint32 nyquistHz = 0;
};

// A 3200 Hz signal: a cosine of amplitude 2 at bin 100 (9.765625 Hz) on an offset.
std::vector<double> cosineRecord(int points)
{
    std::vector<double> v(std::size_t(points), 0.0);
    for (int m = 0; m < points; ++m)
        v[std::size_t(m)] = 10 + 2 * std::cos(2 * M_PI * 100 * m / 32768.0);
    return v;
}

SignalSource sourceOf(const std::vector<double>& v, qint32 first, qint32 last)
{
    SignalSource s;
    s.values = v.data();
    s.pointCount = qint64(v.size());
    s.firstVisibleIndex = first;
    s.lastVisibleIndex = last;
    s.samplePeriodUs = 312.5;
    s.timeUnitDivisor = 1000;
    s.xAxisTitle = QStringLiteral("Время, мс");
    s.channelCaption = QStringLiteral("X");
    s.fileName = QStringLiteral("/data/a.axd");
    return s;
}

QStringList clipboardLines(const FakeDialogs& d)
{
    QStringList lines = d.clipboard.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

TEST_F(SpectrumWindowTest, FirstStartWithoutSettingsUsesTheDefaults)
{
    auto f = make();
    EXPECT_FALSE(f->isVisible()) << "created hidden";
    EXPECT_EQ(f->windowTitle(), QStringLiteral("Спектр/Тренд сигнала"));
    EXPECT_EQ(f->seStep->value(), 1);
    EXPECT_EQ(f->prevStep, 1);
    EXPECT_EQ(f->seFmax->value(), 35);
    EXPECT_EQ(f->rgSpEnv->itemIndex(), 0);
    EXPECT_TRUE(f->cbSp2ClipBrd->isChecked());
    EXPECT_EQ(f->size(), QSize(794, 515));
    EXPECT_EQ(f->Chart1->size(), QSize(782, 450));
    EXPECT_EQ(f->Chart2->size(), QSize(782, 450));
    EXPECT_TRUE(f->Chart2->isHidden());
    EXPECT_EQ(f->spectrumAmp.size(), 32768u);
    EXPECT_FALSE(isYellow(f->seFmax)) << "no chart yet: no limit to compare with";

    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->resize(900, 600);
    EXPECT_EQ(f->Chart1->size(), QSize(888, 535));
    EXPECT_EQ(f->Chart2->size(), QSize(888, 535));
}

TEST_F(SpectrumWindowTest, SettingsSurviveARestart)
{
    {
        auto f = make(1600);
        f->seStep->setValue(2);
        f->seStep->setValue(4);
        f->seStep->setValue(8);
        f->seFmax->setValue(120);
        f->rgSpEnv->setItemIndex(1);
        f->cbSp2ClipBrd->setChecked(false);
        f->resize(700, 480);
        f->move(40, 50);
        f->close(); // hidden, as the main window closes it
    }
    platform::IniFile ini(iniPath());
    EXPECT_EQ(ini.readInteger(QStringLiteral("Spectrum"), QStringLiteral("Step"), 0), 8);
    EXPECT_EQ(ini.readInteger(QStringLiteral("Спектр сигнала"), QStringLiteral("ширина"), 0), 700);

    auto g = make();
    EXPECT_EQ(g->seStep->value(), 8);
    EXPECT_EQ(g->prevStep, 8);
    EXPECT_EQ(g->seFmax->value(), 120);
    EXPECT_EQ(g->rgSpEnv->itemIndex(), 1);
    EXPECT_FALSE(g->cbSp2ClipBrd->isChecked());
    EXPECT_EQ(g->size(), QSize(700, 480));
    EXPECT_EQ(g->Chart1->size(), QSize(688, 415));
    g->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(g.get()));
    EXPECT_EQ(g->pos(), QPoint(40, 50)) << "the stored place wins at the first showing";
}

// A stored size of 0 or a place off the screen is brought onto the screen before the window is
// first shown, and what is written back is the fitted rectangle, so it stays visible.
TEST_F(SpectrumWindowTest, StoredGeometryIsFittedToTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* what;
        int height, width, left, top;
    } cases[] = {
        {"zero size", 0, 0, 0, 0},
        {"left beyond the screen's right edge", 515, 794, screen.right() + 1400, 0},
        {"far off in both directions", 99999, 99999, -99999, 99999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(testutil::writeAll(
            iniPath(), platform::toCp1251(QStringLiteral("[Спектр сигнала]\r\nвысота=%1\r\nширина=%2\r\nслева=%3\r\n"
                                                         "сверху=%4\r\n")
                                              .arg(c.height)
                                              .arg(c.width)
                                              .arg(c.left)
                                              .arg(c.top))));
        auto f = make();
        const QRect placed(f->pos(), f->size());
        EXPECT_GE(f->width(), 320);
        EXPECT_GE(f->height(), 200);
        EXPECT_TRUE(screen.contains(placed)) << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                             << placed.height();
        f->close();
        const platform::IniFile ini(iniPath());
        const QString g = QStringLiteral("Спектр сигнала");
        EXPECT_EQ(QRect(ini.readInteger(g, QStringLiteral("слева"), -1), ini.readInteger(g, QStringLiteral("сверху"), -1),
                        ini.readInteger(g, QStringLiteral("ширина"), -1), ini.readInteger(g, QStringLiteral("высота"), -1)),
                  placed);
    }
}

TEST_F(SpectrumWindowTest, SettingsThatCannotBeWrittenAreReported)
{
    // A folder where the file should be: the write fails and says so.
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("app.ini")));
    auto f = make();
    f->close();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].standardError);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Unable to write to ") + iniPath() + QStringLiteral(": ")));
}

// An app.ini too large to read: the defaults apply, and closing keeps the file until the operator
// changes something; from then on every close writes.
TEST_F(SpectrumWindowTest, ASettingsFileTooLargeToReadIsLeftAloneUnlessSomethingChanged)
{
    QByteArray big = "[Spectrum]\r\nFmax=77\r\n";
    while (big.size() <= platform::kMaxIniFileBytes)
        big += "; " + QByteArray(78, 'x') + "\r\n";
    enum What { Unchanged, ProgramAdjusted, Changed };
    for (const What what : {Unchanged, ProgramAdjusted, Changed}) {
        const bool changed = what == Changed;
        SCOPED_TRACE(int(what));
        ASSERT_TRUE(testutil::writeAll(iniPath(), big));
        // Sampling at 40 Hz: the program brings the default limit of 35 Hz down to 20 Hz itself.
        auto f = make(what == ProgramAdjusted ? 20 : 0);
        QCoreApplication::processEvents();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, platform::iniTooLargeMessage(iniPath()));
        dialogs.messages.clear();
        EXPECT_EQ(f->seFmax->value(), 35) << "not read: the default";
        if (what == ProgramAdjusted) {
            f->btSpectrumClick(); // nothing to analyse: only its message
            dialogs.messages.clear();
            EXPECT_EQ(f->seFmax->value(), 20);
        }
        if (changed)
            f->seFmax->setValue(120);
        f->close();
        const QByteArray after = testutil::readAll(iniPath());
        if (!changed) {
            EXPECT_EQ(after, big);
            continue;
        }
        EXPECT_LT(after.size(), 4096);
        EXPECT_TRUE(after.contains("Fmax=120"));
        f->seFmax->setValue(35);
        f->close();
        EXPECT_TRUE(testutil::readAll(iniPath()).contains("Fmax=35")) << "changed back after the first write";
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SpectrumWindowTest, StoredStepIsTakenAsItIsWithinItsRange)
{
    struct Case {
        const char* stored;
        int want;
    } cases[] = {{"5", 5}, {"50", 32}, {"0", 1}, {"x", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ASSERT_TRUE(testutil::writeAll(iniPath(), QByteArray("[Spectrum]\r\nStep=") + c.stored + "\r\n"));
        auto f = make();
        EXPECT_EQ(f->seStep->value(), c.want);
        EXPECT_EQ(f->prevStep, c.want);
    }
}

TEST_F(SpectrumWindowTest, StepMovesByDoublingAndHalving)
{
    struct Case {
        const char* what;
        int start;
        QString typed;
        int want;
    } cases[] = {
        {"5 after 2", 2, QStringLiteral("5"), 4},      {"3 after 4", 4, QStringLiteral("3"), 2},
        {"cleared at 4 reads as 1", 4, QString(), 2},  {"1 after 32", 32, QStringLiteral("1"), 16},
        {"the same value", 8, QStringLiteral("8"), 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make(1600);
        while (f->seStep->value() < c.start)
            f->seStep->stepUp();
        ASSERT_EQ(f->seStep->value(), c.start);
        type(f->seStep, c.typed);
        EXPECT_EQ(f->seStep->value(), c.want);
        EXPECT_EQ(f->prevStep, c.want);
    }

    auto f = make(1600);
    std::vector<int> seen;
    for (int i = 0; i < 6; ++i) {
        f->seStep->stepUp();
        seen.push_back(f->seStep->value());
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 4, 8, 16, 32, 32}));
    for (int i = 0; i < 6; ++i)
        f->seStep->stepDown();
    EXPECT_EQ(f->seStep->value(), 1);
}

TEST_F(SpectrumWindowTest, FrequencyLimitFollowsTheStep)
{
    auto f = make(1600); // 3200 Hz sampling
    f->seFmaxChange();
    EXPECT_TRUE(isYellow(f->seFmax)) << "35 is below 1600";
    f->seFmaxDblClick();
    EXPECT_EQ(f->seFmax->value(), 1600);
    EXPECT_FALSE(isYellow(f->seFmax)) << "at the limit";

    f->seStep->stepUp();
    EXPECT_EQ(f->seStep->value(), 2);
    EXPECT_EQ(f->seFmax->value(), 800);
    EXPECT_EQ(f->seFmax->maximumValue(), 800);
    EXPECT_FALSE(isYellow(f->seFmax));

    type(f->seFmax, QStringLiteral("900"));
    EXPECT_EQ(f->seFmax->value(), 800) << "typed beyond the limit";
    type(f->seFmax, QStringLiteral("10"));
    EXPECT_EQ(f->seFmax->value(), 10);
    EXPECT_TRUE(isYellow(f->seFmax));

    struct Rounding {
        qint32 nyquist;
        int step;
        int want;
    } rounding[] = {{5, 2, 2}, {7, 2, 4}, {3, 2, 2}, {0, 1, 1}};
    for (const Rounding& r : rounding) {
        SCOPED_TRACE(r.nyquist);
        auto g = make(r.nyquist);
        g->seStep->setValue(r.step);
        g->seFmaxDblClick();
        EXPECT_EQ(g->seFmax->value(), r.want) << "R = " << double(r.nyquist) / r.step;
    }
}

TEST_F(SpectrumWindowTest, SpectrumRunDrawsReportsAndCopies)
{
    const auto record = cosineRecord(40000);
    auto f = make(1600);
    f->cbSp2ClipBrd->setChecked(false);
    f->setSpectrumSource(sourceOf(record, 100, 32867));
    ASSERT_TRUE(f->btSpectrumClick());

    EXPECT_EQ(f->Envelope->dataCount(), 359) << "bins 0 ... 358 up to 35 Hz";
    EXPECT_EQ(f->SpectArrows->dataCount(), 0);
    EXPECT_EQ(f->Chart1->xAxis->label(), QStringLiteral("ГЕРЦЫ"));
    EXPECT_FALSE(f->Chart1->isHidden());
    EXPECT_TRUE(f->Chart2->isHidden());
    EXPECT_EQ(f->spectrumLabel(0), QStringLiteral("0"));
    EXPECT_EQ(f->spectrumLabel(358).remove(QLatin1Char(',')).remove(QLatin1Char('.')),
              QStringLiteral("349609375"));
    EXPECT_EQ(f->spectrumLabel(359), QString());
    EXPECT_TRUE(f->lbSpectrumMax->text().startsWith(QStringLiteral("F,Гц=9")));
    EXPECT_TRUE(f->lbSpectrumMax->text().contains(QStringLiteral(";  Max=2")));

    QStringList lines = clipboardLines(dialogs);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("F,Hz\tAmplitude\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name"));
    EXPECT_TRUE(lines[1].isEmpty());
    // The visible stretch is longer than the transform: the report ends at the
    // last point analysed, 100 + 32768 - 1, at 0.3125 ms a point.
    QStringList summary = lines[2].split(QLatin1Char('\t'));
    ASSERT_EQ(summary.size(), 6);
    EXPECT_EQ(summary[2].replace(QLatin1Char(','), QLatin1Char('.')), QStringLiteral("31.25"));
    EXPECT_EQ(summary[3].replace(QLatin1Char(','), QLatin1Char('.')), QStringLiteral("10270.9375"));
    EXPECT_EQ(summary[4], QStringLiteral("X"));
    EXPECT_EQ(summary[5], QStringLiteral("/data/a.axd"));

    f->rgSpEnv->setItemIndex(1);
    f->cbSp2ClipBrd->setChecked(true);
    ASSERT_TRUE(f->btSpectrumClick());
    EXPECT_EQ(f->SpectArrows->dataCount(), 359);
    EXPECT_EQ(f->Envelope->dataCount(), 0);
    EXPECT_EQ(clipboardLines(dialogs).size(), 3 + 359);
}

TEST_F(SpectrumWindowTest, SlowSamplingShowsTheBinsUpToHalfTheRateAndNoMirror)
{
    // 6.25 Hz sampling (half the rate truncates to 3 Hz): a cosine at 1.4 Hz
    // and, at step 8, one at 0.3 Hz. Each mirrors above half the decimated
    // rate (to 1.725 and 0.48125 Hz) within the limit the box keeps.
    struct Case {
        const char* what;
        int step;
        double toneHz;
    } cases[] = {{"step 2", 2, 1.4}, {"step 8", 8, 0.3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<double> v(65536);
        for (std::size_t m = 0; m < v.size(); ++m)
            v[m] = 2 * std::cos(2 * M_PI * c.toneHz * double(m) * 0.16);
        auto f = make(3);
        while (f->seStep->value() < c.step)
            f->seStep->stepUp();
        f->seFmaxDblClick();
        EXPECT_GE(f->seFmax->value(), 1);
        EXPECT_GE(f->seFmax->maximumValue(), 1);
        SignalSource src = sourceOf(v, 0, 65535);
        src.samplePeriodUs = 160000;
        f->setSpectrumSource(src);
        ASSERT_TRUE(f->btSpectrumClick());
        EXPECT_EQ(f->Envelope->dataCount(), 16385) << "bins 0 ... 16384, half the decimated rate";
        const QStringList lines = clipboardLines(dialogs);
        ASSERT_EQ(lines.size(), 3 + 16385);
        EXPECT_NEAR(lines[2].split(QLatin1Char('\t'))[0].toDouble(), c.toneHz, 0.01);
        EXPECT_TRUE(f->lbSpectrumMax->text().contains(QStringLiteral(";  Max=1")) ||
                    f->lbSpectrumMax->text().contains(QStringLiteral(";  Max=2")));
    }
}

TEST_F(SpectrumWindowTest, NoStretchToAnalyseMeansAMessageAndNothingDrawn)
{
    const auto record = cosineRecord(1000);
    struct Case {
        const char* what;
        qint32 first, last;
        int step;
    } cases[] = {
        {"not painted since cleared", -1, -1, 1},
        {"fewer points than the step", 10, 12, 4},
        {"beyond a shorter record", 2000, 3000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make(1600);
        while (f->seStep->value() < c.step)
            f->seStep->stepUp();
        dialogs.messages.clear();
        dialogs.clipboard = QStringLiteral("untouched");
        f->setSpectrumSource(sourceOf(record, c.first, c.last));
        EXPECT_FALSE(f->btSpectrumClick());
        EXPECT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(f->Envelope->dataCount(), 0);
        EXPECT_EQ(dialogs.clipboard, QStringLiteral("untouched"));
        EXPECT_TRUE(f->lbSpectrumMax->text().isEmpty());
    }
}

TEST_F(SpectrumWindowTest, TrendRunDrawsTheLogarithmsAndTheLine)
{
    // Decaying deviations around 10 with alternating signs.
    std::vector<double> v(400);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = 10 + ((i % 2) ? 1 : -1) * 4 * std::exp(-0.01 * double(i));
    auto f = make(1600);
    f->prepareTrend();
    EXPECT_FALSE(f->seFmax->isEnabled());
    EXPECT_FALSE(f->cbSp2ClipBrd->isEnabled());
    EXPECT_TRUE(f->Chart1->isHidden());
    ASSERT_TRUE(f->showTrend(sourceOf(v, 0, 399)));

    EXPECT_EQ(f->seriLn->dataCount(), 400);
    EXPECT_EQ(f->seriTrend->dataCount(), 2);
    EXPECT_TRUE(f->lbSpectrumMax->text().contains(QStringLiteral("*t+")));
    EXPECT_EQ(f->trendLabel(10), QStringLiteral("3")) << "whole milliseconds";
    const QStringList lines = clipboardLines(dialogs);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("q=\tC=\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name"));
    EXPECT_TRUE(lines[1].startsWith(QLatin1Char('-'))) << "dying away";

    f->prepareSpectrum();
    EXPECT_TRUE(f->seFmax->isEnabled());
    EXPECT_TRUE(f->Chart2->isHidden());

    // A constant leaves no logarithm: a message, and no line.
    dialogs.messages.clear();
    const std::vector<double> flat(50, 3.0);
    f->prepareTrend();
    EXPECT_TRUE(f->showTrend(sourceOf(flat, 0, 49)));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(f->seriTrend->dataCount(), 0);
    EXPECT_TRUE(f->lbSpectrumMax->text().isEmpty());

    dialogs.messages.clear();
    EXPECT_FALSE(f->showTrend(sourceOf(v, -1, -1)));
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(SpectrumWindowTest, CopyButtonCopiesAndSavesOnALongPress)
{
    struct Case {
        const char* what;
        Qt::MouseButton button;
        quint32 heldMs;
        bool releasedOutside;
        bool wantCopy;
        bool wantSaveDialog;
    } cases[] = {
        {"short click copies", Qt::LeftButton, 200, false, true, false},
        {"exactly a second still only copies", Qt::LeftButton, 1000, false, true, false},
        {"held longer copies and offers to save", Qt::LeftButton, 1001, false, true, true},
        {"long right press only saves", Qt::RightButton, 3000, false, false, true},
        {"long press released outside only saves", Qt::LeftButton, 3000, true, false, true},
    };
    const auto record = cosineRecord(4000);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto f = make(1600);
        f->setSpectrumSource(sourceOf(record, 0, 3999));
        ASSERT_TRUE(f->btSpectrumClick());
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        dialogs.clipboardSvg.clear();
        dialogs.fileDialogs.clear();

        QTest::mousePress(f->btSaveCh, c.button, {}, QPoint(5, 5));
        ticks.advance(c.heldMs);
        QTest::mouseRelease(f->btSaveCh, c.button, {}, c.releasedOutside ? QPoint(200, 200) : QPoint(5, 5));
        EXPECT_EQ(!dialogs.clipboardSvg.isEmpty(), c.wantCopy);
        EXPECT_EQ(dialogs.fileDialogs.size(), c.wantSaveDialog ? 1u : 0u);
    }
}

TEST_F(SpectrumWindowTest, PicturesHaveAWhiteBackgroundAndTheScreenKeepsItsOwn)
{
    auto f = make(1600);
    const auto record = cosineRecord(4000);
    f->setSpectrumSource(sourceOf(record, 0, 3999));
    ASSERT_TRUE(f->btSpectrumClick());
    const QColor screen = f->Chart1->toPixmap().toImage().pixelColor(1, 1);
    ASSERT_NE(screen, QColor(Qt::white));

    f->btSaveChClick();
    ASSERT_FALSE(dialogs.clipboardSvg.isEmpty());
    EXPECT_TRUE(dialogs.clipboardSvg.contains("<svg"));
    EXPECT_EQ(dialogs.clipboardPng.size(), f->Chart1->size());
    EXPECT_EQ(dialogs.clipboardPng.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(f->Chart1->toPixmap().toImage().pixelColor(1, 1), screen);

    // The file on a long press; a folder that does not exist gives the file
    // layer's message, and the screen colour comes back either way.
    const QString good = dir.path() + QStringLiteral("/spectrum.svg");
    const QString bad = dir.path() + QStringLiteral("/missing/spectrum.svg");
    dialogs.saveAnswers = {good, bad};
    for (int i = 0; i < 2; ++i) {
        f->btSaveChMouseDown();
        ticks.advance(1500);
        f->btSaveChMouseUp();
    }
    EXPECT_TRUE(testutil::readAll(good).contains("<svg"));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].standardError);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Cannot create file ") + bad + QStringLiteral(": ") +
                                            platform::writeFailureReason(ENOENT));
    EXPECT_EQ(f->Chart1->toPixmap().toImage().pixelColor(1, 1), screen);
}

TEST_F(SpectrumWindowTest, ButtonsAskTheMainWindowToRun)
{
    auto f = make();
    QSignalSpy spectrum(f.get(), &TForm2::spectrumRequested);
    QSignalSpy trend(f.get(), &TForm2::trendRequested);
    QTest::mouseClick(f->btSpGo, Qt::LeftButton);
    QTest::mouseClick(f->btTr, Qt::LeftButton);
    EXPECT_EQ(spectrum.count(), 1);
    EXPECT_EQ(trend.count(), 1);
}

TEST_F(SpectrumWindowTest, FrequencyAxisTicksAtRoundFrequencies)
{
    const auto record = cosineRecord(40000);
    const std::vector<double> silence(5000, 0.0);
    struct Case {
        const std::vector<double>* values;
        int fmax;
        int step;
    };
    const Case cases[] = {{&record, 35, 1}, {&record, 1600, 1}, {&record, 400, 4}, {&record, 2, 1}, {&silence, 35, 1}};
    auto f = make(1600);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Fmax " << c.fmax << ", step " << c.step);
        f->stepRulesOn = false;
        f->seStep->setValue(c.step);
        f->stepRulesOn = true;
        f->prevStep = c.step;
        f->seFmax->setValue(c.fmax);
        f->setSpectrumSource(sourceOf(*c.values, 0, qint32(c.values->size()) - 1));
        ASSERT_TRUE(f->btSpectrumClick());
        f->Chart1->replot();
        const double binHz = analysis::binFrequency(1, 312.5, c.step);
        const QVector<double> ticks = f->Chart1->xAxis->tickVector();
        const QVector<QString> labels = f->Chart1->xAxis->tickVectorLabels();
        ASSERT_GE(ticks.size(), 3);
        ASSERT_EQ(labels.size(), ticks.size());
        QList<double> shown;
        for (int i = 0; i < ticks.size(); ++i) {
            QString text = labels[i];
            text.replace(QLatin1Char(','), QLatin1Char('.'));
            bool ok = false;
            const double hz = text.toDouble(&ok);
            ASSERT_TRUE(ok) << text.toStdString();
            EXPECT_NEAR(hz, ticks[i] * binHz, 1e-9 * std::max(1.0, hz)) << "the label names the tick's frequency";
            shown.append(hz);
        }
        const double step = shown[1] - shown[0];
        // As few digits as the step needs: none for whole hertz, one for tenths.
        const int decimals = std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
        for (const QString& text : labels) {
            const qsizetype sep = std::max(text.indexOf(QLatin1Char('.')), text.indexOf(QLatin1Char(',')));
            EXPECT_EQ(sep < 0 ? 0 : text.size() - sep - 1, decimals) << text.toStdString();
        }
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-6 || std::fabs(mantissa - 2) < 1e-6 || std::fabs(mantissa - 5) < 1e-6)
            << "step " << step;
        for (double hz : shown)
            EXPECT_NEAR(std::remainder(hz, step), 0.0, step * 1e-6) << "tick at " << hz;
        if (c.values == &silence) {
            EXPECT_EQ(f->Chart1->yAxis->range().lower, 0.0) << "an all-zero spectrum is scaled from zero up";
            EXPECT_GT(f->Chart1->yAxis->range().upper, 0.0);
        }
    }
}

namespace {

// Three channels and the modulus of a 3200 Hz record: X a 100 Hz sine of
// amplitude 2, Y one of 250 Hz and amplitude 1, Z quiet.
struct ThreeChannels {
    std::vector<double> x, y, z, m;
    explicit ThreeChannels(int points)
    {
        for (int i = 0; i < points; ++i) {
            x.push_back(2 * std::sin(2 * M_PI * 100 * i / 3200.0));
            y.push_back(std::sin(2 * M_PI * 250 * i / 3200.0));
            z.push_back(0.01 * ((i * 7919) % 13 - 6));
            m.push_back(std::sqrt(x.back() * x.back() + y.back() * y.back() + z.back() * z.back()));
        }
    }
    SignalSource source() const
    {
        SignalSource s = sourceOf(x, 0, qint32(x.size()) - 1);
        s.valueTitle = QStringLiteral("Ускорение, см/с/с");
        s.shownChannels = {{QStringLiteral("X"), x.data(), qint64(x.size()), QColor(Qt::red)},
                           {QStringLiteral("Y"), y.data(), qint64(y.size()), QColor(Qt::blue)},
                           {QStringLiteral("Z"), z.data(), qint64(z.size()), QColor(Qt::darkGreen)}};
        s.modulus = analysis::ChannelSource{QStringLiteral("|a|"), m.data(), qint64(m.size()), QColor(Qt::black)};
        return s;
    }
};

} // namespace

TEST_F(SpectrumWindowTest, AnalysisOptionsAreKeptInTheirOwnSection)
{
    {
        auto f = make(1600);
        EXPECT_TRUE(f->analysisOptions->settings().isPlain()) << "first start: the plain spectrum";
        f->analysisOptions->cbWindow->setCurrentIndex(4);
        f->analysisOptions->cbSegment->setCurrentIndex(f->analysisOptions->cbSegment->findData(8192));
        f->analysisOptions->cbOverlap->setCurrentIndex(2);
        f->analysisOptions->cbScale->setCurrentIndex(2);
        f->analysisOptions->cbDb->setChecked(true);
        f->analysisOptions->cbLogF->setChecked(true);
        f->analysisOptions->seFmin->setValue(2.5);
        f->analysisOptions->cbPeaks->setChecked(true);
        f->analysisOptions->sePeaks->setValue(7);
        f->analysisOptions->cbModulus->setChecked(true);
        f->analysisOptions->cbEncoding->setCurrentIndex(1);
        f->close();
    }
    platform::IniFile ini(iniPath());
    EXPECT_EQ(ini.readString(QStringLiteral("SpectrumAnalysis"), QStringLiteral("Window"), {}),
              QStringLiteral("flattop"));
    EXPECT_EQ(ini.readInteger(QStringLiteral("Spectrum"), QStringLiteral("Step"), 0), 1) << "the design's keys stay";

    auto g = make(1600);
    const analysis::AnalysisSettings a = g->analysisOptions->settings();
    EXPECT_EQ(a.window, analysis::WindowKind::FlatTop);
    EXPECT_EQ(a.segment, 8192);
    EXPECT_EQ(a.overlapPercent, 75);
    EXPECT_EQ(a.scale, analysis::SpectrumScale::Psd);
    EXPECT_TRUE(a.decibels);
    EXPECT_TRUE(a.logFrequency);
    EXPECT_DOUBLE_EQ(a.fminHz, 2.5);
    EXPECT_EQ(a.peaks, 7);
    EXPECT_TRUE(g->analysisOptions->withModulus());
    EXPECT_TRUE(g->analysisOptions->utf8Files());
    EXPECT_EQ(g->analysisOptions->geometry().top(), g->Chart1->geometry().bottom() + 1) << "under the chart";
}

// The lower limit never reaches the upper one, whichever moves.
TEST_F(SpectrumWindowTest, LowerFrequencyLimitStaysBelowTheUpperOne)
{
    const auto v = cosineRecord(8192);
    auto f = make(1600);
    f->setSpectrumSource(sourceOf(v, 0, 8191));
    QDoubleSpinBox* fmin = f->analysisOptions->seFmin;
    struct Step {
        int fmax;
        double fminAsked, fminKept;
    } steps[] = {
        {100, 500, 99.99},  // the lower limit is held under Fmax
        {50, -1, 49.99},    // lowering Fmax brings it down
        {1600, 1599.995, 1599.99}, // at its largest Fmax stands for half the rate, 1600 Hz
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.fmax);
        f->seFmax->setValue(s.fmax);
        if (s.fminAsked >= 0)
            fmin->setValue(s.fminAsked);
        EXPECT_DOUBLE_EQ(fmin->value(), s.fminKept);
        f->analysisOptions->cbPeaks->setChecked(true);
        ASSERT_TRUE(f->btSpectrumClick());
        EXPECT_LT(f->analysisOptions->settings().fminHz, double(s.fmax));
    }
}

TEST_F(SpectrumWindowTest, AnalysisReadoutsAreWholeAndBesideThePlot)
{
    const ThreeChannels rec(40000);
    auto f = make(1600);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->seFmaxDblClick();
    f->setSpectrumSource(rec.source());
    auto* o = f->analysisOptions;
    o->cbAllChannels->setChecked(true);
    o->cbModulus->setChecked(true);
    o->cbPeaks->setChecked(true);
    o->cbLogF->setChecked(true);
    for (const QSize size : {QSize(794, 515), QSize(1270, 900)}) {
        SCOPED_TRACE(size.width());
        f->resize(size);
        ASSERT_TRUE(f->btSpectrumClick());
        f->Chart1->replot();
        QCoreApplication::processEvents();
        // The band RMS: whole, or cut short with the whole text under the pointer; inside the window.
        QLabel* rms = o->lbBandRms;
        EXPECT_LE(rms->fontMetrics().horizontalAdvance(rms->text()), rms->contentsRect().width());
        EXPECT_LE(rms->mapTo(f.get(), QPoint(rms->width(), 0)).x(), f->width());
        EXPECT_TRUE(rms->text() == o->bandRms() || rms->toolTip() == o->bandRms()) << rms->text().toStdString();
        // The peak list beside the plot, not over it.
        QCPItemText* list = nullptr;
        for (int i = 0; i < f->Chart1->itemCount(); ++i)
            if (auto* t = qobject_cast<QCPItemText*>(f->Chart1->item(i)); t && t->text().contains(QStringLiteral("Гц")))
                list = t;
        ASSERT_NE(list, nullptr);
        const QRect box = QRectF(list->topLeft->pixelPosition(), list->bottomRight->pixelPosition()).toRect();
        EXPECT_FALSE(box.intersects(f->Chart1->axisRect()->rect())) << "the list covers the plot";
        EXPECT_TRUE(f->Chart1->rect().contains(box));
    }
}

TEST_F(SpectrumWindowTest, AnalysisOverlaysTheChannelsAndGivesThePlainSpectrumBack)
{
    const ThreeChannels rec(40000);
    auto f = make(1600);
    f->seFmaxDblClick();
    f->setSpectrumSource(rec.source());
    ASSERT_TRUE(f->btSpectrumClick());
    const QString plainReport = dialogs.clipboard;
    const int plainBins = f->Envelope->dataCount();
    const auto plainTicker = f->Chart1->xAxis->ticker();

    auto* o = f->analysisOptions;
    o->cbWindow->setCurrentIndex(1);
    o->cbSegment->setCurrentIndex(o->cbSegment->findData(4096));
    o->cbAllChannels->setChecked(true);
    o->cbModulus->setChecked(true);
    o->cbPeaks->setChecked(true);
    o->sePeaks->setValue(2);
    ASSERT_TRUE(f->btSpectrumClick());
    const auto& view = f->analysisView();
    ASSERT_TRUE(view.active());
    ASSERT_EQ(view.graphs().size(), 4u) << "X, Y, Z and |a|";
    const QColor want[] = {Qt::red, Qt::blue, Qt::darkGreen, Qt::black};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(view.graphs()[std::size_t(i)]->pen().color(), want[i]);
        EXPECT_EQ(view.graphs()[std::size_t(i)]->dataCount(), 2049);
    }
    EXPECT_TRUE(f->Chart1->legend->visible()) << "overlaid curves are named";
    EXPECT_EQ(f->Chart1->legend->itemCount(), 4);

    // The main chart's default shades of red would read as one curve: each gets a hue of its own.
    SignalSource reds = rec.source();
    for (std::size_t i = 0; i < reds.shownChannels.size(); ++i)
        reds.shownChannels[i].colour = QColor(64 * int(i + 1), 0, 0);
    f->setSpectrumSource(reds);
    ASSERT_TRUE(f->btSpectrumClick());
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = i + 1; j < 3; ++j) {
            const QColor a = view.graphs()[i]->pen().color(), b = view.graphs()[j]->pen().color();
            EXPECT_GT(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()),
                      150)
                << i << " and " << j;
        }
    f->setSpectrumSource(rec.source());
    ASSERT_TRUE(f->btSpectrumClick());
    EXPECT_EQ(f->Envelope->dataCount(), 0);
    EXPECT_EQ(f->Chart1->xAxis->label(), QStringLiteral("Частота, Гц"));
    ASSERT_EQ(view.peakMarks()->dataCount(), 2);
    EXPECT_NEAR(view.peakMarks()->data()->at(0)->key, 100, 0.01);
    EXPECT_NEAR(view.peakMarks()->data()->at(0)->value, 2, 0.01);
    EXPECT_TRUE(view.peakList().contains(QStringLiteral("X")));
    EXPECT_TRUE(o->lbAverages->text().contains(QStringLiteral("18"))) << "40000 points, 4096 a segment, 50 %";
    EXPECT_TRUE(o->bandRms().contains(QStringLiteral("X=1,4142")) || o->bandRms().contains(QStringLiteral("X=1.4142")));
    QStringList lines = clipboardLines(dialogs);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Window\t")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Peak F,Hz\tValue\tChannel"))) << "the peaks go with the report";
    EXPECT_TRUE(f->lbSpectrumMax->text().startsWith(QStringLiteral("F,Гц=100")));

    o->cbLogF->setChecked(true);
    ASSERT_TRUE(f->btSpectrumClick());
    EXPECT_EQ(f->Chart1->xAxis->scaleType(), QCPAxis::stLogarithmic);
    EXPECT_EQ(view.graphs()[0]->dataCount(), 2048) << "no 0 Hz on a logarithmic axis";
    // Labelled at 1, 2 and 5 of each decade, not at the decades alone.
    f->Chart1->replot();
    const QVector<double> ticks = f->Chart1->xAxis->tickVector();
    for (double labelled : {20.0, 50.0, 100.0, 200.0})
        EXPECT_TRUE(ticks.contains(labelled)) << labelled;
    EXPECT_FALSE(ticks.contains(30.0)) << "3 is a sub-tick";

    // Back at the defaults, the plain spectrum exactly as before.
    o->cbWindow->setCurrentIndex(0);
    o->cbSegment->setCurrentIndex(0);
    o->cbAllChannels->setChecked(false);
    o->cbModulus->setChecked(false);
    o->cbPeaks->setChecked(false);
    o->cbLogF->setChecked(false);
    ASSERT_TRUE(f->btSpectrumClick());
    EXPECT_FALSE(view.active());
    EXPECT_EQ(f->Chart1->graphCount(), 2);
    EXPECT_EQ(f->Chart1->itemCount(), 0);
    EXPECT_EQ(f->Chart1->xAxis->scaleType(), QCPAxis::stLinear);
    EXPECT_EQ(f->Chart1->xAxis->label(), QStringLiteral("ГЕРЦЫ"));
    EXPECT_EQ(f->Chart1->xAxis->ticker(), plainTicker) << "frequencies as labels of the bins again";
    EXPECT_FALSE(f->Chart1->legend->visible());
    EXPECT_EQ(f->Envelope->dataCount(), plainBins);
    EXPECT_EQ(dialogs.clipboard, plainReport);
}

TEST_F(SpectrumWindowTest, SpectrumIsSavedAsATableOrAPicture)
{
    const ThreeChannels rec(8192);
    auto f = make(1600);
    f->setSpectrumSource(rec.source());
    f->saveSpectrum();
    EXPECT_EQ(dialogs.messages.size(), 1u) << "nothing to save before a spectrum";
    ASSERT_TRUE(f->btSpectrumClick());
    struct Case {
        const char* name;
        bool utf8;
        QByteArray start;
    } cases[] = {
        {"s1251.csv", false, QByteArray("F,\xc3\xf6;X, \xf1\xec/\xf1/\xf1\r\n")},
        {"sutf8.csv", true, QStringLiteral("F,Гц;X, см/с/с\r\n").toUtf8()},
        {"s.svg", false, QByteArray("<?xml")},
        {"s.png", false, QByteArray("\x89PNG")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f->analysisOptions->cbEncoding->setCurrentIndex(c.utf8 ? 1 : 0);
        const QString path = dir.filePath(QLatin1String(c.name));
        dialogs.saveAnswers = {path};
        f->saveSpectrum();
        EXPECT_TRUE(testutil::readAll(path).startsWith(c.start)) << testutil::readAll(path).left(40).toStdString();
    }
    const QList<QByteArray> rows = testutil::readAll(dir.filePath(QStringLiteral("sutf8.csv"))).split('\n');
    EXPECT_EQ(rows.size(), 1 + 359 + 1) << "the bins shown, up to 35 Hz";

    // A save that fails says why, whatever the kind of file.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QStringLiteral("missing/") + QLatin1String(c.name));
        dialogs.messages.clear();
        dialogs.saveAnswers = {path};
        f->saveSpectrum();
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text,
                  QStringLiteral("Cannot create file ") + path + QStringLiteral(": ") + platform::writeFailureReason(ENOENT));
    }
}

TEST_F(SpectrumWindowTest, SpectrogramShowsTheStretchOnTheMainChartsTimeAxis)
{
    const ThreeChannels rec(64000);
    auto f = make(1600);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    SignalSource s = rec.source();
    s.firstVisibleIndex = 3200; // from 1 s on, in milliseconds
    f->setSpectrumSource(s);
    f->analysisOptions->cbSegment->setCurrentIndex(f->analysisOptions->cbSegment->findData(512));
    f->showSpectrogram();
    ASSERT_NE(f->spectrogramWindow(), nullptr);
    EXPECT_TRUE(f->spectrogramWindow()->isVisible());
    EXPECT_TRUE(f->screen()->availableGeometry().contains(f->spectrogramWindow()->frameGeometry()))
        << "the whole window on the screen";
    const analysis::Spectrogram& sg = f->spectrogramWindow()->last();
    EXPECT_GT(sg.columns, 100);
    EXPECT_EQ(sg.size, 512);
    QCustomPlot* plot = f->spectrogramWindow()->plot();
    EXPECT_EQ(plot->xAxis->label(), QStringLiteral("Время, мс"));
    EXPECT_NEAR(plot->xAxis->range().lower, 1000 + 80, 1) << "the first segment's centre, 80 ms in";
    EXPECT_NEAR(plot->xAxis->range().upper, 1000 + (235 * 256 + 256) * 0.3125, 1) << "the last segment's centre";
    // Long times written out, not "2.5e+06", and the decibels' reference named.
    EXPECT_EQ(plot->xAxis->numberFormat(), QStringLiteral("g"));
    EXPECT_GE(plot->xAxis->numberPrecision(), 8);
    auto* scale = qobject_cast<QCPColorScale*>(plot->plotLayout()->element(0, 1));
    ASSERT_NE(scale, nullptr);
    EXPECT_TRUE(scale->label().startsWith(QStringLiteral("СПМ, дБ отн. 1 ("))) << scale->label().toStdString();

    dialogs.messages.clear();
    s.firstVisibleIndex = -1;
    f->setSpectrumSource(s);
    f->showSpectrogram();
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

