#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSize>

class QCustomPlot;
class QCPPainter;
class QPageLayout;
class QPaintDevice;

namespace display {

// Draws the chart over `target` of the painter's device, as vector drawing with pens that scale
// with it: laid out at its size on screen and stretched to the target, or, keeping the shape of
// text, scaled evenly by the target's width and laid out at the target's proportions. Paper, PDF
// and PNG all go this one way, so they show the same chart, with the plot clipped to the axis
// rectangle as on screen.
void paintChart(QCustomPlot& chart, QCPPainter& painter, const QRectF& target, bool keepTextShape = false);

// A one-page PDF of the chart at its size on screen, with that document title.
QByteArray chartPdf(QCustomPlot& chart, const QString& title);

// The chart as printed: across the page's width in its upper half, its text keeping its shape.
void paintOnPage(QCustomPlot& chart, QCPPainter& painter, const QPaintDevice& page);
// A printed page as a PDF: that layout and resolution, the chart as paintOnPage puts it.
QByteArray chartPdfPage(QCustomPlot& chart, const QPageLayout& layout, int resolution, const QString& title);

// A PNG of the chart stretched to `size` pixels; empty when the size is not one that
// platform::kMaxPictureSide admits or the pixels do not fit in memory.
QByteArray chartPng(QCustomPlot& chart, const QSize& size);

} // namespace display
