#pragma once

// Walking the measurement files of a folder: the folder listing, the previous and next file, the
// comment list of all files with its search, and finding the file a list line belongs to.

#include <QLocale>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace files {

// The folder of a path, with a trailing '/'; empty for an empty path.
QString folderOf(const QString& path);
// The extension with its dot (".axd"), empty when the name has none.
QString fileExtension(const QString& path);

// The names (without folder) of the folder's entries that match the mask ("*.axd"), files and
// folders, hidden ones too. The mask matches without regard to letter case. Sorted by name
// without regard to letter case (ties in exact order), so that stepping through a folder goes
// from name to name whatever order the file system keeps them in. A missing folder lists nothing.
QStringList listFolder(const QString& folder, const QString& mask);

// Stepping from the current file. The names are compared exactly, letter case included.
struct StepResult {
    enum Kind { Found, NoMoreFiles, NotListed } kind = NotListed;
    QString name;
};
StepResult nextInListing(const QStringList& names, const QString& currentName);
// Before the first entry there is nothing: NoMoreFiles. A current file missing from the listing
// gives NotListed (which stays silent).
StepResult previousInListing(const QStringList& names, const QString& currentName);

inline constexpr char kNoMoreFilesMessage[] = "Больше нет файлов";

// Whether the file begins with the header of a measurement file. Files of other programs may
// carry the same extension.
bool isMeasurementFile(const QString& path);
// Steps from the current file to the next (forward) or previous measurement file of the folder's
// listing, passing over entries that are no measurement file; their names are added to `passed`.
// Otherwise as nextInListing and previousInListing.
StepResult stepToMeasurement(const QString& folder, const QStringList& names, const QString& currentName,
                             bool forward, QStringList& passed);
// What the status bar says of entries passed over ("" for none).
QString passedOverText(const QStringList& names);

// The comment browser's list: for every measurement file a line "=v=" + name + "=v=" and then
// the lines of its comment. Only each file's header, titles and comment are read; the data block
// is skipped. A file that cannot be opened or is too short for a header is left out. A file that
// is not a measurement file gets a line of its own, "=x=" + name + "=x=" and why it is not read,
// and the build goes on past it.
//
// The list is bounded, so that a folder of files with huge comments neither freezes the window
// nor takes the machine's memory: each comment is shown as the comment box shows it
// (commentView: its start, long lines cut), the comments together take at most totalChars, and
// after that, or once the deadline has passed, the remaining files are listed by name only (so
// they can still be opened from the list). `cut` tells that something was left out.
struct CommentListBounds {
    qsizetype fileChars = 1 << 20;
    qsizetype totalChars = 4 << 20;
    std::optional<std::chrono::steady_clock::time_point> deadline;
};
struct CommentListing {
    QStringList lines;
    QStringList foreignFiles;
    bool cut = false;
};
CommentListing buildCommentList(const QString& folder, const QStringList& names,
                                const CommentListBounds& bounds = {});
// What the operator is told after a list that left something out.
QString commentListCutMessage(const CommentListBounds& bounds);

// The name in the nearest "=v=" line at or above `line`; nullopt when there is none or when a
// foreign file's "=x=" line comes first.
std::optional<QString> fileNameForLine(const QStringList& lines, int line);

// The next line containing `text`, starting at `searchLine` and wrapping once through all lines
// (with one empty step after the last line). Without matchCase both sides are compared in upper
// case by the locale's rules, Cyrillic included. nextSearchLine is where the search after this
// one starts: below the match, or unchanged when nothing matched.
struct SearchResult {
    int line = -1; // -1: nothing found
    int nextSearchLine = 0;
};
SearchResult findInLines(const QStringList& lines, const QString& text, bool matchCase, int searchLine,
                         const QLocale& locale);

} // namespace files
