// The simulated QLX tester: a folder of the PC served as the print directory, answering the SCPI
// commands that QLXCopy sends. No transport here: the pty program and the GPIB library feed it
// whole commands and put its answers on their line.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace qlxsim {

inline constexpr std::string_view kPrintDirectory = "\\USERDATA\\PRINT";
inline constexpr std::string_view kIdentity = "Halvard&Brenn,QLX,1234567/890,V3.10";
inline constexpr std::string_view kOldIdentity = "Halvard&Brenn,QLX,1234567/890,V3.05";

// Largest file the tester hands out: its block length field then stays well inside nine digits.
inline constexpr std::uintmax_t kMaxFileSize = 64u * 1024 * 1024;

// DropMidBlock is the adapter's fault (it vanishes in the middle of the answer): the tester itself
// answers as usual. Late holds the first answer it hits back past the serial time-out; WrongLength
// changes the first length digit of a block header (the data stay as they are); ExtraBytes puts
// bytes between a block and its line end; ListingSize lists every file one byte larger than it is;
// IgnoreDelete keeps the file it was told to delete; Rewrite writes every file it handed out
// before anew (same size, other bytes) whenever it hands out another one, as a tester that saves
// new screens under names it used before.
enum class FaultKind {
    None,
    StopMidBlock,
    NoTerminator,
    Silent,
    Garbage,
    DropMidBlock,
    Late,
    WrongLength,
    ExtraBytes,
    ListingSize,
    IgnoreDelete,
    Rewrite,
};

// One fault at a time; it hits the queries whose header starts with `prefix` (case-insensitive).
struct Fault {
    FaultKind kind = FaultKind::None;
    std::string prefix;
};

// "stop-mid-block", "no-terminator", "silent", "garbage", "drop-mid-block", "late", "wrong-length",
// "extra-bytes", "listing-size", "ignore-delete", "rewrite", "none", each optionally followed by
// ":PREFIX". Without a prefix the block faults and rewrite hit "MMEM:DATA?", listing-size
// "MMEM:SCAN?", ignore-delete "MMEM:DEL" and the others every query.
std::optional<Fault> parseFault(std::string_view text);

// Whether the fault hits a command with this (upper-cased) header.
bool faultHits(const Fault& fault, std::string_view header);

struct Config {
    std::filesystem::path folder; // served as the print directory
    std::string identity{kIdentity};
    bool oldFirmware = false;                // ignores MMEM:CDIR
    std::string currentDir{kPrintDirectory}; // directory listed before (or without) MMEM:CDIR
    std::string terminator = "\r\n";         // line end of every answer
    Fault fault;
};

// How long a late answer is held back: past the 5 s a serial block may stay silent and the second
// of quiet that follows.
inline constexpr std::chrono::milliseconds kLateBy{6500};

// What goes back on the line for one query. `complete` is false when the message breaks off
// (stop-mid-block): a GPIB talker then never asserts END. The serial line holds a late answer
// back for `delay`.
struct Answer {
    std::string bytes;
    bool complete = true;
    std::chrono::milliseconds delay{0};
};

struct DirEntry {
    std::string name;
    bool directory = false;
    std::uintmax_t size = 0;
};

// --- Pure helpers -------------------------------------------------------------------------

// Header (up to the first blank, upper-cased) and argument text of a command, line end removed.
struct Command {
    std::string header;
    std::string argument;
};
Command splitCommand(std::string_view bytes);

// The text between the first pair of double quotes; nullopt when there is none.
std::optional<std::string> quotedArgument(std::string_view argument);

// A plain file name of the served folder: no path separators, no drive, no "..", no control
// characters, no quotes or commas (they would break the listing), 1..255 characters.
bool isPlainName(std::string_view name);

// Upper-cased, forward slashes as backslashes, trailing backslash dropped ("\" stays).
std::string normalizeDir(std::string_view dir);

// IEEE 488.2 definite-length block: "#", digit count, length digits, the bytes.
std::string definiteBlock(std::string_view data);

// The MMEM:SCAN? answer (without line end):
//   NNNNN,"<dir>",FREE <bytes>,LABEL "<label>","NAME",DIR|BIN,SIZE,...
// NNNNN is the entry count (5 digits), so the first six characters carry only that count.
// The label is "QLX HARDCOPY" for the print directory and "USER DATA" for any other, so the
// product word appears exactly when the print directory is listed.
std::string listingText(std::string_view dir, bool printDirectory, const std::vector<DirEntry>& entries,
                        std::uintmax_t freeBytes);

// Entries of a folder: ".", "..", then its listable files and folders sorted by upper-cased name.
std::vector<DirEntry> readEntries(const std::filesystem::path& folder);

// Everything in printable ASCII: "\\" for a backslash, "\n", "\r", "\t", others as "\xNN".
std::string escapeBytes(std::string_view bytes);

// --- The tester ---------------------------------------------------------------------------

class Tester {
public:
    explicit Tester(Config config);

    // One received command (its line end may still be attached). nullopt: nothing is sent back.
    std::optional<Answer> handle(std::string_view bytes);
    // Where the tester notes what it does unasked (a rewritten file); null for nowhere.
    void setLog(class CommandLog* log) { log_ = log; }

    const std::string& currentDir() const { return currentDir_; }

private:
    std::optional<std::string> respond(const Command& command);
    std::optional<std::string> listing(bool sizesOff) const;
    std::optional<std::string> fileData(std::string_view argument) const;
    void deleteFile(std::string_view argument) const;
    void rewriteServed(const std::filesystem::path& serving);
    std::optional<std::filesystem::path> findFile(std::string_view argument) const;
    bool inPrintDirectory() const;
    std::optional<Answer> applyFault(const Command& command, std::string body);

    Config config_;
    std::string currentDir_;
    std::mt19937 random_{20};
    bool lateSent_ = false;
    std::vector<std::filesystem::path> served_; // handed out so far (the rewrite fault)
    class CommandLog* log_ = nullptr;
};

} // namespace qlxsim
