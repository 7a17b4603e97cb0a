#include "platform/atomicfile.h"

#include "platform/fileaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString notRegularExplanation()
{
    return QStringLiteral("это не обычный файл, заменять его нельзя");
}

// Writes to an open file descriptor through a buffer of its own and remembers the first system
// error, so that a failure of any write, including the last buffered bytes, is seen and
// reported. (QSaveFile cannot be trusted with that: it has been seen to rename over the target
// after its final flush failed.)
class DescriptorDevice final : public QIODevice {
  public:
    explicit DescriptorDevice(int fd) : fd_(fd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

    bool isSequential() const override { return true; }
    int systemError() const { return error_; }

    bool flushBuffer()
    {
        qsizetype done = 0;
        while (error_ == 0 && done < buffer_.size()) {
            const ssize_t n = ::write(fd_, buffer_.constData() + done, std::size_t(buffer_.size() - done));
            if (n < 0) {
                if (errno != EINTR)
                    error_ = errno;
            } else if (n == 0) {
                error_ = EIO;
            } else {
                done += n;
            }
        }
        buffer_.clear();
        return error_ == 0;
    }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (error_ != 0)
            return -1;
        if (buffer_.size() + size > kBufferSize && !flushBuffer())
            return -1;
        if (size >= kBufferSize) {
            buffer_ = QByteArray::fromRawData(data, qsizetype(size));
            const bool ok = flushBuffer();
            return ok ? size : -1;
        }
        buffer_.append(data, qsizetype(size));
        return size;
    }

  private:
    static constexpr qsizetype kBufferSize = 1 << 16;
    int fd_;
    int error_ = 0;
    QByteArray buffer_;
};

// Where a write of `path` really lands: a symbolic link is followed to its target (also one that
// does not exist yet), so the link stays and what it points at is replaced.
QString resolvedTarget(const QString& path)
{
    QString p = QFileInfo(path).absoluteFilePath();
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo info(p);
        if (!info.isSymLink())
            return p;
        p = info.symLinkTarget();
    }
    return p;
}

bool processIsGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// The process id in a name of ours ("." + target + mark + pid + "-" + six letters), or -1.
qint64 writerOf(const QString& name, const QString& targetName)
{
    const QString mark = QString::fromLatin1(kTemporaryMark);
    const qsizetype at = name.lastIndexOf(mark);
    if (!name.startsWith(QLatin1Char('.')) || at < 2)
        return -1;
    if (!targetName.isEmpty() && name.mid(1, at - 1) != targetName)
        return -1;
    const QString tail = name.mid(at + mark.size());
    const qsizetype dash = tail.indexOf(QLatin1Char('-'));
    if (dash <= 0 || tail.size() - dash - 1 != 6)
        return -1;
    bool ok = false;
    const qint64 pid = tail.left(dash).toLongLong(&ok);
    return ok ? pid : -1;
}

