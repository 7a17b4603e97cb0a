#include "app/ui/unixsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace app {

namespace {

int g_fds[2] = {-1, -1};

// A logout or a closed terminal (SIGHUP), a shutdown or kill (SIGTERM), Ctrl+C (SIGINT).
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// How long the event loop may take to notice a termination signal.
constexpr unsigned kWatchdogSeconds = 2;

// The signal that asked the program to end, for the watchdog below.
volatile std::sig_atomic_t g_pending = 0;

// The event loop did not take the request up in time: something holds the user-interface
// thread (a huge layout, a stuck device call). The program ends as the signal means, without
// its closing sequence; the settings file stays as it was.
void onWatchdog(int)
{
    const int sig = g_pending ? int(g_pending) : SIGTERM;
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void onSignal(int sig)
{
    const char c = 1;
    // Nothing else is safe in a signal handler; a full pipe just drops the byte,
    // one pending wake-up is enough.
    [[maybe_unused]] const auto n = ::write(g_fds[0], &c, 1);
    if (!g_pending) {
        g_pending = sig;
        ::alarm(kWatchdogSeconds);
    }
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (g_fds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0)
        return;
    notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        // The loop is alive and closes the window the ordinary way.
        ::alarm(0);
        g_pending = 0;
        char buf[16];
        [[maybe_unused]] const auto n = ::read(g_fds[1], buf, sizeof buf);
        emit terminationRequested();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (const int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
    struct sigaction watchdog {};
    watchdog.sa_handler = onWatchdog;
    sigemptyset(&watchdog.sa_mask);
    ::sigaction(SIGALRM, &watchdog, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (const int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
    ::alarm(0);
    ::sigaction(SIGALRM, &sa, nullptr);
}

} // namespace app
