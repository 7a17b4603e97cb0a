#include "analysis/ui/chartpicture.h"

#include <QMouseEvent>

#include <qcustomplot.h>

#include "display/ui/chartsvg.h"
#include "platform/atomicfile.h"

namespace analysis {

namespace {

// White while the picture is drawn; the screen colour comes back when the
// guard goes, also when drawing throws.
class WhiteBackground {
  public:
    WhiteBackground(QCustomPlot* chart, QColor screen) : chart_(chart), screen_(std::move(screen))
    {
        chart_->setBackground(QBrush(Qt::white));
    }
    ~WhiteBackground() { chart_->setBackground(QBrush(screen_)); }
    WhiteBackground(const WhiteBackground&) = delete;
    WhiteBackground& operator=(const WhiteBackground&) = delete;

  private:
    QCustomPlot* chart_;
    QColor screen_;
};

} // namespace

ChartPicture renderChartOnWhite(QCustomPlot* chart, const QColor& screenColour)
{
    const WhiteBackground white(chart, screenColour);
    ChartPicture picture;
    picture.svg = display::chartSvg(*chart);
    picture.png = chart->toPixmap(chart->width(), chart->height()).toImage();
    return picture;
}

QString writeChartSvg(QCustomPlot* chart, const QColor& screenColour, const QString& fileName)
{
    QByteArray svg;
    {
        const WhiteBackground white(chart, screenColour);
        svg = display::chartSvg(*chart);
    }
    // Through the one checked writer: a full disk must not leave an empty picture reported as saved.
    const auto failure = platform::writeFileAtomically(fileName, QByteArrayView(svg));
    return failure ? failure->message() : QString();
}

void HoldButton::mousePressEvent(QMouseEvent* e)
{
    emit mouseDown();
    if (e->button() == Qt::LeftButton) {
        QToolButton::mousePressEvent(e);
    } else {
        // Keep the press, so its release comes back here too.
        e->accept();
    }
}

void HoldButton::mouseReleaseEvent(QMouseEvent* e)
{
    // The click (left button, released on the button) comes first.
    if (e->button() == Qt::LeftButton)
        QToolButton::mouseReleaseEvent(e);
    else
        e->accept();
    emit mouseUp();
}

} // namespace analysis
