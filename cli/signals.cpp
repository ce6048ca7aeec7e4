#include "cli/signals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace qlx::cli {
namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signal = 0;

extern "C" void noteSignal(int number)
{
    if (g_signal == 0)
        g_signal = number;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

void install(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGINT, SIGTERM})
        sigaction(number, &action, nullptr);
}

} // namespace

StopSignals::StopSignals(std::function<void()> onStop) : m_onStop(std::move(onStop))
{
    if (::pipe2(g_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
        }
        m_onStop();
    });
    install(noteSignal);
}

StopSignals::~StopSignals()
{
    install(SIG_DFL);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
}

int StopSignals::received() const { return g_signal; }

bool StopSignals::waitForInput(int fd) const
{
    // The handler's byte in the pipe wakes the wait also when the signal came just before it.
    pollfd watched[2] = {{fd, POLLIN, 0}, {g_pipe[0], POLLIN, 0}};
    while (received() == 0) {
        if (::poll(watched, 2, -1) < 0 && errno != EINTR)
            return false;
        if (received() == 0 && watched[0].revents != 0)
            return true;
    }
    return false;
}

void ignoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

} // namespace qlx::cli
