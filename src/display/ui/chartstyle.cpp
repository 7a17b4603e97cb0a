#include "display/ui/chartstyle.h"

#include <qcustomplot.h>

namespace display {

void applyGridStyle(QCPAxis* axis)
{
    axis->grid()->setPen(QPen(QColor(0xD0, 0xD0, 0xD0), 0, Qt::SolidLine));
    axis->grid()->setZeroLinePen(QPen(QColor(0xA8, 0xA8, 0xA8), 0, Qt::SolidLine));
    axis->grid()->setSubGridVisible(false);
}

void applyGridStyle(QCustomPlot& chart)
{
    for (QCPAxis* a : {chart.xAxis, chart.yAxis})
        applyGridStyle(a);
}

} // namespace display
