#include "sim/model.h"

#include "sim/command_log.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace qlxsim {
namespace {

std::string upper(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && upper(text.substr(0, prefix.size())) == upper(prefix);
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

std::optional<Fault> parseFault(std::string_view text)
{
    const auto colon = text.find(':');
    const std::string kind(text.substr(0, colon));
    Fault fault;
    if (colon != std::string_view::npos)
        fault.prefix = std::string(text.substr(colon + 1));
    if (kind == "none" || kind.empty()) {
        fault.kind = FaultKind::None;
    } else if (kind == "stop-mid-block" || kind == "drop-mid-block") {
        fault.kind = kind == "stop-mid-block" ? FaultKind::StopMidBlock : FaultKind::DropMidBlock;
        if (colon == std::string_view::npos)
            fault.prefix = "MMEM:DATA?";
    } else if (kind == "ignore-delete") {
        fault.kind = FaultKind::IgnoreDelete;
        if (colon == std::string_view::npos)
            fault.prefix = "MMEM:DEL";
    } else if (kind == "no-terminator") {
        fault.kind = FaultKind::NoTerminator;
    } else if (kind == "silent") {
        fault.kind = FaultKind::Silent;
    } else if (kind == "garbage") {
        fault.kind = FaultKind::Garbage;
    } else if (kind == "late" || kind == "wrong-length" || kind == "extra-bytes" || kind == "rewrite") {
        fault.kind = kind == "late"           ? FaultKind::Late
                     : kind == "wrong-length" ? FaultKind::WrongLength
                     : kind == "rewrite"      ? FaultKind::Rewrite
                                              : FaultKind::ExtraBytes;
        if (colon == std::string_view::npos)
            fault.prefix = "MMEM:DATA?";
    } else if (kind == "listing-size") {
        fault.kind = FaultKind::ListingSize;
        if (colon == std::string_view::npos)
            fault.prefix = "MMEM:SCAN?";
    } else {
        return std::nullopt;
    }
    return fault;
}

bool faultHits(const Fault& fault, std::string_view header)
{
    return fault.kind != FaultKind::None && startsWithNoCase(header, fault.prefix);
}

Command splitCommand(std::string_view bytes)
{
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.remove_suffix(1);
    bytes = trimBlanks(bytes);
    const auto blank = bytes.find(' ');
    Command command;
    command.header = upper(bytes.substr(0, blank));
    if (blank != std::string_view::npos)
        command.argument = std::string(trimBlanks(bytes.substr(blank + 1)));
    return command;
}

std::optional<std::string> quotedArgument(std::string_view argument)
{
    const auto open = argument.find('"');
    if (open == std::string_view::npos)
        return std::nullopt;
    const auto close = argument.find('"', open + 1);
    if (close == std::string_view::npos)
        return std::nullopt;
    return std::string(argument.substr(open + 1, close - open - 1));
}

bool isPlainName(std::string_view name)
{
    if (name.empty() || name.size() > 255 || name == "." || name == "..")
        return false;
    if (name.find("..") != std::string_view::npos)
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '"' || c == ',';
    });
}

std::string normalizeDir(std::string_view dir)
{
    std::string out = upper(trimBlanks(dir));
    std::replace(out.begin(), out.end(), '/', '\\');
    while (out.size() > 1 && out.back() == '\\')
        out.pop_back();
    return out;
}

std::string definiteBlock(std::string_view data)
{
    const std::string length = std::to_string(data.size());
    std::string block = "#" + std::to_string(length.size()) + length;
    block.append(data);
    return block;
}

