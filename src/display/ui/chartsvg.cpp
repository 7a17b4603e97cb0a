#include "display/ui/chartsvg.h"

#include <QBuffer>
#include <QSvgGenerator>

#include <qcustomplot.h>

#include <algorithm>

namespace display {

namespace {

// QCustomPlot draws its layers only all together; these reach the steps it takes for that, so
// that one layer can be drawn on its own.
struct PlotSteps : QCustomPlot {
    static constexpr auto updateLayout = &PlotSteps::updateLayout;
    static constexpr auto backgroundBrush = &PlotSteps::mBackgroundBrush;
};
struct LayerSteps : QCPLayer {
    static constexpr auto draw = &LayerSteps::draw;
};

// The chart's background and the layers [first, last] in their order, as one SVG picture.
QByteArray renderSvg(QCustomPlot& chart, int first, int last)
{
    const int w = chart.width();
    const int h = chart.height();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(w, h));
    svg.setViewBox(QRect(0, 0, w, h));
    svg.setTitle(chart.objectName());
    {
        QCPPainter painter(&svg);
        // Vector output: the series are drawn as lines, not as the screen's pixel columns.
        painter.setMode(QCPPainter::pmVectorized);
        painter.setMode(QCPPainter::pmNoCaching);
        if (const QBrush& back = chart.*PlotSteps::backgroundBrush; first == 0 && back.style() != Qt::NoBrush)
            painter.fillRect(QRect(0, 0, w, h), back);
        (chart.*PlotSteps::updateLayout)();
        for (int i = std::max(0, first); i <= last && i < chart.layerCount(); ++i)
            (chart.layer(i)->*LayerSteps::draw)(&painter);
    }
    return buffer.data();
}

// A generated picture split into its head (up to and with its definitions) and its drawing (up
// to the closing tag).
struct SvgParts {
    QByteArray head;
    QByteArray drawing;
};

SvgParts split(const QByteArray& svg)
{
    const QByteArray defsEnd("</defs>");
    qsizetype from = svg.indexOf(defsEnd);
    from = from < 0 ? svg.indexOf('>', svg.indexOf("<svg")) + 1 : from + defsEnd.size();
    qsizetype to = svg.lastIndexOf("</svg>");
    if (from <= 0 || to < from)
        return {svg, {}};
    return {svg.left(from), svg.mid(from, to - from)};
}

} // namespace

QByteArray chartSvg(QCustomPlot& chart)
{
    // The SVG generator of this Qt writes no clipping at all, so the plot is drawn apart and
    // wrapped in a clip path of its own: first what lies under it (background, grid), then the
    // plot, then what lies over it (axes, legend, overlays).
    QCPLayer* plot = chart.layer(QStringLiteral("main"));
    const int n = chart.layerCount();
    if (!plot || !chart.axisRect())
        return renderSvg(chart, 0, n - 1);
    const int p = plot->index();
    const SvgParts under = split(renderSvg(chart, 0, p - 1));
    const SvgParts plotted = split(renderSvg(chart, p, p));
    const SvgParts over = split(renderSvg(chart, p + 1, n - 1));

    const QRect r = chart.axisRect()->rect();
    QByteArray out = under.head;
    out += QStringLiteral("<defs><clipPath id=\"plotArea\"><rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/>"
                          "</clipPath></defs>\n")
               .arg(r.x())
               .arg(r.y())
               .arg(r.width())
               .arg(r.height())
               .toUtf8();
    out += under.drawing;
    out += "<g clip-path=\"url(#plotArea)\">\n";
    out += plotted.drawing;
    out += "</g>\n";
    out += over.drawing;
    out += "</svg>\n";
    return out;
}

} // namespace display
