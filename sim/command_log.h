// One line per event on the bus, flushed at once, so that tests can follow what went over it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace qlxsim {

class CommandLog {
public:
    CommandLog() = default;
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    // "" logs nothing, "-" logs to standard error, anything else is a file that is appended to.
    // False when the file cannot be opened (nothing is logged then).
    bool open(const std::string& target);

    // A received command, its bytes escaped (line end included).
    void command(std::string_view bytes);
    // Any other event, written as given (e.g. "ibdev(0,20,96,13,1,0)").
    void line(std::string_view text);

private:
    void close();
    std::FILE* file_ = nullptr;
    bool owned_ = false;
};

} // namespace qlxsim
