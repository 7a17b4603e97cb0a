#pragma once

// The measurement file (".axd"): a packed little-endian header, the calibration the record was
// shown with, the two axis titles, the raw sample frames and the comment. The start time of the
// measurement is not inside the file; it is the file's modification time.

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "acquisition/measurementrecord.h"

namespace display {
struct ChartInput;
}

class QIODevice;

namespace files {

inline constexpr int kAxdHeaderSize = 17;
// A run's journal still being written (see files/runjournal.h) has this mark in its third fixed
// byte, and this dataLength, which no data block of whole frames has, until it is being closed.
inline constexpr std::uint32_t kAxdOpenLength = 0xFFFFFFFFu;
inline constexpr std::uint8_t kAxdJournalMark = 0x4A;
inline constexpr int kAxdCalibrationSize = 48; // axisK and axisC, three doubles each
// An axis title is a few words. A file whose title runs on past this without its zero byte is
// damaged, and searching it to the end for a zero would take as long as the file is big.
inline constexpr qint64 kAxdMaxTitleBytes = 4096;
// A comment is what an operator types. Beyond this only the start is read, so that a damaged
// or hostile file cannot take the program's memory with it.
inline constexpr qint64 kAxdMaxCommentBytes = 16 << 20;

// The first 17 bytes of a measurement file.
struct AxdHeader {
    std::uint16_t typeWord = 0x8003;
    std::uint8_t fixedByte2 = 16;
    std::uint8_t fixedByte3 = 1;
    std::uint8_t channelMask = 0;
    std::uint32_t dataLength = 0;
    double samplePeriodUs = 0.0;

    // Readers look at the low byte only: both 0x0003 and 0x8003 are measurement files.
    bool isMeasurement() const { return (typeWord & 0xFF) == 3; }
    // A file with a zero high byte makes later saves write 0x0003 as well.
    bool hasPlainTypeWord() const { return typeWord <= 0x00FF; }
    // A run's journal not yet closed: while the run goes on its length is kAxdOpenLength (the data
    // runs to the end of the file); while it is being closed the length is written and the
    // comment after the data may be cut short. Closed, it has the fixed byte of every file.
    bool isOpenJournal() const { return fixedByte3 == kAxdJournalMark; }

    friend bool operator==(const AxdHeader&, const AxdHeader&) = default;
};

void encodeAxdHeader(const AxdHeader& header, char out[kAxdHeaderSize]);
AxdHeader decodeAxdHeader(const char in[kAxdHeaderSize]);

// Everything a measurement file holds.
struct AxdContents {
    AxdHeader header;
    std::array<double, 3> axisK{};
    std::array<double, 3> axisC{};
    QString xAxisTitle;
    QString yAxisTitle;
    acq::SampleStream data; // dataLength bytes of frames; empty when the data block was skipped
    QString comment;        // lines separated by '\n'
    bool commentCut = false; // the file's comment is longer than kAxdMaxCommentBytes: only its start
    // A run's journal a crash left open: the data is what reached the disk, there is no comment.
    bool unfinishedJournal = false;
    qint64 dataOffset = -1;  // where the data block starts in the file; -1 when the read failed before it
};

// What the chart build reads of a file: its frames, sampling period and calibration. It points
// into the contents, which must outlive it.
display::ChartInput chartInputOf(const AxdContents& contents);

// Whether the file's chart has finite times and values: a positive sampling period whose rate
// (1e6 / period) is finite, and for each channel the file holds a factor and a shift that keep
// (sample - shift) * factor finite for every sample. Any other file gives NaN or infinite times,
// values and spectra.
bool axdNumbersFinite(const AxdContents& contents);

enum class AxdStatus {
    Ok,
    CannotOpen,      // "Cannot open file %s"
    NotMeasurement,  // the type byte is not 3
    StreamReadError, // the file ends before its header, titles or data block do
    TitleTooLong,    // an axis title runs past kAxdMaxTitleBytes without its zero byte
    OutOfMemory,     // the record and its chart would need more memory than the machine has free
    Abandoned,       // the progress callback asked to stop; nothing to tell the operator
};

struct AxdReadResult {
    AxdStatus status = AxdStatus::Ok;
    AxdContents contents;
    std::uint64_t bytesNeeded = 0; // with OutOfMemory: what the file would have needed
    // Why a file could not be opened or read (no such file, a folder, where it ends), told after
    // the message itself; empty when there is nothing to add.
    QString reason;

