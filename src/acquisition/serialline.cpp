#include "acquisition/serialline.h"

#include "acquisition/devicelink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <glob.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace acq {

namespace {

struct BaudCode {
    int baud;
    speed_t code;
};

constexpr BaudCode kBauds[] = {
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},     {115200, B115200},
    {230400, B230400},   {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000},
    {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

std::optional<speed_t> baudCode(int baud)
{
    for (const BaudCode& b : kBauds)
        if (b.baud == baud)
            return b.code;
    return std::nullopt;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// An opened port and what opening it changed, put back when it is closed: a port chosen by
// mistake (a console, another device's adapter) must not be left raw, exclusive or low-latency.
class PortHandle {
  public:
    explicit PortHandle(int fd) : fd_(fd) {}
    PortHandle(const PortHandle&) = delete;
    PortHandle& operator=(const PortHandle&) = delete;
    ~PortHandle()
    {
        if (termiosSaved_) {
            // Except the hang-up on close: dropping DTR resets boards that are recording on
            // their own after a start to memory.
            termios t = original_;
            t.c_cflag &= ~tcflag_t(HUPCL);
            termios now{};
            if (::tcgetattr(fd_, &now) != 0 || (now.c_cflag & ~tcflag_t(HUPCL)) != t.c_cflag ||
                ::cfgetospeed(&now) != ::cfgetospeed(&t))
                letOutputLeave();
            ::tcsetattr(fd_, TCSANOW, &t);
        }
        if (lowLatencySet_) {
            serial_struct ss{};
            if (::ioctl(fd_, TIOCGSERIAL, &ss) == 0) {
                ss.flags &= ~ASYNC_LOW_LATENCY;
                ::ioctl(fd_, TIOCSSERIAL, &ss);
            }
        }
        // The flag outlives this descriptor where the terminal does (a pseudo-terminal whose
        // other side is open): left set, it would refuse the program's own next open.
        if (exclusive_)
            ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
    int fd() const { return fd_; }

    // The last bytes written (the start command right before the close that follows a start to
    // memory) must leave at the rate and format they were written for, before the line's own
    // settings come back; bounded, so a line held up by flow control cannot hold the close.
    void letOutputLeave() const
    {
        for (int i = 0; i < 50; ++i) {
            int queued = 0;
            if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0)
                break;
            ::usleep(2000);
        }
        // The adapter's own FIFO, a few bytes at the rates boards run at.
        ::usleep(5000);
    }

    bool saveTermios()
    {
        termiosSaved_ = ::tcgetattr(fd_, &original_) == 0;
        return termiosSaved_;
    }
    bool makeExclusive()
    {
        exclusive_ = ::ioctl(fd_, TIOCEXCL) == 0;
        return exclusive_;
    }
    void setLowLatency()
    {
        serial_struct ss{};
        if (::ioctl(fd_, TIOCGSERIAL, &ss) == 0 && !(ss.flags & ASYNC_LOW_LATENCY)) {
            ss.flags |= ASYNC_LOW_LATENCY;
            lowLatencySet_ = ::ioctl(fd_, TIOCSSERIAL, &ss) == 0;
        }
    }

  private:
    int fd_;
    termios original_{};
    bool termiosSaved_ = false;
    bool exclusive_ = false;
    bool lowLatencySet_ = false;
};

class SerialLink : public ByteLink {
  public:
    SerialLink(std::unique_ptr<PortHandle> port, int wake, QString path)
        : port_(std::move(port)), fd_(port_->fd()), wake_(wake), path_(std::move(path))
    {
    }
    ~SerialLink() override { ::close(wake_); }

    Io receive(std::uint8_t* buffer, std::size_t max, std::size_t& got, std::chrono::milliseconds timeout,
               QString& why) override
    {
        got = 0;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
        const int r = ::poll(fds, 2, int(timeout.count()));
        if (r < 0)
            return errno == EINTR ? Io::TimedOut : lost(errno, why);
        if (fds[1].revents & POLLIN) {
            std::uint64_t v = 0;
            [[maybe_unused]] auto n = ::read(wake_, &v, sizeof v);
            return Io::TimedOut;
        }
        if (r == 0)
            return Io::TimedOut;
        // Bytes that came before a hang-up are still read; the hang-up shows on the next round.
        if (fds[0].revents & POLLIN) {
            const ssize_t n = ::read(fd_, buffer, max);
            if (n > 0) {
                got = std::size_t(n);
                return Io::Ok;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                return Io::TimedOut;
            return lost(n == 0 ? 0 : errno, why);
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return lost(0, why);
        return Io::TimedOut;
    }

    Io send(const std::uint8_t* bytes, std::size_t count, std::chrono::milliseconds timeout,
            QString& why) override
    {
        QElapsedTimer clock;
        clock.start();
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = ::write(fd_, bytes + done, count - done);
            if (n > 0) {
                done += std::size_t(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return lost(errno, why);
            const qint64 left = timeout.count() - clock.elapsed();
            if (left <= 0) {
                why = QStringLiteral("Порт %1 не принимает данные.").arg(path_);
                return Io::TimedOut;
            }
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, int(left)) < 0 && errno != EINTR)
                return lost(errno, why);
            if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
                return lost(0, why);
        }
        return Io::Ok;
    }

    void interrupt() override
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
    }

  private:
    Io lost(int error, QString& why) const
    {
        why = error == 0 || error == EIO || error == ENODEV || error == ENXIO
                  ? QStringLiteral("Порт %1 отключён: плата отсоединена или выключена.").arg(path_)
                  : QStringLiteral("Ошибка порта %1: %2.").arg(path_, systemError(error));
        return Io::Lost;
    }

    std::unique_ptr<PortHandle> port_;
    int fd_;
    int wake_;
    QString path_;
};

QString readSysText(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).trimmed();
}

} // namespace

QString serialOpenError(const QString& path, int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("Порт %1 не найден: плата не подключена или подключена к другому порту.")
            .arg(path);
    case EACCES:
    case EPERM:
        return QStringLiteral("Нет доступа к порту %1: пользователь не входит в группу dialout. "
                              "Выполните «sudo usermod -aG dialout $USER» и войдите в систему заново "
                              "(или установите правило udev из описания платы).")
            .arg(path);
    case EBUSY:
    case EWOULDBLOCK:
        return QStringLiteral("Порт %1 занят другой программой.").arg(path);
    default:
        return QStringLiteral("Не удалось открыть порт %1: %2.").arg(path, systemError(error));
    }
}

