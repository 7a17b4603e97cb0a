#include "files/savefile.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>

#include "platform/atomicfile.h"

namespace files {

namespace {
const QString kSmoothingRemark = QStringLiteral(". Перед сохранением");
const QString kPartialOpening = QStringLiteral(" (неполная запись: ");
const QString kSmoothingText =
    QStringLiteral(". Перед сохранением файла ГРАФИК просматривался при сглаживании с весом ");
} // namespace

SaveFormat saveFormatFor(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).fileName().section(QLatin1Char('.'), -1);
    if (!QFileInfo(fileName).fileName().contains(QLatin1Char('.')))
        return SaveFormat::None;
    if (suffix.compare(QLatin1String("axd"), Qt::CaseInsensitive) == 0)
        return SaveFormat::Axd;
    if (suffix.compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0)
        return SaveFormat::Text;
    if (suffix.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        return SaveFormat::Csv;
    return SaveFormat::None;
}

QString saveRefusal(const SaveState& state)
{
    if (state.receiving)
        return QStringLiteral("Файл не записан: идёт приём данных с платы. Дождитесь окончания измерения "
                              "или считывания памяти.");
    if (state.frames > 0)
        return {};
    if (state.awaitingMemoryRead)
        return QStringLiteral("Файл не записан: измерение записано в память платы и ещё не считано. "
                              "Сначала считайте его кнопкой «Считать».");
    return QStringLiteral("Файл не записан: в записи нет данных.");
}

QString visibleStretchText(std::uint64_t written, std::uint64_t total)
{
    if (written >= total)
        return {};
    return QStringLiteral("Записан видимый участок: %1 из %2 кадров").arg(written).arg(total);
}

Stretch savedStretch(std::uint64_t streamBytes, int channelCount, std::int64_t firstVisible,
                     std::int64_t lastVisible)
{
    if (channelCount <= 0)
        return {};
    const std::uint64_t frameBytes = std::uint64_t(channelCount) * 2;
    const std::uint64_t frames = streamBytes / frameBytes;
    // dataLength is 32 bits: keep whole frames below that.
    const std::uint64_t maxFrames = std::numeric_limits<std::uint32_t>::max() / frameBytes;

    std::uint64_t first = 0;
    std::uint64_t count = frames;
    if (firstVisible >= 0 && lastVisible >= firstVisible) {
        first = std::uint64_t(firstVisible);
        count = std::uint64_t(lastVisible - firstVisible) + 2;
    }
    if (first >= frames)
        return {};
    count = std::min({count, frames - first, maxFrames});
    return {first * frameBytes, count * frameBytes};
}

QStringList memoLines(const QString& memoText)
{
    if (memoText.isEmpty())
        return {};
    return memoText.split(QLatin1Char('\n'));
}

QStringList withAxesLine(QStringList lines, bool loadedFromFile, const QString& channelLetters,
                         std::optional<int> smoothWeight, bool simulatedBoard, const QString& partialRemark)
{
    const QString prefix = QString::fromUtf8(kAxesLinePrefix);
    QString axesLine;
    if (!loadedFromFile) {
        axesLine = prefix + channelLetters;
        if (simulatedBoard)
            axesLine += QString::fromUtf8(kSimulatedRemark);
        axesLine += partialRemark;
        lines.removeIf([&prefix](const QString& l) { return l.contains(prefix); });
    } else {
        // The last axes line; failing that, a bare smoothing remark an earlier save left, so that
        // saving again replaces it instead of adding another.
        auto takeLast = [&lines](auto&& matches) {
            for (qsizetype i = lines.size() - 1; i >= 0; --i) {
                if (matches(lines[i]))
                    return lines.takeAt(i);
            }
            return QString();
        };
        axesLine = takeLast([&prefix](const QString& l) { return l.contains(prefix); });
        if (axesLine.isEmpty())
            axesLine = takeLast([](const QString& l) { return l.startsWith(kSmoothingRemark); });
        // The remark of the previous save goes, and with it what follows (up to 100 characters).
        const qsizetype cut = axesLine.indexOf(kSmoothingRemark);
        if (cut >= 0)
            axesLine.remove(cut, 100);
    }
    if (smoothWeight)
        axesLine += kSmoothingText + QString::number(*smoothWeight);
    // A line of nothing would only pile up empty lines, one per save.
    if (!axesLine.isEmpty())
        lines.append(axesLine);
    return lines;
}

QString partialRemark(std::uint64_t receivedFrames, std::uint64_t expectedFrames, const QString& why)
{
    return kPartialOpening +
           QStringLiteral("принято %1 из %2 кадров, %3)").arg(receivedFrames).arg(expectedFrames).arg(why);
}

std::optional<QString> partialNote(const QString& comment)
{
    const QString prefix = QString::fromUtf8(kAxesLinePrefix);
    const QStringList lines = memoLines(comment);
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        if (!lines[i].contains(prefix))
            continue;
        const QString& line = lines[i];
        const qsizetype open = line.indexOf(kPartialOpening);
        if (open < 0)
            return std::nullopt;
        // The why may hold parentheses of its own: the note ends where its own one closes.
        const qsizetype from = open + kPartialOpening.size();
        int depth = 1;
        for (qsizetype at = from; at < line.size(); ++at) {
            depth += line[at] == QLatin1Char('(') ? 1 : line[at] == QLatin1Char(')') ? -1 : 0;
            if (depth == 0)
                return line.mid(from, at - from);
        }
        return line.mid(from);
    }
    return std::nullopt;
}

QString saveAtomically(const QString& path, const std::function<bool(QIODevice&)>& write)
{
    const auto failure = platform::writeFileAtomically(path, write);
    return failure ? failure->message() : QString();
}

} // namespace files
