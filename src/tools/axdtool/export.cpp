// axdtool export FILE OUT: the text or CSV export of a whole measurement file, the same bytes the
// program writes from a chart that shows every point of the file.

#include <QFileInfo>
#include <QLocale>

#include "display/chartbuild.h"
#include "files/axdfile.h"
#include "files/savefile.h"
#include "files/textexport.h"
#include "tools/axdtool/command.h"

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
    const Options opt(args,
                      {QStringLiteral("view"), QStringLiteral("units"), QStringLiteral("decimal"),
                       QStringLiteral("store-x"), QStringLiteral("smooth")},
                      {QStringLiteral("no-modulus")});
    if (!opt.ok())
        return usageError(opt.error());
    if (opt.positional().size() != 2)
        return usageError(QStringLiteral("export takes a measurement file and an output file"));
    const QString path = opt.positional()[0];
    const QString outPath = opt.positional()[1];

    display::ChartOptions o;
    const auto view = intIn(opt.value(QStringLiteral("view"), QStringLiteral("0")), 0, 3);
    if (!view)
        return usageError(QStringLiteral("--view takes 0, 1, 2 or 3"));
    o.view = *view;
    const QStringList units{QStringLiteral("us"), QStringLiteral("ms"), QStringLiteral("s")};
    o.timeUnit = int(units.indexOf(opt.value(QStringLiteral("units"), QStringLiteral("us"))));
    if (o.timeUnit < 0)
        return usageError(QStringLiteral("--units takes us, ms or s"));
    const QString decimal = opt.value(QStringLiteral("decimal"), QStringLiteral("point"));
    if (decimal != QLatin1String("comma") && decimal != QLatin1String("point"))
        return usageError(QStringLiteral("--decimal takes comma or point"));
    const QString storeX = opt.value(QStringLiteral("store-x"), QStringLiteral("yes"));
    if (storeX != QLatin1String("yes") && storeX != QLatin1String("no"))
        return usageError(QStringLiteral("--store-x takes yes or no"));
    if (opt.has(QStringLiteral("smooth"))) {
        const auto w = intIn(opt.value(QStringLiteral("smooth")), 2, 4096);
        if (!w)
            return usageError(QStringLiteral("--smooth takes a weight from 2 to 4096"));
        o.smooth = true;
        o.smoothWeight = *w;
    }
    const files::SaveFormat format = files::saveFormatFor(outPath);
    if (format != files::SaveFormat::Text && format != files::SaveFormat::Csv)
        return usageError(QStringLiteral("the output file must end in .txt or .csv"));

    const files::AxdReadResult r = files::readAxdFile(path);
    if (!r.ok())
        return fileError(path + QStringLiteral(": ") + r.message(path));
    const files::AxdContents& c = r.contents;

    // As the program builds a loaded file: its channels, its calibration, its own value title.
    o.channels = acq::ChannelSet::fromMask(c.header.channelMask);
    o.valueTitle = c.yAxisTitle;
    const display::ChartInput in = files::chartInputOf(c);

    files::ExportSource s;
    s.sourceLine = files::fileSourceLine(QFileInfo(path).absoluteFilePath(),
                                         files::fileModificationTime(path), QLocale::system());
    s.axisK = c.axisK;
    s.axisC = c.axisC;
    // The titles a complete build gives, also where a build of this file stops early.
    const display::AxisTitles titles = display::axisTitles(o, display::timeUnitText(o.timeUnit));
    s.leftTitle = titles.left.value_or(o.valueTitle);
    s.bottomTitle = titles.bottom.value_or(QString());
    if (o.smooth)
        s.smoothWeight = o.smoothWeight;
    s.comment = c.comment;
    s.storeX = storeX == QLatin1String("yes");

    // The values are computed a block of rows at a time as the export writes them, so a long
    // record costs its file's bytes and little more.
    files::streamWholeChart(s, in, o, !opt.has(QStringLiteral("no-modulus")));

    const QChar dp = decimal == QLatin1String("comma") ? QLatin1Char(',') : QLatin1Char('.');
    const files::ExportFormat f =
        format == files::SaveFormat::Csv ? files::csvFormat(dp) : files::textFormat(dp);
    const QString error =
        files::saveAtomically(outPath, [&](QIODevice& out) { return files::writeExport(out, s, f); });
    if (!error.isEmpty())
        return fileError(outPath + QStringLiteral(": ") + error);
    return kOk;
}

const Registration exportCommand{
    {QStringLiteral("export"),
     QStringLiteral("FILE OUT [--view 0..3] [--units us|ms|s] [--decimal comma|point] [--store-x yes|no]\n"
                    "         [--no-modulus] [--smooth W]"),
     QStringLiteral("Writes the text (OUT ending in .txt) or CSV (.csv) export of the whole file,\n"
                    "as the program writes it from a chart showing every point. Defaults: view 0,\n"
                    "microseconds, decimal point, the X column stored, the modulus |a| included,\n"
                    "no smoothing."),
     runExport}};

} // namespace

} // namespace axdtool
