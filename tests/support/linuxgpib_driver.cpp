// linux-gpib's kernel driver, emulated for the tests that run the real linux-gpib library: loaded
// with LD_PRELOAD, it answers open, ioctl and close of /dev/gpib0 and puts the simulated tester on
// the bus. It is compiled at test time against the library's own include/gpib headers, from the
// source the library is built from, so the ioctl interface is taken from there, not restated here.
//
// The bus follows the command bytes the library sends (UNL, UNT, listen and talk addresses, SDC,
// DCL, GTL); a write with nobody listening fails with ECOMM, a read from a silent talker with
// ETIMEDOUT after the time-out, as the driver does. The environment is the simulated GPIB
// libraries' (qlxsim::gpib::settingFromEnvironment). QLXSIM_BOARD=missing: /dev/gpib0 does
// not exist; unconfigured: every ioctl fails with EINVAL; eio: every read fails with EIO. Besides
// the commands the log gets open-dev PAD, close-dev, device-clear, go-to-local and read-timeout.
#include "sim/bus_tester.h"
#include "sim/gpib_bus.h"

#include <gpib/gpib_ioctl.h>
#include <gpib/gpib_user.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

using Clock = qlxsim::BusTester::Clock;

template <typename Function>
Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int openFile(const char* path, int flags, mode_t mode)
{
    static const auto realOpen = next<int (*)(const char*, int, ...)>("open");
    return realOpen(path, flags, mode);
}

class Driver {
public:
    bool isBoard(int fd)
    {
        const std::lock_guard lock(mutex_);
        return boards_.count(fd) > 0;
    }

    int open()
    {
        const std::lock_guard lock(mutex_);
        setting_ = qlxsim::gpib::settingFromEnvironment();
        if (setting_.board == qlxsim::gpib::Board::Missing) {
            errno = ENOENT;
            return -1;
        }
        if (!tester_) {
            log_.open(setting_.log);
            tester_ = std::make_unique<qlxsim::BusTester>(setting_.tester, qlxsim::BlockPause{}, log_);
        }
        const int fd = openFile("/dev/null", O_RDWR, 0);
        boards_.insert(fd);
        return fd;
    }

    void close(int fd)
    {
        const std::lock_guard lock(mutex_);
        boards_.erase(fd);
    }

    int ioctl(unsigned long request, void* argument)
    {
        const std::lock_guard lock(mutex_);
        if (setting_.board == qlxsim::gpib::Board::Unconfigured)
            return fail(EINVAL);
        switch (request) {
        case IBRD:
            return read(*static_cast<read_write_ioctl_t*>(argument));
        case IBWRT:
            return write(*static_cast<read_write_ioctl_t*>(argument));
        case IBCMD:
            return command(*static_cast<read_write_ioctl_t*>(argument));
        case IBOPENDEV: {
            auto& open = *static_cast<open_dev_ioctl_t*>(argument);
            open.handle = nextHandle_++;
            log_.line("open-dev " + std::to_string(open.pad));
            return 0;
        }
        case IBCLOSEDEV:
            log_.line("close-dev");
            return 0;
        case IBWAIT:
            static_cast<wait_ioctl_t*>(argument)->ibsta = CIC | CMPL;
            return 0;
        case IBBOARD_INFO: {
            auto& info = *static_cast<board_info_ioctl_t*>(argument);
            std::memset(&info, 0, sizeof info);
            info.sad = -1;
            info.is_system_controller = 1;
            return 0;
        }
        case IBQUERY_BOARD_RSV:
            *static_cast<int*>(argument) = 0;
            return 0;
        case IBTMO:
            timeoutUs_ = *static_cast<unsigned*>(argument);
            return 0;
        case IBEOS:
        case IBMUTEX:
        case IBPAD:
        case IBSAD:
        case IBAUTOSPOLL:
        case IBSIC:
        case IBSRE:
        case IBLOC:
        case IBONL:
            return 0;
        default:
            return fail(EINVAL);
        }
    }

private:
    static int fail(int error)
    {
        errno = error;
        return -1;
    }

    bool testerListens() const { return setting_.switchedOn && listeners_.count(setting_.address) > 0; }

