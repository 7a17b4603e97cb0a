#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QObject>

#include <cstdint>

#include "platform/ui/dialogs.h"
#include "platform/ui/printing.h"

class QCheckBox;

namespace app {
class TForm1;
class ColourPanel;
} // namespace app

namespace display {

enum class Series;
class SignalChart;

// The signal chart as a picture: an SVG of the chart's whole rectangle on a white background,
// and a bitmap of it for programs that take no SVG. The chart's own background colour is back
// when it returns, whatever happened in between.
struct ChartPicture {
    QByteArray svg;
    QImage png;
};
ChartPicture renderOnWhite(SignalChart& chart, bool withBitmap = true);

// The chart leaving the program: copied to the clipboard (a click on the copy button or the
// menu item "Копировать"), saved as an SVG file (a press held more than a second), printed on the
// default printer; and the colour panels of the five series.
class ChartOutput : public QObject {
    Q_OBJECT
  public:
    explicit ChartOutput(app::TForm1& form);

    // Where printouts go; nullptr gives the system's printers back.
    void setPrinters(platform::Printers* printers) { printers_ = printers ? printers : &systemPrinters_; }

    void btSaveChartClick(QObject* sender);
    void btSaveChartMouseDown();
    void btSaveChartMouseUp();
    void N1Click();
    void btPrintClick();
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
    void chooseColour(app::ColourPanel* panel, Series series, QCheckBox* channelBox);

    app::TForm1& f_;
    platform::SystemPrinters systemPrinters_;
    platform::Printers* printers_ = &systemPrinters_;
    QColor lastColour_{Qt::black};
};

} // namespace display
