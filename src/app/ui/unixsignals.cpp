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

void onSignal(int)
{
    const char c = 1;
    // Nothing else is safe in a signal handler; a full pipe just drops the byte,
    // one pending wake-up is enough.
    [[maybe_unused]] const auto n = ::write(g_fds[0], &c, 1);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (g_fds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_fds) != 0)
        return;
    notifier_ = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
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
}

TerminationSignals::~TerminationSignals()
{
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (const int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
}

} // namespace app
