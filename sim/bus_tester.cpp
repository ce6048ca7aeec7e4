#include "sim/bus_tester.h"

#include <algorithm>

namespace qlxsim {
namespace {

constexpr std::size_t kMaxMessage = 64 * 1024; // an unterminated flood is dropped past this

} // namespace

BusTester::BusTester(Config config, BlockPause pause, CommandLog& log)
    : tester_(config), fault_(config.fault), pause_(pause), log_(log)
{
    tester_.setLog(&log_);
}

void BusTester::listen(std::string_view bytes, bool end)
{
    if (bytes.empty())
        return;
    if (hasOutput()) {
        log_.line("query-error -410");
        output_ = {};
    }
    input_.append(bytes);
    for (std::size_t lf; (lf = input_.find('\n')) != std::string::npos;) {
        const std::string message = input_.substr(0, lf + 1);
        input_.erase(0, lf + 1);
        execute(message);
    }
    if (end && !input_.empty()) {
        execute(input_);
        input_.clear();
    }
    if (input_.size() > kMaxMessage) {
        log_.line("input-dropped " + std::to_string(input_.size()));
        input_.clear();
    }
}

void BusTester::execute(std::string_view message)
{
    auto answer = tester_.handle(message);
    if (!answer)
        return;
    output_ = {std::move(answer->bytes), 0, answer->complete, std::nullopt, {}};
    if (fault_.kind == FaultKind::DropMidBlock && faultHits(fault_, splitCommand(message).header)) {
        output_.dropAt = output_.bytes.size() / 2;
    }
}

void BusTester::addressTalk()
{
    if (!hasOutput())
        log_.line("query-error -420");
}

std::string_view BusTester::ready(Clock::time_point now, std::size_t max) const
{
    if (pausedUntil(now))
        return {};
    std::size_t count = std::min(max, remaining());
    if (pause_.length.count() > 0 && pause_.every > 0)
        count = std::min(count, pause_.every - output_.position % pause_.every);
    if (output_.dropAt && output_.position < *output_.dropAt)
        count = std::min(count, *output_.dropAt - output_.position);
    return std::string_view(output_.bytes).substr(output_.position, count);
}

void BusTester::take(std::size_t count, Clock::time_point now)
{
    count = std::min(count, remaining());
    output_.position += count;
    if (count > 0 && pause_.length.count() > 0 && pause_.every > 0 && remaining() > 0
        && output_.position % pause_.every == 0) {
        output_.resume = now + pause_.length;
    }
}

std::optional<BusTester::Clock::time_point> BusTester::pausedUntil(Clock::time_point now) const
{
    if (now < output_.resume)
        return output_.resume;
    return std::nullopt;
}

void BusTester::clear()
{
    input_.clear();
    output_ = {};
}

} // namespace qlxsim
