#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSize>

class QCustomPlot;
class QCPPainter;

namespace display {

// Draws the chart, laid out at its size on screen, stretched over `target` of the painter's
// device, as vector drawing with pens that scale with it. Paper, PDF and PNG all go this one way,
// so they show the same chart, with the plot clipped to the axis rectangle as on screen.
void paintChart(QCustomPlot& chart, QCPPainter& painter, const QRectF& target);

// A one-page PDF of the chart at its size on screen.
QByteArray chartPdf(QCustomPlot& chart);

// A PNG of the chart stretched to `size` pixels; empty when the size is not one that
// platform::kMaxPictureSide admits or the pixels do not fit in memory.
QByteArray chartPng(QCustomPlot& chart, const QSize& size);

} // namespace display
