#include "display/ui/chartoutput.h"

#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QShortcut>

#include <utility>

#include "acquisition/measurementrecord.h"
#include "display/ui/chartpaint.h"
#include "display/ui/chartpart.h"
#include "display/ui/chartsvg.h"
#include "platform/atomicfile.h"
#include "platform/ticks.h"

namespace display {

namespace {

// A press held longer than this (in ms) offers to save the picture.
constexpr std::uint32_t kLongPressMs = 1000;

// White while the picture is drawn, the screen colour again afterwards, also when drawing fails.
class WhiteWhileDrawing {
  public:
    explicit WhiteWhileDrawing(SignalChart& chart) : chart_(chart), screen_(chart.backgroundColour())
    {
        chart_.setBackgroundColour(Qt::white);
    }
    ~WhiteWhileDrawing() { chart_.setBackgroundColour(screen_); }
    WhiteWhileDrawing(const WhiteWhileDrawing&) = delete;
    WhiteWhileDrawing& operator=(const WhiteWhileDrawing&) = delete;

  private:
    SignalChart& chart_;
    QColor screen_;
};

} // namespace

ChartPicture renderOnWhite(SignalChart& chart, bool withBitmap)
{
    const WhiteWhileDrawing white(chart);
    ChartPicture picture;
    picture.svg = chartSvg(chart);
    if (withBitmap)
        picture.png = chart.toPixmap(chart.width(), chart.height()).toImage();
    return picture;
}

PictureType pictureTypeOf(const QString& fileName)
{
    const QString ext = QFileInfo(fileName).suffix();
    if (ext.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
        return PictureType::Png;
    if (ext.compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return PictureType::Pdf;
    return PictureType::Svg;
}

ChartOutput::ChartOutput(ChartPart& part) : p_(part)
{
    p_.pmChart = new QMenu(p_.window());
    p_.pmChart->setObjectName(QStringLiteral("pmChart"));
    p_.N1 = p_.pmChart->addAction(QStringLiteral("Копировать"));
    p_.N1->setObjectName(QStringLiteral("N1"));
    connect(p_.N1, &QAction::triggered, this, &ChartOutput::N1Click);
    connect(p_.Chart1, &SignalChart::contextMenuRequested, p_.pmChart,
            [this](const QPoint& at) { p_.pmChart->popup(at); });

    connect(p_.btSaveChart, &QToolButton::clicked, this, [this] { btSaveChartClick(p_.btSaveChart); });
    p_.btSaveChart->installEventFilter(this);
    // A plain click prints at once as it always did; Shift+click, or the button's pop-up menu,
    // opens the preview.
    p_.btPrint->installEventFilter(this);
    connect(p_.btPrint, &QToolButton::clicked, this, [this] {
        if (std::exchange(shiftClick_, false))
            printPreview();
        else
            btPrintClick();
    });
    // Ctrl+P asks first, as it does elsewhere: the preview, from which the page is printed.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), p_.window(), [this] {
        if (p_.btPrint->isEnabled())
            printPreview();
    });
    printMenu_ = new QMenu(p_.window());
    printMenu_->setObjectName(QStringLiteral("pmPrint"));
    QAction* preview = printMenu_->addAction(QStringLiteral("Просмотр и печать..."));
    preview->setObjectName(QStringLiteral("actPrintPreview"));
    connect(preview, &QAction::triggered, this, &ChartOutput::printPreview);
    p_.btPrint->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(p_.btPrint, &QWidget::customContextMenuRequested, printMenu_,
            [this](const QPoint& at) { printMenu_->popup(p_.btPrint->mapToGlobal(at)); });

    connect(p_.pColorCh1, &app::ColourPanel::clicked, this, &ChartOutput::pColorCh1Click);
    connect(p_.pColorCh2, &app::ColourPanel::clicked, this, &ChartOutput::pColorCh2Click);
    connect(p_.pColorCh3, &app::ColourPanel::clicked, this, &ChartOutput::pColorCh3Click);
    connect(p_.pIaICl, &app::ColourPanel::clicked, this, &ChartOutput::pIaIClClick);
    connect(p_.pPlsCl, &app::ColourPanel::clicked, this, &ChartOutput::pPlsClClick);
}

ChartOutput::~ChartOutput()
{
    // The preview uses the printer; it goes first.
    delete preview_.data();
}

platform::FileDialogSpec ChartOutput::saveDialogSpec()
{
    platform::FileDialogSpec spec;
    spec.filter = QStringLiteral("Рисунок SVG|*.svg|Рисунок PNG|*.png|Документ PDF|*.pdf|Все файлы|*.*");
    spec.defaultExtension = QStringLiteral("svg");
    spec.confirmOverwrite = true;
    return spec;
}

bool ChartOutput::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == p_.btPrint) {
        // The button clicks on the release of a mouse button or of the space key: what is held
        // then decides the way of printing.
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
            event->type() == QEvent::KeyRelease)
            shiftClick_ = static_cast<QInputEvent*>(event)->modifiers().testFlag(Qt::ShiftModifier);
        return false;
    }
    if (watched != p_.btSaveChart)
        return false;
    if (event->type() == QEvent::MouseButtonPress) {
        btSaveChartMouseDown();
        // Other buttons than the left one are the copy button's alone: they would otherwise
        // reach the chart underneath and start a scroll.
        return static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        // The button first finishes its own handling, so a left click copies before the release
        // handler offers to save.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            static_cast<QObject*>(p_.btSaveChart)->event(event);
        btSaveChartMouseUp();
        return true;
    }
    return false;
}

