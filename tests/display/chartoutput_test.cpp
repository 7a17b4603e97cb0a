#include <QPrinter>
#include <QTest>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include "common/filesizelimit.h"
#include "common/testutil.h"
#include "display/chartwindowfixture.h"
#include "display/ui/chartoutput.h"
#include "platform/ui/printing.h"

using display::Series;

namespace {

// Printouts into a PDF file, or no printer at all.
class FakePrinters : public platform::Printers {
  public:
    std::unique_ptr<QPrinter> defaultPrinter() override
    {
        ++asked;
        if (pdf.isEmpty())
            return nullptr;
        auto p = std::make_unique<QPrinter>(QPrinter::HighResolution);
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(pdf);
        return p;
    }
    QString pdf;
    int asked = 0;
};

class ChartOutputTest : public ChartWindowTest {
  protected:
    void SetUp() override
    {
        ChartWindowTest::SetUp();
        f->chartOutput->setPrinters(&printers);
        fillRecord(500);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        f->ShowChart(nullptr);
        f->Chart1->replot();
    }

    // Press on the copy button at tick 1000 and release `held` ms later.
    void press(Qt::MouseButton button, std::uint32_t held)
    {
        const QPoint c = f->btSaveChart->rect().center();
        ticks.set(1000);
        QTest::mousePress(f->btSaveChart, button, {}, c);
        ticks.set(1000 + held);
        QTest::mouseRelease(f->btSaveChart, button, {}, c);
    }

    FakePrinters printers;
};

} // namespace

TEST_F(ChartOutputTest, LongPressRule)
{
    struct Case {
        const char* what;
        Qt::MouseButton button;
        std::uint32_t held;
        bool copies;
        bool offersToSave;
    };
    const Case cases[] = {
        {"short click", Qt::LeftButton, 200, true, false},
        {"exactly a second", Qt::LeftButton, 1000, true, false},
        {"longer than a second", Qt::LeftButton, 1001, true, true},
        {"long right press", Qt::RightButton, 3000, false, true},
        {"short right press", Qt::RightButton, 100, false, false},
    };
    for (const auto& c : cases) {
        dialogs.clipboardSvg.clear();
        dialogs.fileDialogs.clear();
        press(c.button, c.held);
        EXPECT_EQ(!dialogs.clipboardSvg.isEmpty(), c.copies) << c.what;
        ASSERT_EQ(dialogs.fileDialogs.size(), c.offersToSave ? 1u : 0u) << c.what;
        if (c.offersToSave) {
            // The dialog names the format written.
            EXPECT_EQ(dialogs.fileDialogs[0].kind, FakeDialogs::FileDialogKind::Save);
            EXPECT_EQ(dialogs.fileDialogs[0].spec.filter,
                      QStringLiteral("Scalable Vector Graphics|*.svg|All Files|*.*"));
            EXPECT_EQ(dialogs.fileDialogs[0].spec.defaultExtension, QStringLiteral("svg"));
        }
    }
    EXPECT_TRUE(f->btSaveChart->toolTip().contains(QStringLiteral("SVG")));
    EXPECT_FALSE(f->Chart1->isZoomed()) << "a press on the button does not reach the chart";
}