    bool ok() const { return status == AxdStatus::Ok; }
    // The message of the status, then ": " and the reason when there is one.
    QString message(const QString& path) const;
};

// What the program says about a file it refuses. The foreign-file notice goes to an ordinary
// message box, the others to the standard error box.
QString axdStatusMessage(AxdStatus status, const QString& path, std::uint64_t bytesNeeded = 0);
extern const char* const kForeignFileMessage;
// Shown after a load whose comment was cut.
QString axdCommentCutMessage(const QString& path);

// The memory a loaded file takes: its data block, plus the chart values built from it (one
// double per frame for each channel and the modulus, with their envelopes).
std::uint64_t axdMemoryNeeded(const AxdHeader& header);

enum class DataBlock {
    Read, // copy the frames into contents.data
    Skip, // only check that the file holds them and seek past
};

// Told while a large data block is read, after each piece of it: the bytes read so far and the
// block's length. The window lets its message loop run here. Returning false abandons the read.
using AxdReadProgress = std::function<bool(std::uint64_t done, std::uint64_t length)>;
// The piece of the data block read between two progress reports.
inline constexpr std::uint64_t kAxdReadPiece = 8 << 20;

// Reads a whole measurement file. Nothing is allocated for the data block before the file is
// known to hold all of it, so a corrupted dataLength cannot make the reader ask for gigabytes;
// and a file that is whole but bigger than the free memory (memoryAvailable, or what the system
// reports when not given) is refused with OutOfMemory rather than read until the allocation
// fails.
AxdReadResult readAxd(QIODevice& in, DataBlock dataBlock = DataBlock::Read,
                      std::optional<std::uint64_t> memoryAvailable = std::nullopt,
                      const AxdReadProgress& progress = {});
AxdReadResult readAxdFile(const QString& path, DataBlock dataBlock = DataBlock::Read,
                          std::optional<std::uint64_t> memoryAvailable = std::nullopt,
                          const AxdReadProgress& progress = {});

// What a save writes. dataLength is taken from data.
struct AxdWriteSource {
    AxdHeader header;
    std::array<double, 3> axisK{};
    std::array<double, 3> axisC{};
    QString xAxisTitle;
    QString yAxisTitle;
    std::span<const std::uint8_t> data;
    QString comment; // lines separated by '\n'; written with CR LF, no break after the last line
};

// False when the device refused some of the bytes.
bool writeAxd(QIODevice& out, const AxdWriteSource& source);

// Whole frames of the data block (0 without channels).
std::int64_t axdFrames(const AxdHeader& header);

// ---- Comments ----------------------------------------------------------------------------

// The comment as the memo shows it: the file's lines, split at CR LF, CR or LF, joined by '\n'.
QString commentFromBytes(QByteArrayView bytes);
// The memo's text as the file stores it: Windows-1251, lines separated by CR LF.
QByteArray commentToBytes(const QString& memoText);

// ---- The file time -----------------------------------------------------------------------

// The start time a save gives the file: local time with seconds rounded down to an even
// number, the resolution the file's date has always been kept in.
QDateTime evenSecondTime(const QDateTime& t);
// Sets the file's modification time to evenSecondTime(t). False when the file cannot take it.
bool setFileStartTime(const QString& path, const QDateTime& t);
// Invalid when the file is missing.
QDateTime fileModificationTime(const QString& path);

} // namespace files