void ChartOutput::btSaveChartClick(QObject*)
{
    const ChartPicture picture = renderOnWhite(*p_.Chart1);
    if (p_.services().dialogs)
        p_.services().dialogs->setClipboardPicture(picture.svg, picture.png);
}

void ChartOutput::btSaveChartMouseDown()
{
    if (p_.services().ticks)
        pressTick = p_.services().ticks->now();
}

void ChartOutput::btSaveChartMouseUp()
{
    platform::Dialogs* dialogs = p_.services().dialogs;
    if (!dialogs || !p_.services().ticks)
        return;
    if (platform::ticksSince(pressTick, p_.services().ticks->now()) <= kLongPressMs)
        return;
    const QString name = dialogs->saveFile(p_.window(), saveDialogSpec());
    if (name.isEmpty())
        return;
    savePicture(name);
}

void ChartOutput::savePicture(const QString& name)
{
    platform::Dialogs* dialogs = p_.services().dialogs;
    SignalChart& chart = *p_.Chart1;
    QByteArray bytes;
    switch (pictureTypeOf(name)) {
    case PictureType::Svg:
        bytes = renderOnWhite(chart, false).svg;
        break;
    case PictureType::Png: {
        const std::optional<QSize> size = dialogs->askPictureSize(p_.window(), chart.size());
        if (!size)
            return;
        const WhiteWhileDrawing white(chart);
        bytes = chartPng(chart, *size);
        if (bytes.isEmpty()) {
            // Nothing is written rather than an empty or cut picture.
            dialogs->message(p_.window(),
                             QStringLiteral("Не хватает памяти для рисунка %1×%2 пикселей.")
                                 .arg(size->width())
                                 .arg(size->height()),
                             platform::MessageKind::Warning);
            return;
        }
        break;
    }
    case PictureType::Pdf: {
        const WhiteWhileDrawing white(chart);
        bytes = chartPdf(chart, documentName());
        break;
    }
    }
    writeOut(name, bytes);
}

void ChartOutput::writeOut(const QString& name, const QByteArray& bytes)
{
    // Through the one checked writer: a full disk must not leave an empty picture reported as
    // saved, and the operator is told why.
    platform::Dialogs* dialogs = p_.services().dialogs;
    if (bytes.isEmpty()) {
        if (dialogs)
            dialogs->error(p_.window(), QStringLiteral("Cannot create file %1").arg(name));
        return;
    }
    if (const auto failure = platform::writeFileAtomically(name, QByteArrayView(bytes)); failure && dialogs)
        dialogs->error(p_.window(), failure->message());
}