TEST_F(ChartOutputTest, PicturesAreWhiteAndTheScreenColourComesBack)
{
    const QColor screen(200, 220, 240);
    f->Chart1->setBackgroundColour(screen);

    // The clipboard: SVG and PNG of the whole chart.
    f->N1->trigger();
    ASSERT_FALSE(dialogs.clipboardSvg.isEmpty());
    EXPECT_TRUE(dialogs.clipboardSvg.contains("<svg"));
    EXPECT_TRUE(dialogs.clipboardSvg.contains("#ffffff"));
    EXPECT_FALSE(dialogs.clipboardSvg.contains("#c8dcf0")) << "no trace of the screen colour";
    EXPECT_EQ(dialogs.clipboardPng.size(), f->Chart1->size());
    EXPECT_EQ(dialogs.clipboardPng.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(f->Chart1->backgroundColour(), screen);

    // The file.
    const QString path = dir.path() + QStringLiteral("/chart.svg");
    dialogs.saveAnswers.push_back(path);
    press(Qt::RightButton, 1500);
    const QByteArray svg = testutil::readAll(path);
    EXPECT_TRUE(svg.contains("<svg"));
    EXPECT_TRUE(svg.contains("#ffffff"));
    EXPECT_EQ(f->Chart1->backgroundColour(), screen);

    // A file that cannot be written: the file layer's message, the colour back all the same.
    const QString bad = dir.path() + QStringLiteral("/no/such/folder/chart.svg");
    dialogs.saveAnswers.push_back(bad);
    const std::size_t before = dialogs.messages.size();
    press(Qt::RightButton, 1500);
    ASSERT_EQ(dialogs.messages.size(), before + 1);
    EXPECT_TRUE(dialogs.messages.back().standardError);
    EXPECT_EQ(dialogs.messages.back().text, QStringLiteral("Cannot create file ") + bad);
    EXPECT_EQ(f->Chart1->backgroundColour(), screen);

    // A full disk: reported, and the picture saved before stays whole.
    {
        testutil::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        dialogs.saveAnswers.push_back(path);
        press(Qt::RightButton, 1500);
    }
    ASSERT_EQ(dialogs.messages.size(), before + 2);
    EXPECT_TRUE(dialogs.messages.back().text.startsWith(QStringLiteral("Cannot create file ") + path));
    EXPECT_EQ(testutil::readAll(path), svg);

    // A cancelled dialog writes nothing.
    press(Qt::RightButton, 1500);
    EXPECT_EQ(dialogs.messages.size(), before + 2);
}

TEST_F(ChartOutputTest, ColourPanelColoursItsSeriesAndBoxOnly)
{
    const QColor green(0, 200, 0);
    const QColor xBefore = f->Chart1->seriesColour(Series::X);
    const QColor zBefore = f->Chart1->seriesColour(Series::Z);
    const QColor box1 = f->cbCh1->palette().color(QPalette::Window);
    const QColor box3 = f->cbCh3->palette().color(QPalette::Window);

    dialogs.colourAnswers.push_back(green);
    emit f->pColorCh2->clicked();
    EXPECT_EQ(dialogs.colourRequests.front(), QColor(Qt::black)) << "the chooser starts on black";
    EXPECT_EQ(f->pColorCh2->colour(), green);
    EXPECT_EQ(f->Chart1->seriesColour(Series::Y), green);
    EXPECT_EQ(f->cbCh2->palette().color(QPalette::Window), green);
    EXPECT_EQ(f->Chart1->legend->item(int(Series::Y))->textColor(), green);
    EXPECT_EQ(f->Chart1->seriesColour(Series::X), xBefore);
    EXPECT_EQ(f->Chart1->seriesColour(Series::Z), zBefore);
    EXPECT_EQ(f->cbCh1->palette().color(QPalette::Window), box1);
    EXPECT_EQ(f->cbCh3->palette().color(QPalette::Window), box3);

    // Cancelled: nothing changes; the chooser starts on the colour last chosen, for any panel.
    dialogs.colourAnswers.push_back(std::nullopt);
    emit f->pPlsCl->clicked();
    EXPECT_EQ(dialogs.colourRequests.back(), green);
    EXPECT_NE(f->Chart1->seriesColour(Series::Pls), green);
    dialogs.colourAnswers.push_back(QColor(Qt::blue));
    emit f->pIaICl->clicked();
    EXPECT_EQ(f->Chart1->seriesColour(Series::IaI), QColor(Qt::blue));
    EXPECT_EQ(f->pIaICl->colour(), QColor(Qt::blue));
}

TEST_F(ChartOutputTest, PrintsOnTheDefaultPrinterOrSaysThereIsNone)
{
    // No printer: a clear message, nothing printed.
    const std::size_t before = dialogs.messages.size();
    emit f->btPrint->clicked();
    ASSERT_EQ(dialogs.messages.size(), before + 1);
    EXPECT_EQ(dialogs.messages.back().text, platform::noPrinterMessage());

    printers.pdf = dir.path() + QStringLiteral("/print.pdf");
    emit f->btPrint->clicked();
    EXPECT_EQ(dialogs.messages.size(), before + 1);
    const QByteArray pdf = testutil::readAll(printers.pdf);
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    // The job's title is the document title, written in UTF-16.
    const QByteArray title = QByteArray::fromRawData("\0C\0h\0a\0r\0t\0"
                                                     "1",
                                                     12);
    EXPECT_TRUE(pdf.contains(title) || pdf.contains("Chart1")) << "the job is titled after the chart";
    EXPECT_EQ(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), 1) << "one page";
}

