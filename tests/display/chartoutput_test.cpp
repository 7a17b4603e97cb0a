#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QImageReader>
#include <QMenu>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTest>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <optional>

#include "common/filesizelimit.h"
#include "platform/atomicfile.h"
#include "common/testutil.h"
#include "display/chartwindowfixture.h"
#include "display/ui/chartoutput.h"
#include "display/ui/chartpaint.h"
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

// The decompressed contents of every compressed stream of a PDF, one after the other.
QByteArray pdfStreams(const QByteArray& pdf)
{
    QByteArray all;
    for (qsizetype at = pdf.indexOf(">>\nstream\n"); at >= 0; at = pdf.indexOf(">>\nstream\n", at + 1)) {
        const qsizetype object = pdf.lastIndexOf(" obj", at);
        if (!pdf.mid(object, at - object).contains("/FlateDecode"))
            continue;
        at += 3;
        const qsizetype from = at + 7;
        const qsizetype to = pdf.indexOf("endstream", from);
        if (to < 0)
            break;
        // zlib data as qUncompress takes it: behind a (generous) expected length.
        const QByteArray z = QByteArray("\x00\x10\x00\x00", 4) + pdf.mid(from, to - from);
        all += qUncompress(z);
    }
    return all;
}

// The visible print previews.
std::vector<QPrintPreviewDialog*> openPreviews()
{
    std::vector<QPrintPreviewDialog*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QPrintPreviewDialog*>(w); d && d->isVisible())
            found.push_back(d);
    return found;
}

class ChartOutputTest : public ChartWindowTest {
  protected:
    void SetUp() override
    {
        ChartWindowTest::SetUp();
        f->chartPart->chartOutput->setPrinters(&printers);
        fillRecord(500);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        f->chartPart->ShowChart(nullptr);
        f->chartPart->Chart1->replot();
    }

    // Press on the copy button at tick 1000 and release `held` ms later.
    void press(Qt::MouseButton button, std::uint32_t held)
    {
        const QPoint c = f->chartPart->btSaveChart->rect().center();
        ticks.set(1000);
        QTest::mousePress(f->chartPart->btSaveChart, button, {}, c);
        ticks.set(1000 + held);
        QTest::mouseRelease(f->chartPart->btSaveChart, button, {}, c);
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
                      QStringLiteral("Рисунок SVG|*.svg|Рисунок PNG|*.png|Документ PDF|*.pdf|Все файлы|*.*"));
            EXPECT_EQ(dialogs.fileDialogs[0].spec.defaultExtension, QStringLiteral("svg"));
        }
    }
    EXPECT_TRUE(f->chartPart->btSaveChart->toolTip().contains(QStringLiteral("SVG")));
    EXPECT_FALSE(f->chartPart->Chart1->isZoomed()) << "a press on the button does not reach the chart";
}

