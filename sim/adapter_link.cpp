#include "sim/adapter_link.h"

#include "sim/serving.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/pacer.h"

namespace qlxsim {
namespace {

using Clock = Adapter::Clock;
using namespace std::chrono_literals;

// While nobody has the pseudo-terminal open, this often we look whether someone opened it.
constexpr auto kOpenCheck = 20ms;

int millisecondsUntil(Clock::time_point when, Clock::time_point now)
{
    if (when <= now)
        return 0;
    return static_cast<int>(
        std::min<long long>(std::chrono::ceil<std::chrono::milliseconds>(when - now).count(), 60'000));
}

class Link {
public:
    Link(Adapter& adapter, const LinkOptions& options)
        : adapter_(adapter), tcp_(options.tcpPort.has_value()), pacer_(Pacer::atRate(options.bytesPerSecond))
    {
        // Paced, a write carries about 10 ms of bytes.
        if (pacer_.paced())
            chunk_ = std::clamp<std::size_t>(static_cast<std::size_t>(options.bytesPerSecond / 100), 16, chunk_);
    }
    ~Link()
    {
        for (int fd : {line_, listener_, signals_}) {
            if (fd >= 0)
                close(fd);
        }
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool start(std::optional<int> port)
    {
        signals_ = stopSignals(SFD_NONBLOCK);
        return signals_ >= 0 && (port ? listen(*port) : openPty());
    }

    bool run()
    {
        for (;;) {
            auto now = Clock::now();
            adapter_.advance(now);
            if (adapter_.hangingUp() && adapter_.output().empty() && !hangUp())
                return false;
            if (!connected() && !adapter_.output().empty())
                adapter_.sent(adapter_.output().size()); // nobody there: the bytes are lost

            std::vector<pollfd> fds{{signals_, POLLIN, 0}};
            int timeout = -1;
            const auto wakeAt = [&](Clock::time_point when) {
                const int ms = millisecondsUntil(when, now);
                timeout = timeout < 0 ? ms : std::min(timeout, ms);
            };
            if (const auto deadline = adapter_.deadline(now))
                wakeAt(*deadline);
            if (connected()) {
                fds.push_back({line_, static_cast<short>(adapter_.wantsInput() ? POLLIN : 0), 0});
                const std::size_t pending = std::min(adapter_.output().size(), chunk_);
                if (pending > 0) {
                    if (idle_)
                        pacer_.wake(now);
                    idle_ = false;
                    if (pacer_.allowance(now) >= pending)
                        fds.back().events |= POLLOUT;
                    else
                        wakeAt(pacer_.dueAfter(pending));
                } else {
                    idle_ = true;
                }
            } else if (tcp_) {
                fds.push_back({listener_, POLLIN, 0});
            } else {
                wakeAt(now + kOpenCheck);
            }

            if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
                return false;
            if (fds[0].revents & POLLIN)
                return true;
            now = Clock::now();
            if (fds.size() < 2)
                checkOpened(now);
            else if (fds[1].fd == listener_)
                accept(now);
            else
                serve(fds[1].revents, now);
        }
    }

private:
    bool connected() const { return tcp_ ? line_ >= 0 : open_; }

    bool listen(int port)
    {
        std::uint16_t bound = 0;
        listener_ = bindLoopback(SOCK_STREAM | SOCK_NONBLOCK, port, bound);
        if (listener_ < 0)
            return false;
        std::printf("127.0.0.1:%u\n", unsigned(bound));
        std::fflush(stdout);
        return true;
    }

    // A fresh pseudo-terminal, raw. Its slave end is opened once and closed again, so that the
    // master reports a hang-up until the host opens the device: that is how an opening is seen.
    bool openPty()
    {
        line_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (line_ < 0 || grantpt(line_) != 0 || unlockpt(line_) != 0)
            return false;
        const char* name = ptsname(line_);
        if (!name)
            return false;
        path_ = name;
        const int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave < 0)
            return false;
        termios tio{};
        const bool raw = tcgetattr(slave, &tio) == 0 && (cfmakeraw(&tio), tcsetattr(slave, TCSANOW, &tio) == 0);
        close(slave);
        if (!raw || fcntl(line_, F_SETFL, fcntl(line_, F_GETFL) | O_NONBLOCK) != 0)
            return false;
        open_ = false;
        std::printf("%s\n", path_.c_str());
        std::fflush(stdout);
        return true;
    }

    void checkOpened(Clock::time_point now)
    {
        pollfd fd{line_, POLLIN, 0};
        if (poll(&fd, 1, 0) == 1 && (fd.revents & POLLHUP))
            return;
        open_ = true;
        adapter_.connect(now);
    }

    void accept(Clock::time_point now)
    {
        line_ = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (line_ < 0)
            return;
        const int on = 1;
        setsockopt(line_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        adapter_.connect(now);
    }

    // The host closed the device or the connection.
    void lost()
    {
        if (tcp_) {
            close(line_);
            line_ = -1;
        }
        open_ = false;
        adapter_.disconnect();
    }

    void serve(short revents, Clock::time_point now)
    {
        if (revents & POLLIN) {
            char buffer[4096];
            const ssize_t count = read(line_, buffer, sizeof buffer);
            if (count > 0) {
                adapter_.receive(std::string_view(buffer, static_cast<std::size_t>(count)), now);
            } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
                lost();
                return;
            }
        } else if (revents & (POLLHUP | POLLERR)) {
            lost();
            return;
        }
        if (revents & POLLOUT) {
            const std::string_view output = adapter_.output();
            const std::size_t count = std::min({output.size(), chunk_, pacer_.allowance(now)});
            const ssize_t written =
                tcp_ ? send(line_, output.data(), count, MSG_NOSIGNAL) : write(line_, output.data(), count);
            if (written > 0) {
                adapter_.sent(static_cast<std::size_t>(written));
                pacer_.sent(static_cast<std::size_t>(written));
            } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
                lost();
            }
        }
    }

    // The drop-mid-block fault: the host sees the device vanish. A TCP adapter takes the next
    // connection afterwards; a pseudo-terminal is replaced by a new one.
    bool hangUp()
    {
        settle();
        close(line_);
        line_ = -1;
        open_ = false;
        adapter_.disconnect();
        return tcp_ || openPty();
    }

    // The bytes already sent must reach the host before the line goes: a closing master end
    // discards what the host has not read yet (waited for up to a second), and a socket closed
    // with unread input is reset.
    void settle()
    {
        if (tcp_) {
            char buffer[4096];
            while (read(line_, buffer, sizeof buffer) > 0) {
            }
            return;
        }
        const int slave = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        for (int i = 0; slave >= 0 && i < 100; ++i) {
            int unread = 0;
            if (ioctl(slave, FIONREAD, &unread) != 0 || unread == 0)
                break;
            usleep(10'000);
        }
        if (slave >= 0)
            close(slave);
    }

    Adapter& adapter_;
    bool tcp_;
    Pacer pacer_;
    std::size_t chunk_ = 64 * 1024; // bytes per write at most
    bool idle_ = true;
    int signals_ = -1;
    int listener_ = -1;
    int line_ = -1; // the pseudo-terminal's master end, or the TCP connection
    std::string path_;
    bool open_ = false;
};

} // namespace

bool serveAdapter(Adapter& adapter, const LinkOptions& options)
{
    Link link(adapter, options);
    return link.start(options.tcpPort) && link.run();
}

} // namespace qlxsim
