#include "files/scales.h"

#include <cmath>

#include "platform/inifile.h"
#include "platform/numtext.h"

namespace files {

const char* const kScalesMissingMessage =
    "Файл Scales.scl отсутствует или нарушен формат коэффициентов. Новые результаты будут отображаться в "
    "единицах АЦП. Результаты из файлов останутся прежними.";

namespace {
const QString kFactor = QStringLiteral("factor");
const QString kShift = QStringLiteral("Shift, ADC units");
const QString kYscale = QStringLiteral("Yscale");
const QString kAxisKeys[3] = {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")};

// The calibration travels with the board from machine to machine: a number written with either
// separator is the same number (the shipped file has a point, a Russian system writes a comma).
std::optional<double> readCalibration(const platform::IniFile& ini, const QString& section, const QString& key,
                                      QChar decimalSeparator)
{
    if (const auto v = ini.readDouble(section, key, decimalSeparator))
        return v;
    const QChar other = decimalSeparator == QLatin1Char('.') ? QLatin1Char(',') : QLatin1Char('.');
    return ini.readDouble(section, key, other);
}

} // namespace

ScalesData readScales(const platform::IniFile& ini, QChar decimalSeparator)
{
    ScalesData d;
    for (int a = 0; a < 3; ++a) {
        d.k[a] = readCalibration(ini, kFactor, kAxisKeys[a], decimalSeparator).value_or(1.0);
        d.c[a] = readCalibration(ini, kShift, kAxisKeys[a], decimalSeparator).value_or(0.0);
    }
    d.yTitle = ini.readString(kYscale, QStringLiteral("Name"), d.yTitle);
    d.topRange = ini.readInteger(kYscale, QStringLiteral("range"), 16);
    return d;
}

std::optional<QStringList> rangeItemsForTopRange(int topRange)
{
    if (topRange != 200)
        return std::nullopt;
    return QStringList{QStringLiteral("±25g"), QStringLiteral("±50g"), QStringLiteral("±100g"),
                       QStringLiteral("±200g")};
}

void writeZeroLevels(platform::IniFile& ini, const std::array<double, 3>& levels)
{
    // All three in one replacement: a kill between two axes must not leave a calibration that
    // is half old, half new.
    for (int a = 0; a < 3; ++a)
        ini.setString(kShift, kAxisKeys[a], platform::formatD(platform::roundHalfEven(levels[a])));
    ini.save();
}

ZeroCaptureResult captureZeroLevels(const std::array<const double*, 3>& values,
                                    const std::array<long long, 3>& counts, const QString& previousClipText)
{
    ZeroCaptureResult z;
    z.clipText = previousClipText;
    for (int a = 0; a < 3; ++a) {
        if (!values[a] || counts[a] <= kZeroCapturePoint)
            return z;
    }
    z.captured = true;
    for (int a = 0; a < 3; ++a)
        z.levels[a] = double(platform::roundHalfEven(values[a][kZeroCapturePoint]));
    for (int a = 0; a < 3; ++a) {
        if (std::fabs(z.levels[a]) > 100)
            z.clipText = platform::formatD(qint64(z.levels[a]));
    }
    return z;
}

} // namespace files
