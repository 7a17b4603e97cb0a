#pragma once

// The calibration file "Scales.scl": per-axis factor K and zero shift C for the ±2 g range, the
// Y-axis title of new measurements and the board's top range. OUTPUT = (ADC units - C) * K.

#include <QChar>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace platform {
class IniFile;
}

namespace files {

struct ScalesData {
    std::array<double, 3> k{1.0, 1.0, 1.0};
    std::array<double, 3> c{0.0, 0.0, 0.0};
    QString yTitle = QStringLiteral("Ускорение, см/с/с");
    int topRange = 16;

    // A factor of exactly 1 is what a missing or broken file gives: the operator is told that
    // new measurements will come out in ADC units.
    bool factorsLookMissing() const { return k[0] == 1.0 || k[1] == 1.0 || k[2] == 1.0; }
};

extern const char* const kScalesMissingMessage;

// Missing keys and values that are no number give the defaults. A number may be written with
// the given decimal separator or with the other one ('.' or ',').
ScalesData readScales(const platform::IniFile& ini, QChar decimalSeparator);

// The range list's items for the board's top range: a 200 g board has its own four ranges,
// every other value keeps nothing changed (nullopt).
std::optional<QStringList> rangeItemsForTopRange(int topRange);

// Writes the three zero levels as the shifts, leaving every other key as it was. Throws the INI
// layer's IniWriteError when the file cannot be written.
void writeZeroLevels(platform::IniFile& ini, const std::array<double, 3>& levels);

// ---- Zero balancing -----------------------------------------------------------------------

// The balancing run charts raw ADC units smoothed with a large weight; the resting level of an
// axis is its value at this point.
inline constexpr long long kZeroCapturePoint = 2000;

struct ZeroCaptureResult {
    bool captured = false;          // false: the run ended with too few points, nothing is taken
    std::array<double, 3> levels{}; // whole numbers
    QString clipText;               // what the hidden clipboard box holds afterwards
};

// One series per axis (values and their count). The clipboard box gets the last axis whose level
// exceeds 100 in magnitude; without one it keeps previousClipText.
ZeroCaptureResult captureZeroLevels(const std::array<const double*, 3>& values,
                                    const std::array<long long, 3>& counts, const QString& previousClipText);

} // namespace files