void ChartOutput::N1Click()
{
    btSaveChartClick(p_.window());
}

void ChartOutput::btPrintClick()
{
    std::unique_ptr<QPrinter> printer = printers_->defaultPrinter();
    if (!printer) {
        if (platform::Dialogs* dialogs = p_.services().dialogs)
            dialogs->message(p_.window(), platform::noPrinterMessage(), platform::MessageKind::Warning);
        return;
    }
    prepareJob(*printer);
    printOn(*printer);
}

void ChartOutput::printPreview()
{
    // A fresh preview each time: the chart as it is now, the printer with its settings of now.
    delete preview_.data();
    previewPrinter_ = printers_->defaultPrinter();
    // Without a printer the print dialog still offers a PDF file.
    if (!previewPrinter_)
        previewPrinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    prepareJob(*previewPrinter_);
    preview_ = new QPrintPreviewDialog(previewPrinter_.get(), p_.window());
    preview_->setObjectName(QStringLiteral("printPreview"));
    connect(preview_, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { printOn(*p); });
    preview_->open();
}

QString ChartOutput::documentName() const
{
    // What the operator knows the measurement by: its file, or when it was taken. The name also
    // proposes the PDF file's name, so the time has no characters a file name cannot hold.
    const QString file = p_.host().shownFileName();
    if (p_.record().loadedFromFile && !file.isEmpty())
        return QFileInfo(file).completeBaseName();
    if (!p_.record().startTime.isValid())
        return QStringLiteral("Измерение");
    return QStringLiteral("Измерение ") +
           p_.record().startTime.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
}

void ChartOutput::prepareJob(QPrinter& printer) const
{
    printer.setDocName(documentName());
    // At the screen's resolution a point of text is as many device pixels as on screen, so the
    // stretched chart keeps its proportions of text to lines; the output stays vector.
    printer.setResolution(p_.Chart1->logicalDpiX());
}

void ChartOutput::printOn(QPrinter& printer)
{
    // "Print to file": the page is made here and written through the checked writer. Qt's PDF
    // engine would write the file itself and say nothing of a full disk.
    // A preview draws the page as a picture and is left to it.
    const QPaintEngine* engine = printer.paintEngine();
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty() && engine &&
        engine->type() == QPaintEngine::Pdf) {
        writeOut(printer.outputFileName(),
                 chartPdfPage(*p_.Chart1, printer.pageLayout(), printer.resolution(), printer.docName()));
        return;
    }
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        if (platform::Dialogs* dialogs = p_.services().dialogs)
            dialogs->message(p_.window(),
                             QStringLiteral("Не удалось начать печать на принтере ") + printer.printerName(),
                             platform::MessageKind::Warning);
        return;
    }
    paintOnPage(*p_.Chart1, painter, printer);
    painter.end();
}

void ChartOutput::chooseColour(app::ColourPanel* panel, Series series, int channel)
{
    platform::Dialogs* dialogs = p_.services().dialogs;
    if (!dialogs)
        return;
    const std::optional<QColor> chosen = dialogs->chooseColour(p_.window(), lastColour_);
    if (!chosen)
        return;
    lastColour_ = *chosen;
    panel->setColour(*chosen);
    p_.Chart1->setSeriesColour(series, panel->colour());
    if (channel >= 0)
        p_.host().channelColourChanged(channel, panel->colour());
}

void ChartOutput::pColorCh1Click()
{
    chooseColour(p_.pColorCh1, p_.channelSeries[0], 0);
}

void ChartOutput::pColorCh2Click()
{
    chooseColour(p_.pColorCh2, p_.channelSeries[1], 1);
}

void ChartOutput::pColorCh3Click()
{
    chooseColour(p_.pColorCh3, p_.channelSeries[2], 2);
}

void ChartOutput::pIaIClClick()
{
    chooseColour(p_.pIaICl, Series::IaI, -1);
}

void ChartOutput::pPlsClClick()
{
    chooseColour(p_.pPlsCl, Series::Pls, -1);
}

} // namespace display
