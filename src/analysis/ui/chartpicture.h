#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QToolButton>

class QCustomPlot;

namespace analysis {

// A chart as a picture: the vector drawing and a bitmap of the same size.
struct ChartPicture {
    QByteArray svg;
    QImage png;
};

// Renders the whole chart rectangle on a white background. The chart's own
// background is white while it is drawn and `screenColour` again afterwards,
// whatever happens in between.
ChartPicture renderChartOnWhite(QCustomPlot* chart, const QColor& screenColour);

// The SVG picture written to a file, replaced whole or not at all. Empty on
// success, else the message for the standard error box, with the reason.
QString writeChartSvg(QCustomPlot* chart, const QColor& screenColour, const QString& fileName);

// The copy button of a chart: a click copies, a press held longer than a
// second saves. It reports the press and the release of any mouse button, the
// release after the click of a left press, and also a release outside the
// button.
class HoldButton : public QToolButton {
    Q_OBJECT
  public:
    using QToolButton::QToolButton;

  signals:
    void mouseDown();
    void mouseUp();

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
};

// A held press counts as a long one only beyond this many milliseconds.
inline constexpr quint32 longPressMs = 1000;

} // namespace analysis
