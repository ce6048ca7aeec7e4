#include "sim/gpib_bus.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "sim/command_log.h"
#include "sim/model.h"

// The environment (QLXSIM_DIR, QLXSIM_IDN, QLXSIM_ADDRESS, QLXSIM_OFF, QLXSIM_FAULT,
// QLXSIM_OLD_FIRMWARE, QLXSIM_CURRENT_DIR, QLXSIM_LOG, QLXSIM_TIMEOUT_MS, QLXSIM_BOARD) is read at every ibdev,
// as if the tester were switched on again with it; QLXSIM_REGISTER_RESULT at every registration,
// QLXSIM_BLOCK_MS at every call.
// "qlxsim --help" describes them.

namespace qlxsim::gpib {
namespace {

constexpr long kMaxWrite = 1024 * 1024;

std::string env(const char* name, const char* fallback = "")
{
    const char* value = std::getenv(name);
    return value ? value : fallback;
}

bool envFlag(const char* name)
{
    const std::string value = env(name);
    return !value.empty() && value != "0";
}

long envNumber(const char* name, long fallback)
{
    const std::string value = env(name);
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    return value.empty() || *end != '\0' ? fallback : number;
}

struct Device {
    int pad = 0;
    int sad = 0;
    std::chrono::milliseconds timeout{};
    bool eot = true;
    bool end = false; // the last write or read ended with END: each later call's status shows it
};

Board boardOf(const std::string& setting)
{
    if (setting == "missing")
        return Board::Missing;
    if (setting == "unconfigured")
        return Board::Unconfigured;
    return setting == "eio" ? Board::ReadError : Board::Usable;
}

Status withEnd(const Device& device, Status status)
{
    if (device.end)
        status.sta |= END;
    return status;
}

// The tester's output queue: what it will talk when addressed, and whether END ends it.
struct Output {
    std::string bytes;
    std::size_t position = 0;
    bool complete = true;
};

class Bus {
public:
    Status open(int board, int pad, int sad, int tmo, int eot, int eos, int& ud)
    {
        std::lock_guard lock(mutex_);
        configure();
        log_.line("ibdev(" + std::to_string(board) + "," + std::to_string(pad) + "," + std::to_string(sad) + ","
                  + std::to_string(tmo) + "," + std::to_string(eot) + "," + std::to_string(eos) + ")");
        ud = -1;
        if (board != 0)
            return {ERR, ENEB, 0};
        // No /dev/gpib0: linux-gpib reports the errno of its next ioctl, not the ENOENT of the open.
        if (board_ == Board::Missing)
            return {ERR, EDVR, EBADF};
        if (board_ == Board::Unconfigured)
            return {ERR, EDVR, EINVAL};
        if (pad < 0 || pad > 30 || (sad != 0 && (sad < 0x60 || sad > 0x7E)) || tmo < 0 || tmo > 17) {
            return {ERR, EARG, 0};
        }
        int free = kFirstDescriptor;
        while (free < kDescriptorsEnd && devices_.count(free))
            ++free;
        if (free == kDescriptorsEnd)
            return {ERR, ENEB, 0}; // the library's table is full
        const auto timeout = timeoutMs_ >= 0 ? std::chrono::milliseconds(timeoutMs_) : timeoutOfCode(tmo);
        ud = free;
        devices_[ud] = {pad, sad, timeout, eot != 0};
        return {CMPL, 0, 0};
    }

