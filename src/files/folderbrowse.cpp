#include "files/folderbrowse.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "files/axdfile.h"
#include "files/commentview.h"
#include "files/cp1251.h"

namespace files {

QString folderOf(const QString& path)
{
    if (path.isEmpty())
        return {};
    QString folder = QFileInfo(path).path();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString fileExtension(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QStringList listFolder(const QString& folder, const QString& mask)
{
    if (folder.isEmpty())
        return {};
    const QDir dir(folder);
    if (!dir.exists())
        return {};
    QStringList names = dir.entryList(
        {mask}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

StepResult nextInListing(const QStringList& names, const QString& currentName)
{
    const qsizetype i = names.indexOf(currentName);
    if (i < 0 || i + 1 >= names.size())
        return {StepResult::NoMoreFiles, {}};
    return {StepResult::Found, names[i + 1]};
}

StepResult previousInListing(const QStringList& names, const QString& currentName)
{
    if (!names.isEmpty() && names.first() == currentName)
        return {StepResult::NoMoreFiles, {}};
    const qsizetype i = names.indexOf(currentName);
    if (i < 0)
        return {StepResult::NotListed, {}};
    return {StepResult::Found, names[i - 1]};
}

bool isMeasurementFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(kAxdHeaderSize);
    return head.size() == kAxdHeaderSize && decodeAxdHeader(head.constData()).isMeasurement();
}

StepResult stepToMeasurement(const QString& folder, const QStringList& names, const QString& currentName,
                             bool forward, QStringList& passed)
{
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    StepResult r{StepResult::Found, currentName};
    // Each entry is passed at most once, so a listing of foreign files ends the walk.
    for (;;) {
        r = forward ? nextInListing(names, r.name) : previousInListing(names, r.name);
        if (r.kind != StepResult::Found || isMeasurementFile(base + r.name))
            return r;
        passed.append(r.name);
    }
}

QString passedOverText(const QStringList& names)
{
    if (names.isEmpty())
        return {};
    return (names.size() == 1 ? QStringLiteral("Пропущен не файл измерения: ")
                              : QStringLiteral("Пропущены не файлы измерения: ")) +
           names.join(QStringLiteral(", "));
}

namespace {

// Header, calibration and titles of a measurement file normally fit in its first few hundred
// bytes; one read usually brings them all.
constexpr qint64 kFirstRead = 4096;

enum class Entry { Listed, Skipped, Foreign };

// `maxCommentBytes` < 0: the header only, to tell a measurement file from another.
Entry readComment(const QString& path, QString& comment, qint64 maxCommentBytes, bool& cut)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return Entry::Skipped;
    QByteArray head = f.read(kFirstRead);
    if (head.size() < kAxdHeaderSize)
        return Entry::Skipped;
    const AxdHeader header = decodeAxdHeader(head.constData());
    if (!header.isMeasurement())
        return Entry::Foreign;
    if (maxCommentBytes < 0)
        return Entry::Listed;

    // Past the calibration, then past the two zero-terminated titles; a title that runs on
    // without its zero is a damaged file, given up at once rather than searched to its end.
    qint64 pos = kAxdHeaderSize + kAxdCalibrationSize;
    for (int title = 0; title < 2; ++title) {
        const qint64 titleStart = pos;
        for (;;) {
            if (pos >= head.size()) {
                const QByteArray more = f.read(kFirstRead);
                if (more.isEmpty())
                    return Entry::Skipped;
                head += more;
            }
            const qsizetype zero = head.indexOf('\0', pos);
            if (zero >= 0 && zero - titleStart <= kAxdMaxTitleBytes) {
                pos = zero + 1;
                break;
            }
            if (head.size() - titleStart > kAxdMaxTitleBytes)
                return Entry::Skipped;
            pos = head.size();
        }
    }
    // The comment's start, as far as the file allows: a list line for each file even when the
    // comment is huge.
    const qint64 commentStart = pos + qint64(header.dataLength);
    const qint64 wholeBytes = f.size() - commentStart;
    const qint64 commentBytes = std::min(wholeBytes, maxCommentBytes);
    cut = wholeBytes > commentBytes;
    QByteArray bytes;
    if (commentBytes > 0) {
        if (commentStart < head.size())
            bytes = head.mid(commentStart, commentBytes);
        else if (!f.seek(commentStart))
            return Entry::Skipped;
        if (bytes.size() < commentBytes)
            bytes += f.read(commentBytes - bytes.size());
    }
    comment = commentFromBytes(bytes);
    return Entry::Listed;
}

} // namespace

CommentListing buildCommentList(const QString& folder, const QStringList& names, const CommentListBounds& bounds)
{
    CommentListing listing;
    const QString base = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    qsizetype room = bounds.totalChars;
    for (const QString& name : names) {
        const bool late = bounds.deadline && std::chrono::steady_clock::now() > *bounds.deadline;
        QString comment;
        bool cut = false;
        Entry e = Entry::Listed;
        if (late) {
            // Past the deadline even the headers are not read: the name is all that is listed.
            listing.cut = true;
        } else {
            // A byte or two more than is shown, to learn whether the comment goes on.
            const qint64 readBytes = room > 0 ? qint64(std::min(bounds.fileChars, room)) + 2 : -1;
            e = readComment(base + name, comment, readBytes, cut);
        }
        if (e == Entry::Foreign) {
            // Named, so that the operator knows why it has no comment, and not openable.
            listing.foreignFiles.append(name);
            listing.lines.append(QStringLiteral("=x=") + name +
                                 QStringLiteral("=x= не читается: это не файл измерения"));
            continue;
        }
        if (e == Entry::Skipped)
            continue;
        listing.lines.append(QStringLiteral("=v=") + name + QStringLiteral("=v="));
        if (room <= 0 && !late) {
            listing.cut = true;
            continue;
        }
        const CommentView view = commentView(comment, std::min(bounds.fileChars, room));
        listing.cut = listing.cut || cut || view.partial;
        room -= view.text.size();
        if (!view.text.isEmpty())
            listing.lines.append(view.text.split(QLatin1Char('\n')));
    }
    return listing;
}

QString commentListCutMessage(const CommentListBounds& bounds)
{
    return QStringLiteral("Комментарии файлов папки слишком велики: показаны только их начала (всего до %1 МБ "
                          "текста), у части файлов — только имена.")
        .arg(bounds.totalChars >> 20);
}

std::optional<QString> fileNameForLine(const QStringList& lines, int line)
{
    if (lines.isEmpty())
        return std::nullopt;
    for (int i = std::min<int>(line, int(lines.size()) - 1); i >= 0; --i) {
        const QString& l = lines[i];
        if (l.startsWith(QLatin1String("=x=")))
            return std::nullopt;
        if (l.startsWith(QLatin1String("=v="))) {
            if (l.size() < 6)
                return std::nullopt;
            return l.mid(3, l.size() - 6);
        }
    }
    return std::nullopt;
}

SearchResult findInLines(const QStringList& lines, const QString& text, bool matchCase, int searchLine,
                         const QLocale& locale)
{
    SearchResult r;
    r.nextSearchLine = searchLine;
    if (text.isEmpty())
        return r;
    auto fold = [&](const QString& s) { return matchCase ? s : locale.toUpper(s); };
    const QString needle = fold(text);
    if (!fold(lines.join(QStringLiteral("\r\n"))).contains(needle))
        return r;

    const int count = int(lines.size());
    int at = (searchLine < 0 || searchLine > count) ? 0 : searchLine;
    // count + 1 places: every line and the empty step after the last one.
    for (int step = 0; step <= count; ++step) {
        if (at < count && fold(lines[at]).contains(needle)) {
            r.line = at;
            r.nextSearchLine = at + 1 > count ? 0 : at + 1;
            return r;
        }
        ++at;
        if (at > count)
            at = 0;
    }
    return r;
}

} // namespace files
