#include "display/ui/roundticker.h"

#include <algorithm>
#include <cmath>

#include "display/axisticks.h"

namespace display {

namespace {

constexpr int kMinTickSpacingPixels = 70;

} // namespace

void RoundTicker::generate(const QCPRange& range, const QLocale& locale, QChar, int, QVector<double>& ticks,
                           QVector<double>* subTicks, QVector<QString>* tickLabels)
{
    ticks.clear();
    if (subTicks)
        subTicks->clear();
    if (tickLabels)
        tickLabels->clear();
    const double k = unitsPerCoordinate_;
    if (!(k > 0) || !std::isfinite(k))
        return;
    const int pixels = axis_ && axis_->axisRect() ? (axis_->orientation() == Qt::Horizontal
                                                         ? axis_->axisRect()->width()
                                                         : axis_->axisRect()->height())
                                                   : 400;
    const int maxTicks = std::max(2, pixels / kMinTickSpacingPixels);
    const double lo = range.lower * k;
    const double hi = range.upper * k;
    const double step = roundTickStep(hi - lo, maxTicks);
    const QChar sep = separator_.isNull() ? locale.decimalPoint().at(0) : separator_;
    for (double v : roundTicks(lo, hi, step)) {
        ticks.append(v / k);
        if (tickLabels)
            tickLabels->append(roundTickText(v, step, sep));
    }
    if (subTicks) {
        // Four or five sub-ticks per step, on round values too.
        const double sub = step / (std::fabs(step / std::pow(10.0, std::floor(std::log10(step))) - 2) < 1e-9 ? 4 : 5);
        for (double v : roundTicks(lo, hi, sub))
            subTicks->append(v / k);
    }
}

} // namespace display
