// Thousands of truncated and corrupted measurement files, made the same way on every run, fed to
// the file reader and to the comment browser's reader: neither may crash, hand out more data than
// the file holds, or reserve memory for what a corrupted header merely claims.

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <vector>

#include "common/testutil.h"
#include "files/axdfile.h"
#include "files/folderbrowse.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
#define ACCEL3_TRACK_ALLOCATIONS 1
#endif

using namespace files;

namespace {

std::atomic<bool> g_tracking{false};
std::atomic<std::size_t> g_largest{0};

#ifdef ACCEL3_TRACK_ALLOCATIONS
void onMalloc(const volatile void*, size_t n)
{
    if (!g_tracking.load(std::memory_order_relaxed))
        return;
    std::size_t seen = g_largest.load(std::memory_order_relaxed);
    while (n > seen && !g_largest.compare_exchange_weak(seen, n))
        ;
}
void onFree(const volatile void*) {}
#endif

// The largest single allocation made while f runs (0 where allocations cannot be observed).
template <class F> std::size_t largestAllocation(F&& f)
{
#ifdef ACCEL3_TRACK_ALLOCATIONS
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
    (void)installed;
#endif
    g_largest = 0;
    g_tracking = true;
    f();
    g_tracking = false;
    return g_largest;
}

QByteArray seedFile(std::mt19937& rng, int frames, int channels, int commentLength)
{
    AxdWriteSource src;
    src.header.channelMask = std::uint8_t((1 << channels) - 1);
    src.header.samplePeriodUs = 312.5;
    src.axisK = {0.0039, 0.004, 0.0041};
    src.axisC = {1, 2, 3};
    src.xAxisTitle = QStringLiteral("Время, мкс");
    src.yAxisTitle = QStringLiteral("Ускорение, см/с/с");
    std::vector<std::uint8_t> data(std::size_t(frames * channels * 2));
    for (auto& b : data)
        b = std::uint8_t(rng());
    src.data = data;
    QString comment;
    for (int i = 0; i < commentLength; ++i)
        comment += (i % 17 == 16) ? QChar('\n') : QChar(u'а' + int(rng() % 32));
    src.comment = comment;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    writeAxd(out, src);
    return out.data();
}

// Deterministic mutations of the seeds: every truncation, flipped bytes, overwritten header
// fields (dataLength above all), spliced runs of garbage.
std::vector<QByteArray> corpus()
{
    std::mt19937 rng(20240517);
    const std::vector<QByteArray> seeds = {seedFile(rng, 5, 3, 40), seedFile(rng, 40, 1, 0),
                                           seedFile(rng, 0, 2, 120), seedFile(rng, 300, 2, 500)};
    std::vector<QByteArray> out;
    for (const QByteArray& s : seeds) {
        const int step = s.size() > 400 ? 7 : 1;
        for (int n = 0; n <= s.size(); n += step)
            out.push_back(s.left(n));
    }
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    for (int i = 0; i < 4000; ++i) {
        QByteArray b = seeds[std::size_t(pick(int(seeds.size())))];
        switch (i % 6) {
        case 0: // flip a few bytes anywhere
            for (int k = 0; k < 1 + pick(4); ++k)
                b[pick(int(b.size()))] = char(rng());
            break;
        case 1: { // a dataLength near the file's size, far beyond it, or small
            const quint32 choices[] = {
                quint32(b.size()), quint32(b.size() - 60), quint32(b.size() + 1), 0xFFFFFFFFu,
                0x7FFFFFFFu,       quint32(rng()),         quint32(rng() % 256),  0};
            const quint32 v = choices[pick(8)];
            for (int k = 0; k < 4; ++k)
                b[5 + k] = char((v >> (8 * k)) & 0xFF);
            break;
        }
        case 2: // the titles lose their zero bytes
            for (int k = 65; k < b.size(); ++k)
                if (b[k] == '\0')
                    b[k] = 'x';
            break;
        case 3: // a run of garbage spliced in, then cut somewhere
            b.insert(pick(int(b.size())), QByteArray(1 + pick(64), char(rng())));
            b.truncate(pick(int(b.size()) + 1));
            break;
        case 4: // any channel mask and type word
            b[0] = char(pick(2) ? 3 : rng());
            b[1] = char(rng());
            b[4] = char(rng());
            break;
        case 5: // pure noise behind a valid type word
            b = QByteArray(pick(300), '\0');
            for (auto& c : b)
                c = char(rng());
            if (b.size() > 1) {
                b[0] = 3;
                b[1] = char(0x80);
            }
            break;
        }
        out.push_back(b);
    }
    return out;
}

} // namespace

TEST(AxdFuzz, CorruptedFilesAreReadSafelyOrRefusedClearly)
{
#ifdef ACCEL3_TRACK_ALLOCATIONS
    // The watch on allocations does see them.
    ASSERT_GE(largestAllocation([] { std::vector<char> v(1 << 20, 'x'); }), std::size_t(1 << 20));
#endif
    const std::vector<QByteArray> files = corpus();
    ASSERT_GT(files.size(), 4000u);
    int accepted = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QByteArray& bytes = files[i];
        SCOPED_TRACE(i);
        for (const DataBlock mode : {DataBlock::Read, DataBlock::Skip}) {
            AxdReadResult r;
            const std::size_t largest = largestAllocation([&] {
                QBuffer buf;
                buf.setData(bytes);
                buf.open(QIODevice::ReadOnly);
                r = readAxd(buf, mode);
            });
            // Text takes two bytes per character in memory; nothing else may outgrow the file.
            ASSERT_LE(largest, std::size_t(2 * bytes.size() + 65536));
            if (r.ok()) {
                ++accepted;
                ASSERT_LE(qint64(r.contents.header.dataLength), bytes.size());
                ASSERT_EQ(r.contents.data.size(),
                          mode == DataBlock::Read ? r.contents.header.dataLength : 0u);
                ASSERT_TRUE(r.contents.header.isMeasurement());
            } else {
                ASSERT_EQ(r.contents.data.size(), 0u);
                ASSERT_FALSE(axdStatusMessage(r.status, QStringLiteral("x.axd")).isEmpty());
            }
        }
    }
    // The corpus exercises both sides.
    EXPECT_GT(accepted, 500);
    EXPECT_LT(accepted, int(2 * files.size()) - 500);
}

TEST(AxdFuzz, CommentBrowserReadsCorruptedFoldersSafely)
{
    const std::vector<QByteArray> files = corpus();
    QTemporaryDir dir;
    // Foreign files end a list; leave them out so every pass reads many files.
    QStringList names;
    for (std::size_t i = 0; i < files.size(); i += 2) {
        if (files[i].size() >= 1 && files[i][0] != 3)
            continue;
        const QString name = QStringLiteral("f%1.axd").arg(i, 5, 10, QLatin1Char('0'));
        ASSERT_TRUE(testutil::writeAll(dir.filePath(name), files[i]));
        names << name;
    }
    const CommentListing list = buildCommentList(dir.path(), listFolder(dir.path(), QStringLiteral("*.axd")));
    EXPECT_TRUE(list.foreignFiles.isEmpty());
    // Every listed file has its own name line, in listing order, and no other line looks like one.
    QStringList listed;
    for (const QString& l : list.lines)
        if (l.startsWith(QLatin1String("=v=")))
            listed << l.mid(3, l.size() - 6);
    EXPECT_GT(listed.size(), names.size() / 2);
    for (const QString& n : listed)
        EXPECT_TRUE(names.contains(n)) << n.toStdString();
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
}