TEST_F(ChartOutputTest, PicturesAreWhiteAndTheScreenColourComesBack)
{
    const QColor screen(200, 220, 240);
    f->chartPart->Chart1->setBackgroundColour(screen);

    // The clipboard: SVG and PNG of the whole chart.
    f->chartPart->N1->trigger();
    ASSERT_FALSE(dialogs.clipboardSvg.isEmpty());
    EXPECT_TRUE(dialogs.clipboardSvg.contains("<svg"));
    EXPECT_TRUE(dialogs.clipboardSvg.contains("#ffffff"));
    EXPECT_FALSE(dialogs.clipboardSvg.contains("#c8dcf0")) << "no trace of the screen colour";
    EXPECT_EQ(dialogs.clipboardPng.size(), f->chartPart->Chart1->size());
    EXPECT_EQ(dialogs.clipboardPng.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(f->chartPart->Chart1->backgroundColour(), screen);

    // The file.
    const QString path = dir.path() + QStringLiteral("/chart.svg");
    dialogs.saveAnswers.push_back(path);
    press(Qt::RightButton, 1500);
    const QByteArray svg = testutil::readAll(path);
    EXPECT_TRUE(svg.contains("<svg"));
    EXPECT_TRUE(svg.contains("#ffffff"));
    EXPECT_EQ(f->chartPart->Chart1->backgroundColour(), screen);

    // A file that cannot be written: the file layer's message, the colour back all the same.
    const QString bad = dir.path() + QStringLiteral("/no/such/folder/chart.svg");
    dialogs.saveAnswers.push_back(bad);
    const std::size_t before = dialogs.messages.size();
    press(Qt::RightButton, 1500);
    ASSERT_EQ(dialogs.messages.size(), before + 1);
    EXPECT_TRUE(dialogs.messages.back().standardError);
    EXPECT_TRUE(dialogs.messages.back().text.startsWith(QStringLiteral("Cannot create file ") + bad + QLatin1Char(':')))
        << dialogs.messages.back().text.toStdString();
    EXPECT_EQ(f->chartPart->Chart1->backgroundColour(), screen);

    // A full disk: reported, and the picture saved before stays whole.
    {
        testutil::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        dialogs.saveAnswers.push_back(path);
        press(Qt::RightButton, 1500);
    }
    ASSERT_EQ(dialogs.messages.size(), before + 2);
    EXPECT_TRUE(dialogs.messages.back().text.contains(path + QStringLiteral(": ") + platform::writeFailureReason(EFBIG)))
        << dialogs.messages.back().text.toStdString();
    EXPECT_EQ(testutil::readAll(path), svg);

    // A cancelled dialog writes nothing.
    press(Qt::RightButton, 1500);
    EXPECT_EQ(dialogs.messages.size(), before + 2);
}

TEST_F(ChartOutputTest, ColourPanelColoursItsSeriesAndBoxOnly)
{
    const QColor green(0, 200, 0);
    const QColor xBefore = f->chartPart->Chart1->seriesColour(Series::X);
    const QColor zBefore = f->chartPart->Chart1->seriesColour(Series::Z);
    const QColor box1 = f->setupPanel->cbCh1->palette().color(QPalette::Window);
    const QColor box3 = f->setupPanel->cbCh3->palette().color(QPalette::Window);

    dialogs.colourAnswers.push_back(green);
    emit f->chartPart->pColorCh2->clicked();
    EXPECT_EQ(dialogs.colourRequests.front(), QColor(Qt::black)) << "the chooser starts on black";
    EXPECT_EQ(f->chartPart->pColorCh2->colour(), green);
    EXPECT_EQ(f->chartPart->Chart1->seriesColour(Series::Y), green);
    EXPECT_EQ(f->setupPanel->cbCh2->palette().color(QPalette::Window), green);
    EXPECT_EQ(f->chartPart->Chart1->legend->item(int(Series::Y))->textColor(), green);
    EXPECT_EQ(f->chartPart->Chart1->seriesColour(Series::X), xBefore);
    EXPECT_EQ(f->chartPart->Chart1->seriesColour(Series::Z), zBefore);
    EXPECT_EQ(f->setupPanel->cbCh1->palette().color(QPalette::Window), box1);
    EXPECT_EQ(f->setupPanel->cbCh3->palette().color(QPalette::Window), box3);

    // Cancelled: nothing changes; the chooser starts on the colour last chosen, for any panel.
    dialogs.colourAnswers.push_back(std::nullopt);
    emit f->chartPart->pPlsCl->clicked();
    EXPECT_EQ(dialogs.colourRequests.back(), green);
    EXPECT_NE(f->chartPart->Chart1->seriesColour(Series::Pls), green);
    dialogs.colourAnswers.push_back(QColor(Qt::blue));
    emit f->chartPart->pIaICl->clicked();
    EXPECT_EQ(f->chartPart->Chart1->seriesColour(Series::IaI), QColor(Qt::blue));
    EXPECT_EQ(f->chartPart->pIaICl->colour(), QColor(Qt::blue));
}

TEST_F(ChartOutputTest, PrintsOnTheDefaultPrinterOrSaysThereIsNone)
{
    // No printer: a clear message, nothing printed.
    const std::size_t before = dialogs.messages.size();
    emit f->chartPart->btPrint->clicked();
    ASSERT_EQ(dialogs.messages.size(), before + 1);
    EXPECT_EQ(dialogs.messages.back().text, platform::noPrinterMessage());

    printers.pdf = dir.path() + QStringLiteral("/print.pdf");
    emit f->chartPart->btPrint->clicked();
    EXPECT_EQ(dialogs.messages.size(), before + 1);
    const QByteArray pdf = testutil::readAll(printers.pdf);
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    // The job and the document are titled after the measurement (not loaded: its start), the
    // title written in UTF-16.
    QByteArray title;
    for (const QChar c : QStringLiteral("Измерение 2024-03-05 10.20.30"))
        title.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    EXPECT_TRUE(pdf.contains(title)) << "the job is titled after the measurement";
    EXPECT_EQ(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), 1) << "one page";
}

