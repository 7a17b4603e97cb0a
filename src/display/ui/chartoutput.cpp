#include "display/ui/chartoutput.h"

#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QShortcut>

#include <utility>

#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpaint.h"
#include "display/ui/chartsvg.h"
#include "files/ui/measurementfilesui.h"
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

ChartOutput::ChartOutput(app::TForm1& form) : f_(form)
{
    f_.pmChart = new QMenu(&f_);
    f_.pmChart->setObjectName(QStringLiteral("pmChart"));
    f_.N1 = f_.pmChart->addAction(QStringLiteral("Копировать"));
    f_.N1->setObjectName(QStringLiteral("N1"));
    connect(f_.N1, &QAction::triggered, this, &ChartOutput::N1Click);
    connect(f_.Chart1, &SignalChart::contextMenuRequested, f_.pmChart,
            [this](const QPoint& at) { f_.pmChart->popup(at); });

    connect(f_.btSaveChart, &QToolButton::clicked, this, [this] { btSaveChartClick(f_.btSaveChart); });
    f_.btSaveChart->installEventFilter(this);
    // A plain click prints at once as it always did; Shift+click, or the button's pop-up menu,
    // opens the preview.
    f_.btPrint->installEventFilter(this);
    connect(f_.btPrint, &QToolButton::clicked, this, [this] {
        if (std::exchange(shiftClick_, false))
            printPreview();
        else
            btPrintClick();
    });
    // Ctrl+P asks first, as it does elsewhere: the preview, from which the page is printed.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), &f_, [this] {
        if (f_.btPrint->isEnabled())
            printPreview();
    });
    printMenu_ = new QMenu(&f_);
    printMenu_->setObjectName(QStringLiteral("pmPrint"));
    QAction* preview = printMenu_->addAction(QStringLiteral("Просмотр и печать..."));
    preview->setObjectName(QStringLiteral("actPrintPreview"));
    connect(preview, &QAction::triggered, this, &ChartOutput::printPreview);
    f_.btPrint->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(f_.btPrint, &QWidget::customContextMenuRequested, printMenu_,
            [this](const QPoint& at) { printMenu_->popup(f_.btPrint->mapToGlobal(at)); });

    connect(f_.pColorCh1, &app::ColourPanel::clicked, this, &ChartOutput::pColorCh1Click);
    connect(f_.pColorCh2, &app::ColourPanel::clicked, this, &ChartOutput::pColorCh2Click);
    connect(f_.pColorCh3, &app::ColourPanel::clicked, this, &ChartOutput::pColorCh3Click);
    connect(f_.pIaICl, &app::ColourPanel::clicked, this, &ChartOutput::pIaIClClick);
    connect(f_.pPlsCl, &app::ColourPanel::clicked, this, &ChartOutput::pPlsClClick);
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
    if (watched == f_.btPrint) {
        // The button clicks on the release of a mouse button or of the space key: what is held
        // then decides the way of printing.
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
            event->type() == QEvent::KeyRelease)
            shiftClick_ = static_cast<QInputEvent*>(event)->modifiers().testFlag(Qt::ShiftModifier);
        return false;
    }
    if (watched != f_.btSaveChart)
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
            static_cast<QObject*>(f_.btSaveChart)->event(event);
        btSaveChartMouseUp();
        return true;
    }
    return false;
}

void ChartOutput::btSaveChartClick(QObject*)
{
    const ChartPicture picture = renderOnWhite(*f_.Chart1);
    if (f_.services().dialogs)
        f_.services().dialogs->setClipboardPicture(picture.svg, picture.png);
}

void ChartOutput::btSaveChartMouseDown()
{
    if (f_.services().ticks)
        pressTick = f_.services().ticks->now();
}

void ChartOutput::btSaveChartMouseUp()
{
    platform::Dialogs* dialogs = f_.services().dialogs;
    if (!dialogs || !f_.services().ticks)
        return;
    if (platform::ticksSince(pressTick, f_.services().ticks->now()) <= kLongPressMs)
        return;
    const QString name = dialogs->saveFile(&f_, saveDialogSpec());
    if (name.isEmpty())
        return;
    savePicture(name);
}

