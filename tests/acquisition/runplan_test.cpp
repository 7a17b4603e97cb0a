#include "acquisition/runplan.h"

#include <gtest/gtest.h>

using namespace acq;

namespace {

QByteArray bytes(std::initializer_list<int> v, int padTo = 0)
{
    QByteArray b;
    for (int x : v)
        b.append(char(x));
    if (b.size() < padTo)
        b.append(QByteArray(padTo - b.size(), '\x11'));
    return b;
}

} // namespace

TEST(RunPlan, PollIntervals)
{
    struct Case {
        const char* what;
        std::uint32_t samples;
        int channels;
        double rateHz;
        std::uint32_t expectedBytes;
        std::uint32_t first;
        std::uint32_t poll;
    };
    const Case cases[] = {
        {"three channels at 3200 Hz: q = 2, 740 ms", 16384, 3, 3200, 98304, 5920, 740},
        {"one channel at 100 Hz", 1000, 1, 100, 2000, 10800, 10800},
        {"exactly 65530 bytes is not divided", 32765, 1, 3200, 65530, 11039, 11039},
        {"131060 bytes: q = 2 without the extra 1", 65530, 1, 3200, 131060, 21278, 2659},
        {"a rounding tie goes to even: 2.5 ms", 8, 3, 3200, 48, 802, 802},
        {"the largest run: no overflow", 26843546, 3, 3200, 161061276, 8389408, 846},
        {"the longest time at the lowest rate", 131068, 3, 6.25, 786408, 20971680, 403301},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(transferBytes(c.samples, c.channels), c.expectedBytes);
        EXPECT_EQ(firstPollIntervalMs(c.samples, c.rateHz), c.first);
        EXPECT_EQ(pollIntervalMs(c.expectedBytes, c.first), c.poll);
    }
    EXPECT_EQ(pollIntervalMs(65531, 800), 100u) << "65531 bytes: q = 2";
}

TEST(RunPlan, ReceivedPercent)
{
    struct Case {
        std::uint32_t received, expected;
        int percent;
    };
    const Case cases[] = {
        {1, 8, 12},   {3, 8, 38},       {960, 1920, 50}, {0, 98304, 0}, {4000000000u, 4000000000u, 100},
        {10, 0, 100}, {2000, 1920, 104}};
    for (const auto& c : cases)
        EXPECT_EQ(receivedPercent(c.received, c.expected), c.percent) << c.received << "/" << c.expected;
    EXPECT_EQ(receivedText(1, 8), QStringLiteral("Принято 12 %"));
}

TEST(RunPlan, ProgressPanel)
{
    struct Case {
        std::uint32_t waitMs, elapsedMs;
        const char *total, *elapsed, *remaining;
        int percent;
        std::int64_t bar;
        bool finished;
    };
    const Case cases[] = {
        {15800, 0, "00:16", "00:00", "00:16", 0, 0, false},
        {15800, 999, "00:16", "00:00", "00:16", 0, 0, false},
        {15800, 8000, "00:16", "00:08", "00:08", 50, 7900, false},
        {15800, 16000, "00:16", "00:16", "00:00", 100, 15800, true},
        {2500, 2000, "00:02", "00:02", "00:00", 100, 2500, true}, // 2.5 s rounds to 2
        {95000, 61000, "01:35", "01:01", "00:34", 64, 61000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.elapsedMs);
        const Progress p = progressAt(c.waitMs, c.elapsedMs);
        EXPECT_EQ(minutesSecondsText(p.totalS), QString::fromLatin1(c.total));
        EXPECT_EQ(minutesSecondsText(p.elapsedS), QString::fromLatin1(c.elapsed));
        EXPECT_EQ(minutesSecondsText(p.remainingS), QString::fromLatin1(c.remaining));
        EXPECT_EQ(p.percent, c.percent);
        EXPECT_EQ(p.barPosition, c.bar);
        EXPECT_EQ(p.finished, c.finished);
    }
}

TEST(MemoryRead, HeaderOfBlockZero)
{
    struct Case {
        const char* what;
        QByteArray block;
        bool valid;
        std::uint8_t mask;
        std::uint32_t samples;
        int frequency, range;
    };
    const Case cases[] = {
        {"X, Y, Z; 256 samples; 800 Hz; ±4 g", bytes({0x07, 0x00, 0x01, 0x00, 0x02, 0x01}, 32768), true, 7,
         256, 2, 1},
        {"X only, 16 samples, 3200 Hz, ±2 g", bytes({0x01, 0x10, 0x00, 0x00, 0x00, 0x00}, 8), true, 1, 16, 0,
         0},
        {"24-bit count, unused mask bits ignored", bytes({0xFA, 0x56, 0x34, 0x12, 0x09, 0x03}, 8), true, 2,
         0x123456, 9, 3},
        {"sample count 0", bytes({0x07, 0, 0, 0, 0, 0}, 8), true, 7, 0, 0, 0},
        {"seven bytes are too few", bytes({0x07, 0x00, 0x01, 0x00, 0x02, 0x01, 0x00}), false, 0, 0, 0, 0},
        {"nothing", {}, false, 0, 0, 0, 0},
        {"frequency index 10 is no frequency", bytes({0x07, 0x10, 0, 0, 10, 0}, 8), false, 0, 0, 0, 0},
        {"range index 4 is no range", bytes({0x07, 0x10, 0, 0, 0, 4}, 8), false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto h = parseMemoryHeader(c.block);
        ASSERT_EQ(h.has_value(), c.valid);
        if (!h)
            continue;
        EXPECT_EQ(h->channels.mask(), c.mask);
        EXPECT_EQ(h->samples, c.samples);
        EXPECT_EQ(h->frequencyIndex, c.frequency);
        EXPECT_EQ(h->rangeIndex, c.range);
    }
}

TEST(MemoryRead, BlocksBecomeTheStream)
{
    struct Case {
        const char* what;
        std::uint8_t block;
        std::uint32_t received, expected, payload;
        std::uint32_t take;
        std::uint8_t next;
        bool finished;
    };
    const Case cases[] = {
        {"a small recording ends with block 0", 0, 0, 1536, 32762, 1536, 100, true},
        {"sample count 0: nothing taken", 0, 0, 0, 32762, 0, 100, true},
        {"a block that fits is taken whole", 1, 32762, 200000, 32768, 32768, 2, false},
        {"exactly the missing bytes end the read", 0, 0, 32762, 32762, 32762, 100, true},
        {"a last block of only the bytes that remain ends it too", 2, 65530, 70000, 4470, 4470, 100, true},
        {"an empty block still counts", 3, 1000, 200000, 0, 0, 4, false},
        {"block 7 ends the read whatever is missing", 7, 100, 300000, 32768, 32768, 8, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const BlockStep s = memoryBlockStep(c.block, c.received, c.expected, c.payload);
        EXPECT_EQ(s.take, c.take);
        EXPECT_EQ(s.nextBlock, c.next);
        EXPECT_EQ(s.finished, c.finished);
    }
}

TEST(MemoryRead, ExternalStartDelay)
{
    const std::pair<QByteArray, std::optional<std::int64_t>> cases[] = {
        {bytes({0x2C, 0x01}), 3000},
        {bytes({0x00, 0x00}), 0},
        {bytes({0xFF, 0xFF}), 655350},
        {bytes({0x2C}), std::nullopt},
        {bytes({0x2C, 0x01, 0x00}), std::nullopt},
        {{}, std::nullopt},
    };
    for (const auto& [reply, ms] : cases)
        EXPECT_EQ(externalStartDelayMs(reply), ms) << reply.toHex().constData();
}
