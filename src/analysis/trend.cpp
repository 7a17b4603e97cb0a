#include "analysis/trend.h"

#include <cmath>

#include "platform/numtext.h"

namespace analysis {

Trend computeTrend(const double* values, qint64 pointCount, const Stretch& stretch, int step,
                   double samplePeriodUs, double timeUnitDivisor)
{
    Trend t;
    if (step < 1 || stretch.first < 0 || stretch.last >= pointCount || stretch.count() < 1)
        return t;

    double sum = 0;
    qint64 taken = 0;
    for (qint64 i = stretch.first; i <= stretch.last; i += step) {
        sum += values[i];
        ++taken;
    }
    t.mean = sum / double(taken);

    t.points.reserve(std::size_t(taken));
    for (qint64 i = stretch.first; i <= stretch.last; i += step) {
        double d = values[i] - t.mean;
        if (d == 0) {
            if (i - step < 0)
                continue;
            d = values[i - step] - t.mean;
            if (d == 0)
                continue;
        }
        t.points.push_back({qint32(i), std::log(std::fabs(d))});
    }
    if (t.points.size() < 2)
        return t;

    // Abscissa: the step number k of each point, (index - first) / step, which
    // is its position in the fit also when points before it were left out.
    const double n = double(t.points.size());
    double sumY = 0;
    double sumK = 0;
    for (const TrendPoint& p : t.points) {
        sumY += p.logDeviation;
        sumK += double((p.index - stretch.first) / step);
    }
    const double meanY = sumY / n;
    const double meanK = sumK / n;
    double sxy = 0;
    double sxx = 0;
    for (const TrendPoint& p : t.points) {
        const double dk = double((p.index - stretch.first) / step) - meanK;
        sxy += (p.logDeviation - meanY) * dk;
        sxx += dk * dk;
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
