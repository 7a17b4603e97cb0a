#pragma once

// The rules behind the pointer readout and the interval measurement of the signal chart: which
// sample the pointer is over, and the texts of the status bar.

#include <QChar>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace display {

// The sample under the pointer: Round(bottom-axis value / sampleStepX), half to even, kept
// within 32 bits. None while the bottom axis's maximum is not above 0 (nothing to point at).
std::optional<std::int32_t> cursorIndexAt(double bottomValue, double bottomAxisMax, double sampleStepX);

// What the readout shows at one sample.
struct ReadoutValues {
    std::int32_t cursorIndex = 0;
    double sampleStepX = 1.0;
    bool timeView = true;
    QString unitText;                          // the selected time unit, "мкс", "мс" or "с"
    std::optional<QString> degreeLabel;        // set while Pls is shown in the degree mode
    std::array<std::optional<double>, 3> axes; // X, Y, Z: shown and holding the point
    std::optional<double> modulus;             // IaI shown (and holding the point)
};

// "0.31мс X=1.00 Y=-2.00 |a|=2.24", or "  36° X=..." in the degree mode ("°" alone where the
// point has no label), or "100.00 X=..." in the sample views. Numbers with two decimals and the
// given separator.
QString readoutText(const ReadoutValues& v, QChar decimalSeparator);

// The text of a measured interval between two points (sample index and pointer value each):
// "dT=18.75мс<>f=53.33Гц dA=0.50". Two points at the same sample have no frequency: the text is
// then "dT=0.00мс dA=..." and nothing is divided by zero.
QString intervalText(std::int32_t firstIndex, double firstValue, std::int32_t secondIndex, double secondValue,
                     double sampleStepX, double timeUnitDivisor, const QString& unitText,
                     QChar decimalSeparator);

// The values at one marker of the interval measurement: its sample, its position on the bottom
// axis and, for X, Y, Z and |a|, the value of the series' point at that position (none for a
// series that is hidden or has no point there).
struct MarkerReading {
    std::int32_t index = 0;
    double position = 0.0;
    std::array<std::optional<double>, 4> values;
};

// The marker table: a header row, a row for the position and one per series with a value at a
// marker; a column per marker and, for two markers, their difference (second minus first).
struct MarkerTable {
    QStringList header;
    // As shown: six significant digits, never an exponent; positions to the sample.
    std::vector<QStringList> rows;
    // The numbers behind the cells (none for an empty cell), row by row, column by column.
    std::vector<std::vector<std::optional<double>>> values;
    QChar separator{QLatin1Char('.')};

    // Tab-separated lines, as spreadsheets take them from the clipboard, with every digit the
    // values have.
    QString text() const;
};
// The position row shows as many decimals as positionStep (the distance between two samples on
// the bottom axis) has; with no step, six significant digits as the other rows.
MarkerTable markerTable(const std::vector<MarkerReading>& markers, bool timeView, const QString& unitText,
                        QChar decimalSeparator, double positionStep = 0);

} // namespace display