int removeStale(const QString& folder, const QString& targetName)
{
    const QString pattern = QLatin1Char('.') + (targetName.isEmpty() ? QStringLiteral("*") : targetName) +
                            QString::fromLatin1(kTemporaryMark) + QLatin1Char('*');
    const QDir dir(folder);
    int removed = 0;
    for (const QString& name : dir.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System)) {
        const qint64 pid = writerOf(name, targetName);
        if (pid > 0 && processIsGone(pid) && QFile::remove(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

// The temporary file being written now, for a signal handler to remove: a process stopped by
// Ctrl+C, SIGTERM or SIGHUP in the middle of a large write would otherwise leave it behind.
char g_temporary[4096];
volatile std::sig_atomic_t g_temporarySet = 0;

void noteTemporary(const QByteArray& name)
{
    g_temporarySet = 0;
    if (std::size_t(name.size()) >= sizeof g_temporary)
        return;
    std::memcpy(g_temporary, name.constData(), std::size_t(name.size()) + 1);
    g_temporarySet = 1;
}

void forgetTemporary()
{
    g_temporarySet = 0;
}

void removeTemporaryAndDie(int sig)
{
    if (g_temporarySet)
        ::unlink(g_temporary);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// Runs `fill` into the descriptor; the system error of the first failed write, or 0.
int fillDescriptor(int fd, const std::function<bool(QIODevice&)>& fill, bool& filled)
{
    DescriptorDevice device(fd);
    filled = fill(device);
    device.flushBuffer();
    return device.systemError();
}

QString randomLetters()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString s;
    for (int i = 0; i < 6; ++i)
        s += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return s;
}

void syncFolder(const QString& folder)
{
    // Makes the rename itself durable. Not every file system can sync a folder; the file's
    // contents are safe either way, so a refusal here is no failure of the write.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

QString writeFailureReason(int systemError)
{
    return fileErrorText(systemError);
}

QString WriteFailure::reason() const
{
    return explanation.isEmpty() ? writeFailureReason(systemError) : explanation;
}

QString WriteFailure::message() const
{
    if (systemError == 0 && explanation.isEmpty())
        return QStringLiteral("Stream write error");
    const QString text = step == Step::Create ? QStringLiteral("Cannot create file %1: %2")
                                              : QStringLiteral("Unable to write to %1: %2");
    return text.arg(path, reason());
}

namespace {

// A pipe or a terminal (a FIFO, /dev/stdout, /dev/null) takes the bytes as they come: there is no
// file to replace, and renaming a regular file over the node would destroy it. It is opened
// without waiting, so that a FIFO nobody reads from fails at once instead of hanging the caller.
std::optional<WriteFailure> writeInPlace(const QString& path, const std::function<bool(QIODevice&)>& fill)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        return WriteFailure{WriteFailure::Step::Create, path, error,
                            error == ENXIO ? QStringLiteral("канал никто не читает") : QString()};
    }
    // The writes themselves may wait for a slow reader.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    bool filled = false;
    const int error = fillDescriptor(fd, fill, filled);
    ::close(fd);
    if (error != 0 || !filled)
        return WriteFailure{WriteFailure::Step::Write, path, error, {}};
    return std::nullopt;
}

bool isRegularOrMissing(const QByteArray& name)
{
    struct stat st {};
    return ::lstat(name.constData(), &st) != 0 ? errno == ENOENT : S_ISREG(st.st_mode);
}

} // namespace

std::optional<WriteFailure> writeFileAtomically(const QString& path,
                                                const std::function<bool(QIODevice&)>& fill)
{
    auto failure = [&path](WriteFailure::Step step, int error) {
        return std::optional<WriteFailure>(WriteFailure{step, path, error, {}});
    };

    // What the name finally stands for, links followed: only a regular file, or nothing yet, is
    // replaced by a new file.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))
            return writeInPlace(path, fill);
        if (S_ISDIR(st.st_mode))
            return failure(WriteFailure::Step::Write, EISDIR);
        if (!S_ISREG(st.st_mode)) {
            WriteFailure f{WriteFailure::Step::Create, path, 0, notRegularExplanation()};
            return f;
        }
    } else if (errno != ENOENT) {
        return failure(WriteFailure::Step::Create, errno);
    }

    const QString target = resolvedTarget(path);
    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    removeStale(folder, {});

    struct stat old {};
    const bool replacing = ::stat(QFile::encodeName(target).constData(), &old) == 0;
    // A new file gets the usual permissions (the umask applies); a replaced one keeps its own.
    const mode_t createMode = replacing ? 0600 : 0666;

    QString tempPath;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempPath = folder + QStringLiteral("/.") + targetInfo.fileName() + QString::fromLatin1(kTemporaryMark) +
                   QString::number(::getpid()) + QLatin1Char('-') + randomLetters();
        // A termination signal between making the file and noting it would leave it behind: the
        // signals wait until it is noted.
        const QByteArray name = QFile::encodeName(tempPath);
        sigset_t termination, previous;
        sigemptyset(&termination);
        for (const int sig : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&termination, sig);
        ::sigprocmask(SIG_BLOCK, &termination, &previous);
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        const int error = errno;
        if (fd >= 0)
            noteTemporary(name);
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        if (fd < 0 && error != EEXIST)
            return failure(WriteFailure::Step::Create, error);
    }
    if (fd < 0)
        return failure(WriteFailure::Step::Create, EEXIST);
    const QByteArray tempName = QFile::encodeName(tempPath);

    auto abandon = [&](int error) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tempName.constData());
        forgetTemporary();
        return failure(WriteFailure::Step::Write, error);
    };

    if (replacing) {
        ::fchmod(fd, old.st_mode & 07777);
        if (::geteuid() == 0)
            [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }

    bool filled = false;
    const int error = fillDescriptor(fd, fill, filled);
    if (error != 0 || !filled)
        return abandon(error);
    if (::fsync(fd) != 0)
        return abandon(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 && errno != EINTR)
        return abandon(errno);
    // Something else may have been put in the target's place while the file was written.
    if (!isRegularOrMissing(QFile::encodeName(target))) {
        abandon(0);
        WriteFailure f{WriteFailure::Step::Create, path, 0, notRegularExplanation()};
        return f;
    }
    if (::rename(tempName.constData(), QFile::encodeName(target).constData()) != 0)
        return abandon(errno);
    forgetTemporary();
    syncFolder(folder);
    return std::nullopt;
}

std::optional<WriteFailure> writeFileAtomically(const QString& path, QByteArrayView bytes)
{
    return writeFileAtomically(path, [bytes](QIODevice& out) {
        return out.write(bytes.data(), bytes.size()) == bytes.size();
    });
}

int removeStaleTemporaries(const QString& folder)
{
    return removeStale(folder, {});
}

void removeTemporaryOnTerminationSignals()
{
    struct sigaction sa {};
    sa.sa_handler = removeTemporaryAndDie;
    sigemptyset(&sa.sa_mask);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

} // namespace platform
