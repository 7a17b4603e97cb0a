#include "display/axisticks.h"

#include <algorithm>
#include <cmath>

#include "platform/numtext.h"

namespace display {

namespace {

// More ticks than this in one range would make the axis a solid bar; it also bounds the work.
constexpr double kMaxTickCount = 1000;

} // namespace

double roundTickStep(double span, int maxTicks)
{
    if (!(span > 0) || !std::isfinite(span))
        return 1.0;
    const double raw = span / std::max(1, maxTicks);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        // The slack keeps a span of exactly 10 × 1 from asking for a step of 2.
        if (m * magnitude >= raw * (1 - 1e-9))
            return m * magnitude;
    }
    return 10 * magnitude;
}

std::vector<double> roundTicks(double lo, double hi, double step)
{
    std::vector<double> ticks;
    if (!(step > 0) || !std::isfinite(step) || !std::isfinite(lo) || !std::isfinite(hi) || hi < lo)
        return ticks;
    const double slack = step * 1e-6;
    const double first = std::ceil((lo - slack) / step);
    const double last = std::floor((hi + slack) / step);
    if (last - first + 1 > kMaxTickCount)
        return ticks;
    // Each tick is its multiple times the step, so errors do not add up along the axis.
    for (double k = first; k <= last; ++k)
        ticks.push_back(k * step);
    return ticks;
}

QString roundTickText(double value, double step, QChar decimalSeparator)
{
    int decimals = 0;
    if (step > 0 && std::isfinite(step))
        decimals = std::clamp(int(std::ceil(-std::log10(step) - 1e-9)), 0, 15);
    // A value that is a rounding error away from zero is zero, and zero has no sign.
    if (std::fabs(value) < step * 1e-6)
        value = 0;
    return platform::fixedText(value, decimals, decimalSeparator);
}

} // namespace display
