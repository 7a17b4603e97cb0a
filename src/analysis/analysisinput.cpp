#include "analysis/analysisinput.h"

#include <algorithm>

namespace analysis {

PointReader arrayReader(const double* values)
{
    return [values](qint64 first, qint64 n, int step, double* out) {
        for (qint64 i = 0; i < n; ++i)
            out[i] = values[first + i * step];
    };
}

std::optional<Stretch> visibleStretch(qint64 pointCount, qint32 firstVisibleIndex, qint32 lastVisibleIndex)
{
    if (firstVisibleIndex < 0 || lastVisibleIndex < 0 || firstVisibleIndex >= pointCount)
        return std::nullopt;
    const qint32 last = qint32(std::min<qint64>(lastVisibleIndex, pointCount - 1));
    if (last < firstVisibleIndex)
        return std::nullopt;
    return Stretch{firstVisibleIndex, last};
}

QString noStretchMessage()
{
    return QStringLiteral("Нет участка сигнала для анализа: график ещё не отображён.");
}

QString timeUnitSuffix(const QString& xAxisTitle)
{
    if (!xAxisTitle.contains(QStringLiteral("Время,")))
        return {};
    const QString rest = xAxisTitle.mid(6);
    if (rest == QStringLiteral(" с"))
        return QStringLiteral(",s");
    if (rest == QStringLiteral(" мс"))
        return QStringLiteral(",ms");
    if (rest == QStringLiteral(" мкс"))
        return QStringLiteral(",us");
    return rest;
}

double pointTime(qint64 index, double samplePeriodUs, double timeUnitDivisor)
{
    return double(index) * samplePeriodUs / timeUnitDivisor;
}

} // namespace analysis
