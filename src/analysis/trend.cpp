#include "analysis/trend.h"

#include <algorithm>
#include <cmath>

#include "platform/numtext.h"

namespace analysis {

namespace {

// Visits point first + k * step with its value for k < taken, in order, reading a block at a time.
template <class Visit>
void forEachTaken(const PointReader& read, qint64 first, qint64 taken, int step, Visit visit)
{
    constexpr qint64 kBlock = 1 << 14;
    std::vector<double> block(std::size_t(std::min(taken, kBlock)));
    for (qint64 k = 0; k < taken; k += kBlock) {
        const qint64 n = std::min(kBlock, taken - k);
        read(first + k * step, n, step, block.data());
        for (qint64 j = 0; j < n; ++j)
            visit(first + (k + j) * step, block[std::size_t(j)]);
    }
}

// ln |value - mean| of point i, with the deviation step points earlier standing in for one of 0;
// nothing when that is 0 too or there is no such point.
std::optional<double> logDeviation(const PointReader& read, qint64 i, double value, double mean, int step)
{
    double d = value - mean;
    if (d == 0) {
        if (i - step < 0)
            return std::nullopt;
        double earlier = 0;
        read(i - step, 1, step, &earlier);
        d = earlier - mean;
        if (d == 0)
            return std::nullopt;
    }
    return std::log(std::fabs(d));
}

} // namespace

Trend computeTrend(const double* values, qint64 pointCount, const Stretch& stretch, int step,
                   double samplePeriodUs, double timeUnitDivisor)
{
    return computeTrend(arrayReader(values), pointCount, stretch, step, samplePeriodUs, timeUnitDivisor, true);
}

Trend computeTrend(const PointReader& read, qint64 pointCount, const Stretch& stretch, int step,
                   double samplePeriodUs, double timeUnitDivisor, bool keepPoints)
{
    Trend t;
    if (step < 1 || stretch.first < 0 || stretch.last >= pointCount || stretch.count() < 1)
        return t;
    const qint64 first = stretch.first;
    const qint64 taken = (stretch.count() - 1) / step + 1;

    double sum = 0;
    forEachTaken(read, first, taken, step, [&](qint64, double v) { sum += v; });
    t.mean = sum / double(taken);

    // Abscissa: the step number k of each point, (index - first) / step, which
    // is its position in the fit also when points before it were left out.
    qint64 fitted = 0;
    double sumY = 0;
    double sumK = 0;
    if (keepPoints)
        t.points.reserve(std::size_t(taken));
    forEachTaken(read, first, taken, step, [&](qint64 i, double v) {
        const auto y = logDeviation(read, i, v, t.mean, step);
        if (!y)
            return;
        ++fitted;
        sumY += *y;
        sumK += double((i - first) / step);
        if (keepPoints)
            t.points.push_back({qint32(i), *y});
    });
    if (fitted < 2)
        return t;

    // The second sums go round the centroid: a series decoded as it goes is read once more
    // rather than kept.
    const double n = double(fitted);
    const double meanY = sumY / n;
    const double meanK = sumK / n;
    double sxy = 0;
    double sxx = 0;
    auto addCentred = [&](qint64 i, double y) {
        const double dk = double((i - first) / step) - meanK;
        sxy += (y - meanY) * dk;
        sxx += dk * dk;
    };
    if (keepPoints) {
        for (const TrendPoint& p : t.points)
            addCentred(p.index, p.logDeviation);
    } else {
        forEachTaken(read, first, taken, step, [&](qint64 i, double v) {
            if (const auto y = logDeviation(read, i, v, t.mean, step))
                addCentred(i, *y);
        });
    }
    if (sxx == 0)
        return t;

    const double slopePerStep = sxy / sxx;
    const double periodUnit = samplePeriodUs / timeUnitDivisor;
    const double periodSeconds = samplePeriodUs / 1000000;
    // The centroid sits at point first + meanK * step of the series.
    const double centre = stretch.first + meanK * step;
    t.qUnit = slopePerStep / periodUnit / step;
    t.cUnit = meanY - centre * t.qUnit * periodUnit;
    t.q = slopePerStep / periodSeconds / step;
    t.c = meanY - centre * t.q * periodSeconds;
    t.lineAtFirst = double(stretch.first) * t.qUnit * periodUnit + t.cUnit;
    t.lineAtLast = double(stretch.last) * t.qUnit * periodUnit + t.cUnit;
    t.fitted = true;
    return t;
}

QString trendTooFewPointsMessage()
{
    return QStringLiteral("Для тренда нужны хотя бы две точки, отклонение которых от среднего не равно нулю: "
                          "тренд не построен.");
}

QString trendPointLabel(qint64 index, double samplePeriodUs, double timeUnitDivisor, QChar decimalSeparator)
{
    return platform::fixedText(double(index) * (samplePeriodUs / timeUnitDivisor), 0, decimalSeparator);
}

QString trendFormula(const Trend& t, QChar decimalSeparator)
{
    return platform::fixedText(t.q, 6, decimalSeparator) + QStringLiteral("*t+") +
           platform::fixedText(t.c, 6, decimalSeparator);
}

QString trendChannelText(const QString& channel, std::optional<int> smoothing)
{
    if (!smoothing)
        return channel;
    return channel + QStringLiteral(", Smooth scale=") + platform::formatD(*smoothing);
}

QString trendReport(const Trend& t, const ReportContext& context)
{
    const QChar sep = context.decimalSeparator;
    const QString& u = context.unitSuffix;
    QString out = QStringLiteral("q=\tC=\tFirst Point") + u + QStringLiteral("\tLast Point") + u +
                  QStringLiteral("\tChannel\tFile Name");
    out += reportLineEnd;
    out += platform::generalNumberText(t.q, sep) + QLatin1Char('\t') + platform::generalNumberText(t.c, sep) +
           QLatin1Char('\t') + platform::generalNumberText(context.firstTime, sep) + QLatin1Char('\t') +
           platform::generalNumberText(context.lastTime, sep) + QLatin1Char('\t') + context.channel +
           QLatin1Char('\t') + context.fileName;
    out += reportLineEnd;
    return out;
}

} // namespace analysis
