#include "sim/gateway.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace qlxsim {
namespace {

constexpr std::uint32_t kPortmapper = 100000;
constexpr std::uint32_t kCore = 0x0607AF;
constexpr std::uint32_t kGetPort = 3;
constexpr std::uint32_t kTcp = 6;
constexpr std::uint32_t kFlagEnd = 0x08;
constexpr std::uint32_t kReasonRequestCount = 0x01;
constexpr std::uint32_t kReasonEnd = 0x04;
constexpr std::uint32_t kMaxWrite = 64 * 1024; // what create_link says the gateway takes at once
constexpr std::size_t kMaxRecord = 1024 * 1024;
constexpr std::size_t kMaxString = 64 * 1024;

enum Error : std::uint32_t { NoError = 0, InvalidLink = 4, OutOfResources = 9, IoTimeout = 15 };

// XDR as the server reads and writes it.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    std::uint32_t u32()
    {
        if (bytes_.size() - pos_ < 4 || !ok_) {
            ok_ = false;
            return 0;
        }
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + pos_);
        pos_ += 4;
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    }
    std::string opaque()
    {
        const std::uint32_t length = u32();
        const std::size_t padded = (std::size_t(length) + 3) / 4 * 4;
        if (!ok_ || length > kMaxString || bytes_.size() - pos_ < padded) {
            ok_ = false;
            return {};
        }
        std::string data(bytes_.substr(pos_, length));
        pos_ += padded;
        return data;
    }
    std::string_view rest() const { return bytes_.substr(std::min(pos_, bytes_.size())); }
    bool ok() const { return ok_; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

void put(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char(value >> shift & 0xFF);
}

void putOpaque(std::string& out, std::string_view data)
{
    put(out, std::uint32_t(data.size()));
    out.append(data);
    out.append((4 - data.size() % 4) % 4, '\0');
}

struct Call {
    std::uint32_t xid = 0;
    std::uint32_t program = 0;
    std::uint32_t procedure = 0;
    std::string_view args;
};

std::optional<Call> parseCall(std::string_view message)
{
    Reader r(message);
    Call call;
    call.xid = r.u32();
    const bool isCall = r.u32() == 0 && r.u32() == 2;
    call.program = r.u32();
    r.u32(); // version: only 1 and 2 are served, which the client asks for
    call.procedure = r.u32();
    for (int i = 0; i < 2; ++i) { // credentials and verifier
        r.u32();
        r.opaque();
    }
    if (!isCall || !r.ok())
        return std::nullopt;
    call.args = r.rest();
    return call;
}

// An accepted reply: `status` 0 with the results, else the accept status (1 program, 3 procedure).
std::string reply(std::uint32_t xid, std::uint32_t status, std::string_view results = {})
{
    std::string out;
    for (std::uint32_t word : {xid, 1u, 0u, 0u, 0u, status})
        put(out, word);
    out.append(results);
    return out;
}

std::string errorOnly(std::uint32_t error)
{
    std::string out;
    put(out, error);
    return out;
}

} // namespace

Gateway::Gateway(GatewayConfig config, Config tester, CommandLog& log)
    : config_(config),
      log_(log),
      tester_(std::move(tester), config.pause, log),
      pacer_(Pacer::atRate(config.bytesPerSecond))
{
}

std::optional<std::string> Gateway::portmapperCall(std::string_view message, std::uint16_t corePort)
{
    const std::optional<Call> call = parseCall(message);
    if (!call)
        return std::nullopt;
    if (call->program != kPortmapper)
        return reply(call->xid, 1);
    if (call->procedure == 0) // the null procedure
        return reply(call->xid, 0);
    if (call->procedure != kGetPort)
        return reply(call->xid, 3);
    Reader r(call->args);
    const bool core = r.u32() == kCore && r.u32() == 1 && r.u32() == kTcp;
    std::string port;
    put(port, core && r.ok() ? corePort : 0);
    return reply(call->xid, 0, port);
}

std::optional<std::string> Gateway::coreCall(std::string_view message)
{
    const std::optional<Call> call = parseCall(message);
    if (!call)
        return std::nullopt;
    if (call->program != kCore)
        return reply(call->xid, 1);
    bool drop = false;
    std::string results;
    switch (call->procedure) {
    case 10:
        results = createLink(call->args);
        break;
    case 11:
        results = deviceWrite(call->args);
        break;
    case 12:
        results = deviceRead(call->args, drop);
        break;
    case 15:
        results = generic(call->args, "device-clear");
        break;
    case 17:
        results = generic(call->args, "go-to-local");
        break;
    case 23:
        results = destroyLink(call->args);
        break;
    default:
        return reply(call->xid, 3);
    }
    if (drop) {
        log_.line("hang-up");
        return std::nullopt;
    }
    return reply(call->xid, 0, results);
}