    int command(read_write_ioctl_t& cmd)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(cmd.buffer_ptr);
        for (unsigned i = 0; i < cmd.requested_transfer_count; ++i) {
            const unsigned char byte = bytes[i] & 0x7F;
            if (byte == UNL)
                listeners_.clear();
            else if (byte == UNT)
                talker_ = -1;
            else if (byte >= LAD && byte < UNL)
                listeners_.insert(byte - LAD);
            else if (byte >= TAD && byte < UNT)
                addressToTalk(byte - TAD);
            else if ((byte == SDC && testerListens()) || byte == DCL)
                clearTester();
            else if (byte == GTL && testerListens())
                log_.line("go-to-local");
        }
        cmd.completed_transfer_count = cmd.requested_transfer_count;
        return 0;
    }

    void addressToTalk(int pad)
    {
        talker_ = pad;
        if (pad == setting_.address && setting_.switchedOn)
            tester_->addressTalk();
    }

    void clearTester()
    {
        log_.line("device-clear");
        tester_->clear();
    }

    int write(read_write_ioctl_t& cmd)
    {
        if (!testerListens())
            return fail(ECOMM);
        const std::string_view bytes(reinterpret_cast<const char*>(cmd.buffer_ptr), cmd.requested_transfer_count);
        log_.command(bytes);
        tester_->listen(bytes, cmd.end != 0);
        cmd.completed_transfer_count = cmd.requested_transfer_count;
        return 0;
    }

    int read(read_write_ioctl_t& cmd)
    {
        cmd.completed_transfer_count = 0;
        cmd.end = 0;
        if (setting_.board == qlxsim::gpib::Board::ReadError)
            return fail(EIO);
        auto* into = reinterpret_cast<char*>(cmd.buffer_ptr);
        const bool talks = talker_ == setting_.address && setting_.switchedOn;
        while (talks && cmd.completed_transfer_count < cmd.requested_transfer_count) {
            const Clock::time_point now = Clock::now();
            if (const auto until = tester_->pausedUntil(now)) {
                std::this_thread::sleep_until(*until);
                continue;
            }
            const std::string_view bytes =
                tester_->ready(now, cmd.requested_transfer_count - cmd.completed_transfer_count);
            if (bytes.empty())
                break;
            std::memcpy(into + cmd.completed_transfer_count, bytes.data(), bytes.size());
            cmd.completed_transfer_count += unsigned(bytes.size());
            tester_->take(bytes.size(), now);
            if (tester_->endSent()) {
                cmd.end = 1;
                return 0;
            }
        }
        if (cmd.completed_transfer_count == cmd.requested_transfer_count)
            return 0;
        log_.line("read-timeout");
        std::this_thread::sleep_for(setting_.timeoutMs >= 0 ? std::chrono::microseconds(setting_.timeoutMs * 1000)
                                                            : std::chrono::microseconds(timeoutUs_));
        return fail(ETIMEDOUT);
    }

    std::mutex mutex_;
    std::set<int> boards_;
    qlxsim::gpib::Setting setting_;
    qlxsim::CommandLog log_;
    std::unique_ptr<qlxsim::BusTester> tester_;
    std::set<int> listeners_;
    int talker_ = -1;
    unsigned timeoutUs_ = 3000000;
    unsigned nextHandle_ = 1;
};

Driver& driver()
{
    static Driver* const instance = new Driver; // used until the process ends
    return *instance;
}

bool isBoardPath(const char* path) { return path && std::strcmp(path, "/dev/gpib0") == 0; }

} // namespace

extern "C" __attribute__((visibility("default"))) int open(const char* path, int flags, ...)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list arguments;
        va_start(arguments, flags);
        mode = mode_t(va_arg(arguments, int));
        va_end(arguments);
    }
    return isBoardPath(path) ? driver().open() : openFile(path, flags, mode);
}

extern "C" __attribute__((visibility("default"), alias("open"))) int open64(const char* path, int flags, ...);

extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...)
{
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (driver().isBoard(fd))
        return driver().ioctl(request, argument);
    static const auto realIoctl = next<int (*)(int, unsigned long, ...)>("ioctl");
    return realIoctl(fd, request, argument);
}

extern "C" __attribute__((visibility("default"))) int close(int fd)
{
    if (driver().isBoard(fd))
        driver().close(fd);
    static const auto realClose = next<int (*)(int)>("close");
    return realClose(fd);
}