bool supportedBaud(int baud)
{
    return baudCode(baud).has_value();
}

std::unique_ptr<ByteLink> openSerialLine(const QString& path, const SerialSettings& settings, QString& why)
{
    const auto speed = baudCode(settings.baud);
    if (!speed) {
        why = QStringLiteral("Скорость %1 бит/с не поддерживается (порт %2).").arg(settings.baud).arg(path);
        return nullptr;
    }
    // Non-blocking from the start: opening a modem line must not wait for its carrier.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = serialOpenError(path, errno);
        return nullptr;
    }
    auto port = std::make_unique<PortHandle>(fd);
    auto fail = [&](const QString& text) -> std::unique_ptr<ByteLink> {
        port.reset();
        why = text;
        return nullptr;
    };
    if (!::isatty(fd))
        return fail(QStringLiteral("%1 не является последовательным портом.").arg(path));
    // Two programs on one board would take each other's replies: the lock keeps out those that
    // ask for it, the exclusive mode every other opener.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(serialOpenError(path, EBUSY));
    if (!port->saveTermios())
        return fail(serialOpenError(path, errno));
    if (!port->makeExclusive())
        return fail(QStringLiteral("Не удалось открыть порт %1 только для этой программы: %2.")
                        .arg(path, systemError(errno)));

    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        return fail(serialOpenError(path, errno));
    ::cfmakeraw(&t);
    t.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | PARENB | CRTSCTS | HUPCL);
    // HUPCL off: closing the port after a start to memory must not drop DTR, which resets some
    // boards.
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    if (settings.hardwareFlowControl)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    // With O_NONBLOCK this makes "no data" an EAGAIN and a read of 0 bytes a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, *speed);
    ::cfsetospeed(&t, *speed);
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return fail(QStringLiteral("Не удалось настроить порт %1: %2.").arg(path, systemError(errno)));

    // USB serial drivers hold received bytes back up to 16 ms unless asked not to; a driver
    // without the setting simply keeps its own timing.
    port->setLowLatency();
    // Whatever waited in the port belongs to nobody now.
    ::tcflush(fd, TCIOFLUSH);

    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0)
        return fail(QStringLiteral("Не удалось открыть порт %1: %2.").arg(path, systemError(errno)));
    return std::make_unique<SerialLink>(std::move(port), wake, path);
}

