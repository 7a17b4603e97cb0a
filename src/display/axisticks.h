#pragma once

// Tick marks a person can read: steps of 1, 2 or 5 times a power of ten, ticks on whole
// multiples of the step, and labels with just the digits the step needs.

#include <QChar>
#include <QString>

#include <vector>

namespace display {

// The smallest step of 1, 2 or 5 × 10ⁿ that puts at most `maxTicks` intervals into `span`.
// A span that is not a positive finite number gives 1.
double roundTickStep(double span, int maxTicks);

// The whole multiples of `step` between lo and hi (both included, with a little slack for
// rounding), in ascending order. Empty for an unusable step or range.
std::vector<double> roundTicks(double lo, double hi, double step);

// A tick value written with as many decimals as its step needs (step 0.05 → 2 decimals, step 5
// → none), without a minus sign on zero.
QString roundTickText(double value, double step, QChar decimalSeparator);

} // namespace display
