// A board streaming at full rate (3200 Hz, X, Y and Z: 19,200 bytes a second) through a real
// pseudo-terminal, from the board emulator, into the serial backend; polled the way the program
// polls it. Beside it the peer: a bare poll()/read() loop draining the same terminal, about the
// least any reader could spend, and a reader with no thread of its own that reads only when the
// program polls, which shows what the counter is for. The emulator behaves as a line without flow
// control: bytes that find the computer's 4 KiB line buffer full are lost, as they are on a real
// adapter, so a reader that does not drain the line in time loses data. Counters: bytes lost (0 for
// the backend and the bare reader), CPU time of the process per second of streaming (the reader's:
// the polling thread sleeps), and the median time from a command to its one-byte reply.
//
// BM_WindowStall: the main window on the emulator's terminal in one of its bad line modes (silent
// after opening, every reply 120 ms late, the line no longer read so that writes block), with
// ReadTimeoutMs=900. A 10 ms timer on the window's thread records how late it fires while the
// connection indicator checks the board once a second and, later, a start is pressed: the longest
// stall is what the operator feels as a frozen window. The peer (program=0) is the check as it was
// before: a write and a waiting read on the window's thread, the backend's waits left long.

#include <benchmark/benchmark.h>

#include "benchmain.h"
#include "benchwindow.h"

#include "acquisition/devicelink.h"
#include "acquisition/serialline.h"
#include "acquisition/streambackend.h"
#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/controls.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kSamples = 12800; // four seconds at 3200 Hz: five of the program's polls
constexpr char kLineBuffer[] = "4096";
constexpr std::uint32_t kExpected = kSamples * 3 * 2;

// The emulator with the given options.
struct Emulator {
    pid_t pid = -1;
    std::string path;
    explicit Emulator(std::vector<std::string> args)
    {
        char self[4096] = {};
        if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
            std::abort();
        std::string program = self;
        program = program.substr(0, program.rfind('/')) + "/accel3-boardsim";
        int out[2];
        if (::pipe(out) != 0)
            std::abort();
        pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            std::vector<char*> argv{program.data()};
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            path += c;
        ::close(out[0]);
        if (path.empty())
            std::abort();
    }
    ~Emulator()
    {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
};

// The streaming emulator, started once for the whole run.
Emulator& emulator()
{
    static Emulator e({"--line-buffer", kLineBuffer});
    return e;
}

double processCpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

std::vector<std::uint8_t> startCommandBytes()
{
    acq::StartParams p;
    p.channels = acq::ChannelSet::fromMask(0x07);
    p.samples = kSamples;
    const auto c = acq::startCommand(p);
    return {c.begin(), c.end()};
}

// Register set-up and start command through the library; then the program's polls: one read of at
// most 65,535 bytes every 740 ms, as it polls this rate and size.
void BM_SerialBackendStream(benchmark::State& state)
{
    acq::SerialSettings s;
    s.port = QString::fromStdString(emulator().path);
    acq::DeviceLibrary library(std::make_unique<acq::StreamBackend>(std::make_unique<acq::SerialOpener>(s)));
    platform::SystemTicks ticks;
    acq::DeviceLink link(library, ticks);
    double lost = 0, cpuPerSecond = 0;
    for (auto _ : state) {
        for (const auto& r : acq::registerSetup(0x0F, 0))
            link.writeRegister(r.address, r.value);
        const auto cmd = startCommandBytes();
        link.SendCmd(cmd.data(), std::uint32_t(cmd.size()));
        const double cpu0 = processCpuSeconds();
        const auto t0 = Clock::now();
        std::uint64_t got = 0;
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(740));
            const QByteArray chunk = link.readReply(acq::kBulkReplyMax);
            if (chunk.isEmpty())
                break;
            got += std::uint64_t(chunk.size());
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        cpuPerSecond = (processCpuSeconds() - cpu0) / seconds;
        lost = double(kExpected) - double(got);
        state.SetIterationTime(seconds);
    }
    state.counters["bytes_lost"] = lost;
    state.counters["cpu_percent_of_core"] = 100 * cpuPerSecond;
}

int openRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    ::tcflush(fd, TCIOFLUSH);
    return fd;
}

// The register set-up and the start command, written straight to the terminal.
void startStreamRaw(int fd)
{
    for (const auto& r : acq::registerSetup(0x0F, 0)) {
        const std::uint8_t w[3] = {0x28, r.address, r.value};
        [[maybe_unused]] auto n = ::write(fd, w, 3);
    }
    const auto cmd = startCommandBytes();
    [[maybe_unused]] auto n = ::write(fd, cmd.data(), cmd.size());
}

// The peer: a thread blocking in poll() and reading whatever comes, nothing else.
void BM_BarePollReadStream(benchmark::State& state)
{
    const int fd = openRaw(emulator().path);
    double lost = 0, cpuPerSecond = 0;
    for (auto _ : state) {
        startStreamRaw(fd);
        const double cpu0 = processCpuSeconds();
        const auto t0 = Clock::now();
        std::uint64_t got = 0;
        std::vector<std::uint8_t> buffer(16384);
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0)
                break;
            const ssize_t r = ::read(fd, buffer.data(), buffer.size());
            if (r <= 0)
                break;
            got += std::uint64_t(r);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count() - 1.0;
        cpuPerSecond = (processCpuSeconds() - cpu0) / seconds;
        lost = double(kExpected) - double(got);
        state.SetIterationTime(seconds);
    }
    ::close(fd);
    state.counters["bytes_lost"] = lost;
    state.counters["cpu_percent_of_core"] = 100 * cpuPerSecond;
}

// What the program's polls alone would get, with no thread draining the line between them: one read
// of at most 65,535 bytes every 740 ms. Its losses show that the counter sees a missing reader.
void BM_PollOnlyStream(benchmark::State& state)
{
    const int fd = openRaw(emulator().path);
    double lost = 0;
    for (auto _ : state) {
        startStreamRaw(fd);
        const auto t0 = Clock::now();
        std::uint64_t got = 0;
        std::vector<std::uint8_t> buffer(acq::kBulkReplyMax);
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(740));
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0)
                break;
            const ssize_t r = ::read(fd, buffer.data(), buffer.size());
            if (r <= 0)
                break;
            got += std::uint64_t(r);
        }
        lost = double(kExpected) - double(got);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    ::close(fd);
    state.counters["bytes_lost"] = lost;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Register read 29 00 and its one-byte reply 0xE5: from the write to the reply in hand.
void BM_SerialBackendCommandReply(benchmark::State& state)
{
    acq::SerialSettings s;
    s.port = QString::fromStdString(emulator().path);
    acq::DeviceLibrary library(std::make_unique<acq::StreamBackend>(std::make_unique<acq::SerialOpener>(s)));
    std::vector<double> ms;
    const std::uint8_t cmd[2] = {0x29, 0x00};
    for (auto _ : state) {
        std::uint32_t n = 0;
        std::uint8_t reply = 0;
        const auto t0 = Clock::now();
        library.SI_Write(0, cmd, 2, &n, nullptr);
        library.SI_Read(0, &reply, 1, &n, nullptr);
        const double t = std::chrono::duration<double>(Clock::now() - t0).count();
        if (n != 1 || reply != 0xE5)
            state.SkipWithError("no reply");
        ms.push_back(t * 1000);
        state.SetIterationTime(t);
    }
    state.counters["median_ms"] = median(ms);
}

void BM_BareCommandReply(benchmark::State& state)
{
    const int fd = openRaw(emulator().path);
    std::vector<double> ms;
    const std::uint8_t cmd[2] = {0x29, 0x00};
    for (auto _ : state) {
        std::uint8_t reply = 0;
        const auto t0 = Clock::now();
        [[maybe_unused]] auto w = ::write(fd, cmd, 2);
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 1000);
        const ssize_t r = ::read(fd, &reply, 1);
        const double t = std::chrono::duration<double>(Clock::now() - t0).count();
        if (r != 1 || reply != 0xE5)
            state.SkipWithError("no reply");
        ms.push_back(t * 1000);
        state.SetIterationTime(t);
    }
    ::close(fd);
    state.counters["median_ms"] = median(ms);
}

