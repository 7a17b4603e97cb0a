#include "files/textexport.h"

#include <QIODevice>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <memory>

#include "display/chartbuild.h"
#include "files/axdfile.h"
#include "files/cp1251.h"
#include "platform/numtext.h"

namespace files {

namespace {

// Rows are gathered in a buffer and written in large pieces: an export of a long record has
// tens of millions of them.
class LineWriter {
  public:
    LineWriter(QIODevice& out, bool utf8, const QByteArray& newline)
        : out_(out), buffer_(std::make_unique<char[]>(kCapacity)), utf8_(utf8), newline_(newline)
    {
    }

    // Room for n more bytes (n well below the capacity); write them, then commit the end.
    char* room(std::size_t n)
    {
        if (used_ + n > kCapacity)
            flush();
        return buffer_.get() + used_;
    }
    void commit(const char* end) { used_ = std::size_t(end - buffer_.get()); }

    void raw(const QByteArray& bytes)
    {
        // Large texts (a long comment) bypass the buffer.
        if (std::size_t(bytes.size()) > kCapacity / 2) {
            flush();
            put(bytes.constData(), bytes.size());
            return;
        }
        char* p = room(std::size_t(bytes.size()));
        std::memcpy(p, bytes.constData(), std::size_t(bytes.size()));
        commit(p + bytes.size());
    }
    void text(const QString& s) { raw(utf8_ ? s.toUtf8() : toCp1251(s)); }
    // Text whose lines are separated by '\n', with the export's own line ends.
    void lines(const QString& s)
    {
        QString t = s;
        t.replace(QLatin1Char('\n'), QString::fromLatin1(newline_));
        text(t);
    }
    void latin(const QString& s) { raw(s.toLatin1()); }
    void byte(char c)
    {
        char* p = room(1);
        *p = c;
        commit(p + 1);
    }
    void endLine()
    {
        raw(newline_);
        if (used_ >= kFlushAt)
            flush();
    }
    bool flush()
    {
        if (used_ > 0)
            put(buffer_.get(), qint64(used_));
        used_ = 0;
        return !failed_;
    }
    bool failed() const { return failed_; }

  private:
    static constexpr std::size_t kFlushAt = std::size_t(1) << 20;
    static constexpr std::size_t kCapacity = kFlushAt + (64 << 10);

    void put(const char* data, qint64 size)
    {
        qint64 done = 0;
        while (!failed_ && done < size) {
            const qint64 n = out_.write(data + done, size - done);
            if (n <= 0)
                failed_ = true;
            else
                done += n;
        }
    }

