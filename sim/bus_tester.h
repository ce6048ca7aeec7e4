// The simulated tester as a device on the GPIB bus behind a "++" adapter. It assembles messages
// from the bytes it is sent (a message ends with LF or with END on its last byte), keeps the
// answer in its output queue until the controller addresses it to talk, and records the query
// errors a real tester records: -410 when a new message arrives before the answer was read, -420
// when it is addressed to talk with nothing to say.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "sim/command_log.h"
#include "sim/model.h"

namespace qlxsim {

// The tester stops for `length` after every `every` bytes of an answer, as when it fetches the
// next part of a large file (0 = never).
struct BlockPause {
    std::chrono::milliseconds length{0};
    std::size_t every = 64 * 1024;
};

class BusTester {
public:
    using Clock = std::chrono::steady_clock;

    BusTester(Config config, BlockPause pause, CommandLog& log);

    // Bytes addressed to the tester; `end`: END (EOI) came with the last one.
    void listen(std::string_view bytes, bool end);

    // Addressed to talk: nothing to say is query error -420.
    void addressTalk();

    // The bytes it talks from `now` on, at most `max`; never across a pause, a break-off or the
    // point where an adapter fault strikes.
    std::string_view ready(Clock::time_point now, std::size_t max) const;
    // `count` bytes of ready() went over the bus at `now`.
    void take(std::size_t count, Clock::time_point now);

    // The last byte taken carried END.
    bool endSent() const { return output_.complete && !output_.bytes.empty() && remaining() == 0; }
    // When a pause in the answer ends (nullopt: not pausing).
    std::optional<Clock::time_point> pausedUntil(Clock::time_point now) const;
    // An answer is queued or in progress (MAV).
    bool hasOutput() const { return remaining() > 0 || !output_.complete; }
    // The drop-mid-block fault strikes: half of the hit answer is out.
    bool dropReached() const { return output_.dropAt && output_.position >= *output_.dropAt; }

    // Selected device clear: input and output are dropped without an error.
    void clear();

private:
    struct Output {
        std::string bytes;
        std::size_t position = 0;
        bool complete = true;
        std::optional<std::size_t> dropAt;
        Clock::time_point resume{};
    };

    std::size_t remaining() const { return output_.bytes.size() - output_.position; }
    void execute(std::string_view message);

    Tester tester_;
    Fault fault_;
    BlockPause pause_;
    CommandLog& log_;
    std::string input_;
    Output output_;
};

} // namespace qlxsim
