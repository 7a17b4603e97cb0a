#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <memory>

#include "platform/ui/dialogs.h"
#include "platform/ui/printing.h"

class QMenu;
class QPrinter;
class QPrintPreviewDialog;

namespace app {
class ColourPanel;
} // namespace app

namespace display {

enum class Series;
class SignalChart;
class ChartPart;

// The signal chart as a picture: an SVG of the chart's whole rectangle on a white background,
// and a bitmap of it for programs that take no SVG. The chart's own background colour is back
// when it returns, whatever happened in between.
struct ChartPicture {
    QByteArray svg;
    QImage png;
};
ChartPicture renderOnWhite(SignalChart& chart, bool withBitmap = true);

// The kinds of picture file the save dialog offers. The dialog gives a bare name the extension of
// the type chosen in it, so the extension tells the type; an unknown one gets SVG, as before
// there was a choice.
enum class PictureType { Svg, Png, Pdf };
PictureType pictureTypeOf(const QString& fileName);

// The chart leaving the program: copied to the clipboard (a click on the copy button or the
// menu item "Копировать"), saved as an SVG, PNG or PDF file (a press held more than a second),
// printed on the default printer, or through the print dialog after a preview (Shift+click on the
// print button, or its pop-up menu); and the colour panels of the five series.
class ChartOutput : public QObject {
    Q_OBJECT
  public:
    explicit ChartOutput(ChartPart& part);
    ~ChartOutput() override;

    // Where printouts go; nullptr gives the system's printers back.
    void setPrinters(platform::Printers* printers) { printers_ = printers ? printers : &systemPrinters_; }

    void btSaveChartClick(QObject* sender);
    void btSaveChartMouseDown();
    void btSaveChartMouseUp();
    void N1Click();
    void btPrintClick();
    // The preview with the print dialog behind it, where a PDF file is a destination too; shown
    // without blocking.
    void printPreview();
    void pColorCh1Click();
    void pColorCh2Click();
    void pColorCh3Click();
    void pIaIClClick();
    void pPlsClClick();

    // The save dialog: what it offers is what gets written.
    static platform::FileDialogSpec saveDialogSpec();

    // The tick count when a button went down on the copy button.
    std::uint32_t pressTick = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // channel: 0..2 for a channel series, -1 for the others.
    void chooseColour(app::ColourPanel* panel, Series series, int channel);
    void savePicture(const QString& name);
    // The print job's and the PDF's name: the measurement's file name, or "Измерение" and its start.
    QString documentName() const;
    void prepareJob(QPrinter& printer) const;
    void printOn(QPrinter& printer);
    void writeOut(const QString& name, const QByteArray& bytes);

    ChartPart& p_;
    platform::SystemPrinters systemPrinters_;
    platform::Printers* printers_ = &systemPrinters_;
    QColor lastColour_{Qt::black};
    QMenu* printMenu_ = nullptr;
    bool shiftClick_ = false; // the print button's last click came with Shift held
    std::unique_ptr<QPrinter> previewPrinter_;
    QPointer<QPrintPreviewDialog> preview_;
};

} // namespace display
