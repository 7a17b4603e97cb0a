#pragma once

// The text (".txt", TAB between fields) and CSV (".csv", ";" between fields) export of the values
// a chart shows: a short header naming the source, the calibration and the axis titles, the
// comment, then one row per point. Every line the exporter writes itself ends with a single CR;
// the comment keeps its own CR LF breaks. Windows-1251 text.

#include <QChar>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QIODevice;

namespace files {

// One exported column: a series' plotted values.
struct ExportColumn {
    QString caption; // "X", "Y", "Z" or "IaI"
    const double* y = nullptr;
    std::int64_t count = 0; // points the series holds
};

struct ExportSource {
    QString sourceLine; // "Данные из файла ..." or "Результат измерения ..."
    std::array<double, 3> axisK{};
    std::array<double, 3> axisC{};
    QString leftTitle;
    QString bottomTitle;
    std::optional<int> smoothWeight; // set when the chart was smoothed
    QString comment;                 // the memo's text, lines separated by '\n'
    bool storeX = true;
    // The x of point c of the first exported channel; only called when storeX is set.
    std::function<double(std::int64_t)> x;
    std::vector<ExportColumn> columns; // the selected channels in the order X, Y, Z, then IaI
    // The rows: points first..last inclusive. Rows a column does not hold are not written.
    std::int64_t first = 0;
    std::int64_t last = -1;
};

struct ExportFormat {
    char separator = '\t';
    QChar decimalPoint = QLatin1Char('.');
};

ExportFormat textFormat(QChar decimalPoint);
ExportFormat csvFormat(QChar decimalPoint);

// The decimal separator the export option names: item 0 "запятая", item 1 "точка"; a list
// without a selection falls back to the system's.
QChar exportDecimalPoint(int dividerItem, const QLocale& system);

// The rows that can be written: first..last clipped to what every column holds.
std::int64_t exportRowCount(const ExportSource& source);

// False when the device refused some of the bytes.
bool writeExport(QIODevice& out, const ExportSource& source, ExportFormat format);

// Date, then time, in the locale's short date and long time formats (without a time zone name).
QString dateTimeText(const QDateTime& t, const QLocale& locale);

// The first line of an export.
QString fileSourceLine(const QString& fileName, const QDateTime& fileTime, const QLocale& locale);
QString measurementSourceLine(const QDateTime& now, const QLocale& locale);

} // namespace files
