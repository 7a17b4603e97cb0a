#include <QDialogButtonBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <gtest/gtest.h>

#include "analysis/ui/mainanalysis.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "app/ui/translations.h"
#include "common/fakedialogs.h"
#include "common/fakehelp.h"
#include "common/windowpaths.h"
#include "platform/ticks.h"
#include "files/ui/folderbrowserui.h"

using app::TForm1;
using display::Series;

namespace {

// The main window at its first-start size, shown, with X as a dense band of a colour found
// nowhere else, filling the whole plot.
class WindowLookTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        files::MainSettings s;
        s.loadHelpOnStart = 1;
        f = std::make_unique<TForm1>(app::Services{&dialogs, &help, &ticks}, testutil::pathsIn(dir.path()), s);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        std::vector<double> band(4000);
        for (std::size_t i = 0; i < band.size(); ++i)
            band[i] = i % 2 ? 1.0 : -1.0;
        display::UniformSeries line;
        line.assign(band, display::UniformAxis{1, 1, 1});
        f->chartPart->Chart1->setLine(Series::X, std::move(line));
        f->chartPart->Chart1->setSeriesColour(Series::X, trace);
        f->chartPart->Chart1->replot();
    }

    // Pixels of the trace colour inside a panel, leaving out the controls that show a series'
    // colour on purpose (colour swatches, channel boxes).
    int tracePixelsIn(QWidget* panel) const
    {
        const QImage image = f->grab().toImage();
        const QRect r(panel->mapTo(f.get(), QPoint(0, 0)), panel->size());
        QList<QRect> coloured;
        for (QWidget* w : panel->findChildren<QWidget*>())
            if (qobject_cast<app::ColourPanel*>(w) || w->property("channelColour").isValid())
                coloured.append(QRect(w->mapTo(f.get(), QPoint(0, 0)), w->size()));
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (image.pixelColor(x, y) == trace &&
                    std::none_of(coloured.cbegin(), coloured.cend(), [&](const QRect& c) { return c.contains(x, y); }))
                    ++n;
        return n;
    }

    const QColor trace{0, 190, 60};
    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks;
    std::unique_ptr<TForm1> f;
};

QRect inWindow(const QWidget* w, const QWidget* window)
{
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

} // namespace

