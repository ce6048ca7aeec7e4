// Paces a byte stream at the rate of a serial line: byte k of a burst is due when k+1 character
// times have passed since the burst began. The schedule is absolute, so rounding never adds up.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace qlxsim {

class Pacer {
public:
    using Clock = std::chrono::steady_clock;

    // baud 0: no pacing. With 8N1 framing a character takes 10 bit times.
    explicit Pacer(unsigned baud) : bytesPerSecond_(baud / 10.0) {}

    // A line paced in bytes per second (0: no pacing).
    static Pacer atRate(double bytesPerSecond)
    {
        Pacer pacer(0);
        pacer.bytesPerSecond_ = bytesPerSecond;
        return pacer;
    }

    bool paced() const { return bytesPerSecond_ > 0; }

    // Output became pending: a line that has sent everything by `now` starts a new burst.
    void wake(Clock::time_point now)
    {
        if (paced() && now >= dueTime(sent_)) {
            start_ = now;
            sent_ = 0;
        }
    }

    // How many more bytes may be on the line by `now`.
    std::size_t allowance(Clock::time_point now) const
    {
        if (!paced())
            return std::numeric_limits<std::size_t>::max();
        const double elapsed = std::chrono::duration<double>(now - start_).count();
        const auto due = static_cast<std::uint64_t>(elapsed * bytesPerSecond_);
        return due > sent_ ? static_cast<std::size_t>(due - sent_) : 0;
    }

    void sent(std::size_t count) { sent_ += count; }

    // When the next `count` bytes will all be due.
    Clock::time_point dueAfter(std::size_t count) const { return dueTime(sent_ + count); }

private:
    Clock::time_point dueTime(std::uint64_t bytes) const
    {
        return start_
               + std::chrono::duration_cast<Clock::duration>(
                   std::chrono::duration<double>(static_cast<double>(bytes) / bytesPerSecond_));
    }

    double bytesPerSecond_;
    Clock::time_point start_{};
    std::uint64_t sent_ = 0;
};

} // namespace qlxsim