void ChartOutput::savePicture(const QString& name)
{
    platform::Dialogs* dialogs = f_.services().dialogs;
    SignalChart& chart = *f_.Chart1;
    QByteArray bytes;
    switch (pictureTypeOf(name)) {
    case PictureType::Svg:
        bytes = renderOnWhite(chart, false).svg;
        break;
    case PictureType::Png: {
        const std::optional<QSize> size = dialogs->askPictureSize(&f_, chart.size());
        if (!size)
            return;
        const WhiteWhileDrawing white(chart);
        bytes = chartPng(chart, *size);
        if (bytes.isEmpty()) {
            // Nothing is written rather than an empty or cut picture.
            dialogs->message(&f_,
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
    platform::Dialogs* dialogs = f_.services().dialogs;
    if (bytes.isEmpty()) {
        if (dialogs)
            dialogs->error(&f_, QStringLiteral("Cannot create file %1").arg(name));
        return;
    }
    if (const auto failure = platform::writeFileAtomically(name, QByteArrayView(bytes)); failure && dialogs)
        dialogs->error(&f_, failure->message());
}

void ChartOutput::N1Click()
{
    btSaveChartClick(&f_);
}

void ChartOutput::btPrintClick()
{
    std::unique_ptr<QPrinter> printer = printers_->defaultPrinter();
    if (!printer) {
        if (platform::Dialogs* dialogs = f_.services().dialogs)
            dialogs->message(&f_, platform::noPrinterMessage(), platform::MessageKind::Warning);
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
    preview_ = new QPrintPreviewDialog(previewPrinter_.get(), &f_);
    preview_->setObjectName(QStringLiteral("printPreview"));
    connect(preview_, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { printOn(*p); });
    preview_->open();
}

QString ChartOutput::documentName() const
{
    // What the operator knows the measurement by: its file, or when it was taken. The name also
    // proposes the PDF file's name, so the time has no characters a file name cannot hold.
    const QString file = f_.measurementFiles ? f_.measurementFiles->currentFileName : QString();
    if (f_.record.loadedFromFile && !file.isEmpty())
        return QFileInfo(file).completeBaseName();
    if (!f_.record.startTime.isValid())
        return QStringLiteral("Измерение");
    return QStringLiteral("Измерение ") + f_.record.startTime.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"));
}

void ChartOutput::prepareJob(QPrinter& printer) const
{
    printer.setDocName(documentName());
    // At the screen's resolution a point of text is as many device pixels as on screen, so the
    // stretched chart keeps its proportions of text to lines; the output stays vector.
    printer.setResolution(f_.Chart1->logicalDpiX());
}

void ChartOutput::printOn(QPrinter& printer)
{
    // "Print to file": the page is made here and written through the checked writer. Qt's PDF
    // engine would write the file itself and say nothing of a full disk.
    // A preview draws the page as a picture and is left to it.
    const QPaintEngine* engine = printer.paintEngine();
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty() && engine &&
        engine->type() == QPaintEngine::Pdf) {
        writeOut(printer.outputFileName(), chartPdfPage(*f_.Chart1, printer.pageLayout(), printer.resolution(),
                                                             printer.docName()));
        return;
    }
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        if (platform::Dialogs* dialogs = f_.services().dialogs)
            dialogs->message(&f_,
                             QStringLiteral("Не удалось начать печать на принтере ") + printer.printerName(),
                             platform::MessageKind::Warning);
        return;
    }
    paintOnPage(*f_.Chart1, painter, printer);
    painter.end();
}

void ChartOutput::chooseColour(app::ColourPanel* panel, Series series, int channel)
{
    platform::Dialogs* dialogs = f_.services().dialogs;
    if (!dialogs)
        return;
    const std::optional<QColor> chosen = dialogs->chooseColour(&f_, lastColour_);
    if (!chosen)
        return;
    lastColour_ = *chosen;
    panel->setColour(*chosen);
    f_.Chart1->setSeriesColour(series, panel->colour());
    if (channel >= 0)
        f_.setupPanel->setChannelColour(channel, panel->colour());
}

void ChartOutput::pColorCh1Click()
{
    chooseColour(f_.pColorCh1, f_.channelSeries[0], 0);
}

void ChartOutput::pColorCh2Click()
{
    chooseColour(f_.pColorCh2, f_.channelSeries[1], 1);
}

void ChartOutput::pColorCh3Click()
{
    chooseColour(f_.pColorCh3, f_.channelSeries[2], 2);
}

void ChartOutput::pIaIClClick()
{
    chooseColour(f_.pIaICl, Series::IaI, -1);
}

void ChartOutput::pPlsClClick()
{
    chooseColour(f_.pPlsCl, Series::Pls, -1);
}

} // namespace display