    Status write(int ud, const void* buffer, long count)
    {
        std::lock_guard lock(mutex_);
        Device* device = find(ud);
        if (!device)
            return {ERR, EARG, 0};
        if (count < 0 || count > kMaxWrite || (count > 0 && !buffer))
            return withEnd(*device, {ERR, EARG, 0});
        device->end = false;
        if (!listens(*device))
            return {ERR, ENOL, 0};
        const std::string command(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
        log_.command(command);
        output_ = {};
        if (auto answer = tester_->handle(command)) {
            output_ = {std::move(answer->bytes), 0, answer->complete};
        }
        device->end = device->eot;
        return withEnd(*device, {CMPL, 0, count});
    }

    Status read(int ud, void* buffer, long count)
    {
        std::chrono::milliseconds wait{};
        Status status;
        {
            std::lock_guard lock(mutex_);
            Device* device = find(ud);
            if (!device)
                return {ERR, EARG, 0};
            if (count < 0 || (count > 0 && !buffer))
                return withEnd(*device, {ERR, EARG, 0});
            device->end = false;
            if (board_ == Board::ReadError)
                return {ERR, EDVR, EIO};
            const std::size_t remaining = listens(*device) ? output_.bytes.size() - output_.position : 0;
            const std::size_t taken = std::min(remaining, static_cast<std::size_t>(count));
            if (taken > 0)
                std::memcpy(buffer, output_.bytes.data() + output_.position, taken);
            output_.position += taken;
            status.cntl = static_cast<long>(taken);
            if (taken == remaining && remaining > 0 && output_.complete) {
                status.sta = CMPL | END;
                device->end = true;
            } else if (taken < static_cast<std::size_t>(count)) {
                // The talker fell silent before the count was reached: the read times out.
                log_.line("ibrd(" + std::to_string(ud) + ") timed out");
                status = {ERR | TIMO, EABO, status.cntl};
                wait = device->timeout;
            }
        }
        std::this_thread::sleep_for(wait);
        return status;
    }

    Status local(int ud)
    {
        std::lock_guard lock(mutex_);
        log_.line("ibloc(" + std::to_string(ud) + ")");
        const Device* device = find(ud);
        if (!device)
            return {ERR, EARG, 0};
        return withEnd(*device, {CMPL, 0, 0});
    }

    // Selected device clear: the tester drops its output queue.
    Status clear(int ud)
    {
        std::lock_guard lock(mutex_);
        log_.line("ibclr(" + std::to_string(ud) + ")");
        const Device* device = find(ud);
        if (!device)
            return {ERR, EARG, 0};
        if (!listens(*device))
            return withEnd(*device, {ERR, ENOL, 0});
        output_ = {};
        return withEnd(*device, {CMPL, 0, 0});
    }

    Status online(int ud, int online)
    {
        std::lock_guard lock(mutex_);
        log_.line("ibonl(" + std::to_string(ud) + "," + std::to_string(online) + ")");
        Device* device = find(ud);
        if (!device)
            return {ERR, EARG, 0};
        const Status status = withEnd(*device, {CMPL, 0, 0});
        if (online == 0)
            devices_.erase(ud);
        else
            device->end = false;
        return status;
    }

    unsigned long nextRegisterResult()
    {
        std::lock_guard lock(mutex_);
        const std::string setting = env("QLXSIM_REGISTER_RESULT");
        if (setting != registerSetting_) {
            registerSetting_ = setting;
            registerCalls_ = 0;
        }
        return registerResult(setting, registerCalls_++);
    }

private:
    // The tester is built afresh from the environment, as if switched on with these settings.
    void configure()
    {
        const Setting setting = settingFromEnvironment();
        tester_ = std::make_unique<Tester>(setting.tester);
        tester_->setLog(&log_);
        output_ = {};
        address_ = setting.address;
        switchedOn_ = setting.switchedOn;
        board_ = setting.board;
        timeoutMs_ = setting.timeoutMs;
        if (setting.log != logTarget_) {
            log_.open(setting.log);
            logTarget_ = setting.log;
        }
    }

    Device* find(int ud)
    {
        const auto it = devices_.find(ud);
        return it == devices_.end() ? nullptr : &it->second;
    }

    bool listens(const Device& device) const
    {
        return switchedOn_ && tester_ && device.pad == address_ && (device.sad == 0 || device.sad == 0x60);
    }

    std::mutex mutex_;
    std::map<int, Device> devices_;
    Board board_ = Board::Usable;
    long timeoutMs_ = -1;
    std::unique_ptr<Tester> tester_;
    Output output_;
    int address_ = 20;
    bool switchedOn_ = true;
    CommandLog log_;
    std::string logTarget_;
    std::string registerSetting_;
    unsigned long registerCalls_ = 0;
};

Bus& bus()
{
    static Bus instance;
    return instance;
}

} // namespace

Setting settingFromEnvironment()
{
    Setting setting;
    Config& config = setting.tester;
    config.folder = env("QLXSIM_DIR", ".");
    config.oldFirmware = envFlag("QLXSIM_OLD_FIRMWARE");
    config.identity = env("QLXSIM_IDN", std::string(config.oldFirmware ? kOldIdentity : kIdentity).c_str());
    config.currentDir = env("QLXSIM_CURRENT_DIR", std::string(kPrintDirectory).c_str());
    config.terminator = "\n";
    config.fault = parseFault(env("QLXSIM_FAULT")).value_or(Fault{});
    setting.address = static_cast<int>(envNumber("QLXSIM_ADDRESS", 20));
    setting.switchedOn = !envFlag("QLXSIM_OFF");
    setting.board = boardOf(env("QLXSIM_BOARD"));
    setting.log = env("QLXSIM_LOG");
    setting.timeoutMs = envNumber("QLXSIM_TIMEOUT_MS", -1);
    return setting;
}

std::chrono::milliseconds timeoutOfCode(int code)
{
    using namespace std::chrono;
    static constexpr microseconds table[] = {
        seconds(1000),   microseconds(10), microseconds(30), microseconds(100), microseconds(300), milliseconds(1),
        milliseconds(3), milliseconds(10), milliseconds(30), milliseconds(100), milliseconds(300), seconds(1),
        seconds(3),      seconds(10),      seconds(30),      seconds(100),      seconds(300),      seconds(1000)};
    if (code < 0 || code > 17)
        return milliseconds(0);
    return ceil<milliseconds>(table[code]);
}

unsigned long registerResult(const std::string& setting, unsigned long callIndex)
{
    unsigned long result = 0;
    std::size_t start = 0;
    for (unsigned long i = 0; start <= setting.size(); ++i) {
        const std::size_t comma = setting.find(',', start);
        const std::string item = setting.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        char* end = nullptr;
        const unsigned long value = std::strtoul(item.c_str(), &end, 10);
        result = item.empty() || *end != '\0' ? 0 : value;
        if (i == callIndex || comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return result;
}

// QLXSIM_BLOCK_MS: each call first blocks this long, as a driver does that waits on a loose cable.
void blockLikeALooseCable()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max(0L, envNumber("QLXSIM_BLOCK_MS", 0))));
}

Status deviceOpen(int board, int pad, int sad, int tmo, int eot, int eos, int& ud)
{
    blockLikeALooseCable();
    return bus().open(board, pad, sad, tmo, eot, eos, ud);
}
Status deviceWrite(int ud, const void* buffer, long count)
{
    blockLikeALooseCable();
    return bus().write(ud, buffer, count);
}
Status deviceRead(int ud, void* buffer, long count)
{
    blockLikeALooseCable();
    return bus().read(ud, buffer, count);
}
Status deviceLocal(int ud)
{
    blockLikeALooseCable();
    return bus().local(ud);
}
Status deviceClear(int ud)
{
    blockLikeALooseCable();
    return bus().clear(ud);
}
Status deviceOnline(int ud, int online)
{
    blockLikeALooseCable();
    return bus().online(ud, online);
}
unsigned long nextRegisterResult() { return bus().nextRegisterResult(); }

} // namespace qlxsim::gpib