TEST_F(WindowLookTest, FloatingPanelsHideTheTracesAndFitTheFirstWindow)
{
    ASSERT_EQ(f->size(), QSize(794, 515));
    QWidget* panels[] = {f->setupPanel->gbFT, f->gbChart, f->gbOptions, f->folderBrowser};
    const int plotBottom = f->chartPart->Chart1->y() + f->chartPart->Chart1->axisRect()->bottom();
    for (QWidget* p : panels) {
        SCOPED_TRACE(p->objectName().toStdString());
        p->show();
        p->raise();
        QCoreApplication::processEvents();
        EXPECT_EQ(tracePixelsIn(p), 0) << "the chart shows through the panel";
        // The set-up, chart and options panels stay above the bottom axis and the legend.
        if (p != f->folderBrowser) {
            EXPECT_LE(inWindow(p, f.get()).bottom(), plotBottom);
        }
        p->hide();
    }
    // Panels opened one after the other lie side by side, or one under the other, whole; where
    // neither fits, the last one opened stays and the one it would cover in part closes.
    struct Case {
        QSize window;
        std::vector<QWidget*> opened;
        std::vector<QWidget*> stay;
    };
    const Case cases[] = {
        {{794, 515}, {f->gbChart, f->gbOptions}, {f->gbChart, f->gbOptions}},
        {{794, 515}, {f->gbOptions, f->gbChart}, {f->gbChart, f->gbOptions}},
        {{794, 515}, {f->setupPanel->gbFT, f->gbOptions}, {f->setupPanel->gbFT, f->gbOptions}},
        {{794, 515}, {f->gbOptions, f->setupPanel->gbFT}, {f->setupPanel->gbFT, f->gbOptions}},
        {{794, 515}, {f->setupPanel->gbFT, f->gbOptions, f->gbChart}, {f->gbChart, f->gbOptions}},
        {{794, 515}, {f->gbChart, f->gbOptions, f->setupPanel->gbFT}, {f->setupPanel->gbFT, f->gbOptions}},
        {{1270, 900}, {f->setupPanel->gbFT, f->gbOptions, f->gbChart}, {f->setupPanel->gbFT, f->gbChart, f->gbOptions}},
    };
    for (const Case& c : cases) {
        f->resize(c.window);
        QString order;
        for (QWidget* p : c.opened) {
            p->show();
            order += p->objectName() + QLatin1Char(' ');
        }
        QCoreApplication::processEvents();
        SCOPED_TRACE(order.toStdString());
        const int bottom = f->chartPart->Chart1->y() + f->chartPart->Chart1->axisRect()->bottom();
        for (QWidget* p : std::initializer_list<QWidget*>{f->setupPanel->gbFT, f->gbChart, f->gbOptions}) {
            const bool stays = std::find(c.stay.cbegin(), c.stay.cend(), p) != c.stay.cend();
            EXPECT_EQ(p->isVisible(), stays) << p->objectName().toStdString();
            if (!stays)
                continue;
            const QRect r = inWindow(p, f.get());
            EXPECT_TRUE(f->chartPart->Chart1->geometry().contains(r)) << p->objectName().toStdString();
            EXPECT_LE(r.bottom(), bottom) << p->objectName().toStdString();
            for (QWidget* q : c.stay)
                EXPECT_TRUE(p == q || !r.intersects(inWindow(q, f.get())))
                    << p->objectName().toStdString() << " and " << q->objectName().toStdString();
        }
        for (QWidget* p : c.opened)
            p->hide();
    }
}

TEST_F(WindowLookTest, ChannelBoxesWearTheirColourWithAContrastingCaption)
{
    f->setupPanel->gbFT->show();
    const QColor colours[] = {QColor(64, 0, 0), QColor(255, 255, 0), QColor(0, 0, 200), QColor(230, 230, 230)};
    for (const QColor& c : colours) {
        SCOPED_TRACE(c.name().toStdString());
        app::setChannelBoxColour(f->setupPanel->cbCh2, c);
        const QImage box = f->setupPanel->cbCh2->grab().toImage();
        // The box's own background, right of the caption.
        EXPECT_EQ(box.pixelColor(box.width() - 2, box.height() / 2), c);
        // The caption in black or white, whichever stands out.
        const bool dark = qGray(c.rgb()) < 128;
        int caption = 0;
        for (int y = 0; y < box.height(); ++y)
            for (int x = box.width() / 3; x < box.width(); ++x) {
                const int g = qGray(box.pixel(x, y));
                caption += dark ? g > 220 : g < 40;
            }
        EXPECT_GE(caption, 6);
    }
}

TEST_F(WindowLookTest, OptionsCloseOnlyOnAClickOnTheirEmptyArea)
{
    QTest::mouseClick(f->btOptions, Qt::LeftButton);
    ASSERT_TRUE(f->gbOptions->isVisible());
    dialogs.colourAnswers = {std::nullopt, QColor(1, 2, 3)};
    // A swatch, cancelled and confirmed; a caption over the swatches: the panel stays.
    QTest::mouseClick(f->chartPart->pColorCh1, Qt::LeftButton);
    QTest::mouseClick(f->chartPart->pColorCh2, Qt::LeftButton);
    EXPECT_EQ(f->chartPart->pColorCh2->colour(), QColor(1, 2, 3));
    EXPECT_EQ(dialogs.colourRequests.size(), 2u);
    QTest::mouseClick(f->chartPart->gbColours, Qt::LeftButton, {}, QPoint(f->chartPart->gbColours->width() / 2, 4));
    EXPECT_TRUE(f->gbOptions->isVisible());
    // Its own empty area, at the foot of the panel.
    QTest::mouseClick(f->gbOptions, Qt::LeftButton, {}, QPoint(f->gbOptions->width() - 3, f->gbOptions->height() - 3));
    EXPECT_FALSE(f->gbOptions->isVisible());
}