std::string listingText(std::string_view dir, bool printDirectory, const std::vector<DirEntry>& entries,
                        std::uintmax_t freeBytes)
{
    char count[8];
    std::snprintf(count, sizeof count, "%05zu", std::min<std::size_t>(entries.size(), 99999));
    std::string text = std::string(count) + ",\"" + std::string(dir) + "\",FREE " + std::to_string(freeBytes)
                       + ",LABEL \"" + (printDirectory ? "QLX HARDCOPY" : "USER DATA") + "\"";
    for (const DirEntry& entry : entries) {
        text += ",\"" + entry.name + "\"," + (entry.directory ? "DIR," : "BIN,") + std::to_string(entry.size);
    }
    return text;
}

std::vector<DirEntry> readEntries(const fs::path& folder)
{
    std::vector<DirEntry> files;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!isPlainName(name))
            continue;
        std::error_code statError;
        const bool directory = it->is_directory(statError);
        if (!directory && !it->is_regular_file(statError))
            continue;
        const std::uintmax_t size = directory ? 0 : it->file_size(statError);
        if (statError)
            continue;
        files.push_back({name, directory, size});
    }
    std::sort(files.begin(), files.end(),
              [](const DirEntry& a, const DirEntry& b) { return upper(a.name) < upper(b.name); });
    std::vector<DirEntry> entries{{".", true, 0}, {"..", true, 0}};
    entries.insert(entries.end(), files.begin(), files.end());
    return entries;
}

std::string escapeBytes(std::string_view bytes)
{
    std::string out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (u >= 0x20 && u < 0x7F)
            out += c;
        else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        }
    }
    return out;
}

Tester::Tester(Config config) : config_(std::move(config)), currentDir_(config_.currentDir) {}

std::optional<Answer> Tester::handle(std::string_view bytes)
{
    const Command command = splitCommand(bytes);
    std::optional<std::string> body = respond(command);
    if (!body)
        return std::nullopt;
    return applyFault(command, std::move(*body));
}

std::optional<std::string> Tester::respond(const Command& command)
{
    const std::string& h = command.header;
    if (h == "*IDN?")
        return config_.identity;
    if (h == "MMEM:SCAN?")
        return listing(config_.fault.kind == FaultKind::ListingSize && faultHits(config_.fault, h));
    if (h == "MMEM:DATA?") {
        std::optional<std::string> data = fileData(command.argument);
        if (const auto path = findFile(command.argument);
            path && config_.fault.kind == FaultKind::Rewrite && faultHits(config_.fault, h))
            rewriteServed(*path);
        return data;
    }
    if (h == "MMEM:DEL") {
        if (!(config_.fault.kind == FaultKind::IgnoreDelete && faultHits(config_.fault, h)))
            deleteFile(command.argument);
    } else if (h == "MMEM:CDIR" && !config_.oldFirmware) {
        const auto dir = quotedArgument(command.argument);
        if (dir && !dir->empty()) {
            currentDir_ = (dir->front() == '\\' || dir->front() == '/') ? *dir : currentDir_ + "\\" + *dir;
        }
    }
    // *SEC 0, *GTL, an ignored MMEM:CDIR and unknown commands: nothing goes back.
    return std::nullopt;
}

bool Tester::inPrintDirectory() const { return normalizeDir(currentDir_) == normalizeDir(kPrintDirectory); }

std::optional<std::string> Tester::listing(bool sizesOff) const
{
    if (!inPrintDirectory()) {
        return listingText(normalizeDir(currentDir_), false, {{".", true, 0}, {"..", true, 0}}, 0);
    }
    std::error_code error;
    const auto space = fs::space(config_.folder, error);
    std::vector<DirEntry> entries = readEntries(config_.folder);
    for (DirEntry& entry : entries)
        entry.size += sizesOff && !entry.directory ? 1 : 0;
    return listingText(kPrintDirectory, true, entries, error ? 0 : space.available);
}

std::optional<fs::path> Tester::findFile(std::string_view argument) const
{
    const auto name = quotedArgument(argument);
    if (!name || !isPlainName(*name) || !inPrintDirectory())
        return std::nullopt;
    // The tester's file system ignores case: an exact match first, then any spelling.
    std::error_code error;
    if (fs::is_regular_file(config_.folder / *name, error))
        return config_.folder / *name;
    for (fs::directory_iterator it(config_.folder, error), end; !error && it != end; it.increment(error)) {
        if (upper(it->path().filename().string()) == upper(*name) && it->is_regular_file(error)) {
            return it->path();
        }
    }
    return std::nullopt;
}

