#include "files/runjournal.h"

#include "files/cp1251.h"
#include "platform/atomicfile.h"
#include "platform/fileaccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

constexpr char kInfoSuffix[] = ".json";
// A ".json" is a few lines; anything bigger is not ours.
constexpr qint64 kMaxInfoBytes = 16 << 20;
// What the run asked for fits a measurement file's 32-bit length.
constexpr double kMaxExpectedBytes = 4294967296.0;

QString infoPath(const QString& journalPath)
{
    return journalPath + QLatin1String(kInfoSuffix);
}

QByteArray startBytes(const JournalStart& s)
{
    AxdHeader h = s.header;
    h.dataLength = kAxdOpenLength;
    h.fixedByte3 = kAxdJournalMark;
    QByteArray out(kAxdHeaderSize + kAxdCalibrationSize, '\0');
    encodeAxdHeader(h, out.data());
    for (int i = 0; i < 3; ++i) {
        qToLittleEndian(s.axisK[std::size_t(i)], out.data() + kAxdHeaderSize + 8 * i);
        qToLittleEndian(s.axisC[std::size_t(i)], out.data() + kAxdHeaderSize + 24 + 8 * i);
    }
    out += toCp1251(s.xAxisTitle);
    out += '\0';
    out += toCp1251(s.yAxisTitle);
    out += '\0';
    return out;
}

QString stopName(JournalStop stop)
{
    switch (stop) {
    case JournalStop::Exit:
        return QStringLiteral("exit");
    case JournalStop::DiskFull:
        return QStringLiteral("diskFull");
    case JournalStop::Failed:
        return QStringLiteral("failed");
    case JournalStop::None:
        break;
    }
    return {};
}

JournalStop stopOf(const QString& name)
{
    for (const JournalStop s : {JournalStop::Exit, JournalStop::DiskFull, JournalStop::Failed})
        if (name == stopName(s))
            return s;
    return JournalStop::None;
}

QByteArray infoBytes(const JournalStart& s, bool interrupted, JournalStop stop = JournalStop::None)
{
    QJsonObject o;
    o[QStringLiteral("start")] = s.startTime.toString(Qt::ISODateWithMs);
    o[QStringLiteral("comment")] = s.comment;
    o[QStringLiteral("expectedBytes")] = double(s.expectedBytes);
    o[QStringLiteral("source")] = s.source == JournalSource::Memory ? QStringLiteral("memory") : QStringLiteral("stream");
    if (s.simulated)
        o[QStringLiteral("simulated")] = true;
    if (interrupted)
        o[QStringLiteral("interrupted")] = true;
    if (stop != JournalStop::None)
        o[QStringLiteral("stopped")] = stopName(stop);
    if (s.sequence > 0)
        o[QStringLiteral("sequence")] = double(s.sequence);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool writeFully(int fd, const char* p, std::size_t n, int& error)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        p += w;
        n -= std::size_t(w);
    }
    return true;
}

bool pwriteFully(int fd, const char* p, std::size_t n, off_t at, int& error)
{
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, p, n, at);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            error = w < 0 ? errno : EIO;
            return false;
        }
        p += w;
        n -= std::size_t(w);
        at += w;
    }
    return true;
}

bool writeLength(int fd, std::uint32_t length, int& error)
{
    char bytes[4];
    qToLittleEndian(length, bytes);
    return pwriteFully(fd, bytes, 4, 5, error);
}

// The measurement file's fixed byte in place of the journal mark: the file is closed.
bool writeClosedMark(int fd, int& error)
{
    const char fixed = 1;
    return pwriteFully(fd, &fixed, 1, 3, error);
}

void setModificationTime(int fd, const QDateTime& t)
{
    if (!t.isValid())
        return;
    const qint64 ms = t.toMSecsSinceEpoch();
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(ms / 1000);
    times[1].tv_nsec = long(ms % 1000) * 1000000L;
    ::futimens(fd, times);
}

// "не удалось создать файл …: диск доступен только для чтения": the reason continues the sentence.
QString createFailure(const QString& path, int error)
{
    QString reason = platform::fileErrorText(error);
    if (!reason.isEmpty())
        reason[0] = reason[0].toLower();
    return QStringLiteral("не удалось создать файл %1: %2").arg(QDir::toNativeSeparators(path), reason);
}

