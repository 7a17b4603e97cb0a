#pragma once

#include <QColor>
#include <QString>
#include <array>

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

    void setBackgroundColour(const QColor& colour);
    QColor backgroundColour() const { return background_; }

private:
    std::array<QCPGraph*, seriesCount> graphs_{};
    QCPLayoutGrid* legendRow_ = nullptr;
    QColor background_{Qt::white};
};

QString seriesName(Series s);

} // namespace display
