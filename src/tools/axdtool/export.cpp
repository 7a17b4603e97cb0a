// axdtool export FILE OUT: the text or CSV export of a whole measurement file, by default the same
// bytes the program writes from a chart that shows every point of the file.

#include <QFileInfo>
#include <QLocale>

#include "display/chartbuild.h"
#include "files/axdfile.h"
#include "files/runjournal.h"
#include "files/savefile.h"
#include "files/textexport.h"
#include "tools/axdtool/command.h"
#include "tools/axdtool/source.h"

namespace axdtool {

namespace {

// A whole number within [lo, hi], or nullopt.
std::optional<int> intIn(const QString& text, int lo, int hi)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < lo || v > hi)
        return std::nullopt;
    return v;
}

int runExport(const QStringList& args)
{
    Options opt;
    if (const auto status = parseOptions(args, QStringLiteral("export"), opt))
        return *status;
    if (opt.positional().size() != 2)
        return usageError(QStringLiteral("export takes a measurement file and an output file"), QStringLiteral("export"));
    const QString path = opt.positional()[0];
    const QString outPath = opt.positional()[1];
    auto wrong = [](const QString& message) { return usageError(message, QStringLiteral("export")); };

    display::ChartOptions o;
    const auto view = intIn(opt.value(QStringLiteral("view"), QStringLiteral("0")), 0, 3);
    if (!view)
        return wrong(QStringLiteral("--view takes 0, 1, 2 or 3"));
    o.view = *view;
    const QStringList units{QStringLiteral("us"), QStringLiteral("ms"), QStringLiteral("s")};
    o.timeUnit = int(units.indexOf(opt.value(QStringLiteral("units"), QStringLiteral("us"))));
    if (o.timeUnit < 0)
        return wrong(QStringLiteral("--units takes us, ms or s"));
    const QString decimal = opt.value(QStringLiteral("decimal"), QStringLiteral("point"));
    if (decimal != QLatin1String("comma") && decimal != QLatin1String("point"))
        return wrong(QStringLiteral("--decimal takes comma or point"));
    const QString storeX = opt.value(QStringLiteral("store-x"), QStringLiteral("yes"));
    if (storeX != QLatin1String("yes") && storeX != QLatin1String("no"))
        return wrong(QStringLiteral("--store-x takes yes or no"));
    if (opt.has(QStringLiteral("smooth"))) {
        const auto w = intIn(opt.value(QStringLiteral("smooth")), 2, 4096);
        if (!w)
            return wrong(QStringLiteral("--smooth takes a weight from 2 to 4096"));
        o.smooth = true;
        o.smoothWeight = *w;
    }
    files::SaveFormat format = files::saveFormatFor(outPath);
    if (opt.has(QStringLiteral("format"))) {
        const QString name = opt.value(QStringLiteral("format"));
        format = name == QLatin1String("txt")   ? files::SaveFormat::Text
                 : name == QLatin1String("csv") ? files::SaveFormat::Csv
                                                : files::SaveFormat::None;
        if (format == files::SaveFormat::None)
            return wrong(QStringLiteral("--format takes txt or csv"));
    } else if (outPath == kStdStream) {
        return wrong(QStringLiteral("standard output needs --format txt or --format csv"));
    }
    if (format != files::SaveFormat::Text && format != files::SaveFormat::Csv)
        return wrong(QStringLiteral("the output file must end in .txt or .csv (or give --format)"));
    const QString encoding = opt.value(QStringLiteral("encoding"), QStringLiteral("cp1251"));
    if (encoding != QLatin1String("cp1251") && encoding != QLatin1String("utf-8"))
        return wrong(QStringLiteral("--encoding takes cp1251 or utf-8"));
    const QStringList newlines{QStringLiteral("cr"), QStringLiteral("lf"), QStringLiteral("crlf")};
    const qsizetype newline = newlines.indexOf(opt.value(QStringLiteral("newline"), QStringLiteral("cr")));
    if (newline < 0)
        return wrong(QStringLiteral("--newline takes cr, lf or crlf"));

    Source source;
    if (const auto error = source.open(path))
        return fileError(*error);
    const files::AxdContents& c = source.contents();

    // As the program builds a loaded file: its channels, its calibration, its own value title.
    o.channels = acq::ChannelSet::fromMask(c.header.channelMask);
    o.valueTitle = c.yAxisTitle;
    const display::ChartInput in = source.chartInput();

    files::ExportSource s;
    // A journal left open has its start and comment only in its ".json" so far.
    const auto journal = path == kStdStream || !c.unfinishedJournal ? std::nullopt : files::readJournalEntry(path);
    if (c.unfinishedJournal)
        printError(QStringLiteral("axdtool: %1: an unfinished run journal (being written, or left by a crash): "
                                  "the frames that reached the disk\n")
                       .arg(displayName(path)));
    s.sourceLine = path == kStdStream
                       ? files::fileSourceLine(kStdStream, {}, QLocale::system())
                       : files::fileSourceLine(QFileInfo(path).absoluteFilePath(),
                                               journal ? journal->startTime : files::fileModificationTime(path),
                                               QLocale::system());
    s.axisK = c.axisK;
    s.axisC = c.axisC;
    // The titles a complete build gives, also where a build of this file stops early.
    const display::AxisTitles titles = display::axisTitles(o, display::timeUnitText(o.timeUnit));
    s.leftTitle = titles.left.value_or(o.valueTitle);
    s.bottomTitle = titles.bottom.value_or(QString());
    if (o.smooth)
        s.smoothWeight = o.smoothWeight;
    s.comment = journal ? journal->comment : c.comment;
    s.storeX = storeX == QLatin1String("yes");

    // The values are computed a block of rows at a time as the export writes them, so a long
    // record costs its file's bytes and little more.
    files::streamWholeChart(s, in, o, !opt.has(QStringLiteral("no-modulus")));

    const QChar dp = decimal == QLatin1String("comma") ? QLatin1Char(',') : QLatin1Char('.');
    files::ExportFormat f = format == files::SaveFormat::Csv ? files::csvFormat(dp) : files::textFormat(dp);
    f.utf8 = encoding == QLatin1String("utf-8");
    f.newline = QByteArrayList{"\r", "\n", "\r\n"}.at(newline);
    f.columnsOnly = opt.has(QStringLiteral("columns-only"));
    const auto write = [&](QIODevice& out) { return files::writeExport(out, s, f); };
    if (outPath == kStdStream)
        return writeStandardOutput(write);
    const QString error = files::saveAtomically(outPath, write);
    if (!error.isEmpty())
        return fileError(outPath + QStringLiteral(": ") + error);
    return kOk;
}

