#include "display/interaction.h"

#include "platform/numtext.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace display {

std::optional<std::int32_t> cursorIndexAt(double bottomValue, double bottomAxisMax, double sampleStepX)
{
    if (!(bottomAxisMax > 0))
        return std::nullopt;
    const double ratio = bottomValue / sampleStepX;
    if (std::isnan(ratio))
        return std::nullopt;
    const std::int64_t r = platform::roundHalfEven(ratio);
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    return std::int32_t(r < lo ? lo : r > hi ? hi : r);
}

QString readoutText(const ReadoutValues& v, QChar sep)
{
    QString text;
    const double position = double(v.cursorIndex) * v.sampleStepX;
    if (v.degreeLabel)
        text = *v.degreeLabel + QStringLiteral("°");
    else if (v.timeView)
        text = platform::formatF(position, sep) + v.unitText;
    else
        text = platform::formatF(position, sep);
    static const char* const names[3] = {" X=", " Y=", " Z="};
    for (int a = 0; a < 3; ++a)
        if (v.axes[std::size_t(a)])
            text += QLatin1String(names[a]) + platform::formatF(*v.axes[std::size_t(a)], sep);
    if (v.modulus)
        text += QStringLiteral(" |a|=") + platform::formatF(*v.modulus, sep);
    return text;
}

QString intervalText(std::int32_t firstIndex, double firstValue, std::int32_t secondIndex, double secondValue,
                     double sampleStepX, double timeUnitDivisor, const QString& unitText, QChar sep)
{
    const double dA = std::abs(firstValue - secondValue);
    const double dT = double(std::abs(std::int64_t(firstIndex) - std::int64_t(secondIndex))) * sampleStepX;
    QString text = QStringLiteral("dT=") + platform::fixedText(dT, 2, sep) + unitText;
    if (dT != 0 && timeUnitDivisor != 0) {
        const double f = 1000000.0 / dT / timeUnitDivisor;
        text += QStringLiteral("<>f=") + platform::fixedText(f, 2, sep) + QStringLiteral("Гц");
    }
    return text + QStringLiteral(" dA=") + platform::fixedText(dA, 2, sep);
}

namespace {

// A cell a person reads at a glance: six significant digits in fixed notation (a time in
// microseconds keeps all of its integer digits), trailing zeros dropped.
QString cellText(double v, QChar sep)
{
    return platform::significantText(v, 6, sep);
}

// A position on the bottom axis to the resolution of the samples: as many decimals as the
// distance between two samples has, so that neighbouring samples never read the same.
QString positionText(double v, double step, QChar sep)
{
    if (!std::isfinite(v) || !(step > 0))
        return cellText(v, sep);
    int decimals = 0;
    for (double scaled = step; decimals < 12; ++decimals, scaled *= 10)
        if (std::abs(scaled - std::round(scaled)) <= 1e-9 * std::max(1.0, scaled))
            break;
    // No more digits than the value has: a sample at a whole time reads whole.
    const QString digits = platform::fixedText(v, decimals, QLatin1Char('.'));
    return platform::significantText(digits.toDouble(), 17, sep);
}

} // namespace

MarkerTable markerTable(const std::vector<MarkerReading>& markers, bool timeView, const QString& unitText,
                        QChar sep, double positionStep)
{
    MarkerTable t;
    t.separator = sep;
    const bool pair = markers.size() >= 2;
    t.header << QString();
    for (std::size_t m = 0; m < markers.size() && m < 2; ++m)
        t.header << QString::number(m + 1);
    if (pair)
        t.header << QStringLiteral("2−1");
    const auto addRow = [&](const QString& name, std::optional<double> a, std::optional<double> b,
                            bool position = false) {
        std::vector<std::optional<double>> cells{a};
        if (pair) {
            cells.push_back(b);
            cells.push_back(a && b ? std::optional<double>(*b - *a) : std::nullopt);
        }
        QStringList row{name};
        for (const auto& c : cells)
            row << (!c ? QString() : position ? positionText(*c, positionStep, sep) : cellText(*c, sep));
        t.rows.push_back(row);
        t.values.push_back(cells);
    };
    if (markers.empty())
        return t;
    const MarkerReading& first = markers[0];
    const MarkerReading& second = pair ? markers[1] : markers[0];
    addRow(timeView ? QStringLiteral("t, ") + unitText : QStringLiteral("n"), first.position, second.position, true);
    static const char* const names[4] = {"X", "Y", "Z", "|a|"};
    for (std::size_t k = 0; k < 4; ++k)
        if (first.values[k] || (pair && second.values[k]))
            addRow(QLatin1String(names[k]), first.values[k], pair ? second.values[k] : std::nullopt);
    return t;
}

QString MarkerTable::text() const
{
    QString out = header.join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out += rows[r].value(0);
        for (const auto& v : values[r])
            out += QLatin1Char('\t') + (v ? platform::generalNumberText(*v, separator) : QString());
        out += QLatin1Char('\n');
    }
    return out;
}

} // namespace display