// Opens a journal file of ours: a regular file of this user, never through a link and never
// waiting on a FIFO or a device put in its place. -1 when it is anything else.
int openOwn(const QString& path, int flags)
{
    int error = 0;
    return platform::openRegularFile(path, flags, false, true, error);
}

// Writes a side file anew and renames it into place: whatever held the name (a link, a FIFO, a
// file of another user) is replaced, never written through. 0, or the errno.
int writeSideFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo target(path);
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                                 QString::fromLatin1(platform::kTemporaryMark) + QString::number(::getpid()) +
                                 QLatin1Char('-') + QString::number(QRandomGenerator::global()->bounded(900000) + 100000));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return errno;
    }
    if (fd < 0)
        return EEXIST;
    int error = 0;
    if (!writeFully(fd, bytes.constData(), std::size_t(bytes.size()), error) || ::fsync(fd) != 0) {
        error = error ? error : errno;
        ::close(fd);
        ::unlink(temp.constData());
        return error;
    }
    ::close(fd);
    if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        error = errno;
        ::unlink(temp.constData());
        return error;
    }
    return 0;
}

// The journal's ".json", read no further than any of ours could be; empty when there is none
// that is ours and well-formed.
QJsonObject readInfo(const QString& journalPath)
{
    const int fd = openOwn(infoPath(journalPath), O_RDONLY);
    if (fd < 0)
        return {};
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        bytes.append(chunk, n);
        if (bytes.size() > kMaxInfoBytes) {
            bytes.clear();
            break;
        }
    }
    ::close(fd);
    return QJsonDocument::fromJson(bytes).object();
}

// The start of a run whose ".json" is gone: its journal's name says it to the second
// ("20261207-153012-4711.axd"), its modification time otherwise.
QDateTime startFromName(const QString& path)
{
    const QFileInfo info(path);
    const QDateTime t = QDateTime::fromString(info.fileName().left(15), QStringLiteral("yyyyMMdd-HHmmss"));
    return t.isValid() ? t : info.lastModified();
}

// Where the data block begins: after the calibration and the two zero-ended titles.
qint64 dataStart(QFile& f)
{
    f.seek(kAxdHeaderSize + kAxdCalibrationSize);
    int zeros = 0;
    char c;
    while (zeros < 2 && f.getChar(&c))
        zeros += c == '\0';
    return f.pos();
}

std::uint64_t wholeFrameBytes(std::uint64_t bytes, std::uint8_t channelMask)
{
    const int channels = acq::ChannelSet::fromMask(channelMask).count();
    return std::uint64_t(acq::wholeFrames(bytes, channels)) * 2 * std::uint64_t(std::max(channels, 0));
}

// What the ".json" and the header say of how the journal ended and when it was made.
void readEnding(JournalEntry& e, const AxdHeader& h, const QJsonObject& o)
{
    e.open = h.isOpenJournal();
    e.stop = stopOf(o.value(QStringLiteral("stopped")).toString());
    const double sequence = o.value(QStringLiteral("sequence")).toDouble();
    e.sequence = sequence >= 1 && sequence < 9e15 ? std::uint64_t(sequence) : 0;
}