const Registration exportCommand{
    {QStringLiteral("export"), QStringLiteral("FILE OUT"),
     QStringLiteral("Writes the text (OUT ending in .txt) or CSV (.csv) export of the whole file,\n"
                    "as the program writes it from a chart showing every point: Windows-1251, CR line\n"
                    "ends, the header block, then the rows. --encoding, --newline and --columns-only\n"
                    "make a plain table for scripts, e.g. --format csv --encoding utf-8 --newline lf\n"
                    "--columns-only."),
     {{QStringLiteral("view"), QStringLiteral("0..3"),
       QStringLiteral("0 values/time (default), 1 ADC/samples, 2 values/samples, 3 ADC/time")},
      {QStringLiteral("units"), QStringLiteral("us|ms|s"), QStringLiteral("Time unit (default us).")},
      {QStringLiteral("decimal"), QStringLiteral("comma|point"), QStringLiteral("Decimal separator (default point).")},
      {QStringLiteral("store-x"), QStringLiteral("yes|no"), QStringLiteral("Whether the X (time) column is written (default yes).")},
      {QStringLiteral("no-modulus"), {}, QStringLiteral("Leaves out the |a| column.")},
      {QStringLiteral("smooth"), QStringLiteral("W"), QStringLiteral("Smooths with weight W (2 to 4096).")},
      {QStringLiteral("format"), QStringLiteral("txt|csv"), QStringLiteral("The format, whatever OUT ends in; needed for OUT \"-\".")},
      {QStringLiteral("encoding"), QStringLiteral("cp1251|utf-8"), QStringLiteral("Text encoding (default cp1251).")},
      {QStringLiteral("newline"), QStringLiteral("cr|lf|crlf"), QStringLiteral("Line ends (default cr).")},
      {QStringLiteral("columns-only"), {},
       QStringLiteral("Only the row of column names before the values, no separator after the last field.")}},
     runExport}};

} // namespace

} // namespace axdtool
