#include "acquisition/measurementrecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

using namespace acq;

namespace {

std::vector<std::uint8_t> words(std::initializer_list<std::uint16_t> ws)
{
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : ws) {
        bytes.push_back(std::uint8_t(w & 0xFF));
        bytes.push_back(std::uint8_t(w >> 8));
    }
    return bytes;
}

} // namespace

TEST(SampleWord, DecodesTenBitSampleAndPulseBit)
{
    struct Case {
        std::uint16_t w;
        int value;
        bool pulse;
    };
    const Case cases[] = {
        {0x01FF, 511, false}, {0x0200, -512, false}, {0x03FF, -1, false}, {0x0000, 0, false},
        {0x8000, 0, true},    {0xFC00, 0, true},     {0x8005, 5, true},   {0x7E00, -512, false},
        {0x0401, 1, false},   {0x83FF, -1, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sampleValue(c.w), c.value) << std::hex << c.w;
        EXPECT_EQ(pulseBit(c.w), c.pulse) << std::hex << c.w;
        const auto bytes = words({c.w});
        EXPECT_EQ(wordAt(bytes.data()), c.w);
    }
}

TEST(SampleWord, FramesFollowTheCheckedChannels)
{
    struct Case {
        const char* name;
        std::uint8_t mask;
        std::vector<std::uint8_t> bytes;
        std::vector<DecodedFrame> frames;
    };
    auto withTail = [](std::vector<std::uint8_t> b, std::size_t extra) {
        b.insert(b.end(), extra, 0xAB);
        return b;
    };
    const std::vector<Case> cases = {
        {"X+Z, pulse from the Z word", 0b101, words({0x0005, 0x81FF}), {{{5, 511, 0}, 2, true}}},
        {"X+Z, pulse bit of X ignored", 0b101, words({0x8005, 0x01FF}), {{{5, 511, 0}, 2, false}}},
        {"XYZ, 7 bytes hold one whole frame",
         0b111,
         withTail(words({0x03FF, 0x0200, 0x8001}), 1),
         {{{-1, -512, 1}, 3, true}}},
        {"Y only, odd byte ignored",
         0b010,
         withTail(words({0x0002, 0x83FE}), 1),
         {{{2, 0, 0}, 1, false}, {{-2, 0, 0}, 1, true}}},
        {"two frames of Y+Z",
         0b110,
         words({0x0001, 0x0002, 0x0003, 0x8004}),
         {{{1, 2, 0}, 2, false}, {{3, 4, 0}, 2, true}}},
        {"no channel, no frame", 0, words({0x8001, 0x0002}), {}},
        {"bits 3..7 of the mask carry no channel", 0xF9, words({0x0007}), {{{7, 0, 0}, 1, false}}},
    };
    for (const auto& c : cases) {
        SampleStream stream;
        stream.append(std::span<const std::uint8_t>(c.bytes));
        const FrameDecoder decoder(stream, ChannelSet::fromMask(c.mask));
        ASSERT_EQ(decoder.frameCount(), std::int64_t(c.frames.size())) << c.name;
        for (std::size_t k = 0; k < c.frames.size(); ++k) {
            const DecodedFrame f = decoder.frame(std::int64_t(k));
            EXPECT_EQ(f.count, c.frames[k].count) << c.name;
            for (int i = 0; i < f.count; ++i)
                EXPECT_EQ(f.samples[std::size_t(i)], c.frames[k].samples[std::size_t(i)])
                    << c.name << " k=" << k;
            EXPECT_EQ(f.pulse, c.frames[k].pulse) << c.name << " k=" << k;
        }
    }
}

TEST(SampleWord, WholeFramesIgnoreTrailingPartialFrame)
{
    struct Case {
        std::uint64_t bytes;
        int channels;
        std::int64_t frames;
    };
    const Case cases[] = {
        {7, 3, 1},
        {6, 3, 1},
        {5, 3, 0},
        {0, 1, 0},
        {12, 0, 0},
        {12, -1, 0},
        {161061276, 3, 26843546},
        {std::uint64_t(1) << 33, 1, std::int64_t(1) << 32},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wholeFrames(c.bytes, c.channels), c.frames)
            << c.bytes << " bytes, " << c.channels << " channels";
}

