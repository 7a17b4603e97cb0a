#include "display/ui/signalchart.h"

namespace display {

QString seriesName(Series s)
{
    switch (s) {
    case Series::X: return QStringLiteral("X");
    case Series::Y: return QStringLiteral("Y");
    case Series::Z: return QStringLiteral("Z");
    case Series::IaI: return QStringLiteral("IaI");
    case Series::Mark: return QStringLiteral("Mark    ");
    case Series::Pls: return QStringLiteral("Pls");
    }
    return {};
}

SignalChart::SignalChart(QWidget* parent) : QCustomPlot(parent)
{
    setObjectName(QStringLiteral("Chart1"));
    for (int i = 0; i < seriesCount; ++i) {
        const auto s = static_cast<Series>(i);
        auto* g = addGraph();
        g->setName(seriesName(s));
        graphs_[i] = g;
    }
    auto* mark = graph(Series::Mark);
    mark->setLineStyle(QCPGraph::lsNone);
    mark->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDiamond, Qt::red, Qt::red, 8));
    mark->setPen(QPen(Qt::red));

    // The legend sits in its own row under the plot on light grey, one entry per series.
    legend->setVisible(true);
    legend->setBrush(QColor(0xCA, 0xCA, 0xCA));
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setWrap(seriesCount);
    axisRect()->insetLayout()->take(legend);
    auto* row = new QCPLayoutGrid;
    plotLayout()->addElement(1, 0, row);
    row->setMargins(QMargins(0, 0, 0, 0));
    row->addElement(0, 0, legend);
    plotLayout()->setRowStretchFactor(1, 0.001);
    legendRow_ = row;

    xAxis->setLabel(QStringLiteral("Время, мкс"));
    yAxis->setLabel(QStringLiteral("Ускорение, см/с/с"));
    setBackgroundColour(Qt::white);
}

void SignalChart::setSeriesColour(Series s, const QColor& colour)
{
    auto* g = graph(s);
    QPen pen = g->pen();
    pen.setColor(colour);
    g->setPen(pen);
    if (s == Series::Mark)
        return;
    // The legend names each series in its own colour.
    if (auto* item = legend->itemWithPlottable(g))
        item->setTextColor(colour);
    replot(QCustomPlot::rpQueuedReplot);
}

QColor SignalChart::seriesColour(Series s) const
{
    return graph(s)->pen().color();
}

void SignalChart::setSeriesShown(Series s, bool shown)
{
    graph(s)->setVisible(shown);
    replot(QCustomPlot::rpQueuedReplot);
}

bool SignalChart::isSeriesShown(Series s) const
{
    return graph(s)->visible();
}

const double* SignalChart::yValues(Series s) const
{
    return y_[static_cast<int>(s)].data();
}

qint64 SignalChart::pointCount(Series s) const
{
    return qint64(y_[static_cast<int>(s)].size());
}

double SignalChart::xValue(Series, qint64 i) const
{
    return double(i);
}

QString SignalChart::pointLabel(Series, qint64) const
{
    return {};
}

void SignalChart::setBackgroundColour(const QColor& colour)
{
    background_ = colour;
    setBackground(QBrush(colour));
    replot(QCustomPlot::rpQueuedReplot);
}

} // namespace display