// The journal's .axd read only as far as its header and titles: what the list needs.
std::optional<JournalEntry> readEntry(const QString& path)
{
    const int fd = openOwn(path, O_RDONLY);
    QFile f;
    if (fd < 0)
        return std::nullopt;
    if (!f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    char head[kAxdHeaderSize];
    if (f.read(head, kAxdHeaderSize) != kAxdHeaderSize)
        return std::nullopt;
    const AxdHeader h = decodeAxdHeader(head);
    if (!h.isMeasurement())
        return std::nullopt;
    // A journal whose ".json" is gone or damaged is still listed and opened from its own file.
    const QJsonObject o = readInfo(path);
    JournalEntry e;
    e.path = path;
    e.startTime = QDateTime::fromString(o.value(QStringLiteral("start")).toString(), Qt::ISODateWithMs);
    if (!e.startTime.isValid())
        e.startTime = startFromName(path);
    e.comment = o.value(QStringLiteral("comment")).toString();
    // Anything a measurement file could not hold is not what a run asked for.
    const double expected = o.value(QStringLiteral("expectedBytes")).toDouble();
    e.expectedBytes = expected >= 0 && expected <= kMaxExpectedBytes ? std::uint64_t(expected) : 0;
    e.source = o.value(QStringLiteral("source")).toString() == QLatin1String("memory") ? JournalSource::Memory
                                                                                       : JournalSource::Stream;
    e.simulated = o.value(QStringLiteral("simulated")).toBool();
    e.channelMask = h.channelMask;
    e.samplePeriodUs = h.samplePeriodUs;
    e.complete = !h.isOpenJournal() && !o.value(QStringLiteral("interrupted")).toBool();
    readEnding(e, h, o);
    // What the file holds after its titles: the size is this, whatever the header claims.
    const std::uint64_t held = std::uint64_t(std::max<qint64>(0, f.size() - dataStart(f)));
    if (h.dataLength == kAxdOpenLength && h.isOpenJournal()) {
        // Up to the end of the file, whole frames only.
        e.dataBytes = wholeFrameBytes(held, h.channelMask);
    } else if (h.dataLength > held) {
        e.damaged = true;
        e.dataBytes = wholeFrameBytes(held, h.channelMask);
    } else {
        e.dataBytes = h.dataLength;
    }
    return e;
}

// A journal another running copy of the program is writing (it holds the file locked while it
// does; the lock goes with the process, however it ends): never offered, closed or removed here.
bool inUse(const QString& path)
{
    const int fd = openOwn(path, O_RDONLY);
    if (fd < 0)
        return false;
    const bool busy = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return busy;
}

// Whether any other open of the journal holds it: a copy writing it, or one with its record on
// screen (a shared hold). Both keep it from being removed.
bool heldByAnyone(const QString& path)
{
    const int fd = openOwn(path, O_RDONLY);
    if (fd < 0)
        return false;
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return busy;
}

bool makePrivateFolder(const QString& folder, QString& why)
{
    const QByteArray name = QFile::encodeName(folder);
    struct stat st {};
    if (!QDir().mkpath(QFileInfo(folder).absolutePath()) || (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) ||
        ::stat(name.constData(), &st) != 0) {
        QString reason = platform::fileErrorText(errno);
        if (!reason.isEmpty())
            reason[0] = reason[0].toLower();
        why = QStringLiteral("не удалось создать папку %1: %2").arg(QDir::toNativeSeparators(folder), reason);
        return false;
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        why = QStringLiteral("папка %1 не принадлежит пользователю программы").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    if ((st.st_mode & 07777) != 0700)
        ::chmod(name.constData(), 0700);
    return true;
}

} // namespace

std::int64_t JournalEntry::frames() const
{
    return acq::wholeFrames(dataBytes, acq::ChannelSet::fromMask(channelMask).count());
}

RunJournal::RunJournal() : RunJournal(Options{}) {}

RunJournal::RunJournal(Options options) : options_(options) {}

RunJournal::~RunJournal()
{
    stopWriter();
    if (fd_ >= 0)
        ::close(fd_);
}

bool RunJournal::begin(const QString& folder, const JournalStart& start, QString& why)
{
    if (active())
        finish();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    start_ = start;
    written_ = 0;
    longestSyncGap_ = {};
    failed_ = false;
    failureTold_ = false;
    failure_.clear();
    failureError_ = 0;
    stopRecorded_ = false;
    queue_.clear();
    stopping_ = false;
    path_.clear();

    // A folder only this user may enter: the journal's names are easy to guess.
    QString folderFailure;
    if (!makePrivateFolder(folder, folderFailure)) {
        why = folderFailure;
        return false;
    }
    // Made new, never through a link or over anything already there.
    const QString stem = QDir(folder).filePath(start.startTime.toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                                               QStringLiteral("-%1").arg(::getpid()));
    QString path;
    int fd = -1;
    for (int n = 1; fd < 0 && n < 1000; ++n) {
        path = n == 1 ? stem + QStringLiteral(".axd") : stem + QStringLiteral("-%1.axd").arg(n);
        fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        why = createFailure(path, errno);
        return false;
    }
    // Held until the process ends: another copy of the program started meanwhile must not take
    // this journal for one a crash left.
    ::flock(fd, LOCK_EX | LOCK_NB);
    int error = 0;
    const QByteArray head = startBytes(start);
    const bool written = writeFully(fd, head.constData(), std::size_t(head.size()), error) && ::fdatasync(fd) == 0;
    if (!written)
        error = error ? error : errno;
    else
        error = writeSideFile(infoPath(path), infoBytes(start, false));
    if (error != 0) {
        why = createFailure(written ? infoPath(path) : path, error);
        ::close(fd);
        removeJournal(path);
        return false;
    }
    fd_ = fd;
    headerBytes_ = std::uint64_t(head.size());
    path_ = path;
    thread_ = std::thread([this] { writerLoop(); });
    return true;
}

void RunJournal::append(const void* bytes, std::size_t count)
{
    if (count == 0 || !active())
        return;
    {
        std::lock_guard lock(mutex_);
        if (failed_)
            return;
        if (queue_.size() + count > options_.queueLimit) {
            failed_ = true;
            failure_ = QStringLiteral("диск не успевает записывать");
            queue_.clear();
            queue_.shrink_to_fit();
            return;
        }
        const char* p = static_cast<const char*>(bytes);
        queue_.insert(queue_.end(), p, p + count);
    }
    wake_.notify_one();
}

void RunJournal::writerLoop()
{
    using Clock = std::chrono::steady_clock;
    auto lastSync = Clock::now();
    bool dirty = false;
    std::vector<char> batch;
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock lock(mutex_);
            const auto news = [this] { return stopping_ || !queue_.empty(); };
            // Written bytes wait for their sync no longer than the interval from the last one,
            // however rarely more come.
            if (dirty)
                wake_.wait_until(lock, lastSync + options_.syncInterval, news);
            else
                wake_.wait(lock, news);
            batch.swap(queue_);
            stopping = stopping_;
            if (failed_)
                batch.clear();
        }
        int error = 0;
        bool ok = true;
        if (!batch.empty()) {
            ok = writeFully(fd_, batch.data(), batch.size(), error);
            if (ok) {
                std::lock_guard lock(mutex_);
                written_ += batch.size();
            }
            batch.clear();
            dirty = true;
        }
        if (ok && dirty && (stopping || Clock::now() - lastSync >= options_.syncInterval)) {
            if (::fdatasync(fd_) != 0) {
                ok = false;
                error = errno;
            }
            const auto now = Clock::now();
            {
                std::lock_guard lock(mutex_);
                longestSyncGap_ =
                    std::max(longestSyncGap_, std::chrono::duration_cast<std::chrono::microseconds>(now - lastSync));
            }
            lastSync = now;
            dirty = false;
        }
        if (!ok) {
            std::lock_guard lock(mutex_);
            if (!failed_) {
                failed_ = true;
                failure_ = platform::writeFailureReason(error);
                failureError_ = error;
            }
            queue_.clear();
        }
        if (stopping)
            return;
    }
}