std::optional<std::string> Tester::fileData(std::string_view argument) const
{
    const auto path = findFile(argument);
    if (!path)
        return std::nullopt;
    std::error_code error;
    const auto size = fs::file_size(*path, error);
    if (error || size > kMaxFileSize)
        return std::nullopt;
    // The block is built in place, with room for the line end, so that a large file is held once.
    const std::string length = std::to_string(size);
    std::string block = "#" + std::to_string(length.size()) + length;
    const std::size_t header = block.size();
    block.reserve(header + size + 2);
    block.resize(header + size);
    std::ifstream in(*path, std::ios::binary);
    if (!in.read(block.data() + header, static_cast<std::streamsize>(size)))
        return std::nullopt;
    return block;
}

// A name with "*" or "?" deletes every file it matches, whatever the case.
void Tester::deleteFile(std::string_view argument) const
{
    std::error_code error;
    const auto name = quotedArgument(argument);
    if (name && name->find_first_of("*?") != std::string::npos && isPlainName(*name) && inPrintDirectory()) {
        std::vector<fs::path> matches;
        for (fs::directory_iterator it(config_.folder, error), end; !error && it != end; it.increment(error))
            if (it->is_regular_file(error) && fnmatch(name->c_str(), it->path().filename().c_str(), FNM_CASEFOLD) == 0)
                matches.push_back(it->path());
        for (const fs::path& match : matches)
            fs::remove(match, error);
    } else if (const auto path = findFile(argument)) {
        fs::remove(*path, error);
    }
}

// Every file handed out before `serving` that is still there gets other bytes of the same length.
void Tester::rewriteServed(const fs::path& serving)
{
    for (const fs::path& path : served_) {
        std::error_code error;
        if (path == serving || !fs::is_regular_file(path, error))
            continue;
        std::string bytes;
        {
            std::ifstream in(path, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        for (char& c : bytes)
            c = static_cast<char>(~c);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        if (log_)
            log_->line("rewrote " + path.filename().string());
    }
    if (std::find(served_.begin(), served_.end(), serving) == served_.end())
        served_.push_back(serving);
}

std::optional<Answer> Tester::applyFault(const Command& command, std::string body)
{
    const Fault& fault = config_.fault;
    switch (faultHits(fault, command.header) ? fault.kind : FaultKind::None) {
    case FaultKind::StopMidBlock:
        body.resize(body.size() / 2);
        return Answer{std::move(body), false};
    case FaultKind::NoTerminator:
        return Answer{std::move(body), true};
    case FaultKind::Garbage: {
        std::uniform_int_distribution<int> length(8, 40), printable(0x21, 0x7E);
        std::string junk(static_cast<std::size_t>(length(random_)), ' ');
        for (char& c : junk)
            c = static_cast<char>(printable(random_));
        return Answer{junk + config_.terminator, true};
    }
    case FaultKind::Late:
        if (lateSent_)
            break;
        lateSent_ = true;
        return Answer{body + config_.terminator, true, kLateBy};
    case FaultKind::WrongLength:
        if (body.size() > 2 && body[0] == '#')
            body[2] = body[2] == '1' ? '2' : '1';
        break;
    case FaultKind::ExtraBytes:
        body += "EXTRA";
        break;
    case FaultKind::Silent:
        return std::nullopt;
    case FaultKind::None:
    case FaultKind::DropMidBlock:
    case FaultKind::ListingSize:
    case FaultKind::IgnoreDelete:
    case FaultKind::Rewrite:
        break;
    }
    return Answer{body + config_.terminator, true};
}

} // namespace qlxsim
