#include "analysis/ui/chartpicture.h"

#include <QBuffer>
#include <QMouseEvent>
#include <QSaveFile>
#include <QSvgGenerator>

#include <qcustomplot.h>

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

QByteArray svgOf(QCustomPlot* chart)
{
    const int w = chart->width();
    const int h = chart->height();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(w, h));
    svg.setViewBox(QRect(0, 0, w, h));
    svg.setTitle(chart->objectName());
    {
        QCPPainter painter(&svg);
        chart->toPainter(&painter, w, h);
    }
    return buffer.data();
}

} // namespace

ChartPicture renderChartOnWhite(QCustomPlot* chart, const QColor& screenColour)
{
    const WhiteBackground white(chart, screenColour);
    ChartPicture picture;
    picture.svg = svgOf(chart);
    picture.png = chart->toPixmap(chart->width(), chart->height()).toImage();
    return picture;
}

bool writeChartSvg(QCustomPlot* chart, const QColor& screenColour, const QString& fileName)
{
    QByteArray svg;
    {
        const WhiteBackground white(chart, screenColour);
        svg = svgOf(chart);
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(svg) != svg.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