TEST(Channels, MaskLettersAndSlots)
{
    const char* letters[] = {"", "X", "Y", "XY", "Z", "XZ", "YZ", "XYZ"};
    for (std::uint8_t mask = 0; mask < 8; ++mask) {
        const ChannelSet set = ChannelSet::fromMask(mask);
        EXPECT_EQ(set.mask(), mask);
        EXPECT_EQ(set.letters(), QLatin1String(letters[mask]));
        EXPECT_EQ(set.count(), set.letters().size());
        EXPECT_EQ(MeasurementRecord::countChannels(set), set.count());
        for (int slot = 0; slot < set.count(); ++slot)
            EXPECT_EQ(QChar(u'X' + set.axisOfSlot(slot)), set.letters()[slot]) << int(mask);
        EXPECT_EQ(set.axisOfSlot(set.count()), -1);
    }
    EXPECT_EQ(ChannelSet::fromMask(0xFF).mask(), 7);

    MeasurementRecord record;
    record.calcUseChnl({true, false, true});
    EXPECT_EQ(record.channelCount, 2);
}

TEST(Tables, FrequencyTextAcceptsEitherSeparator)
{
    struct Case {
        const char* text;
        QChar systemSeparator;
        std::optional<double> hz;
    };
    const Case cases[] = {
        {"12,5", u',', 12.5},     {"12,5", u'.', 12.5},        {"6,25", u'.', 6.25},
        {"12.5", u',', 12.5},     {"3200", u',', 3200.0},      {"3200", u'.', 3200.0},
        {"", u'.', std::nullopt}, {"abc", u',', std::nullopt}, {"1,2.5", u'.', std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frequencyFromText(QString::fromLatin1(c.text), c.systemSeparator), c.hz)
            << c.text << " with " << char(c.systemSeparator.unicode());

    const auto f = frequencyFromText(QStringLiteral("12,5"), QLatin1Char('.'));
    ASSERT_TRUE(f.has_value());
    EXPECT_DOUBLE_EQ(1e6 / *f, 80000.0);
}

// The item texts, values, periods and rate codes must agree with each other; a slip in one
// column would put the board at one rate and the time axis at another.
TEST(Tables, FrequencyEntriesAgree)
{
    const QStringList items = frequencyItemTexts();
    ASSERT_EQ(items.size(), int(kFrequencyTable.size()));
    for (int i = 0; i < items.size(); ++i) {
        const auto e = frequencyAt(i);
        ASSERT_TRUE(e.has_value());
        for (QChar sep : {QLatin1Char(','), QLatin1Char('.')})
            EXPECT_EQ(frequencyFromText(items[i], sep), e->hz) << i;
        EXPECT_DOUBLE_EQ(1e6 / e->hz, e->periodUs) << i;
        EXPECT_EQ(e->rateCode, 15 - i);
    }
    EXPECT_FALSE(frequencyAt(-1).has_value());
    EXPECT_FALSE(frequencyAt(10).has_value());
    EXPECT_EQ(rangeItemTexts(), QString::fromUtf8("±2g ±4g ±8g ±16g").split(u' '));
}

TEST(Calibration, ScaledToRange)
{
    struct Case {
        int rangeIndex;
        double k, c;
    };
    // Base K 0.0039 and C 12 on every axis.
    const Case cases[] = {
        {0, 0.0039, 12.0}, {1, 0.0078, 6.0},   {2, 0.0156, 3.0},
        {3, 0.0312, 1.5},  {-1, 0.0039, 12.0}, {4, 0.0039, 12.0},
    };
    for (const auto& c : cases) {
        MeasurementRecord record;
        record.baseAxisK = {0.0039, 0.0039, 0.0039};
        record.baseAxisC = {12.0, 12.0, 12.0};
        // Scaling twice must not compound: it always starts from the base values.
        record.scaleToRange(c.rangeIndex);
        record.scaleToRange(c.rangeIndex);
        for (std::size_t a = 0; a < 3; ++a) {
            EXPECT_DOUBLE_EQ(record.axisK[a], c.k) << "range " << c.rangeIndex;
            EXPECT_DOUBLE_EQ(record.axisC[a], c.c) << "range " << c.rangeIndex;
            EXPECT_EQ(record.baseAxisK[a], 0.0039);
            EXPECT_EQ(record.baseAxisC[a], 12.0);
        }
    }
}

TEST(ByteCounts, TransferAndMemoryLimits)
{
    struct TransferCase {
        std::uint32_t samples;
        int channels;
        std::uint32_t bytes;
    };
    const TransferCase transfers[] = {
        {16384, 3, 98304},
        {1000, 1, 2000},
        {26843546, 3, 161061276},
        {5, 0, 0},
        {std::numeric_limits<std::uint32_t>::max(), 3, std::numeric_limits<std::uint32_t>::max()},
    };
    for (const auto& c : transfers)
        EXPECT_EQ(transferBytes(c.samples, c.channels), c.bytes) << c.samples << " x " << c.channels;

    struct LimitCase {
        int channels;
        std::uint32_t limit;
    };
    const LimitCase limits[] = {
        {1, 131068},
        {2, 65534},
        {3, 43689},
        {0, std::numeric_limits<std::uint32_t>::max()},
    };
    for (const auto& c : limits)
        EXPECT_EQ(memorySampleLimit(c.channels), c.limit) << c.channels;
}

TEST(SampleStreamTest, AppendKeepsPositionAndReadAdvances)
{
    SampleStream s;
    s.append("abc", 3);
    s.append(QByteArray("de"));
    const std::uint8_t more[] = {'f'};
    s.append(std::span<const std::uint8_t>(more));
    EXPECT_EQ(s.size(), 6u);
    EXPECT_EQ(s.position(), 0u);

    char buf[8] = {};
    EXPECT_EQ(s.read(buf, 4), 4u);
    EXPECT_EQ(QByteArray(buf, 4), QByteArray("abcd"));
    s.append("gh", 2); // a transfer may go on appending while the stream is read
    EXPECT_EQ(s.position(), 4u);
    EXPECT_EQ(s.read(buf, 8), 4u);
    EXPECT_EQ(QByteArray(buf, 4), QByteArray("efgh"));
    EXPECT_EQ(s.read(buf, 8), 0u);

    s.seek(100);
    EXPECT_EQ(s.read(buf, 8), 0u);
    s.seek(7);
    EXPECT_EQ(s.read(buf, 8), 1u);
    EXPECT_EQ(buf[0], 'h');

    s.clear();
    EXPECT_EQ(s.size(), 0u);
    EXPECT_EQ(s.position(), 0u);
    EXPECT_EQ(s.read(buf, 8), 0u);
}

TEST(MeasurementRecordTest, TransferReplacesThePreviousContents)
{
    MeasurementRecord record;
    record.appendReceived(QByteArray("old data"));
    char skip[3];
    record.sampleStream.read(skip, 3);

    record.clearForTransfer(4);
    EXPECT_EQ(record.sampleStream.size(), 0u);
    EXPECT_EQ(record.sampleStream.position(), 0u);
    EXPECT_EQ(record.receivedBytes, 0u);
    EXPECT_EQ(record.expectedBytes, 4u);

    // The last read may bring more than was missing; all of it is kept and counted.
    record.appendReceived(QByteArray("\x01\x02\x03", 3));
    record.appendReceived(QByteArray("\x04\x05\x06", 3));
    EXPECT_EQ(record.receivedBytes, 6u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(record.sampleStream.data()), 6),
              QByteArray("\x01\x02\x03\x04\x05\x06", 6));

    record.receivedBytes = std::numeric_limits<std::uint32_t>::max() - 1;
    record.appendReceived(QByteArray("xyz"));
    EXPECT_EQ(record.receivedBytes, std::numeric_limits<std::uint32_t>::max());
}
