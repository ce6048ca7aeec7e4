#include "sim/command_log.h"

#include "sim/model.h"

namespace qlxsim {

CommandLog::~CommandLog() { close(); }

void CommandLog::close()
{
    if (owned_ && file_)
        std::fclose(file_);
    file_ = nullptr;
    owned_ = false;
}

bool CommandLog::open(const std::string& target)
{
    close();
    if (target.empty())
        return true;
    if (target == "-") {
        file_ = stderr;
        return true;
    }
    file_ = std::fopen(target.c_str(), "a");
    owned_ = file_ != nullptr;
    return owned_;
}

void CommandLog::command(std::string_view bytes) { line(escapeBytes(bytes)); }

void CommandLog::line(std::string_view text)
{
    if (!file_)
        return;
    std::fwrite(text.data(), 1, text.size(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

} // namespace qlxsim
