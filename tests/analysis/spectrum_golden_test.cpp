// The plain amplitude spectrum, with every newer analysis option left at its
// default, must stay byte for byte what it has always been: people compare
// today's reports with reports they kept. The digests below were taken from the
// program before windows, averaging and the other analyses existed.

#include <QBuffer>
#include <QCryptographicHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <memory>
#include <vector>

#include <qcustomplot.h>

#include "analysis/ui/spectrumwindow.h"
#include "analysis/ui/spinedit.h"
#include "app/ui/controls.h"
#include "common/axdtoolrun.h"
#include "common/fakedialogs.h"
#include "common/fakehelp.h"
#include "common/testutil.h"
#include "files/axdfile.h"
#include "platform/ticks.h"

namespace {

// A reproducible signal without library randomness: two tones and a small
// pseudo-random jitter from a fixed linear congruential sequence.
std::vector<int> adcSignal(int frames)
{
    std::vector<int> v(std::size_t(frames), 0);
    std::uint32_t state = 12345;
    for (int m = 0; m < frames; ++m) {
        state = state * 1664525u + 1013904223u;
        const int jitter = int(state >> 28) - 8;
        v[std::size_t(m)] = int(std::lround(180 * std::cos(2 * M_PI * 97.3 * m / 3200.0) +
                                            55 * std::sin(2 * M_PI * 401.0 * m / 3200.0))) +
                            jitter;
    }
    return v;
}

std::string digest(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(24).toStdString();
}

QByteArray graphBytes(const QCPGraph* g)
{
    QByteArray b;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it) {
        b.append(reinterpret_cast<const char*>(&it->key), sizeof(double));
        b.append(reinterpret_cast<const char*>(&it->value), sizeof(double));
    }
    return b;
}

} // namespace

TEST(SpectrumGolden, WindowReportAndChartAreUnchangedAtTheirDefaults)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    FakeHelp help;
    platform::ManualTicks ticks{5000};
    const auto adc = adcSignal(50000);
    std::vector<double> values(adc.begin(), adc.end());

    struct Case {
        const char* what;
        int step;
        int fmax; // 0: the largest
        int type;
        bool listBins;
        std::string report, chart;
    } cases[] = {
        {"first start: step 1, 35 Hz, envelope", 1, 35, 0, true, "5d951208aa78ac1488307d5c",
         "da68e4a3bda03ea6290ce9875f6814496b58133d68a47347"},
        {"step 2, the largest limit, arrows", 2, 0, 1, true, "afd738f6817f52555e784b9e",
         "c0dfc3c249d0fdfe7592e824e9a110347572b4f09950b4c2"},
        {"step 8, 100 Hz, no bins listed", 8, 100, 0, false, "3540df0de7a9c2d283ae6d27",
         "7481ba5253afa08c0650305186644aa526b259bf3127b027"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        analysis::TForm2 f(app::Services{&dialogs, &help, &ticks}, dir.filePath(QStringLiteral("app.ini")));
        f.setNyquistSource([] { return 1600; });
        while (f.seStep->value() < c.step)
            f.seStep->stepUp();
        if (c.fmax)
            f.seFmax->setValue(c.fmax);
        else
            f.seFmaxDblClick();
        f.rgSpEnv->setItemIndex(c.type);
        f.cbSp2ClipBrd->setChecked(c.listBins);
        analysis::SignalSource s;
        s.values = values.data();
        s.pointCount = qint64(values.size());
        s.firstVisibleIndex = 1000;
        s.lastVisibleIndex = 45999;
        s.samplePeriodUs = 312.5;
        s.timeUnitDivisor = 1000;
        s.xAxisTitle = QStringLiteral("Время, мс");
        s.channelCaption = QStringLiteral("X");
        s.fileName = QStringLiteral("/data/замер 1.axd");
        f.setSpectrumSource(s);
        ASSERT_TRUE(f.btSpectrumClick());
        EXPECT_EQ(digest(dialogs.clipboard.toUtf8()), c.report);
        EXPECT_EQ(digest(graphBytes(c.type == 1 ? f.SpectArrows : f.Envelope)) +
                      digest(f.lbSpectrumMax->text().toUtf8()),
                  c.chart);
    }
}

TEST(SpectrumGolden, ToolReportIsUnchangedWithoutTheNewOptions)
{
    QTemporaryDir dir;
    const auto adc = adcSignal(40000);
    std::vector<std::uint8_t> data;
    for (int v : adc) {
        const auto w = std::uint16_t(v & 0x3FF);
        data.push_back(std::uint8_t(w & 0xFF));
        data.push_back(std::uint8_t(w >> 8));
    }
    files::AxdWriteSource src;
    src.header.typeWord = 0x8003;
    src.header.channelMask = 1;
    src.header.samplePeriodUs = 312.5;
    src.axisK = {0.5, 1, 1};
    src.axisC = {3, 0, 0};
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("Ускорение, см/с/с");
    src.data = data;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    files::writeAxd(out, src);
    const QString path = dir.filePath(QStringLiteral("g.axd"));
    ASSERT_TRUE(testutil::writeAll(path, out.data()));

    struct Case {
        QStringList extra;
        std::string want;
    } cases[] = {
        {{}, "6578ffa721eedc10c0bff33f"},
        {{QStringLiteral("--step"), QStringLiteral("4"), QStringLiteral("--fmax"), QStringLiteral("120"),
          QStringLiteral("--decimal"), QStringLiteral("comma")},
         "c0bcf3156421f8162170f5e0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.extra.join(QLatin1Char(' ')).toStdString());
        const testutil::ToolRun r = testutil::axdtool(QStringList{QStringLiteral("spectrum"), path} + c.extra);
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        // The file name is the temporary folder's: leave it out of the digest.
        EXPECT_EQ(digest(QString(r.out).replace(dir.path(), QStringLiteral("DIR")).toUtf8()), c.want);
    }
}
