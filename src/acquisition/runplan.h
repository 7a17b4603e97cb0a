#pragma once

// The arithmetic of a measurement run and of reading the board's memory back: how often the
// receive timer polls, what the progress panel shows, and how the blocks of the memory become
// the sample stream.

#include "acquisition/measurementrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace acq {

// ---- polling ---------------------------------------------------------------------------------

// The first poll comes when the run should be over, plus 800 ms for the board to finish sending:
// round(N × 1000 / F) + 800, in 64 bits so that no count can overflow it.
std::uint32_t firstPollIntervalMs(std::uint32_t samples, double rateHz);

// A transfer larger than one read is polled about four times per 65000 bytes expected:
// q = expectedBytes div 65000, plus 1 unless expectedBytes / 65530 is whole; I := (I div q) div 4.
// Up to 65530 bytes the interval stays as it is. Never below 1 ms.
std::uint32_t pollIntervalMs(std::uint32_t expectedBytes, std::uint32_t firstIntervalMs);

// round(received × 100 / expected), 100 when nothing is expected.
int receivedPercent(std::uint32_t received, std::uint32_t expected);
// "Принято %d %%"
QString receivedText(std::uint32_t received, std::uint32_t expected);

// ---- progress panel --------------------------------------------------------------------------

// Long runs (more than 2000 ms until the first poll) get the progress panel.
inline constexpr std::uint32_t kProgressPanelAboveMs = 2000;

// "%.2d:%.2d" of minutes and seconds.
QString minutesSecondsText(std::int32_t seconds);

struct Progress {
    std::int32_t totalS = 0;
    std::int32_t elapsedS = 0;
    std::int32_t remainingS = 0;
    int percent = 0;
    std::int64_t barPosition = 0;
    bool finished = false; // the bar has reached its maximum: the panel goes away
};

// The panel for a wait of waitMs (the bar's maximum), elapsedMs after the run began.
Progress progressAt(std::uint32_t waitMs, std::uint32_t elapsedMs);

// ---- memory read -----------------------------------------------------------------------------

inline constexpr int kMemoryHeaderBytes = 6;
inline constexpr int kMemoryBlocks = 8;
// readBlock once everything expected is in.
inline constexpr std::uint8_t kReadBlockComplete = 100;

// The first 6 bytes of block 0: the recording's channels, samples, frequency and range.
struct MemoryHeader {
    ChannelSet channels;
    std::uint32_t samples = 0; // 24 bits
    int frequencyIndex = 0;
    int rangeIndex = 0;
};

// The header of the answer to the request for block 0. nullopt when the answer is too short
// (under 8 bytes) or names a frequency or range the program does not have: such an answer is
// not a recording, and the block is asked for again.
std::optional<MemoryHeader> parseMemoryHeader(const QByteArray& block0);

struct BlockStep {
    std::uint32_t take = 0;     // payload bytes to append
    std::uint8_t nextBlock = 0; // the new readBlock
    bool finished = false;      // past block 7 or complete: build the chart
};

// One block of payload (header already removed) arriving as block readBlock.
BlockStep memoryBlockStep(std::uint8_t readBlock, std::uint32_t received, std::uint32_t expected,
                          std::uint32_t payloadBytes);

// The contact's moment after the start command: exactly 2 bytes, little-endian, in 10 ms units.
std::optional<std::int64_t> externalStartDelayMs(const QByteArray& reply);

// The start time as the status bar shows it: short date, then the time with seconds.
QString startTimeText(const QDateTime& t, const QLocale& locale);

} // namespace acq