void RunJournal::stopWriter()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool RunJournal::finish()
{
    if (!active())
        return false;
    stopWriter();
    bool ok = !failed_;
    int error = 0;
    if (ok) {
        const std::uint64_t whole = wholeFrameBytes(written_, start_.header.channelMask);
        const off_t dataEnd = off_t(headerBytes_ + whole);
        QByteArray comment = toCp1251(start_.comment);
        comment.replace("\n", "\r\n");
        const auto step = [this](int n) {
            if (options_.beforeFinishStep)
                options_.beforeFinishStep(n);
        };
        // In this order a kill or a power cut at any step leaves a file a reader takes right: an
        // open journal of whole frames up to the end of the file, until the length is on disk;
        // then one of that length, whatever of the comment came after it; then a closed file.
        // The comment never lands where it would be read as frames.
        step(0); // a partial frame at the end (a run cut in the middle of one) is not data
        ok = whole == written_ || ::ftruncate(fd_, dataEnd) == 0;
        step(1);
        ok = ok && writeLength(fd_, std::uint32_t(whole), error);
        step(2);
        ok = ok && ::fdatasync(fd_) == 0;
        step(3);
        ok = ok && pwriteFully(fd_, comment.constData(), std::size_t(comment.size()), dataEnd, error);
        step(4);
        ok = ok && ::fdatasync(fd_) == 0;
        step(5);
        ok = ok && writeClosedMark(fd_, error);
        step(6);
        ok = ok && ::fsync(fd_) == 0;
        step(7);
        if (ok)
            setModificationTime(fd_, start_.startTime);
        if (!ok) {
            failureError_ = error ? error : errno;
            failure_ = platform::writeFailureReason(failureError_);
            failed_ = true;
        }
    }
    ::close(fd_);
    fd_ = -1;
    return ok;
}

std::chrono::microseconds RunJournal::longestSyncGap()
{
    std::lock_guard lock(mutex_);
    return longestSyncGap_;
}

