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

namespace display {
struct ChartInput;
struct ChartOptions;
} // namespace display

namespace files {

// One exported column: a series' plotted values.
struct ExportColumn {
    QString caption; // "X", "Y", "Z" or "IaI"
    const double* y = nullptr; // null when the source computes the values as it goes (fill)
    std::int64_t count = 0;    // points the series holds
};

// Rows are written a block at a time; a source that computes its values needs room for this many.
inline constexpr std::int64_t kExportBlockRows = 8192;

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
    // For columns without values in memory: puts the values of rows first .. first + count - 1
    // (count <= kExportBlockRows) into values[k][0 .. count) for column k. Called for ascending,
    // adjoining blocks, so a source can compute them as it goes.
    std::function<void(std::int64_t first, std::int64_t count, double* const* values)> fill;
    // The rows: points first..last inclusive. Rows a column does not hold are not written.
    std::int64_t first = 0;
    std::int64_t last = -1;
};

struct ExportFormat {
    char separator = '\t';
    QChar decimalPoint = QLatin1Char('.');
    // The program's own export is Windows-1251 with CR line ends and the header block; scripts
    // may ask for UTF-8, other line ends, and only the row of column names before the values
    // (then no field is followed by a separator of its own).
    bool utf8 = false;
    QByteArray newline = QByteArrayLiteral("\r");
    bool columnsOnly = false;
};

ExportFormat textFormat(QChar decimalPoint);
ExportFormat csvFormat(QChar decimalPoint);

// The decimal separator the export option names: item 0 "запятая", item 1 "точка"; a list
// without a selection falls back to the system's.
QChar exportDecimalPoint(int dividerItem, const QLocale& system);

// The columns, x and rows of a chart that shows every point of a record (the checked channels in
// the order X, Y, Z, then |a| when withModulus), computed a block at a time as the export writes
// them rather than held whole. The record's bytes must outlive the export.
void streamWholeChart(ExportSource& source, const display::ChartInput& input,
                      const display::ChartOptions& options, bool withModulus);

// The rows that can be written: first..last clipped to what every column holds.
std::int64_t exportRowCount(const ExportSource& source);

// Told after each block of rows how many of all the rows are written; returning false stops the
// export there.
using ExportProgress = std::function<bool(std::int64_t rowsDone, std::int64_t rows)>;

// False when the device refused some of the bytes or the progress callback stopped the export.
bool writeExport(QIODevice& out, const ExportSource& source, ExportFormat format,
                 const ExportProgress& progress = {});

// Date, then time, in the locale's short date and long time formats (without a time zone name).
QString dateTimeText(const QDateTime& t, const QLocale& locale);

// The first line of an export.
QString fileSourceLine(const QString& fileName, const QDateTime& fileTime, const QLocale& locale);
QString measurementSourceLine(const QDateTime& now, const QLocale& locale);

} // namespace files
