// accel3-boardsim: the simulated board behind a pseudo-terminal, so the serial path of the
// program (and any other program that speaks the board's protocol) can be tried without the
// hardware. It prints the terminal's path and answers there until stopped.
//
//   accel3-boardsim [--link PATH] [--ini device.ini] [--TremorHz 7 ...]
//                   [--stop-after N] [--delay MS] [--exit-after N] [--line-buffer N] [--unplug-at MS]
//                   [--register-delay MS] [--block-delay MS] [--stream-frames N] [--baud B]
//                   [--stored-bytes-only] [--empty-memory] [--stop-reading-after N]
// The fault options make it behave as boards on real lines do: late, slow, short or gone.

#include "acquisition/commandframer.h"
#include "acquisition/deviceconfig.h"
#include "acquisition/devicelink.h"
#include "acquisition/simulatedboard.h"
#include "platform/ticks.h"

#ifndef ACCEL3_VERSION
#define ACCEL3_VERSION "unknown"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onSignal(int)
{
    stopRequested = 1;
}

using Clock = std::chrono::steady_clock;

// Bytes the board has produced, held back until the configured reply delay has passed.
struct Pending {
    Clock::time_point due;
    QByteArray bytes;
};

struct Faults {
    std::optional<std::uint64_t> stopAfter; // bytes sent, then silence
    std::optional<std::uint64_t> exitAfter; // bytes sent, then the board is gone
    std::optional<std::chrono::milliseconds> unplugAt; // after the first start command
    std::chrono::milliseconds delay{0};
    // Bytes the computer's side of the line holds unread before further ones are lost, as on a
    // serial line without flow control; unset, the terminal holds what the kernel lets it.
    std::optional<std::uint64_t> lineBuffer;
    std::chrono::milliseconds registerDelay{0}; // read-back replies only
    std::chrono::milliseconds blockDelay{0};    // memory blocks only
    std::optional<std::uint32_t> streamFrames;  // a run to the computer sends this many frames
    std::uint64_t baud = 0;                     // 0: as fast as the terminal takes them
    bool storedBytesOnly = false; // a memory block ends where the recording does
    bool emptyMemory = false;     // nothing recorded: memory requests go unanswered
    // Commands taken in, then the line is no longer read and the computer's writes block, as a
    // bridge that holds its bulk OUT or a board that hangs.
    std::optional<std::uint64_t> stopReadingAfter;
};

// Bytes of the recording in the memory image: the header and its frames.
std::uint64_t recordedBytes(const std::vector<std::uint8_t>& memory)
{
    const std::uint64_t samples = memory[1] | std::uint64_t(memory[2]) << 8 | std::uint64_t(memory[3]) << 16;
    const int channels = acq::ChannelSet::fromMask(memory[0]).count();
    return acq::SimulatedBoard::kHeaderBytes + samples * std::uint64_t(channels) * 2;
}

// A command cut off in the middle is dropped after this long, as the firmware resynchronises.
constexpr auto kPartialCommandTimeout = std::chrono::milliseconds(200);
// What the board holds for a computer that does not read: a memory block fits, a stream nobody
// takes overflows it and is lost, as it is on a real adapter.
constexpr qsizetype kOutputLimit = 1 << 16;

bool makeLink(const QString& link, const QString& target)
{
    // A link left by an earlier run (or a re-plugged emulator) is replaced in one step, so the
    // path never points nowhere while a program looks.
    const QString temp = link + QStringLiteral(".%1.tmp").arg(::getpid());
    ::unlink(QFile::encodeName(temp).constData());
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(temp).constData()) != 0)
        return false;
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(link).constData()) != 0) {
        ::unlink(QFile::encodeName(temp).constData());
        return false;
    }
    return true;
}

