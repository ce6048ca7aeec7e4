// qlxsim: the simulated QLX tester on a pseudo-terminal, behind a "++" GPIB adapter or behind a
// LAN-GPIB gateway. "qlxsim --help" describes what it serves, its options and the environment of
// the simulated GPIB and VISA libraries (qlxsim_options.cpp).
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/adapter_link.h"
#include "sim/command_log.h"
#include "sim/gateway_link.h"
#include "sim/model.h"
#include "sim/pacer.h"
#include "sim/qlxsim_options.h"

namespace {

using qlxsim::fail;
using qlxsim::Options;

constexpr std::size_t kMaxCommand = 64 * 1024; // an unterminated flood is dropped past this
constexpr std::size_t kChunk = 16;             // bytes per write while pacing

// Opens the pseudo-terminal pair: the master end is ours, the raw slave end is for the client.
// We keep a slave descriptor open ourselves so that the master never sees a hang-up when the
// client closes the device and opens it again.
int openLine(std::string& slavePath, int& slaveHolder)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    const char* name = ptsname(master);
    if (!name)
        return -1;
    slavePath = name;
    slaveHolder = open(name, O_RDWR | O_NOCTTY);
    if (slaveHolder < 0)
        return -1;
    termios tio{};
    if (tcgetattr(slaveHolder, &tio) != 0)
        return -1;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    if (tcsetattr(slaveHolder, TCSANOW, &tio) != 0)
        return -1;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return master;
}

class LineServer {
public:
    LineServer(int master, const Options& options, qlxsim::CommandLog& log)
        : master_(master), tester_(options.config), pacer_(options.baud), log_(log)
    {
        tester_.setLog(&log_);
    }

    [[noreturn]] void run()
    {
        for (;;) {
            const auto now = qlxsim::Pacer::Clock::now();
            const std::size_t pending = output_.size() - outputPos_;
            int timeout = -1;
            short events = POLLIN;
            if (pending > 0 && now < heldUntil_) {
                timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(heldUntil_ - now).count());
            } else if (pending > 0) {
                if (pacer_.allowance(now) >= std::min(pending, kChunk)) {
                    events |= POLLOUT;
                } else {
                    const auto wait = pacer_.dueAfter(std::min(pending, kChunk)) - now;
                    timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
                }
            }
            pollfd fd{master_, events, 0};
            if (poll(&fd, 1, timeout) < 0 && errno != EINTR)
                fail(std::strerror(errno));
            if (fd.revents & POLLIN)
                receive();
            if (fd.revents & POLLOUT)
                transmit();
            if ((fd.revents & (POLLHUP | POLLERR)) && !(fd.revents & POLLIN))
                usleep(20'000);
        }
    }

private:
    void receive()
    {
        char buffer[4096];
        const ssize_t count = read(master_, buffer, sizeof buffer);
        for (ssize_t i = 0; i < count; ++i) {
            input_ += buffer[i];
            if (buffer[i] == '\n' || input_.size() >= kMaxCommand) {
                log_.command(input_);
                if (buffer[i] == '\n')
                    answer(input_);
                input_.clear();
            }
        }
    }

    void answer(const std::string& command)
    {
        const auto reply = tester_.handle(command);
        if (!reply || reply->bytes.empty())
            return;
        const auto now = qlxsim::Pacer::Clock::now();
        if (outputPos_ == output_.size()) {
            output_.clear();
            outputPos_ = 0;
            heldUntil_ = now + reply->delay;
            pacer_.wake(heldUntil_);
        }
        output_ += reply->bytes;
    }

    void transmit()
    {
        const std::size_t pending = output_.size() - outputPos_;
        std::size_t count = std::min(pending, pacer_.allowance(qlxsim::Pacer::Clock::now()));
        if (pacer_.paced())
            count = std::min(count, kChunk);
        const ssize_t written = write(master_, output_.data() + outputPos_, count);
        if (written <= 0)
            return;
        outputPos_ += static_cast<std::size_t>(written);
        pacer_.sent(static_cast<std::size_t>(written));
    }

    int master_;
    qlxsim::Tester tester_;
    qlxsim::Pacer pacer_;
    qlxsim::CommandLog& log_;
    std::string input_;
    std::string output_;
    std::size_t outputPos_ = 0;
    qlxsim::Pacer::Clock::time_point heldUntil_{}; // a late answer waits until then
};

} // namespace

// The tester behind the adapter, until a signal ends it; the EEPROM writes are counted at the end.
int runAdapter(const Options& options, qlxsim::CommandLog& log)
{
    qlxsim::Adapter adapter(*options.adapter, options.config, log);
    if (!qlxsim::serveAdapter(adapter, options.link))
        fail(std::string("cannot serve the adapter: ") + std::strerror(errno));
    const std::string total = "eeprom-writes " + std::to_string(adapter.eepromWrites());
    log.line(total);
    if (options.log != "-")
        std::fprintf(stderr, "qlxsim: %s\n", total.c_str());
    return 0;
}

// The tester behind the gateway, until a signal ends it.
int runGateway(const Options& options, qlxsim::CommandLog& log)
{
    qlxsim::Gateway gateway(*options.gateway, options.config, log);
    if (!qlxsim::serveGateway(gateway, options.link.tcpPort.value_or(0)))
        fail(std::string("cannot serve the gateway: ") + std::strerror(errno));
    return 0;
}

int main(int argc, char** argv)
{
    const Options options = qlxsim::parseOptions(argc, argv);
    qlxsim::CommandLog log;
    if (!log.open(options.log))
        fail("cannot open log " + options.log);
    if (options.adapter)
        return runAdapter(options, log);
    if (options.gateway)
        return runGateway(options, log);
    std::string slavePath;
    int slaveHolder = -1;
    const int master = openLine(slavePath, slaveHolder);
    if (master < 0)
        fail(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);
    LineServer(master, options, log).run();
}