void RunJournal::interrupt()
{
    if (!active())
        return;
    stopWriter(); // writes and syncs what was queued
    // A journal that had stopped says why; one that worked, that the program ended.
    if (!failed_)
        stopRecorded_ = writeSideFile(infoPath(path_), infoBytes(start_, false, JournalStop::Exit)) == 0;
    recordStop();
    ::close(fd_);
    fd_ = -1;
}

void RunJournal::recordStop()
{
    JournalStop stop = JournalStop::None;
    {
        std::lock_guard lock(mutex_);
        if (!failed_ || stopRecorded_ || path_.isEmpty())
            return;
        const bool full = failureError_ == ENOSPC || failureError_ == EDQUOT || failureError_ == EFBIG;
        stop = full ? JournalStop::DiskFull : JournalStop::Failed;
    }
    // On a full disk this may fail too; it is tried again when the journal ends.
    stopRecorded_ = writeSideFile(infoPath(path_), infoBytes(start_, false, stop)) == 0;
}

QString RunJournal::takeFailure()
{
    std::lock_guard lock(mutex_);
    if (!failed_ || failureTold_)
        return {};
    failureTold_ = true;
    return failure_;
}

QString journalFolder(const QString& portableFolder)
{
    if (!portableFolder.isEmpty())
        return QDir(portableFolder).filePath(QStringLiteral("runs"));
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/accel3/runs");
}

std::vector<JournalEntry> listJournals(const QString& folder)
{
    std::vector<JournalEntry> out;
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.axd")}, QDir::Files);
    for (const QString& name : names)
        if (auto e = readEntry(QDir(folder).filePath(name))) {
            e->inUse = inUse(e->path);
            out.push_back(*e);
        }
    // The order they were made in; journals of older versions (no sequence) by their start.
    std::sort(out.begin(), out.end(), [](const JournalEntry& a, const JournalEntry& b) {
        if (a.sequence != b.sequence)
            return a.sequence > b.sequence;
        return a.startTime != b.startTime ? a.startTime > b.startTime : a.path > b.path;
    });
    return out;
}

std::vector<JournalEntry> unfinishedJournals(const QString& folder)
{
    std::vector<JournalEntry> out;
    for (JournalEntry& e : listJournals(folder)) {
        if (!e.open || e.inUse)
            continue;
        if (e.frames() == 0)
            removeJournal(e.path);
        else
            out.push_back(std::move(e));
    }
    return out;
}

std::uint64_t nextJournalSequence(const QString& folder)
{
    std::uint64_t newest = 0;
    for (const JournalEntry& e : listJournals(folder))
        newest = std::max(newest, e.sequence);
    return newest + 1;
}

std::vector<JournalEntry> pruneJournals(const QString& folder, const JournalLimits& limits, const QStringList& keep)
{
    std::vector<JournalEntry> removed;
    int runs = 0;
    std::uint64_t bytes = 0;
    for (const JournalEntry& e : listJournals(folder)) {
        const bool held = e.inUse || e.open || keep.contains(e.path);
        if (!held && e.frames() == 0) {
            removeJournal(e.path); // nothing in it to lose
            continue;
        }
        // What a damaged journal's header claims never pushes another out.
        if (e.damaged)
            continue;
        ++runs;
        bytes += e.dataBytes;
        // The newest is kept whatever its size.
        if (held || runs == 1 || (runs <= limits.keepRuns && bytes <= limits.keepBytes))
            continue;
        if (removeJournal(e.path))
            removed.push_back(e);
    }
    return removed;
}

bool journalInUse(const QString& journalPath)
{
    // Only a regular file can be a journal; nothing else is opened to find out.
    struct stat st {};
    return ::stat(QFile::encodeName(journalPath).constData(), &st) == 0 && S_ISREG(st.st_mode) && inUse(journalPath);
}

bool removeJournal(const QString& journalPath)
{
    if (heldByAnyone(journalPath))
        return false;
    QFile::remove(journalPath);
    QFile::remove(infoPath(journalPath));
    return true;
}

JournalHold::~JournalHold()
{
    release();
}

void JournalHold::hold(const QString& journalPath)
{
    release();
    fd_ = openOwn(journalPath, O_RDONLY);
    if (fd_ >= 0 && ::flock(fd_, LOCK_SH | LOCK_NB) != 0)
        release();
}

