// A simulated "++" protocol GPIB adapter (Prologix GPIB-USB / GPIB-ETHERNET or AR488) with the
// simulated tester on its bus. No I/O here: the link feeds it the host's bytes and the time, and
// sends the bytes it has for the host. The bus log gets the bytes that reach the tester after
// unescaping (escaped as escapeBytes() writes them), every "++" command as received, and the
// adapter's events, one line each ("qlxsim --help" lists them).
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/bus_tester.h"
#include "sim/command_log.h"
#include "sim/model.h"

namespace qlxsim {

enum class AdapterModel { Prologix, Ar488 };

struct AdapterConfig {
    AdapterModel model = AdapterModel::Prologix;
    bool ethernet = false; // a Prologix GPIB-ETHERNET: its own version string
    int testerAddress = 20;
    bool testerOn = true;
    BlockPause pause;
};

class Adapter {
public:
    using Clock = std::chrono::steady_clock;

    Adapter(AdapterConfig config, Config tester, CommandLog& log);

    // The host opened the line or connected: an AR488 resets (deaf, then its banner).
    void connect(Clock::time_point now);
    // The host went away: its pending input and output are dropped, a read stops.
    void disconnect();
    // Bytes from the host.
    void receive(std::string_view bytes, Clock::time_point now);
    // Lets time pass: a read goes on or ends, a reset ends, queued host lines are carried out.
    void advance(Clock::time_point now);
    // When advance() has something to do next; nullopt: only after input or sent output.
    std::optional<Clock::time_point> deadline(Clock::time_point now) const;
    // Host input waiting behind a read is held back past this: the host's writes block.
    bool wantsInput() const;

    // Bytes for the host, and how many of them went out.
    std::string_view output() const { return std::string_view(out_).substr(outPos_); }
    void sent(std::size_t count);

    // The drop-mid-block fault struck: the link hangs up once output() is out.
    bool hangingUp() const { return hangUp_; }
    unsigned long eepromWrites() const { return eepromWrites_; }

private:
    struct Settings {
        int mode = 1; // 1 controller, 0 device
        int pad = 0;
        int sad = 0; // 0 or 96..126
        int autoRead = 0;
        int eoi = 1;
        int eos = 0; // 0 CR LF, 1 CR, 2 LF, 3 nothing
        int eotEnable = 0;
        int eotChar = 0;
        int readTimeoutMs = 500;
    };
    enum class ReadUntil { End, Gap, Char, CrLf };
    struct Read {
        ReadUntil until = ReadUntil::End;
        char endChar = 0;
        Clock::time_point since; // last byte, or the start
        std::size_t count = 0;
        char last = 0;
    };
    struct SettingRule;

    bool prologix() const { return config_.model == AdapterModel::Prologix; }
    bool testerPresent() const;
    bool deaf(Clock::time_point now);
    void dropHostTraffic();
    bool nextLine(Clock::time_point now);
    void resetLine();
    void sendData(const std::string& line, Clock::time_point now);
    void execute(std::string_view text, Clock::time_point now);
    void address(const std::vector<std::string>& args, std::string_view text);
    void readTimeout(const std::vector<std::string>& args, std::string_view text);
    void saveConfig(const std::vector<std::string>& args, std::string_view text);
    void setting(const SettingRule& rule, const std::vector<std::string>& args, std::string_view text);
    void changed(std::string_view text);
    void eepromWrite(std::string_view text);
    void startRead(const std::vector<std::string>& args, Clock::time_point now);
    void beginRead(ReadUntil until, char endChar, Clock::time_point now);
    void runRead(Clock::time_point now);
    void deliver(std::string_view bytes, Clock::time_point now);
    void reset(Clock::time_point now);
    void reply(std::string_view text);
    void reject();
    std::size_t room() const;

    AdapterConfig config_;
    CommandLog& log_;
    BusTester tester_;
    Settings settings_;
    Settings saved_; // what the EEPROM holds
    bool saving_ = true;
    unsigned long eepromWrites_ = 0;

    std::string input_;
    std::size_t inputPos_ = 0;
    std::string line_;
    bool escaped_ = false;
    bool leading_ = true; // only unescaped '+' so far
    int pluses_ = 0;
    bool overflow_ = false;

    std::string out_;
    std::size_t outPos_ = 0;
    std::optional<Read> read_;
    std::optional<Clock::time_point> deafUntil_;
    bool bannerPending_ = false;
    bool hangUp_ = false;
};

} // namespace qlxsim
