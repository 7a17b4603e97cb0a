#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace analysis {

// The stretch of a chart series the spectrum or the trend works on: the points
// first ... last, both inclusive, all of them inside the series.
struct Stretch {
    qint32 first = 0;
    qint32 last = -1;
    qint32 count() const { return last - first + 1; }
};

// Reads values of a series: out[i] is the value of point first + i * step, for i < n. An analysis
// takes its series through one so that a long file can be decoded as the analysis goes, never
// held whole.
using PointReader = std::function<void(qint64 first, qint64 n, int step, double* out)>;

// The reader of a series held in memory.
PointReader arrayReader(const double* values);

// The visible indices the chart took after its last paint, checked against the
// series as it is now. Indices of -1 (a series not painted since it was
// cleared) give nothing; so does a stretch that lies wholly beyond the series,
// which happens when a shorter record was built and not yet painted. A stretch
// that runs past the end of the series is cut at its last point.
std::optional<Stretch> visibleStretch(qint64 pointCount, qint32 firstVisibleIndex, qint32 lastVisibleIndex);

// The message for a stretch that visibleStretch() refused.
QString noStretchMessage();

// What both reports say about where their numbers came from.
struct ReportContext {
    QString unitSuffix;   // from timeUnitSuffix()
    double firstTime = 0; // the stretch's ends in the chart's time unit
    double lastTime = 0;
    QString channel;              // "X", "Y" or "Z"
    QString fileName;             // the measurement file last opened, may be empty
    std::optional<int> smoothing; // the smoothing factor when smoothing is on
    QChar decimalSeparator = QLatin1Char('.');
};

// The column suffix naming the time unit of the chart's bottom-axis title:
// "Время, с" -> ",s", "Время, мс" -> ",ms", "Время, мкс" -> ",us"; another unit
// is kept as written; a title that names no time gives "".
QString timeUnitSuffix(const QString& xAxisTitle);

// The time of point `index` in the chart's unit: index * period / divisor.
double pointTime(qint64 index, double samplePeriodUs, double timeUnitDivisor);

// Report lines end with CR LF, the last one too.
inline constexpr QStringView reportLineEnd = u"\r\n";

} // namespace analysis