void JournalHold::release()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void closeUnfinishedJournal(const QString& journalPath)
{
    const auto e = readEntry(journalPath);
    if (!e || !e->open || inUse(journalPath))
        return;
    // The ".json" first: killed anywhere below, the journal is still known as left unfinished.
    JournalStart s;
    s.startTime = e->startTime;
    s.comment = e->comment;
    s.expectedBytes = e->expectedBytes;
    s.source = e->source;
    s.simulated = e->simulated;
    s.sequence = e->sequence;
    writeSideFile(infoPath(journalPath), infoBytes(s, true, e->stop));
    const int fd = openOwn(journalPath, O_RDWR);
    QFile f;
    if (fd < 0)
        return;
    if (!f.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
    char head[kAxdHeaderSize];
    if (f.read(head, kAxdHeaderSize) != kAxdHeaderSize || !decodeAxdHeader(head).isOpenJournal())
        return;
    // The frames that reached the disk stay; a partial frame or comment after them goes. Closed in
    // the order finish() closes: the length synced before the comment goes in, the mark last, so
    // that no kill makes the comment's bytes read as frames; then the file is a measurement file
    // like any other, with its comment and dated with the run's start.
    int error = 0;
    QByteArray comment = toCp1251(e->comment);
    comment.replace("\n", "\r\n");
    const qint64 end = dataStart(f) + qint64(e->dataBytes);
    if (!f.resize(end) || !writeLength(fd, std::uint32_t(e->dataBytes), error) || ::fdatasync(fd) != 0 ||
        !pwriteFully(fd, comment.constData(), std::size_t(comment.size()), off_t(end), error) ||
        ::fdatasync(fd) != 0 || !writeClosedMark(fd, error) || ::fsync(fd) != 0)
        return;
    setModificationTime(fd, e->startTime);
}

namespace {

// "14.03.2026 15:09:26 (600 кадров)"
QString journalShortText(const JournalEntry& entry)
{
    return QStringLiteral("%1 (%2 кадров)")
        .arg(entry.startTime.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")))
        .arg(entry.frames());
}

// What an offer adds after the frames: why the run is not whole, a crash's included.
QString offerReason(const JournalEntry& entry)
{
    return (entry.damaged ? QStringLiteral(", повреждён, ") : QStringLiteral(", ")) + journalStopText(entry);
}

// "1 несохранённое измерение", "3 несохранённых измерения", "5 несохранённых измерений".
QString unsavedCount(std::size_t n)
{
    if (n % 10 == 1 && n % 100 != 11)
        return QStringLiteral("%1 несохранённое измерение").arg(n);
    if (n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14))
        return QStringLiteral("%1 несохранённых измерения").arg(n);
    return QStringLiteral("%1 несохранённых измерений").arg(n);
}

} // namespace

QString journalOfferText(const JournalEntry& entry)
{
    return QStringLiteral("Найдено несохранённое измерение от %1%2. Открыть?")
        .arg(journalShortText(entry), offerReason(entry));
}

QString journalsOfferText(const std::vector<JournalEntry>& entries)
{
    QStringList lines;
    for (const JournalEntry& e : entries)
        lines << journalShortText(e) + offerReason(e);
    return QStringLiteral("Найдено несохранённых измерений: %1.\n%2\nОткрыть список несохранённых измерений?")
        .arg(entries.size())
        .arg(lines.join(QLatin1Char('\n')));
}

QString journalStopText(const JournalEntry& entry)
{
    switch (entry.stop) {
    case JournalStop::Exit:
        return QStringLiteral("прервано при завершении программы");
    case JournalStop::DiskFull:
        return QStringLiteral("запись журнала остановлена: диск заполнен");
    case JournalStop::Failed:
        return QStringLiteral("запись журнала остановлена: ошибка диска");
    case JournalStop::None:
        break;
    }
    return QStringLiteral("программа была прервана во время приёма");
}

QString prunedJournalsText(const std::vector<JournalEntry>& removed)
{
    QStringList items;
    for (const JournalEntry& e : removed)
        items << journalShortText(e);
    return QStringLiteral("Удалено %1: %2. Хранятся только последние измерения "
                          "(их число и объём задаёт раздел [Journal] файла tremor.ini).")
        .arg(unsavedCount(removed.size()), items.join(QStringLiteral(", ")));
}

std::optional<JournalEntry> readJournalEntry(const QString& journalPath)
{
    // Named from anywhere, a measurement file is a journal by its mark or its ".json"; in the
    // journals' folder (listJournals) one is listed without either.
    auto e = readEntry(journalPath);
    if (e && !e->open && readInfo(journalPath).isEmpty())
        return std::nullopt;
    return e;
}

} // namespace files