std::vector<SerialPortInfo> listSerialPorts(const QStringList& patterns, const QString& sysRoot)
{
    std::vector<SerialPortInfo> ports;
    for (const QString& pattern : patterns) {
        glob_t g{};
        if (::glob(QFile::encodeName(pattern).constData(), 0, nullptr, &g) == 0) {
            for (std::size_t i = 0; i < g.gl_pathc; ++i) {
                SerialPortInfo p;
                p.path = QFile::decodeName(g.gl_pathv[i]);
                if (std::any_of(ports.begin(), ports.end(), [&](const auto& q) { return q.path == p.path; }))
                    continue;
                // The USB device is an ancestor of the tty's device in sysfs: the first folder up
                // the chain that has a vendor ID.
                // A link such as /dev/serial/by-id/... is known to sysfs by its target's name.
                QString name = QFileInfo(p.path).fileName();
                if (!QFileInfo::exists(sysRoot + QStringLiteral("/class/tty/") + name))
                    name = QFileInfo(QFileInfo(p.path).canonicalFilePath()).fileName();
                QString dir =
                    QFileInfo(sysRoot + QStringLiteral("/class/tty/") + name + QStringLiteral("/device"))
                        .canonicalFilePath();
                const QString root = QFileInfo(sysRoot).canonicalFilePath();
                while (!dir.isEmpty() && dir.startsWith(root) && dir != root) {
                    const QString vendor = readSysText(dir + QStringLiteral("/idVendor"));
                    if (!vendor.isEmpty()) {
                        p.usbId = vendor.toLower() + QLatin1Char(':') +
                                  readSysText(dir + QStringLiteral("/idProduct")).toLower();
                        p.description = (readSysText(dir + QStringLiteral("/manufacturer")) +
                                         QLatin1Char(' ') + readSysText(dir + QStringLiteral("/product")))
                                            .trimmed();
                        p.serialNumber = readSysText(dir + QStringLiteral("/serial"));
                        p.usbPort = QFileInfo(dir).fileName();
                        break;
                    }
                    dir = QFileInfo(dir).path();
                }
                ports.push_back(p);
            }
        }
        ::globfree(&g);
    }
    return ports;
}

bool probeBoard(ByteLink& link, std::chrono::milliseconds timeout)
{
    constexpr std::uint8_t kReadDeviceId[2] = {cmd::ReadRegister, 0x00};
    QString why;
    if (link.send(kReadDeviceId, sizeof kReadDeviceId, timeout, why) != ByteLink::Io::Ok)
        return false;
    QElapsedTimer clock;
    clock.start();
    std::uint8_t reply[16];
    while (clock.elapsed() < timeout.count()) {
        std::size_t got = 0;
        const auto io = link.receive(reply, sizeof reply, got,
                                     std::chrono::milliseconds(timeout.count() - clock.elapsed()), why);
        if (got > 0)
            return reply[0] == kDeviceId;
        if (io == ByteLink::Io::Lost)
            return false;
    }
    return false;
}

std::unique_ptr<ByteLink> SerialOpener::open(QString& why)
{
    auto link = openSerialLine(settings_.port, settings_, why);
    if (link && !probeBoard(*link, settings_.probeWait)) {
        why = QStringLiteral("Порт %1 не ответил как акселерометр: к нему подключено другое устройство "
                             "или плата не отвечает.")
                  .arg(settings_.port);
        return nullptr;
    }
    return link;
}

QString SerialOpener::description() const
{
    return QStringLiteral("последовательный порт %1, %2 бит/с").arg(settings_.port).arg(settings_.baud);
}

