#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include <qcustomplot.h>

#include "analysis/ui/mainanalysis.h"
#include "analysis/ui/spectrumwindow.h"
#include "analysis/ui/spinedit.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "common/fakedialogs.h"
#include "common/windowpaths.h"
#include "common/fakehelp.h"
#include "platform/ticks.h"

using display::Series;

namespace {

// The main window with a chart of 3200 Hz in milliseconds whose Y series holds
// a cosine of 9.765625 Hz, and the spectrum window handed to it.
class MainAnalysisTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        const app::AppPaths p = testutil::pathsIn(dir.path());
        files::MainSettings s;
        s.loadHelpOnStart = 1;
        const app::Services services{&dialogs, &help, &ticks};
        form1 = std::make_unique<app::TForm1>(services, p, s);
        form2 = std::make_unique<analysis::TForm2>(services, p.spectrumSettingsFile);
        form1->setSpectrumWindow(form2.get());

        std::vector<double> y(8000);
        for (std::size_t m = 0; m < y.size(); ++m)
            y[m] = 3 + 2 * std::cos(2 * M_PI * 100 * double(m) / 32768.0);
        for (Series s : {Series::X, Series::Y}) {
            display::UniformSeries line;
            line.assign(y, display::UniformAxis{1, 312.5, 1000});
            form1->chartPart->Chart1->setLine(s, std::move(line));
        }
        form1->chartPart->Chart1->setLeftTitle(QStringLiteral("Ускорение, см/с/с"));
        form1->chartPart->Chart1->setBottomTitle(QStringLiteral("Время, мс"));
        form1->record.samplePeriodUs = 312.5;
        form1->chartPart->valuesForTests().nyquistHz = 1600;
        form1->chartPart->valuesForTests().timeUnitDivisor = 1000;
        form1->chartPart->valuesForTests().xAxisTitle = QStringLiteral("Время, мс");
        form1->chartPart->valuesForTests().firstVisibleIndex = 0;
        form1->chartPart->valuesForTests().lastVisibleIndex = 7999;
        form1->chartPart->cbSmooth->setChecked(false);
        // What the first chart build enables.
        form1->analysisActions->setChartShown();
        dialogs.messages.clear();
    }

    QStringList clipboardLines() const
    {
        QStringList lines = dialogs.clipboard.split(QStringLiteral("\r\n"));
        lines.removeLast();
        return lines;
    }

    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks;
    std::unique_ptr<app::TForm1> form1;
    std::unique_ptr<analysis::TForm2> form2;
};

} // namespace

TEST_F(MainAnalysisTest, SpectrumAnalysesTheFirstShownChannel)
{
    form1->chartPart->Chart1->setSeriesShown(Series::X, false);
    form1->chartPart->cbSmooth->setChecked(true);
    form1->chartPart->seSmooth->setValue(8);
    form2->cbSp2ClipBrd->setChecked(false);
    QTest::mouseClick(form1->analysisActions->spectrumButton(), Qt::LeftButton);

    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(form2->analysisChannel, 2);
    EXPECT_EQ(form2->Chart1->yAxis->label(), QStringLiteral("Ускорение, см/с/с"));
    EXPECT_EQ(form2->Envelope->dataCount(), 359);
    const QStringList lines = clipboardLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("\tChannel\tFile Name\tSmooth Factor")));
    const QStringList summary = lines[2].split(QLatin1Char('\t'));
    ASSERT_EQ(summary.size(), 7);
    EXPECT_EQ(summary[4], QStringLiteral("Y"));
    EXPECT_EQ(summary[6], QStringLiteral("8"));
    EXPECT_EQ(form2->seFmax->maximumValue(), 1600);

    // The spectrum window's own buttons run the same handlers again.
    dialogs.clipboard.clear();
    QTest::mouseClick(form2->btSpGo, Qt::LeftButton);
    EXPECT_EQ(clipboardLines().size(), 3);
    QTest::mouseClick(form2->btTr, Qt::LeftButton);
    EXPECT_FALSE(form2->Chart2->isHidden());
    EXPECT_EQ(clipboardLines().size(), 2);
}

TEST_F(MainAnalysisTest, TrendNamesItsChannelAndTime)
{
    form1->chartPart->cbSmooth->setChecked(true);
    form1->chartPart->seSmooth->setValue(8);
    // Whatever the main chart's bottom axis shows, the trend's points are laid out in time.
    form1->chartPart->Chart1->setBottomTitle(QStringLiteral("Градусы"));
    form1->analysisActions->btTrendClick(form1->analysisActions->trendButton());

    EXPECT_TRUE(form2->isVisible());
    EXPECT_EQ(form2->analysisChannel, 1);
    EXPECT_EQ(form2->Chart2->xAxis->label(), QStringLiteral("Время, мс"));
    EXPECT_TRUE(form2->Chart1->isHidden());
    EXPECT_FALSE(form2->seFmax->isEnabled());
    const QStringList lines = clipboardLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("q=\tC=\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name"));
    EXPECT_EQ(lines[1].split(QLatin1Char('\t'))[4], QStringLiteral("X, Smooth scale=8"));
}

TEST_F(MainAnalysisTest, WithoutAShownChannelOnlyAMessage)
{
    for (Series s : {Series::X, Series::Y, Series::Z})
        form1->chartPart->Chart1->setSeriesShown(s, false);

    form1->analysisActions->btTrendClick(nullptr);
    form1->analysisActions->btSpectrGoClick(nullptr);
    EXPECT_EQ(dialogs.messageTexts(),
              (QStringList{QStringLiteral("Должен быть показан хотя бы один график!"),
                           QStringLiteral("Должен быть показан сигнал хотя бы в одном канале!")}));
    EXPECT_FALSE(form2->isVisible());
    EXPECT_TRUE(dialogs.clipboard.isEmpty());
    // The spectrum run still gives the spectrum's controls back.
    EXPECT_TRUE(form2->seFmax->isEnabled());
    EXPECT_FALSE(form2->Chart1->isHidden());
}

TEST_F(MainAnalysisTest, AStretchNotPaintedYetIsNotAnalysed)
{
    form1->chartPart->valuesForTests().firstVisibleIndex = -1;
    form1->chartPart->valuesForTests().lastVisibleIndex = -1;
    form1->analysisActions->btSpectrGoClick(nullptr);
    form1->analysisActions->btTrendClick(nullptr);
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_FALSE(form2->isVisible());
    EXPECT_TRUE(dialogs.clipboard.isEmpty());
}
