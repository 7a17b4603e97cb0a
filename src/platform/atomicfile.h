#pragma once

// The one way this program replaces a file the operator keeps: measurement files, exports, the
// settings and calibration files. The new contents go to a temporary file beside the target,
// which is flushed, synced and closed with every step checked, and only then renamed over the
// target, so that a full disk, a size limit or a kill at any moment leaves either the old file
// whole or the new one whole, never a mixture and never an empty file reported as saved.

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

namespace platform {

// Why a file was not replaced.
struct WriteFailure {
    enum class Step {
        Create, // the temporary file could not be made beside the target
        Write,  // writing, syncing, closing or the final rename failed
    };
    Step step = Step::Write;
    QString path;        // the file asked for
    int systemError = 0; // errno; 0 when the writer gave up on its own
    QString explanation; // the writer's own reason where no errno says it

    // The error in the operator's words (platform::fileErrorText);
    // empty when the writer gave up on its own.
    QString reason() const;
    // For the standard error box: "Cannot create file <path>: <reason>" or
    // "Unable to write to <path>: <reason>".
    QString message() const;
};

QString writeFailureReason(int systemError);

// Temporary files are named "." + target name + this mark + process id + "-" + six letters, so
// that they are hidden, sort beside their target, and can be told from anything else.
inline constexpr char kTemporaryMark[] = ".~accel3-";

// Writes the file at `path` with `fill`, which writes into the device it is given and returns
// false to give up. A symbolic link at `path` keeps pointing where it did: its target is
// replaced when it is a regular file or does not exist yet. A FIFO or a character device (a
// terminal, /dev/stdout, /dev/null), directly or behind a link, is written in place, as a pipe
// is; a FIFO with no reader fails at once. Anything else that is not a regular file (a block
// device, a socket) is refused and left as it is. A replaced file keeps its permission bits.
// Temporary files of writers that died are removed from the target's folder on the way.
// nullopt on success.
std::optional<WriteFailure> writeFileAtomically(const QString& path,
                                                const std::function<bool(QIODevice&)>& fill);
std::optional<WriteFailure> writeFileAtomically(const QString& path, QByteArrayView bytes);

// Removes the temporary files in `folder` left by writes of ours whose process has died (killed
// in the middle of a write). Returns how many went.
int removeStaleTemporaries(const QString& folder);

// For a program without an event loop of its own (axdtool): Ctrl+C, SIGTERM and SIGHUP remove
// the temporary file of a write underway before the process ends as the signal means.
void removeTemporaryOnTerminationSignals();

} // namespace platform
