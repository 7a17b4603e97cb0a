#pragma once

// The one measurement the program holds: the board's raw sample bytes, kept undecoded in
// arrival order, and what is needed to turn them into calibrated samples on a time axis.

#include <QByteArray>
#include <QChar>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace acq {

// An allocator that leaves the bytes of a grown vector as they are rather than zeroing them: the
// stream grows only to be written over at once, a file's data block straight from the file.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// A growable byte stream held in one contiguous block. Appending always writes at the end and
// leaves the read position alone, so a consumer can read while a transfer keeps appending.
class SampleStream {
  public:
    std::uint64_t size() const { return bytes_.size(); }
    bool isEmpty() const { return bytes_.empty(); }
    std::uint64_t position() const { return position_; }
    const std::uint8_t* data() const { return bytes_.data(); }

    // Empties the stream and gives its memory back: the previous record may have been large.
    void clear();
    // Only a hint: a failed reservation leaves appending to grow the block as needed.
    void reserve(std::uint64_t bytes);

    void append(const char* bytes, std::uint64_t count);
    void append(const QByteArray& bytes) { append(bytes.constData(), std::uint64_t(bytes.size())); }
    void append(std::span<const std::uint8_t> bytes);
    // Grows the stream by count bytes for the caller to write at once and returns where they
    // start; what they hold until then is undefined. Throws std::bad_alloc when it cannot.
    std::uint8_t* grow(std::uint64_t count);

    // Copies up to count bytes from the position on and advances past them; returns how many
    // were copied (0 at or beyond the end).
    std::uint64_t read(char* dst, std::uint64_t count);
    // Any position is accepted; reading from beyond the end simply yields nothing.
    void seek(std::uint64_t pos) { position_ = pos; }

  private:
    std::vector<std::uint8_t, UninitialisedAllocator<std::uint8_t>> bytes_;
    std::uint64_t position_ = 0;
};

// ---- Sample words ----------------------------------------------------------------------

// Bits 0..9 of a word, a two's-complement number of ADC units (-512..511).
constexpr int sampleValue(std::uint16_t w)
{
    return int(std::uint16_t(w + 512u) & 1023u) - 512;
}

// Bit 15; meaningful only in the last word of a frame, where it carries the pulse input.
constexpr bool pulseBit(std::uint16_t w)
{
    return (w & 0x8000u) != 0;
}

inline std::uint16_t wordAt(const std::uint8_t* p)
{
    return std::uint16_t(p[0] | (p[1] << 8));
}

enum Axis { AxisX = 0, AxisY = 1, AxisZ = 2 };

// The checked channel boxes, X, Y, Z. Exchanged as the channel mask: bit 0 X, bit 1 Y, bit 2 Z.
struct ChannelSet {
    bool x = false;
    bool y = false;
    bool z = false;

    bool has(int axis) const { return axis == AxisX ? x : axis == AxisY ? y : axis == AxisZ && z; }
    std::uint8_t mask() const { return std::uint8_t((x ? 1 : 0) | (y ? 2 : 0) | (z ? 4 : 0)); }
    // Bits 3..7 carry no channel and are ignored.
    static ChannelSet fromMask(std::uint8_t mask)
    {
        return {(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0};
    }
    int count() const { return int(x) + int(y) + int(z); }
    // "XYZ", "XZ", ... in the order X, Y, Z.
    QString letters() const;
    // The axis of the i-th word of a frame (i < count()), -1 otherwise.
    int axisOfSlot(int slot) const;

    friend bool operator==(const ChannelSet&, const ChannelSet&) = default;
};

// Whole frames of channelCount words in a stream of streamBytes bytes; a trailing partial
// frame does not count, and without channels there are no frames.
constexpr std::int64_t wholeFrames(std::uint64_t streamBytes, int channelCount)
{
    return channelCount <= 0 ? 0 : std::int64_t((streamBytes / 2) / std::uint64_t(channelCount));
}

struct DecodedFrame {
    std::array<int, 3> samples{}; // the checked channels' samples, in the order X, Y, Z
    int count = 0;                // how many entries of samples are used
    bool pulse = false;           // bit 15 of the frame's last word
};

// Random access to the frames of a byte block laid out for a channel set. It does not own the
// bytes: the stream must outlive it and not grow while it is in use.
class FrameDecoder {
  public:
    FrameDecoder(const std::uint8_t* bytes, std::uint64_t size, ChannelSet channels);
    FrameDecoder(const SampleStream& stream, ChannelSet channels)
        : FrameDecoder(stream.data(), stream.size(), channels)
    {
    }

    std::int64_t frameCount() const { return frames_; }
    int channelCount() const { return channelCount_; }
    // k must be in 0..frameCount()-1.
    DecodedFrame frame(std::int64_t k) const;

