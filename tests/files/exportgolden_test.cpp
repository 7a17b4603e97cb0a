// The text and CSV exports of records longer than the exporter's working blocks, pinned to the
// bytes the exporter has always written. The digests below were taken from exports written
// before the export streamed its values; any change of a byte shows here.

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "common/axdtoolrun.h"
#include "common/testutil.h"
#include "files/axdfile.h"
#include "files/ui/measurementfilesui.h"
#include "filesfixture.h"

namespace {

// Lengths that are no multiple of any power-of-two block: the last block is a partial one.
constexpr int kFramesA = 2 * 8192 + 777;
constexpr int kFramesB = 9001;

// A vibration with noise on every checked channel, the pulse input toggling now and then, and
// calibrations whose products need all 17 digits (and, for B, values below 0.00001).
QByteArray recordFile(std::uint8_t mask, int frames, double period, std::array<double, 3> k,
                      std::array<double, 3> c)
{
    files::AxdWriteSource src;
    src.header.channelMask = mask;
    src.header.samplePeriodUs = period;
    src.axisK = k;
    src.axisC = c;
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("Ускорение, см/с/с");
    const int m = std::popcount(unsigned(mask));
    std::vector<std::uint8_t> data;
    data.reserve(std::size_t(frames * m * 2 + 1));
    std::uint32_t noise = 2024;
    for (int f = 0; f < frames; ++f) {
        for (int s = 0; s < m; ++s) {
            noise = noise * 1664525u + 1013904223u;
            const int v = int(400 * std::sin(0.01 * f * (s + 1))) + int(noise >> 27) - 16;
            std::uint16_t w = std::uint16_t(v & 0x3FF);
            if (s == m - 1 && (f / 37) % 3 == 0)
                w |= 0x8000;
            data.push_back(std::uint8_t(w & 0xFF));
            data.push_back(std::uint8_t(w >> 8));
        }
    }
    data.push_back(0x5A); // a trailing partial word
    src.data = data;
    src.comment = QStringLiteral("стенд\nЗаписаны оси XYZ");
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    files::writeAxd(out, src);
    return out.data();
}

// The first line names the file with its full path and date; everything after it is pinned.
std::string digestAfterFirstLine(const QByteArray& bytes)
{
    const qsizetype cr = bytes.indexOf('\r');
    return QCryptographicHash::hash(bytes.mid(cr + 1), QCryptographicHash::Sha256).toHex().left(24).toStdString();
}

struct GoldenCase {
    char file; // 'A' or 'B'
    int view;
    int unit; // 0 us, 1 ms, 2 s
    bool comma;
    bool storeX;
    bool modulus;
    int smooth; // 0: off
    bool csv;
    const char* digest;
};

const GoldenCase kCases[] = {
    {'A', 0, 0, false, true, true, 0, false, "10adfe0ce519582013a80f35"},
    {'A', 1, 1, true, false, true, 8, false, "2fea1cee7669781388085eba"},
    {'A', 2, 2, false, true, false, 0, true, "d4c7744408c40a4557b04c21"},
    {'A', 3, 1, true, true, true, 4096, true, "56a96ad6400c8eac47de9645"},
    {'B', 0, 2, true, true, true, 3, false, "13c9b68690befed186e7b627"},
    {'B', 2, 0, false, false, true, 0, true, "701c94c919b937e471abbf68"},
    {'B', 3, 0, false, true, false, 0, false, "bb0fa59cf37efa2acc6c3371"},
    {'B', 1, 1, true, true, true, 2, true, "49d6276c4aa5b76f8334b20c"},
};

QStringList toolArgs(const GoldenCase& c)
{
    static const char* const units[] = {"us", "ms", "s"};
    QStringList a{QStringLiteral("--view=%1").arg(c.view), QStringLiteral("--units=%1").arg(QLatin1String(units[c.unit])),
                  QStringLiteral("--decimal=%1").arg(c.comma ? QLatin1String("comma") : QLatin1String("point")),
                  QStringLiteral("--store-x=%1").arg(c.storeX ? QLatin1String("yes") : QLatin1String("no"))};
    if (!c.modulus)
        a << QStringLiteral("--no-modulus");
    if (c.smooth)
        a << QStringLiteral("--smooth=%1").arg(c.smooth);
    return a;
}

} // namespace

TEST_F(FilesWindowTest, LongExportsKeepTheirBytesInTheToolAndTheWindow)
{
    const QString pathA = file(QStringLiteral("a.axd"));
    const QString pathB = file(QStringLiteral("b.axd"));
    ASSERT_TRUE(testutil::writeAll(pathA, recordFile(7, kFramesA, 312.5, {0.0039 * 981, 3.8259, 1.1}, {3, -2.5, 0.75})));
    ASSERT_TRUE(testutil::writeAll(pathB, recordFile(5, kFramesB, 1000.0 / 3, {0.01, 7.3, 1e-7}, {0, 1, -1})));

    auto f = make();
    f->chartPart->rgTimGrad->setItemIndex(0); // the tool draws the pulse trace as time
    char loaded = 0;
    int n = 0;
    for (const GoldenCase& c : kCases) {
        const QStringList args = toolArgs(c);
        SCOPED_TRACE(QStringLiteral("%1 %2").arg(QLatin1Char(c.file)).arg(args.join(QLatin1Char(' '))).toStdString());
        const QString ext = c.csv ? QStringLiteral(".csv") : QStringLiteral(".txt");
        const QString fromTool = file(QStringLiteral("tool%1").arg(n) + ext);
        const QString source = c.file == 'A' ? pathA : pathB;
        const testutil::ToolRun r = testutil::axdtool(QStringList{QStringLiteral("export"), source, fromTool} + args);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        EXPECT_EQ(digestAfterFirstLine(testutil::readAll(fromTool)), std::string(c.digest));

        if (loaded != c.file) {
            dialogs.openAnswers = {source};
            f->measurementFiles->btLoadFileClick();
            loaded = c.file;
        }
        showForExport(*f, c, display::Series::X);
        const QString fromWindow = file(QStringLiteral("window%1").arg(n++) + ext);
        dialogs.saveAnswers = {fromWindow};
        f->measurementFiles->btSaveClick();
        EXPECT_EQ(digestAfterFirstLine(testutil::readAll(fromWindow)), std::string(c.digest)) << "window";
    }
}
