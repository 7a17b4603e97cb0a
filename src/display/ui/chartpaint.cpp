#include "display/ui/chartpaint.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QPageLayout>
#include <QPdfWriter>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/ui/dialogs.h"

namespace display {

void paintChart(QCustomPlot& chart, QCPPainter& painter, const QRectF& target, bool keepTextShape)
{
    // Vector drawing: the series as lines, not as the screen's pixel columns; pen widths scale
    // with the picture, so lines stay visible at a printer's resolution.
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNonCosmetic);
    painter.translate(target.topLeft());
    const int width = std::max(1, chart.width());
    if (!keepTextShape) {
        painter.scale(target.width() / width, target.height() / std::max(1, chart.height()));
        chart.toPainter(&painter, width, chart.height());
        return;
    }
    // Scaled evenly by the width and laid out at the target's proportions instead of stretched.
    const double scale = target.width() / width;
    const int height = scale > 0 ? std::max(1, int(std::lround(target.height() / scale))) : std::max(1, chart.height());
    painter.scale(scale, scale);
    chart.toPainter(&painter, width, height);
}

namespace {

// One PDF page of that layout and resolution, drawn by `draw`; empty when the painter cannot start.
QByteArray pdfPage(const QPageLayout& layout, int resolution, const QString& title,
                   const std::function<void(QCPPainter&, const QPaintDevice&)>& draw)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setResolution(resolution);
        pdf.setPageLayout(layout);
        pdf.setTitle(title);
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

QByteArray chartPdf(QCustomPlot& chart, const QString& title)
{
    // At the screen's resolution the page is the chart's own size and its text the size it has
    // on screen.
    const int dpi = std::max(1, chart.logicalDpiX());
    const QSizeF points(chart.width() * 72.0 / dpi, chart.height() * 72.0 / dpi);
    const QPageLayout layout(QPageSize(points, QPageSize::Point, QString(), QPageSize::ExactMatch),
                             QPageLayout::Portrait, QMarginsF(), QPageLayout::Point);
    return pdfPage(layout, dpi, title, [&](QCPPainter& painter, const QPaintDevice& page) {
        paintChart(chart, painter, QRectF(0, 0, page.width(), page.height()));
    });
}

void paintOnPage(QCustomPlot& chart, QCPPainter& painter, const QPaintDevice& page)
{
    paintChart(chart, painter, QRectF(0, 0, page.width() - 1, page.height() / 2), true);
}

QByteArray chartPdfPage(QCustomPlot& chart, const QPageLayout& layout, int resolution, const QString& title)
{
    return pdfPage(layout, resolution, title,
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
