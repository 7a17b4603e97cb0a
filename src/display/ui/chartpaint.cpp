#include "display/ui/chartpaint.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QPageLayout>
#include <QPdfWriter>

#include <qcustomplot.h>

#include <algorithm>
#include <functional>

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

namespace {

// One PDF page of that layout and resolution, drawn by `draw`; empty when the painter cannot start.
QByteArray pdfPage(QCustomPlot& chart, const QPageLayout& layout, int resolution,
                   const std::function<void(QCPPainter&, const QPaintDevice&)>& draw)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(resolution);
        pdf.setPageLayout(layout);
        pdf.setTitle(chart.objectName());
        pdf.setCreator(QCoreApplication::applicationName());
        QCPPainter painter;
        if (!painter.begin(&pdf))
            return {};
        draw(painter, pdf);
        painter.end();
    }
    return buffer.data();
}

} // namespace

QByteArray chartPdf(QCustomPlot& chart)
{
    // At the screen's resolution the page is the chart's own size and its text the size it has
    // on screen.
    const int dpi = std::max(1, chart.logicalDpiX());
    const QSizeF points(chart.width() * 72.0 / dpi, chart.height() * 72.0 / dpi);
    const QPageLayout layout(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch),
                             QPageLayout::Portrait, QMarginsF(), QPageLayout::Point);
    return pdfPage(chart, layout, dpi, [&](QCPPainter& painter, const QPaintDevice& page) {
        paintChart(chart, painter, QRectF(0, 0, page.width(), page.height()));
    });
}

void paintOnPage(QCustomPlot& chart, QCPPainter& painter, const QPaintDevice& page)
{
    paintChart(chart, painter, QRectF(0, 0, page.width() - 1, page.height() / 2));
}

QByteArray chartPdfPage(QCustomPlot& chart, const QPageLayout& layout, int resolution)
{
    return pdfPage(chart, layout, resolution,
                   [&](QCPPainter& painter, const QPaintDevice& page) { paintOnPage(chart, painter, page); });
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