    QIODevice& out_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    bool failed_ = false;
    bool utf8_ = false;
    QByteArray newline_;
};

// The decimal separator as the single byte the export writes; one outside Latin-1 has always
// come out as '?'.
char separatorByte(QChar c)
{
    return c.unicode() < 256 ? char(c.unicode()) : '?';
}

// The lines before the column names: the source, the calibration, the titles and the comment.
void writePreamble(LineWriter& w, const ExportSource& s, ExportFormat format)
{
    const char S = format.separator;
    auto number = [&](double v) {
        char* p = w.room(platform::kGeneralNumberMaxBytes);
        w.commit(platform::writeGeneralNumber(p, v, separatorByte(format.decimalPoint)));
    };
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
    if (!format.utf8 && format.newline == "\r")
        w.raw(commentToBytes(s.comment));
    else
        w.lines(s.comment);
    w.endLine();
    w.endLine();

}

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

void streamWholeChart(ExportSource& s, const display::ChartInput& input, const display::ChartOptions& o,
                      bool withModulus)
{
    // Shared by the copies the source's functions may go through.
    struct State {
        explicit State(const display::SignalPass& p) : pass(p) {}
        display::SignalPass pass;
        std::array<int, 3> columnOf{-1, -1, -1};
        int modulusColumn = -1;
        std::vector<double> unused;
    };
    auto st = std::make_shared<State>(display::SignalPass(input, o));
    const std::int64_t points = st->pass.points();
    static const char* const captions[3] = {"X", "Y", "Z"};
    int first = -1;
    for (int a = 0; a < 3; ++a) {
        if (!o.channels.has(a))
            continue;
        if (first < 0)
            first = a;
        st->columnOf[std::size_t(a)] = int(s.columns.size());
        s.columns.push_back({QLatin1String(captions[a]), nullptr, points});
    }
    if (withModulus) {
        st->modulusColumn = int(s.columns.size());
        s.columns.push_back({QStringLiteral("IaI"), nullptr, points});
    } else {
        st->unused.resize(std::size_t(kExportBlockRows));
    }
    s.fill = [st](std::int64_t, std::int64_t count, double* const* values) {
        std::array<double*, 3> channels{};
        for (int a = 0; a < 3; ++a)
            if (st->columnOf[std::size_t(a)] >= 0)
                channels[std::size_t(a)] = values[st->columnOf[std::size_t(a)]];
        st->pass.next(count, channels, st->modulusColumn >= 0 ? values[st->modulusColumn] : st->unused.data());
    };
    if (first >= 0) {
        const display::UniformAxis axis = display::signalAxis(input, o);
        s.x = [axis](std::int64_t i) { return axis.x(i); };
        s.first = 0;
        s.last = points - 1;
    } else {
        s.first = 0;
        s.last = -1;
    }
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

bool writeExport(QIODevice& out, const ExportSource& s, ExportFormat format, const ExportProgress& progress)
{
    LineWriter w(out, format.utf8, format.newline);
    const char S = format.separator;
    const char dp = separatorByte(format.decimalPoint);
    if (!format.columnsOnly)
        writePreamble(w, s, format);
    // Every field is followed by S, the last one too; without the preamble only between fields.
    bool firstField = true;
    auto field = [&](const QString& name) {
        if (format.columnsOnly && !firstField)
            w.byte(S);
        firstField = false;
        w.text(name);
        if (!format.columnsOnly)
            w.byte(S);
    };
    if (s.storeX)
        field(s.bottomTitle);
    for (const ExportColumn& c : s.columns)
        field(c.caption);
    w.endLine();

    // A block of rows at a time: values computed by the source go into one block's worth of
    // room, so a long record costs no more memory than a short one.
    const std::int64_t rows = exportRowCount(s);
    const std::size_t nCols = s.columns.size();
    std::vector<double> computed;
    std::vector<double*> values(nCols);
    std::vector<const double*> colValues(nCols);
    const bool computes =
        std::any_of(s.columns.begin(), s.columns.end(), [](const ExportColumn& c) { return !c.y; });
    const std::size_t stride = std::size_t(std::clamp<std::int64_t>(rows, 0, kExportBlockRows));
    if (computes)
        computed.resize(nCols * stride);
    const std::size_t rowBytes = (nCols + 1) * (platform::kGeneralNumberMaxBytes + 1) + 1;
    std::int64_t done = 0;
    while (done < rows && !w.failed()) {
        const std::int64_t first = s.first + done;
        const std::int64_t count = std::min(kExportBlockRows, rows - done);
        if (computes) {
            for (std::size_t k = 0; k < nCols; ++k)
                values[k] = computed.data() + k * stride;
            if (s.fill)
                s.fill(first, count, values.data());
        }
        for (std::size_t k = 0; k < nCols; ++k)
            colValues[k] = s.columns[k].y ? s.columns[k].y + first : values[k];
        for (std::int64_t r = 0; r < count; ++r) {
            char* p = w.room(rowBytes);
            if (s.storeX) {
                p = platform::writeGeneralNumber(p, s.x ? s.x(first + r) : 0.0, dp);
                *p++ = S;
            }
            for (std::size_t k = 0; k < nCols; ++k) {
                p = platform::writeGeneralNumber(p, colValues[k][r], dp);
                *p++ = S;
            }
            if (format.columnsOnly && (s.storeX || nCols > 0))
                --p;
            w.commit(p);
            w.endLine();
        }
        done += count;
        if (progress && !progress(done, rows))
            return false; // what is written is thrown away
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
    // A file name may hold a line break or another control character; shown as "?" (as ls
    // shows them), it keeps the header one line and the lines below it where readers expect them.
    QString name = fileName;
    for (QChar& c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('?');
    }
    QString line = QStringLiteral("Данные из файла ") + name;
    if (fileTime.isValid())
        line += QStringLiteral("  ") + dateTimeText(fileTime, locale);
    return line;
}

QString measurementSourceLine(const QDateTime& now, const QLocale& locale)
{
    return QStringLiteral("Результат измерения ") + dateTimeText(now, locale);
}

} // namespace files
