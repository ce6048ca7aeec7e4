#include "sim/adapter.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace qlxsim {
namespace {

using namespace std::chrono_literals;

constexpr char kEsc = 27;
constexpr std::size_t kMaxLine = 64 * 1024;    // a longer host line is dropped
constexpr std::size_t kMaxBacklog = 64 * 1024; // host input held while a read runs
constexpr std::size_t kBuffer = 16 * 1024;     // bytes for the host before the handshake holds the talker
constexpr auto kAr488Boot = 1500ms;            // an AR488 ignores the host while it starts
constexpr auto kPrologixReset = 5000ms;        // a Prologix is deaf this long after ++rst

constexpr std::string_view kPrologixUsbVersion = "Prologix GPIB-USB Controller version 6.107";
constexpr std::string_view kPrologixEthernetVersion = "Prologix GPIB-ETHERNET Controller version 01.06.06.00";
constexpr std::string_view kAr488Version = "AR488 GPIB controller, ver. 0.53.03, 20/01/2025";

std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = text.find_first_not_of(" \t", at);
        if (start == std::string_view::npos)
            break;
        const std::size_t end = std::min(text.find_first_of(" \t", start), text.size());
        out.emplace_back(text.substr(start, end - start));
        at = end;
    }
    return out;
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<int> number(std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

// A setting that is a single number: "++name" asks for it, "++name N" sets it.
struct Adapter::SettingRule {
    std::string_view name;
    int Settings::*field;
    int low;
    int high;
    int ar488High;
};

namespace {

constexpr std::string_view kControllerOnly[] = {"auto", "read", "read_tmo_ms", "clr", "loc", "ifc", "spoll"};

} // namespace

Adapter::Adapter(AdapterConfig config, Config tester, CommandLog& log)
    : config_(config), log_(log), tester_(std::move(tester), config.pause, log)
{
    if (!prologix()) {
        // An AR488 as it leaves the workshop: controller at address 1, no EOI, 1200 ms time-out.
        settings_.pad = 1;
        settings_.eoi = 0;
        settings_.readTimeoutMs = 1200;
    }
    saved_ = settings_;
}

bool Adapter::testerPresent() const
{
    return config_.testerOn && settings_.pad == config_.testerAddress && (settings_.sad == 0 || settings_.sad == 96);
}

void Adapter::connect(Clock::time_point now)
{
    log_.line("connect");
    if (!prologix())
        reset(now);
}

void Adapter::disconnect()
{
    log_.line("disconnect");
    dropHostTraffic();
    hangUp_ = false;
}

// What the host sent and was not carried out yet, a read and the bytes not sent yet.
void Adapter::dropHostTraffic()
{
    read_.reset();
    input_.clear();
    inputPos_ = 0;
    resetLine();
    out_.clear();
    outPos_ = 0;
}

// ++rst, and an AR488 whose port was opened: the settings come back from the EEPROM.
void Adapter::reset(Clock::time_point now)
{
    log_.line("adapter-reset");
    if (input_.size() > inputPos_)
        log_.line("ignored-input " + std::to_string(input_.size() - inputPos_));
    settings_ = saved_;
    saving_ = true;
    dropHostTraffic();
    deafUntil_ = now + (prologix() ? kPrologixReset : kAr488Boot);
    bannerPending_ = !prologix();
}

bool Adapter::deaf(Clock::time_point now)
{
    if (!deafUntil_)
        return false;
    if (now < *deafUntil_)
        return true;
    deafUntil_.reset();
    if (bannerPending_)
        reply(kAr488Version);
    bannerPending_ = false;
    return false;
}

void Adapter::receive(std::string_view bytes, Clock::time_point now)
{
    if (hangUp_)
        return;
    if (deaf(now)) {
        log_.line("ignored-input " + std::to_string(bytes.size()));
        return;
    }
    input_.append(bytes);
    advance(now);
}

bool Adapter::wantsInput() const { return !hangUp_ && input_.size() - inputPos_ < kMaxBacklog; }

void Adapter::advance(Clock::time_point now)
{
    if (hangUp_ || deaf(now))
        return;
    for (;;) {
        if (read_) {
            runRead(now);
            if (read_ || hangUp_)
                return;
        }
        if (!nextLine(now))
            return;
    }
}

std::optional<Adapter::Clock::time_point> Adapter::deadline(Clock::time_point now) const
{
    if (hangUp_)
        return std::nullopt;
    if (deafUntil_)
        return deafUntil_;
    if (!read_ || room() == 0)
        return std::nullopt;
    const auto gapEnd = read_->since + std::chrono::milliseconds(settings_.readTimeoutMs);
    if (testerPresent()) {
        if (!tester_.ready(now, 1).empty())
            return now;
        if (const auto resume = tester_.pausedUntil(now); resume && *resume <= gapEnd)
            return resume;
    }
    return gapEnd;
}

void Adapter::sent(std::size_t count)
{
    outPos_ = std::min(out_.size(), outPos_ + count);
    if (outPos_ == out_.size()) {
        out_.clear();
        outPos_ = 0;
    } else if (outPos_ > kBuffer && outPos_ * 2 > out_.size()) {
        out_.erase(0, outPos_);
        outPos_ = 0;
    }
}

std::size_t Adapter::room() const
{
    const std::size_t pending = out_.size() - outPos_;
    return pending < kBuffer ? kBuffer - pending : 0;
}

void Adapter::reply(std::string_view text)
{
    out_.append(text);
    out_.append("\r\n");
}

// An AR488 says so; a Prologix ignores what it does not understand.
void Adapter::reject()
{
    if (!prologix())
        reply("Unrecognized command");
}

// --- Host lines -------------------------------------------------------------------------------

void Adapter::resetLine()
{
    line_.clear();
    escaped_ = false;
    leading_ = true;
    pluses_ = 0;
    overflow_ = false;
}

// Takes the host's bytes up to the next line end and carries the line out. False: no whole line.
bool Adapter::nextLine(Clock::time_point now)
{
    if (inputPos_ > kMaxBacklog) {
        input_.erase(0, inputPos_);
        inputPos_ = 0;
    }
    while (inputPos_ < input_.size()) {
        const char c = input_[inputPos_++];
        if (!escaped_ && c == kEsc) {
            escaped_ = true;
            continue;
        }
        if (!escaped_ && (c == '\r' || c == '\n')) {
            if (line_.empty() || overflow_) {
                resetLine();
                continue;
            }
            const std::string line = std::move(line_);
            const bool command = pluses_ == 2;
            resetLine();
            if (command)
                execute(line, now);
            else
                sendData(line, now);
            return true;
        }
        if (leading_ && !escaped_ && c == '+' && pluses_ < 2)
            ++pluses_;
        else
            leading_ = false;
        escaped_ = false;
        if (line_.size() >= kMaxLine && !overflow_) {
            log_.line("line-too-long");
            overflow_ = true;
        }
        if (!overflow_)
            line_ += c;
    }
    input_.clear();
    inputPos_ = 0;
    return false;
}

void Adapter::sendData(const std::string& line, Clock::time_point now)
{
    if (settings_.mode != 1) {
        log_.line("not-controller");
        return;
    }
    static constexpr std::string_view kEos[] = {"\r\n", "\r", "\n", ""};
    const std::string bytes = line + std::string(kEos[settings_.eos]);
    if (testerPresent()) {
        log_.command(bytes);
        tester_.listen(bytes, settings_.eoi != 0);
    } else {
        log_.line("no-listener " + std::to_string(settings_.pad));
    }
    if (settings_.autoRead == 1 || (settings_.autoRead == 2 && line.back() == '?'))
        beginRead(prologix() ? ReadUntil::End : ReadUntil::CrLf, 0, now);
}

// --- "++" commands ----------------------------------------------------------------------------

void Adapter::execute(std::string_view text, Clock::time_point now)
{
    log_.command(text);
    const std::string_view body = text.substr(2);
    const std::vector<std::string> all = words(body);
    if (all.empty()) {
        reject();
        return;
    }
    const std::string name = lower(all.front());
    const std::vector<std::string> args(all.begin() + 1, all.end());
    const std::string_view trimmed = body.substr(body.find_first_not_of(" \t"));
    if (settings_.mode != 1
        && std::find(std::begin(kControllerOnly), std::end(kControllerOnly), name) != std::end(kControllerOnly)) {
        reject();
        return;
    }

    // An AR488 also knows ++auto 2 (read after a line that ends in '?'); its continuous mode 3 is
    // not simulated.
    static constexpr SettingRule kRules[] = {
        {"mode", &Settings::mode, 0, 1, 1},
        {"auto", &Settings::autoRead, 0, 1, 2},
        {"eoi", &Settings::eoi, 0, 1, 1},
        {"eos", &Settings::eos, 0, 3, 3},
        {"eot_enable", &Settings::eotEnable, 0, 1, 1},
        {"eot_char", &Settings::eotChar, 0, 255, 255},
    };
    const auto rule =
        std::find_if(std::begin(kRules), std::end(kRules), [&](const SettingRule& r) { return r.name == name; });
    if (rule != std::end(kRules)) {
        setting(*rule, args, trimmed);
    } else if (name == "addr") {
        address(args, trimmed);
    } else if (name == "read_tmo_ms") {
        readTimeout(args, trimmed);
    } else if (name == "savecfg") {
        saveConfig(args, trimmed);
    } else if (name == "read") {
        startRead(args, now);
    } else if (name == "ver") {
        reply(!prologix() ? kAr488Version : config_.ethernet ? kPrologixEthernetVersion : kPrologixUsbVersion);
    } else if (name == "loc") {
        log_.line("go-to-local");
    } else if (name == "clr") {
        log_.line("device-clear");
        if (testerPresent())
            tester_.clear();
    } else if (name == "ifc") {
        log_.line("interface-clear");
    } else if (name == "rst") {
        reset(now);
    } else if (name == "spoll") {
        if (testerPresent())
            reply(tester_.hasOutput() ? "16" : "0"); // MAV
    } else {
        reject();
    }
}

void Adapter::setting(const SettingRule& rule, const std::vector<std::string>& args, std::string_view text)
{
    if (args.empty()) {
        reply(std::to_string(settings_.*rule.field));
        return;
    }
    const auto value = number(args.front(), rule.low, prologix() ? rule.high : rule.ar488High);
    if (!value || args.size() > 1) {
        reject();
        return;
    }
    settings_.*rule.field = *value;
    changed(text);
}

void Adapter::address(const std::vector<std::string>& args, std::string_view text)
{
    if (args.empty()) {
        reply(std::to_string(settings_.pad) + (settings_.sad ? " " + std::to_string(settings_.sad) : ""));
        return;
    }
    const auto pad = number(args[0], 0, 30);
    const auto sad = args.size() > 1 ? number(args[1], 96, 126) : std::optional<int>(0);
    if (!pad || !sad || args.size() > 2) {
        reject();
        return;
    }
    settings_.pad = *pad;
    settings_.sad = *sad;
    changed(text);
}

// The gap a read waits for the next byte: 1..3000 ms on a Prologix, 1..32000 on an AR488.
void Adapter::readTimeout(const std::vector<std::string>& args, std::string_view text)
{
    if (args.empty()) {
        reply(std::to_string(settings_.readTimeoutMs));
        return;
    }
    const auto value = number(args.front(), 1, prologix() ? 3000 : 32000);
    if (!value || args.size() > 1) {
        reject();
        return;
    }
    settings_.readTimeoutMs = *value;
    changed(text);
}

// A Prologix writes every setting change to its EEPROM while saving is on (it is after power-up);
// an AR488 saves its settings whenever ++savecfg comes, whatever follows it.
void Adapter::saveConfig(const std::vector<std::string>& args, std::string_view text)
{
    if (!prologix()) {
        eepromWrite(text);
        return;
    }
    if (args.empty()) {
        reply(saving_ ? "1" : "0");
        return;
    }
    const auto value = number(args.front(), 0, 1);
    if (!value || args.size() > 1) {
        reject();
        return;
    }
    saving_ = *value == 1;
    if (saving_)
        eepromWrite(text);
}

void Adapter::changed(std::string_view text)
{
    if (prologix() && saving_)
        eepromWrite(text);
}

void Adapter::eepromWrite(std::string_view text)
{
    ++eepromWrites_;
    saved_ = settings_;
    log_.line("eeprom-write " + escapeBytes(text));
}

// --- Reading from the tester ------------------------------------------------------------------

void Adapter::startRead(const std::vector<std::string>& args, Clock::time_point now)
{
    if (args.empty()) {
        // A Prologix reads until the gap; an AR488 stops at CR LF, even inside binary data.
        beginRead(prologix() ? ReadUntil::Gap : ReadUntil::CrLf, 0, now);
    } else if (args.size() == 1 && lower(args.front()) == "eoi") {
        beginRead(ReadUntil::End, 0, now);
    } else if (const auto endChar = number(args.front(), 0, 255); endChar && args.size() == 1) {
        beginRead(ReadUntil::Char, static_cast<char>(*endChar), now);
    } else {
        reject();
    }
}

void Adapter::beginRead(ReadUntil until, char endChar, Clock::time_point now)
{
    if (testerPresent())
        tester_.addressTalk();
    else
        log_.line("no-talker " + std::to_string(settings_.pad));
    read_ = Read{until, endChar, now, 0, 0};
}

void Adapter::runRead(Clock::time_point now)
{
    const auto gap = std::chrono::milliseconds(settings_.readTimeoutMs);
    while (read_) {
        if (room() == 0) {
            // The handshake holds the talker back until the host takes its bytes.
            read_->since = now;
            return;
        }
        if (testerPresent()) {
            if (tester_.dropReached()) {
                log_.line("hang-up");
                hangUp_ = true;
                read_.reset();
                return;
            }
            if (const std::string_view bytes = tester_.ready(now, room()); !bytes.empty()) {
                deliver(bytes, now);
                continue;
            }
            if (const auto resume = tester_.pausedUntil(now); resume && *resume <= read_->since + gap)
                return;
        }
        if (now < read_->since + gap)
            return;
        log_.line("read-timeout " + std::to_string(read_->count));
        read_.reset();
    }
}

void Adapter::deliver(std::string_view bytes, Clock::time_point now)
{
    std::size_t count = bytes.size();
    bool stop = false;
    if (read_->until == ReadUntil::Char) {
        if (const std::size_t at = bytes.find(read_->endChar); at != std::string_view::npos) {
            count = at + 1;
            stop = true;
        }
    } else if (read_->until == ReadUntil::CrLf) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n' && (i > 0 ? bytes[i - 1] : read_->last) == '\r') {
                count = i + 1;
                stop = true;
                break;
            }
        }
    }
    out_.append(bytes.substr(0, count));
    read_->last = bytes[count - 1];
    read_->count += count;
    read_->since = now;
    tester_.take(count, now);
    if (tester_.endSent()) {
        if (settings_.eotEnable)
            out_ += static_cast<char>(settings_.eotChar);
        stop = stop || read_->until == ReadUntil::End;
    }
    if (stop)
        read_.reset();
}

} // namespace qlxsim
