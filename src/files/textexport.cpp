#include "files/textexport.h"

#include <QIODevice>
#include <QRegularExpression>

#include <algorithm>

#include "files/axdfile.h"
#include "files/cp1251.h"
#include "platform/numtext.h"

namespace files {

namespace {

// Rows are gathered in a buffer and written in large pieces: an export of a long record has
// tens of millions of them.
class LineWriter {
  public:
    explicit LineWriter(QIODevice& out) : out_(out) { buffer_.reserve(kFlushAt + 4096); }

    void text(const QString& s) { buffer_ += toCp1251(s); }
    void latin(const QString& s) { buffer_ += s.toLatin1(); }
    void byte(char c) { buffer_ += c; }
    void raw(const QByteArray& bytes) { buffer_ += bytes; }
    void endLine()
    {
        buffer_ += '\r';
        if (buffer_.size() >= kFlushAt)
            flush();
    }
    bool flush()
    {
        if (failed_ || buffer_.isEmpty())
            return !failed_;
        qint64 done = 0;
        while (done < buffer_.size()) {
            const qint64 n = out_.write(buffer_.constData() + done, buffer_.size() - done);
            if (n <= 0) {
                failed_ = true;
                break;
            }
            done += n;
        }
        buffer_.clear();
        return !failed_;
    }
    bool failed() const { return failed_; }

  private:
    static constexpr qsizetype kFlushAt = 1 << 20;
    QIODevice& out_;
    QByteArray buffer_;
    bool failed_ = false;
};

} // namespace

ExportFormat textFormat(QChar decimalPoint)
{
    return {'\t', decimalPoint};
}

ExportFormat csvFormat(QChar decimalPoint)
{
    return {';', decimalPoint};
}

QChar exportDecimalPoint(int dividerItem, const QLocale& system)
{
    if (dividerItem == 0)
        return QLatin1Char(',');
    if (dividerItem == 1)
        return QLatin1Char('.');
    return system.decimalPoint().at(0);
}

std::int64_t exportRowCount(const ExportSource& s)
{
    std::int64_t last = s.last;
    for (const ExportColumn& c : s.columns)
        last = std::min(last, c.count - 1);
    if (s.first < 0 || last < s.first)
        return 0;
    return last - s.first + 1;
}

bool writeExport(QIODevice& out, const ExportSource& s, ExportFormat format)
{
    LineWriter w(out);
    const char S = format.separator;
    const QChar dp = format.decimalPoint;
    auto number = [&](double v) { w.latin(platform::generalNumberText(v, dp)); };

    w.text(s.sourceLine);
    w.endLine();
    w.text(QStringLiteral("Channel:%1C (ADC Shift):%1K (ADC Scale):%1%1OUTPUT=(ADCunits - C) * K")
               .arg(QLatin1Char(S)));
    w.endLine();
    for (int n = 0; n < 3; ++n) {
        w.latin(QString::number(n + 1));
        w.byte(S);
        number(s.axisC[n]);
        w.byte(S);
        number(s.axisK[n]);
        w.endLine();
    }
    w.text(s.leftTitle);
    w.byte(S);
    w.text(QStringLiteral("<-name of Y axis"));
    w.endLine();
    w.text(s.bottomTitle);
    w.byte(S);
    w.text(QStringLiteral("<-name of X axis"));
    w.endLine();
    if (s.smoothWeight) {
        w.text(QStringLiteral("Выполнено сглаживание с весом ") + QString::number(*s.smoothWeight));
        w.endLine();
    }
    // The comment keeps its own CR LF breaks; the first CR ends its last line, the second
    // leaves an empty line before the table.
    w.raw(commentToBytes(s.comment));
    w.endLine();
    w.endLine();

    if (s.storeX) {
        w.text(s.bottomTitle);
        w.byte(S);
    }
    for (const ExportColumn& c : s.columns) {
        w.text(c.caption);
        w.byte(S);
    }
    w.endLine();

    const std::int64_t rows = exportRowCount(s);
    for (std::int64_t c = s.first; c < s.first + rows; ++c) {
        if (s.storeX) {
            number(s.x ? s.x(c) : 0.0);
            w.byte(S);
        }
        for (const ExportColumn& col : s.columns) {
            number(col.y[c]);
            w.byte(S);
        }
        w.endLine();
    }
    return w.flush();
}

QString dateTimeText(const QDateTime& t, const QLocale& locale)
{
    // The long time format of some locales names the time zone ("t"); the date line never did.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b\\s*"));
    timeFormat.replace(zone, QStringLiteral(" "));
    timeFormat = timeFormat.trimmed();
    const QDateTime local = t.toLocalTime();
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(local.time(), timeFormat);
}

QString fileSourceLine(const QString& fileName, const QDateTime& fileTime, const QLocale& locale)
{
    QString line = QStringLiteral("Данные из файла ") + fileName;
    if (fileTime.isValid())
        line += QStringLiteral("  ") + dateTimeText(fileTime, locale);
    return line;
}

QString measurementSourceLine(const QDateTime& now, const QLocale& locale)
{
    return QStringLiteral("Результат измерения ") + dateTimeText(now, locale);
}

} // namespace files
