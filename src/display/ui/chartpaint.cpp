#include "display/ui/chartpaint.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QPageLayout>
#include <QPdfWriter>

#include <qcustomplot.h>

#include <algorithm>

#include "platform/ui/dialogs.h"

namespace display {

void paintChart(QCustomPlot& chart, QCPPainter& painter, const QRectF& target)
{
    // Vector drawing: the series as lines, not as the screen's pixel columns; pen widths scale
    // with the picture, so lines stay visible at a printer's resolution.
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNonCosmetic);
    painter.translate(target.topLeft());
    painter.scale(target.width() / std::max(1, chart.width()), target.height() / std::max(1, chart.height()));
    chart.toPainter(&painter, chart.width(), chart.height());
}

QByteArray chartPdf(QCustomPlot& chart)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        // At the screen's resolution the page is the chart's own size and its text the size it
        // has on screen.
        const int dpi = std::max(1, chart.logicalDpiX());
        pdf.setResolution(dpi);
        const QSizeF points(chart.width() * 72.0 / dpi, chart.height() * 72.0 / dpi);
        pdf.setPageLayout(QPageLayout(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch),
                                      QPageLayout::Portrait, QMarginsF(), QPageLayout::Point));
        pdf.setTitle(chart.objectName());
        pdf.setCreator(QCoreApplication::applicationName());
        QCPPainter painter;
        if (!painter.begin(&pdf))
            return {};
        paintChart(chart, painter, QRectF(0, 0, pdf.width(), pdf.height()));
        painter.end();
    }
    return buffer.data();
}

QByteArray chartPng(QCustomPlot& chart, const QSize& size)
{
    if (size.width() < 1 || size.height() < 1 || size.width() > platform::kMaxPictureSide ||
        size.height() > platform::kMaxPictureSide)
        return {};
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    image.fill(Qt::white); // the stretched chart may leave a fraction of a pixel at the edges
    {
        QCPPainter painter;
        if (!painter.begin(&image))
            return {};
        paintChart(chart, painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return buffer.data();
}

} // namespace display