  private:
    const std::uint8_t* bytes_;
    std::int64_t frames_;
    int channelCount_;
};

// ---- Frequency and range tables ------------------------------------------------------------

struct FrequencyEntry {
    const char* text; // item text of the frequency list; decimal comma as on the board's panel
    double hz;
    double periodUs;
    std::uint8_t rateCode; // accelerometer rate register value
};

inline constexpr std::array<FrequencyEntry, 10> kFrequencyTable{{
    {"3200", 3200.0, 312.5, 0x0F},
    {"1600", 1600.0, 625.0, 0x0E},
    {"800", 800.0, 1250.0, 0x0D},
    {"400", 400.0, 2500.0, 0x0C},
    {"200", 200.0, 5000.0, 0x0B},
    {"100", 100.0, 10000.0, 0x0A},
    {"50", 50.0, 20000.0, 0x09},
    {"25", 25.0, 40000.0, 0x08},
    {"12,5", 12.5, 80000.0, 0x07},
    {"6,25", 6.25, 160000.0, 0x06},
}};

struct RangeEntry {
    const char* text; // UTF-8 item text of the range list
    int fullScaleG;
    int multiplier; // K is multiplied and C divided by it
};

inline constexpr std::array<RangeEntry, 4> kRangeTable{{
    {"±2g", 2, 1},
    {"±4g", 4, 2},
    {"±8g", 8, 4},
    {"±16g", 16, 8},
}};

std::optional<FrequencyEntry> frequencyAt(int index);
std::optional<RangeEntry> rangeAt(int index);
QStringList frequencyItemTexts();
QStringList rangeItemTexts();
// 1 for an index outside the table (no range selected).
int rangeMultiplier(int rangeIndex);

// The value of a frequency item. The texts use a decimal comma whatever the system's
// separator, so the text is tried with the system separator first and, failing that, with the
// comma and point swapped.
std::optional<double> frequencyFromText(const QString& itemText, QChar systemDecimalSeparator);

// ---- Calibration -----------------------------------------------------------------------

struct Calibration {
    std::array<double, 3> k{}; // factor per axis, X, Y, Z
    std::array<double, 3> c{}; // zero shift per axis in ADC units
};

// Base (±2 g) calibration carried over to a range: K times the multiplier, C divided by it.
Calibration scaleCalibration(const Calibration& base, int rangeIndex);

// ---- Byte counts -----------------------------------------------------------------------

// Bytes a transfer of `samples` frames of channelCount channels delivers. Formed in 64 bits and
// capped at the 32-bit maximum, so an absurd request cannot wrap to a small target.
std::uint32_t transferBytes(std::uint32_t samples, int channelCount);

// The board's memory holds 131068 sample words.
inline constexpr std::uint32_t kMemoryWords = 131068;

// No channel means no memory used per sample, so there is nothing to limit: returning 0 would
// cut the operator's sample count to nothing just because the boxes are momentarily all
// unchecked. The caller's "more than the limit" test is then never true.
std::uint32_t memorySampleLimit(int channelCount);

// ---- The record ------------------------------------------------------------------------

struct MeasurementRecord {
    SampleStream sampleStream;
    double sampleRateHz = 0.0;
    double samplePeriodUs = 0.0;
    std::uint8_t channelCount = 0;
    // The channels the stream's frames are laid out for, as its producer (a run, a memory read,
    // a file) gave them; none while unknown. The channel boxes cannot tell: the operator unticks
    // one to hide its trace, and the stream read with their width would come apart.
    ChannelSet layout;
    std::uint32_t expectedBytes = 0;
    std::uint32_t receivedBytes = 0;
    std::array<double, 3> axisK{};
    std::array<double, 3> axisC{};
    std::array<double, 3> baseAxisK{};
    std::array<double, 3> baseAxisC{};
    std::array<double, 3> zeroLevels{};
    QDateTime startTime;
    bool loadedFromFile = false;
    // The samples came from the built-in simulated board: no measurement, and marked as such.
    bool simulatedBoard = false;
    QString channelLetters;
    // Moves on whenever the samples are replaced, or a run or the closing begins to replace
    // them. Work that lets the message loop run over the record (a chart build, a file read)
    // compares it to learn that its record has gone: the stream's address and size cannot
    // tell, an empty stream stays empty and a new block may take the old one's place.
    std::uint64_t generation = 0;

    // A run or read that ended before it brought everything leaves what did come (those samples
    // are real) and says why here; the mark holds only for the samples it was given to, so a
    // file load or a new run (which move the generation on) drop it without being told.
    void markIncomplete(const QString& why)
    {
        incomplete_ = why;
        incompleteGeneration_ = generation;
    }
    QString incompleteWhy() const { return generation == incompleteGeneration_ ? incomplete_ : QString(); }
    bool isPartial() const { return !incompleteWhy().isEmpty(); }
    // Why the record cannot be written to a file; empty when it can. A record without samples
    // would make a file of a header only, dated as if a measurement had been made.
    QString unsavableReason() const;

    // Empties the stream for a transfer of `expected` bytes (0 while that is not known yet).
    void clearForTransfer(std::uint32_t expected);
    void appendReceived(const char* bytes, std::uint64_t count);
    void appendReceived(const QByteArray& bytes)
    {
        appendReceived(bytes.constData(), std::uint64_t(bytes.size()));
    }
    void scaleToRange(int rangeIndex);
    // Keeps, frame by frame, only the words of the channels `kept` of a stream laid out for
    // `laidOut`; the pulse input stays with each frame's last word, and the byte counts and
    // letters follow. False, and nothing changed, when `kept` holds no channel or one that the
    // stream does not.
    bool keepChannels(ChannelSet laidOut, ChannelSet kept);

    static std::uint8_t countChannels(ChannelSet channels) { return std::uint8_t(channels.count()); }
    // CalcUseChnl
    void calcUseChnl(ChannelSet channels) { channelCount = countChannels(channels); }

  private:
    QString incomplete_;
    std::uint64_t incompleteGeneration_ = 0;
};

} // namespace acq
