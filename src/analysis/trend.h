#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

#include "analysis/analysisinput.h"

namespace analysis {

// One logarithm of the trend chart: ln |deviation| at point `index` of the series.
struct TrendPoint {
    qint32 index = 0;
    double logDeviation = 0;
};

// The exponential law ln |x - mean| ~ q*t + C fitted over a stretch of a series.
struct Trend {
    double mean = 0;
    std::vector<TrendPoint> points; // the points that entered the fit, in order
    bool fitted = false;            // false with fewer than two points: no line
    double q = 0;                   // per second, t in seconds from point 0
    double c = 0;
    double qUnit = 0; // per chart time unit, t in that unit
    double cUnit = 0;
    double lineAtFirst = 0; // the fitted line at the stretch's ends,
    double lineAtLast = 0;  // in the coordinates of the logarithms
};

// Every step-th point of the stretch enters the mean. A deviation of exactly 0
// takes the deviation of the value step points earlier instead (once); a point
// whose deviation stays 0, or that has no value step points earlier, has no
// logarithm and is left out. The line is fitted by least squares over the
// points' true positions, so it passes through their centroid whatever the
// step and whichever points were left out.
Trend computeTrend(const double* values, qint64 pointCount, const Stretch& stretch, int step,
                   double samplePeriodUs, double timeUnitDivisor);
// The same fit of a series read as it goes. Without keepPoints the points are not stored (the
// series is read a third time instead), so a long series costs no memory of its length.
Trend computeTrend(const PointReader& read, qint64 pointCount, const Stretch& stretch, int step,
                   double samplePeriodUs, double timeUnitDivisor, bool keepPoints);

QString trendTooFewPointsMessage();

// The label of a point of the trend chart: its time in the chart's unit, whole.
QString trendPointLabel(qint64 index, double samplePeriodUs, double timeUnitDivisor, QChar decimalSeparator);

// "%0.6f*t+%0.6f" of q and C.
QString trendFormula(const Trend& t, QChar decimalSeparator);

// The channel column: "X", or "X, Smooth scale=8" with smoothing.
QString trendChannelText(const QString& channel, std::optional<int> smoothing);

// The clipboard report: the header and one data line. context.channel is the
// channel column as trendChannelText() gives it.
QString trendReport(const Trend& t, const ReportContext& context);

} // namespace analysis