TEST_F(ChartOutputTest, APageOfOtherProportionsKeepsTheShapeOfText)
{
    // The legend's grey band, as many rows high as its text needs: on a page twice as tall as the
    // screen's chart and as wide, a stretched chart would double it, glyphs and all.
    const QColor grey(0xCA, 0xCA, 0xCA);
    const QRect legend = f->chartPart->Chart1->legend->outerRect();
    // A page whose upper half is the chart's width and twice its height.
    const auto greyRows = [&](const QSize& size) {
        QImage img(size.width() + 1, 2 * size.height(), QImage::Format_RGB32);
        img.fill(Qt::white);
        QCPPainter painter(&img);
        display::paintOnPage(*f->chartPart->Chart1, painter, img);
        painter.end();
        int most = 0;
        for (int x = legend.left() + 2; x < legend.left() + 8; ++x) {
            int rows = 0;
            for (int y = 0; y < img.height(); ++y)
                rows += img.pixelColor(x, y) == grey;
            most = std::max(most, rows);
        }
        return most;
    };
    const QSize screen = f->chartPart->Chart1->size();
    const int onScreen = greyRows(screen);
    ASSERT_GT(onScreen, 5);
    EXPECT_NEAR(greyRows(QSize(screen.width(), 2 * screen.height())), onScreen, 2) << "glyphs stretched";
}