struct LineMode {
    const char* name;
    std::vector<std::string> args;
};
const LineMode kLineModes[] = {
    {"silent", {"--stop-after", "1"}},                 // answers the probe that opens the port, then nothing
    {"slow", {"--delay", "120"}},                      // every reply 120 ms late
    {"write_blocked", {"--stop-reading-after", "1"}}, // takes the probe, then nothing: writes block
};

struct Stalls {
    double longestMs = 0;
    int fired = 0;
};

// Runs the window's message loop for spanMs with the actions at their times; a 10 ms timer
// records how late it fires.
Stalls measureStalls(int spanMs, const std::vector<std::pair<int, std::function<void()>>>& actions)
{
    Stalls s;
    QElapsedTimer clock;
    qint64 last = 0;
    QTimer pace;
    pace.setTimerType(Qt::PreciseTimer);
    pace.setInterval(10);
    QObject::connect(&pace, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        s.longestMs = std::max(s.longestMs, double(now - last - 10));
        last = now;
        ++s.fired;
    });
    for (const auto& [at, action] : actions)
        QTimer::singleShot(at, action);
    QEventLoop loop;
    QTimer::singleShot(spanMs, &loop, &QEventLoop::quit);
    clock.start();
    pace.start();
    loop.exec();
    s.longestMs = std::max(s.longestMs, double(clock.elapsed() - last - 10));
    return s;
}

// The check as it was: write, then a read waiting for the reply, on the window's thread.
void blockingCheck(acq::DeviceLibrary& library)
{
    const std::uint8_t ask[2] = {acq::cmd::ReadRegister, 0x00};
    std::uint32_t n = 0;
    if (library.SI_Write(0, ask, 2, &n, nullptr) != 0)
        return;
    std::uint8_t reply[acq::kRegisterReplyMax];
    library.SI_Read(0, reply, sizeof reply, &n, nullptr);
}

void BM_WindowStall(benchmark::State& state)
{
    const LineMode& mode = kLineModes[state.range(0)];
    const bool program = state.range(1) != 0;
    state.SetLabel(std::string(mode.name) + (program ? "" : ", the blocking check"));
    Emulator emu(mode.args);
    app::TForm1& f = bench::window();
    acq::SerialSettings s;
    s.port = QString::fromStdString(emu.path);
    s.probeWait = std::chrono::milliseconds(900);
    acq::StreamOptions o;
    o.firstByteWait = std::chrono::milliseconds(900); // the advised ReadTimeoutMs
    o.bytesPerSecond = 92160;
    if (!program)
        o.callWait = o.openWait = std::chrono::seconds(10);
    f.measurementRun->setBackend(std::make_unique<acq::StreamBackend>(std::make_unique<acq::SerialOpener>(s), o));
    // A run to the board's memory: the start is what is measured, not a chart.
    f.setupPanel->rgMem->setItemIndex(1);
    Stalls st;
    for (auto _ : state) {
        QTimer old;
        old.setInterval(1000);
        QObject::connect(&old, &QTimer::timeout, [&] { blockingCheck(f.measurementRun->device()); });
        std::vector<std::pair<int, std::function<void()>>> actions;
        if (program) {
            actions = {{0, [&] { f.linkIndicator->checkNow(); }},
                       {2200, [&] { f.measurementRun->btStartPlus->click(); }}};
        } else {
            actions = {{0, [&] { blockingCheck(f.measurementRun->device()); old.start(); }}};
        }
        const auto t0 = Clock::now();
        st = measureStalls(5000, actions);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        old.stop();
    }
    f.linkIndicator->timCheckUSB->stop();
    f.measurementRun->stopTimers();
    f.measurementRun->setBackend(nullptr);
    state.counters["longest_stall_ms"] = st.longestMs;
    state.counters["timer_fired"] = st.fired;
}

} // namespace

BENCHMARK(BM_WindowStall)
    ->ArgsProduct({{0, 1, 2}, {1, 0}})
    ->ArgNames({"mode", "program"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerialBackendStream)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePollReadStream)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PollOnlyStream)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerialBackendCommandReply)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareCommandReply)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    return bench::runBenchmarks(argc, argv);
}