void removeLink(const QString& link, const QString& target)
{
    // Only our own: a newer emulator may already have taken the path over.
    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == target)
        ::unlink(QFile::encodeName(link).constData());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("accel3-boardsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ACCEL3_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The simulated accelerometer board on a pseudo-terminal. Prints the terminal's path."));
    const QCommandLineOption helpOpt = parser.addHelpOption();
    const QCommandLineOption versionOpt = parser.addVersionOption();
    const auto option = [](const char* name, const char* help, const char* value) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(help), QString::fromLatin1(value));
    };
    const QCommandLineOption linkOpt = option("link", "Make PATH a symbolic link to the terminal.", "PATH");
    const QCommandLineOption iniOpt = option("ini", "Read the [Simulator] section of FILE.", "FILE");
    const QCommandLineOption stopOpt = option("stop-after", "Stop answering after N bytes sent.", "N");
    const QCommandLineOption delayOpt = option("delay", "Delay every reply by MS milliseconds.", "MS");
    const QCommandLineOption exitOpt = option("exit-after", "Exit (as if unplugged) after N bytes sent.", "N");
    const QCommandLineOption lineOpt =
        option("line-buffer", "Lose the bytes sent while N bytes wait unread, as a line without flow control.", "N");
    const QCommandLineOption unplugOpt =
        option("unplug-at", "Exit (as if unplugged) MS milliseconds after the first start command.", "MS");
    const QCommandLineOption registerDelayOpt =
        option("register-delay", "Delay the replies to register read-backs by MS milliseconds.", "MS");
    const QCommandLineOption blockDelayOpt =
        option("block-delay", "Delay the answers to memory block requests by MS milliseconds.", "MS");
    const QCommandLineOption framesOpt =
        option("stream-frames", "Stream N frames in a run to the computer, whatever was asked.", "N");
    const QCommandLineOption baudOpt =
        option("baud", "Pace the output as a line of B bit/s delivers it (10 bits a byte).", "B");
    const QCommandLineOption storedOpt(QStringLiteral("stored-bytes-only"),
                                       QStringLiteral("End the memory block that holds the end of the "
                                                      "recording there, and leave later blocks unanswered."));
    const QCommandLineOption emptyOpt(QStringLiteral("empty-memory"),
                                      QStringLiteral("Nothing recorded: leave memory block requests unanswered."));
    const QCommandLineOption stopReadingOpt =
        option("stop-reading-after",
               "Stop reading the line after N commands (0: at once), so that the computer's writes block.", "N");
    parser.addOptions({linkOpt, iniOpt, stopOpt, delayOpt, exitOpt, lineOpt, unplugOpt, registerDelayOpt, blockDelayOpt,
                       framesOpt, baudOpt, storedOpt, emptyOpt, stopReadingOpt});
    // The scene takes the same keys as the program's [Simulator] section.
    const char* sceneKeys[] = {"GravityG", "TremorHz", "TremorG", "VibrationHz",  "VibrationG",
                               "NoiseG",   "PulseHz",  "Seed",    "ContactOpenMs"};
    for (const char* key : sceneKeys)
        parser.addOption(option(key, QByteArray("[Simulator] ").append(key).constData(), "VALUE"));
    // A wrong call ends with status 2, as the program's and axdtool's do (not the parser's 1).
    if (!parser.parse(QCoreApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.errorText().isEmpty()
                                  ? QStringLiteral("unexpected argument: ") + parser.positionalArguments().first()
                                  : parser.errorText();
        std::fprintf(stderr, "accel3-boardsim: %s\nSee: accel3-boardsim --help\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(helpOpt))
        parser.showHelp(0);
    if (parser.isSet(versionOpt))
        parser.showVersion();

    acq::SimulatedBoard::Settings settings =
        acq::readDeviceSettings(parser.value(iniOpt), QStringLiteral("sim")).simulator;
    bool ok = true;
    auto number = [&](const char* key, double& target) {
        const QString v = parser.value(QString::fromLatin1(key));
        if (v.isEmpty())
            return;
        bool good = false;
        const double d = QString(v).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&good);
        if (good)
            target = d;
        ok = ok && good;
    };
    acq::SimScene& scene = settings.scene;
    number("GravityG", scene.gravityG);
    number("TremorHz", scene.tremorHz);
    number("TremorG", scene.tremorG);
    number("VibrationHz", scene.vibrationHz);
    number("VibrationG", scene.vibrationG);
    number("NoiseG", scene.noiseG);
    number("PulseHz", scene.pulseHz);
    double seed = scene.seed;
    double contact = settings.contactOpenMs;
    number("Seed", seed);
    number("ContactOpenMs", contact);
    scene.seed = std::uint32_t(seed);
    settings.contactOpenMs = std::uint32_t(std::max(0.0, contact));

    Faults faults;
    auto count = [&](const QCommandLineOption& o) -> std::optional<std::uint64_t> {
        if (!parser.isSet(o))
            return std::nullopt;
        bool good = false;
        const auto v = parser.value(o).toULongLong(&good);
        ok = ok && good;
        return v;
    };
    faults.stopAfter = count(stopOpt);
    faults.exitAfter = count(exitOpt);
    faults.delay = std::chrono::milliseconds(count(delayOpt).value_or(0));
    faults.lineBuffer = count(lineOpt);
    if (const auto ms = count(unplugOpt))
        faults.unplugAt = std::chrono::milliseconds(*ms);
    faults.registerDelay = std::chrono::milliseconds(count(registerDelayOpt).value_or(0));
    faults.blockDelay = std::chrono::milliseconds(count(blockDelayOpt).value_or(0));
    if (const auto n = count(framesOpt))
        faults.streamFrames = std::uint32_t(std::min<std::uint64_t>(*n, 0xFFFFFFFFu));
    faults.baud = count(baudOpt).value_or(0);
    faults.storedBytesOnly = parser.isSet(storedOpt);
    faults.emptyMemory = parser.isSet(emptyOpt);
    faults.stopReadingAfter = count(stopReadingOpt);
    if (!ok) {
        std::fprintf(stderr, "accel3-boardsim: a number is expected (see --help)\n");
        return 2;
    }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("accel3-boardsim: pseudo-terminal");
        return 1;
    }
    const QString slavePath = QFile::decodeName(::ptsname(master));
    // Holding the terminal's other end open keeps it alive while no program has it open, as a
    // plugged-in adapter stays there between programs; raw at once, so nothing is echoed back.
    const int keep = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (keep < 0 || ::tcgetattr(keep, &t) != 0) {
        std::perror("accel3-boardsim: pseudo-terminal");
        return 1;
    }
    ::cfmakeraw(&t);
    ::tcsetattr(keep, TCSANOW, &t);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    const QString link = parser.value(linkOpt);
    if (!link.isEmpty() && !makeLink(link, slavePath)) {
        std::perror("accel3-boardsim: --link");
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGHUP, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    std::printf("%s\n", qPrintable(slavePath));
    std::fflush(stdout);

    platform::SystemTicks ticks;
    acq::SimulatedBoard board(ticks, settings);
    acq::CommandFramer framer;
    Clock::time_point partialSince{};
    std::deque<Pending> pending;
    QByteArray output;
    std::uint64_t sent = 0;
    std::vector<QByteArray> commands;
    std::vector<std::uint8_t> chunk(65536);
    std::optional<Clock::time_point> firstStart;
    double lineBudget = 0; // bytes a paced line may still send
    Clock::time_point lastPaced = Clock::now();

    std::uint64_t taken = 0;
    bool reading = true;
    while (!stopRequested) {
        if (reading && faults.stopReadingAfter && taken >= *faults.stopReadingAfter) {
            // The terminal's output stopped, as by flow control: the computer's writes find no
            // room and block. Raw mode does not restart it; only the board could.
            reading = false;
            ::tcflow(keep, TCOOFF);
        }
        pollfd p{master, short((reading ? POLLIN : 0) | (output.isEmpty() ? 0 : POLLOUT)), 0};
        ::poll(&p, 1, 4);
        const auto now = Clock::now();

        if (p.revents & POLLIN) {
            const ssize_t n = ::read(master, chunk.data(), chunk.size());
            if (n > 0) {
                if (!framer.hasPartial())
                    partialSince = now;
                commands.clear();
                framer.feed(chunk.data(), std::size_t(n), commands);
                for (QByteArray c : commands) {
                    if (faults.stopReadingAfter && taken >= *faults.stopReadingAfter)
                        break;
                    ++taken;
                    const auto code = std::uint8_t(c.at(0));
                    const bool start = code == acq::cmd::StartToComputer || code == acq::cmd::StartToMemory;
                    if (start && !firstStart)
                        firstStart = now;
                    if (code == acq::cmd::StartToComputer && faults.streamFrames && c.size() >= 9)
                        for (int i = 0; i < 4; ++i)
                            c[2 + i] = char(std::uint8_t(*faults.streamFrames >> (8 * i)));
                    std::uint32_t written = 0;
                    board.write(reinterpret_cast<const std::uint8_t*>(c.constData()), std::uint32_t(c.size()),
                                written);
                    // The command's own reply is taken at once, so its delay is the command's.
                    std::uint32_t got = 0;
                    board.read(chunk.data(), std::uint32_t(chunk.size()), got);
                    QByteArray reply(reinterpret_cast<const char*>(chunk.data()), got);
                    auto due = now + faults.delay;
                    if (code == acq::cmd::ReadRegister)
                        due += faults.registerDelay;
                    if (code == acq::cmd::ReadMemoryBlock && c.size() >= 2) {
                        due += faults.blockDelay;
                        if (faults.emptyMemory)
                            reply.clear();
                        if (faults.storedBytesOnly) {
                            const std::uint64_t from =
                                std::uint64_t(std::uint8_t(c.at(1))) * acq::SimulatedBoard::kBlockBytes;
                            const std::uint64_t end = recordedBytes(board.memoryImage());
                            reply.truncate(qsizetype(end > from ? std::min<std::uint64_t>(end - from, reply.size()) : 0));
                        }
                    }
                    if (!reply.isEmpty())
                        pending.push_back({due, reply});
                }
                if (framer.hasPartial() && !commands.empty())
                    partialSince = now;
            }
        }
        if (framer.hasPartial() && now - partialSince > kPartialCommandTimeout)
            framer.reset();

        std::uint32_t got = 0;
        board.read(chunk.data(), std::uint32_t(chunk.size()), got);
        if (got > 0)
            pending.push_back(
                {now + faults.delay, QByteArray(reinterpret_cast<const char*>(chunk.data()), got)});
        while (!pending.empty() && pending.front().due <= now) {
            if (output.size() < kOutputLimit)
                output += pending.front().bytes.left(kOutputLimit - output.size());
            pending.pop_front();
        }

        if (faults.baud > 0) {
            lineBudget = std::min(lineBudget + std::chrono::duration<double>(now - lastPaced).count() *
                                                   double(faults.baud) / 10.0,
                                  4096.0);
            lastPaced = now;
        }
        if (!output.isEmpty()) {
            qsizetype allowed = output.size();
            if (faults.baud > 0)
                allowed = std::min(allowed, qsizetype(lineBudget));
            if (faults.stopAfter)
                allowed = qsizetype(std::min<std::uint64_t>(
                    std::uint64_t(allowed), *faults.stopAfter - std::min(sent, *faults.stopAfter)));
            if (faults.exitAfter)
                allowed = qsizetype(std::min<std::uint64_t>(
                    std::uint64_t(allowed), *faults.exitAfter - std::min(sent, *faults.exitAfter)));
            if (allowed == 0 && faults.stopAfter && sent >= *faults.stopAfter)
                output.clear(); // silent from here on; commands are still taken in
            if (allowed > 0 && faults.lineBuffer) {
                // The line goes on at its rate whether or not anybody reads: what does not fit
                // into the reader's buffer is gone, and counts as sent.
                int queued = 0;
                ::ioctl(keep, TIOCINQ, &queued);
                const auto room = qsizetype(*faults.lineBuffer - std::min<std::uint64_t>(*faults.lineBuffer, std::uint64_t(queued)));
                if (room < allowed) {
                    const qsizetype lost = allowed - room;
                    output.remove(room, lost);
                    sent += std::uint64_t(lost);
                    allowed = room;
                }
            }
            if (allowed > 0) {
                const ssize_t w = ::write(master, output.constData(), std::size_t(allowed));
                if (w > 0) {
                    output.remove(0, w);
                    sent += std::uint64_t(w);
                    lineBudget -= double(w);
                }
            }
        }
        if (faults.exitAfter && sent >= *faults.exitAfter)
            break;
        if (faults.unplugAt && firstStart && now - *firstStart >= *faults.unplugAt)
            break;
    }

    // Leaving at once would let the terminal's hang-up discard the last bytes before the program
    // read them; a board that stops after N bytes is expected to have delivered N.
    // The terminal hands written bytes on a moment later, so it has to look empty twice in a row.
    for (int i = 0, empty = 0; i < 100 && empty < 2 && !stopRequested; ++i) {
        ::usleep(10000);
        int queued = 0;
        empty = ::ioctl(keep, TIOCINQ, &queued) != 0 || queued == 0 ? empty + 1 : 0;
    }
    removeLink(link, slavePath);
    ::close(keep);
    ::close(master);
    return 0;
}