TEST_F(ChartOutputTest, ZoomedPicturesKeepTheCurvesInsideTheAxisRectangle)
{
    // A distinctive colour for X, whose ramp runs far beyond a small zoomed window.
    const QColor trace(0, 190, 60);
    f->chartPart->Chart1->setSeriesColour(Series::X, trace);
    const display::ValueRange x = f->chartPart->Chart1->bottomRange();
    const display::ValueRange y = f->chartPart->Chart1->leftRange();
    f->chartPart->Chart1->zoomTo({x.lo + (x.hi - x.lo) * 0.4, x.lo + (x.hi - x.lo) * 0.5}, {y.lo * 0.1, y.hi * 0.1});
    f->chartPart->N1->trigger();
    const QRect plot = f->chartPart->Chart1->axisRect()->rect();
    const QRect legend = f->chartPart->Chart1->legend->outerRect();

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

TEST_F(ChartOutputTest, SavedPictureTakesTheTypeOfItsName)
{
    // Zoomed in on the X ramp (values 400 to 500 in this stretch), so that it crosses the axis
    // rectangle's borders and must be clipped there.
    const QColor trace(0, 190, 60);
    f->chartPart->Chart1->setSeriesColour(Series::X, trace);
    const display::ValueRange x = f->chartPart->Chart1->bottomRange();
    f->chartPart->Chart1->zoomTo({x.lo + (x.hi - x.lo) * 0.4, x.lo + (x.hi - x.lo) * 0.5}, {430, 470});
    const QColor screen(200, 220, 240);
    f->chartPart->Chart1->setBackgroundColour(screen);
    f->chartPart->N1->trigger();
    const QByteArray svgOfClipboard = dialogs.clipboardSvg;
    const QSize chartSize = f->chartPart->Chart1->size();
    const QRect plot = f->chartPart->Chart1->axisRect()->rect();
    const QRect legend = f->chartPart->Chart1->legend->outerRect();

    struct Case {
        const char* name;
        std::optional<QSize> size; // the answer to the size question of a PNG
        const char* written;       // the type of the file written, nullptr for none
    };
    const Case cases[] = {
        {"chart.svg", {}, "svg"},
        {"chart.png", QSize(1200, 700), "png"},
        {"chart.PDF", {}, "pdf"},
        {"chart.txt", {}, "svg"},                 // "Все файлы": the picture as before there was a choice
        {"cancelled.png", std::nullopt, nullptr}, // the size question cancelled
        {"huge.png", QSize(20000, 20000), nullptr},
    };
    for (const Case& c : cases) {
        const QString path = dir.path() + QLatin1Char('/') + QLatin1String(c.name);
        dialogs.saveAnswers.push_back(path);
        const bool png = QByteArray(c.name).endsWith(".png");
        if (png)
            dialogs.sizeAnswers.push_back(c.size);
        const std::size_t asked = dialogs.sizeRequests.size();
        const std::size_t messages = dialogs.messages.size();
        press(Qt::RightButton, 1500);
        EXPECT_EQ(f->chartPart->Chart1->backgroundColour(), screen) << c.name;
        ASSERT_EQ(dialogs.sizeRequests.size(), asked + (png ? 1 : 0)) << c.name;
        if (png) {
            EXPECT_EQ(dialogs.sizeRequests.back(), chartSize) << "suggested: the size on screen";
        }
        EXPECT_EQ(dialogs.messages.size(), messages + (png && c.size && !c.written ? 1 : 0)) << c.name;
        ASSERT_EQ(QFile::exists(path), c.written != nullptr) << c.name;
        if (!c.written)
            continue;
        const QByteArray bytes = testutil::readAll(path);
        const QByteArray type(c.written);
        if (type == "svg") {
            EXPECT_EQ(bytes, svgOfClipboard) << c.name;
        } else if (type == "png") {
            QImageReader reader(path);
            EXPECT_EQ(reader.format(), "png");
            const QImage image = reader.read();
            ASSERT_EQ(image.size(), *c.size);
            EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
            // No pixel of the curve outside the (stretched) axis rectangle and legend.
            const QTransform stretch = QTransform::fromScale(double(c.size->width()) / chartSize.width(),
                                                             double(c.size->height()) / chartSize.height());
            const QRect plotIn = stretch.mapRect(QRectF(plot)).toAlignedRect().adjusted(-1, -1, 1, 1);
            const QRect legendIn = stretch.mapRect(QRectF(legend)).toAlignedRect().adjusted(-1, -1, 1, 1);
            int inside = 0;
            int outside = 0;
            for (int py = 0; py < image.height(); ++py)
                for (int px = 0; px < image.width(); ++px)
                    if (image.pixelColor(px, py) == trace)
                        ++(plotIn.contains(px, py) || legendIn.contains(px, py) ? inside : outside);
            EXPECT_GT(inside, 0);
            EXPECT_EQ(outside, 0);
        } else {
            EXPECT_TRUE(bytes.startsWith("%PDF"));
            EXPECT_FALSE(bytes.contains("/Subtype /Image")) << "vector, not a bitmap";
            EXPECT_GT(pdfStreams(bytes).count(" l\n"), 100) << "the curves are paths";
        }
    }
}

TEST_F(ChartOutputTest, ShiftClickOrPopUpMenuPreviewsAndAPlainClickPrintsAtOnce)
{
    printers.pdf = dir.path() + QStringLiteral("/print.pdf");
    const QPoint c = f->chartPart->btPrint->rect().center();
    const auto fromMenu = [&] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, c, f->chartPart->btPrint->mapToGlobal(c));
        QApplication::sendEvent(f->chartPart->btPrint, &event);
        auto* menu = f->findChild<QMenu*>(QStringLiteral("pmPrint"));
        ASSERT_TRUE(menu && menu->isVisible());
        ASSERT_EQ(menu->actions().size(), 1);
        menu->actions().front()->trigger();
        menu->close();
    };
    struct Case {
        const char* what;
        std::function<void()> act;
        bool preview;
    };
    const Case cases[] = {
        {"plain click", [&] { QTest::mouseClick(f->chartPart->btPrint, Qt::LeftButton, {}, c); }, false},
        {"Shift+click", [&] { QTest::mouseClick(f->chartPart->btPrint, Qt::LeftButton, Qt::ShiftModifier, c); }, true},
        {"plain click after it", [&] { QTest::mouseClick(f->chartPart->btPrint, Qt::LeftButton, {}, c); }, false},
        {"pop-up menu", fromMenu, true},
    };
    for (const Case& k : cases) {
        QFile::remove(printers.pdf);
        k.act();
        const std::vector<QPrintPreviewDialog*> previews = openPreviews();
        if (!k.preview) {
            EXPECT_TRUE(previews.empty()) << k.what;
            EXPECT_TRUE(QFile::exists(printers.pdf)) << k.what << ": printed at once";
            continue;
        }
        ASSERT_EQ(previews.size(), 1u) << k.what;
        const auto* pages = previews[0]->findChild<QPrintPreviewWidget*>();
        ASSERT_TRUE(pages);
        EXPECT_EQ(pages->pageCount(), 1) << k.what << ": the chart was drawn for the preview";
        EXPECT_FALSE(QFile::exists(printers.pdf)) << k.what << ": nothing printed before the dialog says so";
        previews[0]->close();
    }

    // Without any printer the preview still opens: its print dialog can write a PDF file.
    printers.pdf.clear();
    const std::size_t messages = dialogs.messages.size();
    QTest::mouseClick(f->chartPart->btPrint, Qt::LeftButton, Qt::ShiftModifier, c);
    ASSERT_EQ(openPreviews().size(), 1u);
    EXPECT_EQ(dialogs.messages.size(), messages);
    openPreviews()[0]->close();
}

TEST_F(ChartOutputTest, PrintingToAFileGoesThroughTheCheckedWriter)
{
    // The printer writes a PDF file ("print to file", or the fake default printer here).
    printers.pdf = dir.path() + QStringLiteral("/print.pdf");
    ASSERT_TRUE(testutil::writeAll(printers.pdf, QByteArray("old")));
    const std::size_t before = dialogs.messages.size();
    {
        testutil::FileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        QTest::mouseClick(f->chartPart->btPrint, Qt::LeftButton);
    }
    ASSERT_EQ(dialogs.messages.size(), before + 1) << "a full disk is reported";
    EXPECT_TRUE(dialogs.messages.back().text.contains(platform::writeFailureReason(EFBIG)));
    EXPECT_EQ(testutil::readAll(printers.pdf), QByteArray("old"));
    QTest::mouseClick(f->chartPart->btPrint, Qt::LeftButton);
    EXPECT_TRUE(testutil::readAll(printers.pdf).startsWith("%PDF"));
    EXPECT_EQ(dialogs.messages.size(), before + 1);
}
