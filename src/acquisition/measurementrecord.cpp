#include "acquisition/measurementrecord.h"

#include "platform/numtext.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace acq {

// ---- SampleStream ------------------------------------------------------------------------

void SampleStream::clear()
{
    decltype(bytes_)().swap(bytes_);
    position_ = 0;
}

void SampleStream::reserve(std::uint64_t bytes)
{
    if (bytes > bytes_.max_size())
        return;
    try {
        bytes_.reserve(std::size_t(bytes));
    } catch (const std::bad_alloc&) {
        // Growing on demand may still succeed, or fail later with the real amount.
    }
}

void SampleStream::append(const char* bytes, std::uint64_t count)
{
    if (count == 0)
        return;
    std::memcpy(grow(count), bytes, std::size_t(count));
}

void SampleStream::append(std::span<const std::uint8_t> bytes)
{
    append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::uint8_t* SampleStream::grow(std::uint64_t count)
{
    const std::size_t old = bytes_.size();
    if (count > bytes_.max_size() - old)
        throw std::bad_alloc();
    bytes_.resize(old + std::size_t(count));
    return bytes_.data() + old;
}

std::uint64_t SampleStream::read(char* dst, std::uint64_t count)
{
    if (position_ >= bytes_.size())
        return 0;
    const std::uint64_t n = std::min<std::uint64_t>(count, bytes_.size() - position_);
    if (n > 0)
        std::memcpy(dst, bytes_.data() + position_, std::size_t(n));
    position_ += n;
    return n;
}

// ---- Channels and frames -------------------------------------------------------------------

QString ChannelSet::letters() const
{
    QString s;
    if (x)
        s += QLatin1Char('X');
    if (y)
        s += QLatin1Char('Y');
    if (z)
        s += QLatin1Char('Z');
    return s;
}

int ChannelSet::axisOfSlot(int slot) const
{
    for (int axis = AxisX; axis <= AxisZ; ++axis) {
        if (!has(axis))
            continue;
        if (slot == 0)
            return axis;
        --slot;
    }
    return -1;
}

FrameDecoder::FrameDecoder(const std::uint8_t* bytes, std::uint64_t size, ChannelSet channels)
    : bytes_(bytes), frames_(wholeFrames(size, channels.count())), channelCount_(channels.count())
{
}

DecodedFrame FrameDecoder::frame(std::int64_t k) const
{
    Q_ASSERT(k >= 0 && k < frames_);
    DecodedFrame f;
    const std::uint8_t* p = bytes_ + std::uint64_t(k) * std::uint64_t(channelCount_) * 2u;
    std::uint16_t w = 0;
    for (int i = 0; i < channelCount_; ++i, p += 2) {
        w = wordAt(p);
        f.samples[std::size_t(i)] = sampleValue(w);
    }
    f.count = channelCount_;
    f.pulse = channelCount_ > 0 && pulseBit(w);
    return f;
}

// ---- Tables ------------------------------------------------------------------------------

std::optional<FrequencyEntry> frequencyAt(int index)
{
    if (index < 0 || index >= int(kFrequencyTable.size()))
        return std::nullopt;
    return kFrequencyTable[std::size_t(index)];
}

std::optional<RangeEntry> rangeAt(int index)
{
    if (index < 0 || index >= int(kRangeTable.size()))
        return std::nullopt;
    return kRangeTable[std::size_t(index)];
}

QStringList frequencyItemTexts()
{
    QStringList items;
    for (const auto& e : kFrequencyTable)
        items << QString::fromLatin1(e.text);
    return items;
}

QStringList rangeItemTexts()
{
    QStringList items;
    for (const auto& e : kRangeTable)
        items << QString::fromUtf8(e.text);
    return items;
}

int rangeMultiplier(int rangeIndex)
{
    const auto e = rangeAt(rangeIndex);
    return e ? e->multiplier : 1;
}

std::optional<double> frequencyFromText(const QString& itemText, QChar systemDecimalSeparator)
{
    if (auto f = platform::parseNumber(itemText, systemDecimalSeparator))
        return f;
    QString swapped = itemText;
    if (swapped.contains(QLatin1Char(',')))
        swapped.replace(QLatin1Char(','), QLatin1Char('.'));
    else
        swapped.replace(QLatin1Char('.'), QLatin1Char(','));
    return platform::parseNumber(swapped, systemDecimalSeparator);
}

// ---- Calibration and counts ----------------------------------------------------------------

Calibration scaleCalibration(const Calibration& base, int rangeIndex)
{
    const double m = rangeMultiplier(rangeIndex);
    Calibration scaled;
    for (std::size_t a = 0; a < 3; ++a) {
        scaled.k[a] = base.k[a] * m;
        scaled.c[a] = base.c[a] / m;
    }
    return scaled;
}

std::uint32_t transferBytes(std::uint32_t samples, int channelCount)
{
    if (channelCount <= 0)
        return 0;
    const std::uint64_t bytes = std::uint64_t(samples) * std::uint64_t(channelCount) * 2u;
    return std::uint32_t(std::min<std::uint64_t>(bytes, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t memorySampleLimit(int channelCount)
{
    if (channelCount <= 0)
        return std::numeric_limits<std::uint32_t>::max();
    return kMemoryWords / std::uint32_t(channelCount);
}

// ---- MeasurementRecord ---------------------------------------------------------------------

QString MeasurementRecord::unsavableReason() const
{
    if (sampleStream.isEmpty())
        return QStringLiteral("Нет данных для сохранения: плата не передала ни одного кадра.");
    return {};
}

void MeasurementRecord::clearForTransfer(std::uint32_t expected)
{
    ++generation;
    sampleStream.clear();
    // Reserving up front spares a long run the repeated copies of a growing block; the
    // reservation stops at the largest run the set-up allows, so a bogus target cannot claim
    // gigabytes before a single byte has arrived.
    constexpr std::uint32_t kLargestRunBytes = 26843546u * 3u * 2u;
    sampleStream.reserve(std::min(expected, kLargestRunBytes));
    receivedBytes = 0;
    expectedBytes = expected;
}

void MeasurementRecord::appendReceived(const char* bytes, std::uint64_t count)
{
    sampleStream.append(bytes, count);
    // A board that keeps sending must not wrap the count back below the target and make the
    // transfer look unfinished again.
    const std::uint64_t total = std::uint64_t(receivedBytes) + count;
    receivedBytes = std::uint32_t(std::min<std::uint64_t>(total, std::numeric_limits<std::uint32_t>::max()));
}

bool MeasurementRecord::keepChannels(ChannelSet laidOut, ChannelSet kept)
{
    const int width = laidOut.count();
    const int keptWidth = kept.count();
    if (keptWidth == 0 || (kept.mask() & ~laidOut.mask()) != 0)
        return false;
    const std::int64_t frames = wholeFrames(sampleStream.size(), width);
    const std::uint64_t keptFrameBytes = std::uint64_t(keptWidth) * 2;
    SampleStream out;
    std::uint8_t* to = frames > 0 ? out.grow(std::uint64_t(frames) * keptFrameBytes) : nullptr;
    const std::uint8_t* from = sampleStream.data();
    for (std::int64_t k = 0; k < frames; ++k, from += 2 * width) {
        const bool pulse = pulseBit(wordAt(from + 2 * (width - 1)));
        for (int slot = 0; slot < width; ++slot) {
            if (!kept.has(laidOut.axisOfSlot(slot)))
                continue;
            to[0] = from[2 * slot];
            to[1] = from[2 * slot + 1];
            to += 2;
        }
        to[-1] = std::uint8_t((to[-1] & 0x7F) | (pulse ? 0x80 : 0));
    }
    expectedBytes = std::uint32_t(std::uint64_t(wholeFrames(expectedBytes, width)) * keptFrameBytes);
    receivedBytes = std::uint32_t(out.size());
    sampleStream = std::move(out);
    layout = kept;
    channelLetters = kept.letters();
    return true;
}

void MeasurementRecord::scaleToRange(int rangeIndex)
{
    const Calibration scaled = scaleCalibration({baseAxisK, baseAxisC}, rangeIndex);
    axisK = scaled.k;
    axisC = scaled.c;
}

} // namespace acq
