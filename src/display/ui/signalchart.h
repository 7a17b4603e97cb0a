#pragma once

#include <QColor>
#include <QString>
#include <array>
#include <vector>

#include <qcustomplot.h>

namespace display {

// The series of the signal chart, in the order the legend lists them.
enum class Series { X = 0, Y, Z, IaI, Mark, Pls };
inline constexpr int seriesCount = 6;

// The main window's chart: one graph per series, the legend below the plot.
class SignalChart : public QCustomPlot {
    Q_OBJECT
public:
    explicit SignalChart(QWidget* parent = nullptr);

    QCPGraph* graph(Series s) const { return graphs_[static_cast<int>(s)]; }

    void setSeriesColour(Series s, const QColor& colour);
    QColor seriesColour(Series s) const;

    // The shown flag: hiding a series keeps its points.
    void setSeriesShown(Series s, bool shown);
    bool isSeriesShown(Series s) const;

    // ---- what the other subsystems read (kept by every chart implementation) ----
    // The plotted y values of a series, one contiguous array of doubles.
    const double* yValues(Series s) const;
    qint64 pointCount(Series s) const;
    // The x of point i (implicit: the series' first x plus i times its step).
    double xValue(Series s, qint64 i) const;
    // The label of point i ("" when it has none).
    QString pointLabel(Series s, qint64 i) const;

    void setBackgroundColour(const QColor& colour);
    QColor backgroundColour() const { return background_; }

private:
    std::array<QCPGraph*, seriesCount> graphs_{};
    std::array<std::vector<double>, seriesCount> y_{};
    QCPLayoutGrid* legendRow_ = nullptr;
    QColor background_{Qt::white};
};

QString seriesName(Series s);

} // namespace display
