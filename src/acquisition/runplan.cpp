#include "acquisition/runplan.h"

#include "platform/numtext.h"

#include <algorithm>
#include <limits>

namespace acq {

namespace {

std::uint32_t saturate32(std::int64_t v)
{
    return std::uint32_t(std::clamp<std::int64_t>(v, 0, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

std::uint32_t firstPollIntervalMs(std::uint32_t samples, double rateHz)
{
    if (rateHz <= 0)
        return 800;
    return saturate32(platform::roundHalfEven(double(samples) * 1000.0 / rateHz) + 800);
}

std::uint32_t pollIntervalMs(std::uint32_t expectedBytes, std::uint32_t firstIntervalMs)
{
    if (expectedBytes <= 65530)
        return firstIntervalMs;
    std::uint32_t q = expectedBytes / 65000;
    if (expectedBytes % 65530 != 0)
        ++q;
    return std::max<std::uint32_t>(1, firstIntervalMs / q / 4);
}

int receivedPercent(std::uint32_t received, std::uint32_t expected)
{
    if (expected == 0)
        return 100;
    return int(platform::roundHalfEven(double(received) * 100.0 / double(expected)));
}

QString receivedText(std::uint32_t received, std::uint32_t expected)
{
    return QStringLiteral("Принято %1 %").arg(receivedPercent(received, expected));
}

QString minutesSecondsText(std::int32_t seconds)
{
    return QString::asprintf("%.2d:%.2d", int(seconds / 60), int(seconds % 60));
}

Progress progressAt(std::uint32_t waitMs, std::uint32_t elapsedMs)
{
    Progress p;
    p.totalS = std::int32_t(platform::roundHalfEven(double(waitMs) / 1000.0));
    p.elapsedS = std::int32_t(elapsedMs / 1000);
    p.remainingS = p.totalS - p.elapsedS;
    if (p.totalS > 0) {
        p.percent = int(std::int64_t(p.elapsedS) * 100 / p.totalS);
        p.barPosition = std::int64_t(waitMs) * p.elapsedS / p.totalS;
    } else {
        p.percent = 100;
        p.barPosition = waitMs;
    }
    p.finished = p.barPosition >= std::int64_t(waitMs);
    return p;
}

std::optional<MemoryHeader> parseMemoryHeader(const QByteArray& block0)
{
    if (block0.size() < 8)
        return std::nullopt;
    const auto b = [&](int i) { return std::uint8_t(block0[i]); };
    MemoryHeader h;
    h.channels = ChannelSet::fromMask(b(0));
    h.samples = std::uint32_t(b(1)) | std::uint32_t(b(2)) << 8 | std::uint32_t(b(3)) << 16;
    h.frequencyIndex = b(4);
    h.rangeIndex = b(5);
    if (!frequencyAt(h.frequencyIndex) || !rangeAt(h.rangeIndex))
        return std::nullopt;
    return h;
}

BlockStep memoryBlockStep(std::uint8_t readBlock, std::uint32_t received, std::uint32_t expected,
                          std::uint32_t payloadBytes)
{
    BlockStep s;
    // The block that brings the last byte expected ends the read: asking for the blocks after it
    // would only wait for data that is not there.
    if (std::uint64_t(received) + payloadBytes >= expected) {
        s.take = expected > received ? expected - received : 0;
        s.nextBlock = kReadBlockComplete;
    } else {
        s.take = payloadBytes;
        s.nextBlock = std::uint8_t(readBlock + 1);
    }
    s.finished = s.nextBlock >= kMemoryBlocks;
    return s;
}

std::optional<std::int64_t> externalStartDelayMs(const QByteArray& reply)
{
    if (reply.size() != 2)
        return std::nullopt;
    return (std::int64_t(std::uint8_t(reply[1])) * 256 + std::uint8_t(reply[0])) * 10;
}

QString startTimeText(const QDateTime& t, const QLocale& locale)
{
    // The locale's long time format may carry a time zone; the status bar shows the clock only.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    return locale.toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(t.time(), timeFormat.trimmed());
}

} // namespace acq
