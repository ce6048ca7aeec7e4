#include "sim/gateway_link.h"

#include "sim/serving.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <list>
#include <vector>

namespace qlxsim {
namespace {

struct Connection {
    int fd = -1;
    bool core = false;
    RecordStream records;
};

bool sendAll(int fd, const std::string& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

class Link {
public:
    explicit Link(Gateway& gateway) : gateway_(gateway) {}
    ~Link()
    {
        for (const Connection& c : connections_)
            close(c.fd);
        for (int fd : {portmapper_, portmapperUdp_, core_, signals_})
            if (fd >= 0)
                close(fd);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool start(int port)
    {
        signals_ = stopSignals(0);
        std::uint16_t portmapperPort = 0;
        std::uint16_t udpPort = 0;
        portmapper_ = bindLoopback(SOCK_STREAM, port, portmapperPort);
        portmapperUdp_ = portmapper_ < 0 ? -1 : bindLoopback(SOCK_DGRAM, portmapperPort, udpPort);
        core_ = bindLoopback(SOCK_STREAM, 0, corePort_);
        if (signals_ < 0 || portmapper_ < 0 || portmapperUdp_ < 0 || core_ < 0)
            return false;
        std::printf("127.0.0.1:%u\n", portmapperPort);
        std::fflush(stdout);
        return true;
    }

    bool run()
    {
        for (;;) {
            std::vector<pollfd> fds{
                {signals_, POLLIN, 0}, {portmapper_, POLLIN, 0}, {core_, POLLIN, 0}, {portmapperUdp_, POLLIN, 0}};
            for (const Connection& c : connections_)
                fds.push_back({c.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
                return false;
            if (fds[0].revents & POLLIN)
                return true;
            for (int i : {1, 2}) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                const int fd = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                const int on = 1;
                if (fd >= 0 && setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0)
                    connections_.push_back({fd, i == 2, {}});
            }
            if (fds[3].revents & POLLIN)
                answerDatagram();
            auto it = connections_.begin();
            for (std::size_t i = 4; i < fds.size(); ++i) {
                const bool keep = !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)) || serve(*it);
                if (keep) {
                    ++it;
                } else {
                    close(it->fd);
                    it = connections_.erase(it);
                }
            }
        }
    }

private:
    // A portmapper call on UDP (as a broadcast brings it): one datagram, one reply.
    void answerDatagram()
    {
        char buffer[9000];
        sockaddr_in from{};
        socklen_t size = sizeof from;
        const ssize_t count =
            recvfrom(portmapperUdp_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (count <= 0)
            return;
        if (const auto reply = gateway_.portmapperCall(std::string_view(buffer, std::size_t(count)), corePort_))
            sendto(portmapperUdp_, reply->data(), reply->size(), 0, reinterpret_cast<sockaddr*>(&from), size);
    }

    // The calls that arrived on `c`, each answered before the next is read; false when it ends.
    bool serve(Connection& c)
    {
        char buffer[64 * 1024];
        const ssize_t count = read(c.fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            return true;
        if (count <= 0)
            return false;
        c.records.append(std::string_view(buffer, static_cast<std::size_t>(count)));
        while (const auto record = c.records.next()) {
            const auto reply = c.core ? gateway_.coreCall(*record) : gateway_.portmapperCall(*record, corePort_);
            if (!reply || !sendAll(c.fd, recordOf(*reply)))
                return false;
        }
        return !c.records.failed();
    }

    Gateway& gateway_;
    int signals_ = -1;
    int portmapper_ = -1;
    int portmapperUdp_ = -1;
    int core_ = -1;
    std::uint16_t corePort_ = 0;
    std::list<Connection> connections_;
};

} // namespace

bool serveGateway(Gateway& gateway, int port)
{
    Link link(gateway);
    return link.start(port) && link.run();
}

} // namespace qlxsim
