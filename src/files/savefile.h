#pragma once

// The rules of saving the current record: which stretch of the stream a measurement file keeps,
// the comment's axes line, and writing a file so that a failure never costs the old one.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

class QIODevice;

namespace files {

enum class SaveFormat { None, Axd, Text, Csv };

// By the extension, without regard to letter case: "A.AXD" is a measurement file.
SaveFormat saveFormatFor(const QString& fileName);

// A byte range of the sample stream.
struct Stretch {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The frames behind the visible points: point i of a channel series is frame i + 1, so the
// visible points first..last need frames first + 1 .. last + 1; frame `first` goes in front of
// them because the chart skips the first frame of every stream. A reloaded file therefore shows
// the same points. Before the chart was ever painted (first or last below 0) the whole stream is
// kept rather than nothing. The result never reaches past the stream's whole frames nor past
// what the 32-bit dataLength can say.
Stretch savedStretch(std::uint64_t streamBytes, int channelCount, std::int64_t firstVisible,
                     std::int64_t lastVisible);

// What decides whether the record may be saved or exported now.
struct SaveState {
    // A run or a memory read is still taking samples in: the record and the chart's header
    // values (channels, period, calibration) are between two measurements.
    bool receiving = false;
    // The last run recorded into the board's memory and it has not been read back yet.
    bool awaitingMemoryRead = false;
    // Whole frames the save would write (channels as the chart was built).
    std::uint64_t frames = 0;
};

// Empty when the record may be written; else the message that tells the operator why not. A
// file is never written without samples: it would stand for a measurement that is not in it.
QString saveRefusal(const SaveState& state);

// The status text after a save that kept only the zoomed stretch ("Записан видимый участок: N из
// M кадров"), or an empty text when everything was written.
QString visibleStretchText(std::uint64_t written, std::uint64_t total);

inline constexpr char kAxesLinePrefix[] = "Записаны оси ";

// The comment as a list of lines: an empty memo has none.
QStringList memoLines(const QString& memoText);

// The comment's axes line, the one line that records which channels a measurement holds and how
// its chart was smoothed when it was saved. A measurement from the board gets a fresh line
// ("Записаны оси " + channelLetters) and loses every earlier one; a measurement from a file keeps
// the last line it had (and only that one moves), without the smoothing remark of the previous
// save. The line ends the comment. A file without one gets none added, unless there is a
// smoothing remark to make.
// A record of the simulated board gets kSimulatedRemark after the letters, so that a saved
// simulated record cannot be taken for a measurement; the remark stays with the line.
inline constexpr char kSimulatedRemark[] = " (имитатор платы)";
// A record cut short gets partialRemark() after them, so that the file does not pass for a whole
// measurement when it is opened again.
QStringList withAxesLine(QStringList lines, bool loadedFromFile, const QString& channelLetters,
                         std::optional<int> smoothWeight, bool simulatedBoard = false,
                         const QString& partialRemark = {});

// " (неполная запись: принято N из M кадров, <why>)", the axes line's remark for a cut-short run.
QString partialRemark(std::uint64_t receivedFrames, std::uint64_t expectedFrames, const QString& why);
// What the last axes line of a comment says after "неполная запись: " (how much came and why);
// nullopt for a comment of a whole record.
std::optional<QString> partialNote(const QString& comment);

// Writes the file through the program's one atomic writer (platform::writeFileAtomically): a
// failed save, a full disk or a kill leaves the old file as it was. Returns an empty string on
// success, else the message for the standard error box ("Stream write error" when `write` gave
// up on its own).
QString saveAtomically(const QString& path, const std::function<bool(QIODevice&)>& write);

} // namespace files
