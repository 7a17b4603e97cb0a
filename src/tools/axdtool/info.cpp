// axdtool info FILE...: the header, calibration, titles and comment of each measurement file as
// one JSON object per line. The data block is checked but not read.

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

#include "files/axdfile.h"
#include "files/runjournal.h"
#include "tools/axdtool/command.h"
#include "tools/axdtool/source.h"

namespace axdtool {

namespace {

// The inside of a JSON string, without its quotes.
QString jsonEscaped(QStringView s)
{
    static const char hex[] = "0123456789abcdef";
    QString out;
    out.reserve(s.size() + 16);
    for (const QChar ch : s) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c < 0x20) {
                const char escape[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
                out += QLatin1StringView(escape, sizeof escape);
            } else
                out += ch;
        }
    }
    return out;
}

QString jsonString(const QString& s)
{
    return QLatin1Char('"') + jsonEscaped(s) + QLatin1Char('"');
}

// The shortest text that reads back as the same double; JSON has no NaN or infinity.
QString jsonNumber(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("null");
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString jsonArray(const std::array<double, 3>& v)
{
    return QLatin1Char('[') + jsonNumber(v[0]) + QLatin1Char(',') + jsonNumber(v[1]) + QLatin1Char(',') +
           jsonNumber(v[2]) + QLatin1Char(']');
}

// The start time (a measurement file's modification time), in local time with its offset.
QString isoTime(const QDateTime& t)
{
    if (!t.isValid())
        return QStringLiteral("null");
    const QDateTime local = t.toLocalTime();
    return jsonString(local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate));
}

// One file's object on one line; returns the exit status of that file.
int infoOf(const QString& path)
{
    Source source;
    if (const auto error = source.open(path))
        return fileError(*error);
    const files::AxdContents& c = source.contents();
    const files::AxdHeader& h = c.header;

    QString json = QStringLiteral("{");
    bool firstField = true;
    auto field = [&json, &firstField](const char* name, const QString& value) {
        if (!firstField)
            json += QLatin1Char(',');
        firstField = false;
        json += QLatin1Char('"') + QLatin1String(name) + QStringLiteral("\":") + value;
    };
    field("typeWord", QString::number(h.typeWord));
    field("channelMask", QString::number(h.channelMask));
    field("dataLength", QString::number(h.dataLength));
    field("samplePeriodUs", jsonNumber(h.samplePeriodUs));
    field("axisK", jsonArray(c.axisK));
    field("axisC", jsonArray(c.axisC));
    field("xAxisTitle", jsonString(c.xAxisTitle));
    field("yAxisTitle", jsonString(c.yAxisTitle));
    // A journal a crash left open has its start and comment only beside it, in its ".json": the
    // file's modification time is the last write, and the comment goes in when the run ends.
    QDateTime start = path == kStdStream ? QDateTime() : files::fileModificationTime(path);
    QString comment = c.comment;
    const auto entry = path == kStdStream ? std::nullopt : files::readJournalEntry(path);
    if (c.unfinishedJournal && entry) {
        start = entry->startTime;
        comment = entry->comment;
    }
    // The comment goes out piece by piece: escaped whole, a long one of control bytes would
    // take six times its size in memory at once.
    field("comment", QStringLiteral("\""));
    printOut(json);
    constexpr qsizetype kPiece = 1 << 16;
    for (qsizetype at = 0; at < comment.size(); at += kPiece)
        printOut(jsonEscaped(QStringView(comment).mid(at, kPiece)));
    json = QStringLiteral("\"");
    field("frames", QString::number(files::axdFrames(h)));
    // Standard input has no modification time to carry the start.
    field("startTime", isoTime(start));
    // A run's journal says whether it is still open (being written, or left by a crash) and
    // whether it holds less than the whole run.
    if (c.unfinishedJournal || entry) {
        field("journal", c.unfinishedJournal ? QStringLiteral("\"open\"") : QStringLiteral("\"closed\""));
        const bool partial = c.unfinishedJournal || !entry->complete || entry->dataBytes < entry->expectedBytes;
        field("partial", partial ? QStringLiteral("true") : QStringLiteral("false"));
    }
    json += QStringLiteral("}\n");
    printOut(json);
    if (c.commentCut)
        printError(QStringLiteral("axdtool: ") + files::axdCommentCutMessage(displayName(path)) + QLatin1Char('\n'));
    return kOk;
}

int runInfo(const QStringList& args)
{
    Options opt;
    if (const auto status = parseOptions(args, QStringLiteral("info"), opt))
        return *status;
    if (opt.positional().isEmpty())
        return usageError(QStringLiteral("info takes one or more files"), QStringLiteral("info"));
    // Every file is reported, also after one that fails; the status says whether any did.
    int status = kOk;
    for (const QString& path : opt.positional()) {
        if (outputFailed())
            break;
        status = std::max(status, infoOf(path));
    }
    return status;
}

const Registration info{
    {QStringLiteral("info"), QStringLiteral("FILE..."),
     QStringLiteral("Prints the file's header, calibration, axis titles, comment, whole frames\n"
                    "and start time (its modification time) as one JSON object, one line per file."),
     {},
     runInfo}};

} // namespace

} // namespace axdtool