std::string Gateway::createLink(std::string_view args)
{
    Reader r(args);
    r.u32(); // client id
    r.u32(); // lock device
    r.u32(); // lock time-out
    const std::string device = r.opaque();
    std::string out;
    // "gpibN,PAD": the address is one or two digits.
    const auto comma = device.find(',');
    const std::string address = comma == std::string::npos ? std::string() : device.substr(comma + 1);
    const bool gpib = r.ok() && device.compare(0, 4, "gpib") == 0 && !address.empty() && address.size() <= 2
                      && address.find_first_not_of("0123456789") == std::string::npos;
    const int pad = gpib ? std::stoi(address) : -1;
    if (config_.refuseLinks || pad < 0 || pad > 30) {
        log_.line("link-refused " + device);
        for (std::uint32_t word : {std::uint32_t(OutOfResources), 0u, 0u, 0u})
            put(out, word);
        return out;
    }
    log_.line("create-link " + device);
    const std::uint32_t link = nextLink_++;
    links_[link] = pad;
    for (std::uint32_t word : {std::uint32_t(NoError), link, 0u, kMaxWrite})
        put(out, word);
    return out;
}

bool Gateway::present(std::uint32_t link) const
{
    const auto it = links_.find(link);
    return it != links_.end() && it->second == config_.testerAddress;
}

Gateway::Clock::time_point Gateway::deadline(std::uint32_t ioTimeoutMs) const
{
    auto wait = std::chrono::milliseconds(ioTimeoutMs);
    if (config_.timeoutCap.count() > 0)
        wait = std::min(wait, config_.timeoutCap);
    return Clock::now() + wait;
}

std::string Gateway::deviceWrite(std::string_view args)
{
    Reader r(args);
    const std::uint32_t link = r.u32();
    const std::uint32_t ioTimeout = r.u32();
    r.u32(); // lock time-out
    const std::uint32_t flags = r.u32();
    const std::string data = r.opaque();
    std::string out;
    if (!r.ok() || !links_.count(link)) {
        put(out, InvalidLink);
        put(out, 0);
        return out;
    }
    if (!present(link)) {
        log_.line("no-listener " + std::to_string(links_[link]));
        std::this_thread::sleep_until(deadline(ioTimeout));
        put(out, IoTimeout);
        put(out, 0);
        return out;
    }
    log_.command(data);
    tester_.listen(data, flags & kFlagEnd);
    pacer_.wake(Clock::now());
    put(out, NoError);
    put(out, std::uint32_t(data.size()));
    return out;
}

// Waits for the tester's next bytes, at most a piece, then answers with what came.
std::string Gateway::deviceRead(std::string_view args, bool& drop)
{
    Reader r(args);
    const std::uint32_t link = r.u32();
    const std::uint32_t requestSize = r.u32();
    const std::uint32_t ioTimeout = r.u32();
    std::string out;
    if (!r.ok() || !links_.count(link)) {
        put(out, InvalidLink);
        put(out, 0);
        putOpaque(out, {});
        return out;
    }
    const Clock::time_point until = deadline(ioTimeout);
    const std::size_t want = std::min<std::size_t>({requestSize, config_.piece, kMaxRecord / 2});
    while (present(link)) {
        const Clock::time_point now = Clock::now();
        if (tester_.dropReached()) {
            drop = true;
            return {};
        }
        const std::string_view ready = tester_.ready(now, want);
        const std::size_t allowed = std::min(ready.size(), pacer_.allowance(now));
        // A full piece when it is coming; less only at the end of what the tester has to say.
        if (allowed > 0 && (allowed == ready.size() || allowed >= want)) {
            const std::string data(ready.substr(0, allowed));
            tester_.take(allowed, now);
            pacer_.sent(allowed);
            const std::uint32_t reason =
                (tester_.endSent() ? kReasonEnd : 0) | (data.size() == requestSize ? kReasonRequestCount : 0);
            put(out, NoError);
            put(out, reason);
            putOpaque(out, data);
            return out;
        }
        Clock::time_point wake = until;
        if (!ready.empty())
            wake = std::min(wake, pacer_.dueAfter(ready.size()));
        else if (const auto paused = tester_.pausedUntil(now))
            wake = std::min(wake, *paused);
        if (now >= until)
            break;
        std::this_thread::sleep_until(wake);
    }
    if (!present(link))
        std::this_thread::sleep_until(until);
    log_.line("read-timeout 0");
    put(out, IoTimeout);
    put(out, 0);
    putOpaque(out, {});
    return out;
}

std::string Gateway::generic(std::string_view args, const char* event)
{
    Reader r(args);
    const std::uint32_t link = r.u32();
    if (!r.ok() || !links_.count(link))
        return errorOnly(InvalidLink);
    log_.line(event);
    if (present(link) && std::string_view(event) == "device-clear")
        tester_.clear();
    return errorOnly(NoError);
}

std::string Gateway::destroyLink(std::string_view args)
{
    Reader r(args);
    const std::uint32_t link = r.u32();
    if (!r.ok() || links_.erase(link) == 0)
        return errorOnly(InvalidLink);
    log_.line("destroy-link");
    return errorOnly(NoError);
}

std::optional<std::string> RecordStream::next()
{
    while (!failed_ && buffer_.size() >= 4) {
        const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data());
        const std::uint32_t mark =
            std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
        const std::size_t length = mark & 0x7FFFFFFF;
        if (record_.size() + length > kMaxRecord) {
            failed_ = true;
            break;
        }
        if (buffer_.size() - 4 < length)
            break;
        record_.append(buffer_, 4, length);
        buffer_.erase(0, 4 + length);
        if (mark & 0x80000000u)
            return std::exchange(record_, {});
    }
    return std::nullopt;
}

std::string recordOf(std::string_view message)
{
    std::string out;
    put(out, 0x80000000u | std::uint32_t(message.size()));
    out.append(message);
    return out;
}

} // namespace qlxsim