AutoSerialOpener::AutoSerialOpener(SerialSettings settings, QString sysRoot, platform::TickSource* ticks)
    : settings_(std::move(settings)), sysRoot_(std::move(sysRoot)), probe_(probeBoard),
      ticks_(ticks ? *ticks : systemTicks_)
{
}

std::unique_ptr<ByteLink> AutoSerialOpener::open(QString& why)
{
    std::vector<SerialPortInfo> ports = listSerialPorts(settings_.candidates, sysRoot_);
    QStringList paths;
    for (const SerialPortInfo& p : ports)
        paths << p.path;
    // Listing is cheap; probing is not. A port that came or went (a board plugged in) is
    // searched at once.
    if (failedAt_ && paths == failedPorts_ && ticks_.now() - *failedAt_ < std::uint32_t(kSearchAgainAfter.count())) {
        why = failedWhy_;
        return nullptr;
    }
    failedAt_.reset();
    // The port the board was found on last time is preferred.
    const QString before = [&] {
        std::lock_guard<std::mutex> lock(foundMutex_);
        return found_;
    }();
    std::stable_partition(ports.begin(), ports.end(), [&](const auto& p) { return p.path == before; });

    struct Probed {
        bool eligible = false;
        std::unique_ptr<ByteLink> link;
        QString reason;
        bool answered = false;
    };
    std::vector<Probed> results(ports.size());
    std::vector<std::thread> probes;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const SerialPortInfo& p = ports[i];
        // Bytes are never sent to a USB device nobody named.
        results[i].eligible = p.usbId.isEmpty() || settings_.usbIds.contains(p.usbId, Qt::CaseInsensitive);
        if (!results[i].eligible)
            continue;
        // Every port at once: silent ports cost one probe wait together, not one each.
        probes.emplace_back([this, &p, &r = results[i]] {
            r.link = openSerialLine(p.path, settings_, r.reason);
            if (r.link)
                r.answered = probe_(*r.link, settings_.probeWait);
        });
    }
    for (std::thread& t : probes)
        t.join();

    bool probed = false;
    bool noAccess = false;
    QStringList tried;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const SerialPortInfo& p = ports[i];
        Probed& r = results[i];
        if (r.answered) {
            std::lock_guard<std::mutex> lock(foundMutex_);
            found_ = p.path;
            // The other boards that answered are closed with the vector.
            return std::move(r.link);
        }
        const QString name = p.usbId.isEmpty() ? p.path : QStringLiteral("%1 (%2)").arg(p.path, p.usbId);
        if (!r.eligible) {
            tried << QStringLiteral("%1: не опрашивался, его USB-код не указан в UsbIds").arg(name);
        } else if (!r.link) {
            const bool denied = r.reason.contains(QLatin1String("dialout"));
            noAccess = noAccess || denied;
            tried << QStringLiteral("%1: %2").arg(name, denied ? QStringLiteral("нет доступа") : r.reason);
        } else {
            probed = true;
            tried << QStringLiteral("%1: не ответил как акселерометр").arg(name);
        }
    }
    if (ports.empty()) {
        why = QStringLiteral("Плата не найдена: нет последовательных портов (%1).")
                  .arg(settings_.candidates.join(QLatin1String(", ")));
    } else {
        why = QStringLiteral("Плата не найдена. Проверены порты:\n") + tried.join(QLatin1Char('\n'));
        if (noAccess)
            why += QStringLiteral("\nНет доступа к порту: пользователь не входит в группу dialout. "
                                  "Выполните «sudo usermod -aG dialout $USER» и войдите в систему заново "
                                  "(или установите правило udev из описания платы).");
    }
    if (probed) {
        // Only a search that cost time is held back; finding no port at all is instant.
        failedAt_ = ticks_.now();
        failedWhy_ = why;
        failedPorts_ = paths;
    }
    return nullptr;
}

QString AutoSerialOpener::description() const
{
    std::lock_guard<std::mutex> lock(foundMutex_);
    return found_.isEmpty()
               ? QStringLiteral("последовательный порт (поиск платы)")
               : QStringLiteral("последовательный порт %1, %2 бит/с").arg(found_).arg(settings_.baud);
}

} // namespace acq