TEST_F(WindowLookTest, StatusPanelsWidenToTheirTextsInOrder)
{
    const QString texts[] = {QStringLiteral("По окончании нажмите \"Считать\""),
                             QStringLiteral("dT=1481875.00мкс<>f=0.67Гц dA=12345.678")};
    for (int i = 0; i < 2; ++i)
        f->status->setPanelText(i, texts[i]);
    QCoreApplication::processEvents();
    QLabel* panels[3];
    for (int i = 0; i < 3; ++i)
        panels[i] = f->status->findChild<QLabel*>(QStringLiteral("statusPanel%1").arg(i));
    for (int i = 0; i < 2; ++i) {
        EXPECT_GE(panels[i]->contentsRect().width(), panels[i]->fontMetrics().horizontalAdvance(texts[i])) << i;
        EXPECT_TRUE(panels[i]->toolTip().isEmpty()) << "nothing is cut";
    }
    EXPECT_LT(panels[0]->geometry().right(), panels[1]->geometry().left());
    EXPECT_LT(panels[1]->geometry().right(), panels[2]->geometry().left());
    // Short texts again: the design widths.
    f->status->setPanelText(0, QStringLiteral("ИЗМЕРЕНИЕ"));
    f->status->setPanelText(1, QString());
    QCoreApplication::processEvents();
    EXPECT_EQ(f->status->panelWidth(0), 200);
    EXPECT_EQ(f->status->panelWidth(1), 220);
    // A pointer readout longer than the room left of the first window takes back what the short
    // texts leave empty.
    const QString readout = QStringLiteral("2136562,50мкс X=-1234,56 Y=-1234,56 Z=-1234,56 |a|=2138,12");
    f->status->setPanelText(2, readout);
    QCoreApplication::processEvents();
    EXPECT_GE(panels[2]->contentsRect().width(), panels[2]->fontMetrics().horizontalAdvance(readout));
    EXPECT_GE(panels[0]->contentsRect().width(), panels[0]->fontMetrics().horizontalAdvance(QStringLiteral("ИЗМЕРЕНИЕ")));
}

TEST_F(WindowLookTest, ToolBarsUnderTheirSectionsWithWholeCaptionsAndIcons)
{
    const QFrame* bars[] = {f->tbFile, f->tbMCctl, f->analysisActions, f->tbOptions};
    for (int i = 0; i < 4; ++i) {
        const QRect section = inWindow(f->headerSections[std::size_t(i)], f.get());
        const QRect bar = inWindow(bars[i], f.get());
        EXPECT_EQ(section.left(), bar.left()) << i;
        EXPECT_EQ(section.right(), bar.right()) << i;
        EXPECT_EQ(section.height(), f->Header->height()) << i;
    }
    for (QToolButton* b : {f->btChart, f->btOptions}) {
        QTest::mouseClick(b, Qt::LeftButton);
        ASSERT_EQ(b->text(), QStringLiteral("Закрыть"));
        EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text()) + 6) << b->objectName().toStdString();
    }
    for (QToolButton* b : {f->chartPart->btPrint, f->btHelpTOC}) {
        const QImage icon = b->icon().pixmap(16, 16).toImage();
        ASSERT_FALSE(icon.isNull()) << b->objectName().toStdString();
        int drawn = 0;
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                drawn += qAlpha(icon.pixel(x, y)) > 128 && qGray(icon.pixel(x, y)) < 200;
        EXPECT_GE(drawn, 20) << b->objectName().toStdString();
    }
}

TEST(QtTranslations, StandardDialogButtonsReadRussian)
{
    const auto installed = app::installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Russian));
    ASSERT_FALSE(installed.empty()) << "Qt's Russian translations are installed with the program's packages";
    QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Open)->text().remove(QLatin1Char('&')), QStringLiteral("Открыть"));
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Отмена"));
    for (QTranslator* t : installed) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}
