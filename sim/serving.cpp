#include "sim/serving.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace qlxsim {

int bindLoopback(int type, int port, std::uint16_t& bound)
{
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool stream = (type & 0xF) == SOCK_STREAM;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || (stream && listen(fd, 16) != 0)
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    bound = ntohs(address.sin_port);
    return fd;
}

int stopSignals(int flags)
{
    sigset_t stop;
    sigemptyset(&stop);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stop, s);
    if (sigprocmask(SIG_BLOCK, &stop, nullptr) != 0)
        return -1;
    return signalfd(-1, &stop, flags | SFD_CLOEXEC);
}

} // namespace qlxsim