TEST_F(ChartOutputTest, ZoomedPicturesKeepTheCurvesInsideTheAxisRectangle)
{
    // A distinctive colour for X, whose ramp runs far beyond a small zoomed window.
    const QColor trace(0, 190, 60);
    f->Chart1->setSeriesColour(Series::X, trace);
    const display::ValueRange x = f->Chart1->bottomRange();
    const display::ValueRange y = f->Chart1->leftRange();
    f->Chart1->zoomTo({x.lo + (x.hi - x.lo) * 0.4, x.lo + (x.hi - x.lo) * 0.5}, {y.lo * 0.1, y.hi * 0.1});
    f->N1->trigger();
    const QRect plot = f->Chart1->axisRect()->rect();
    const QRect legend = f->Chart1->legend->outerRect();

    // SVG: the curve lies inside a group clipped to the axis rectangle. Strokes are inherited
    // from enclosing groups, so each element's stroke is looked up along its ancestors.
    QXmlStreamReader svg(dialogs.clipboardSvg);
    QRect clip;
    QString clipId;
    std::vector<std::pair<QString, bool>> open; // stroke and clipped state of each open element
    int curvesInside = 0;
    int curvesOutside = 0;
    while (!svg.atEnd()) {
        const auto token = svg.readNext();
        if (token == QXmlStreamReader::EndElement)
            open.pop_back();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const auto a = svg.attributes();
        QString stroke = open.empty() ? QString() : open.back().first;
        bool clipped = !open.empty() && open.back().second;
        if (a.hasAttribute(QLatin1String("stroke")))
            stroke = a.value(QLatin1String("stroke")).toString();
        if (svg.name() == QLatin1String("clipPath"))
            clipId = a.value(QLatin1String("id")).toString();
        if (svg.name() == QLatin1String("rect") && !clipId.isEmpty() && clip.isNull())
            clip = QRect(a.value("x").toInt(), a.value("y").toInt(), a.value("width").toInt(),
                         a.value("height").toInt());
        if (!clipId.isEmpty() && a.value(QLatin1String("clip-path")) == QStringLiteral("url(#%1)").arg(clipId))
            clipped = true;
        open.emplace_back(stroke, clipped);
        // The curve, not the short line of its legend entry.
        const bool curve = svg.name() == QLatin1String("polyline") && stroke.compare(trace.name()) == 0 &&
                           a.value("points").count(QLatin1Char(',')) > 4;
        if (curve)
            ++(clipped ? curvesInside : curvesOutside);
    }
    ASSERT_FALSE(svg.hasError()) << svg.errorString().toStdString();
    EXPECT_EQ(clip, plot);
    EXPECT_GT(curvesInside, 0);
    EXPECT_EQ(curvesOutside, 0);

    // PNG: no pixel of the curve outside the axis rectangle (the legend names X in its colour).
    const QImage png = dialogs.clipboardPng;
    int outside = 0;
    for (int py = 0; py < png.height(); ++py)
        for (int px = 0; px < png.width(); ++px)
            if (!plot.contains(px, py) && !legend.contains(px, py) && png.pixelColor(px, py) == trace)
                ++outside;
    EXPECT_EQ(outside, 0);
}
