// The simulated GPIB bus behind the NI-488.2 calls: one board (0) and, at one primary address,
// the simulated tester. The exported C entry points (gpib_registered.cpp, gpib_plain.cpp) differ
// only in how they hand out the status words.
#pragma once

#include <chrono>
#include <string>

#include "sim/model.h"

// Marks the C entry points that the simulated libraries export.
#define QLXSIM_EXPORT extern "C" __attribute__((visibility("default")))

namespace qlxsim::gpib {

// Status bits and error codes as the NI-488.2 interface defines them.
inline constexpr int ERR = 0x8000, TIMO = 0x4000, END = 0x2000, CMPL = 0x0100;
inline constexpr int EDVR = 0, ENOL = 2, EARG = 4, EABO = 6, ENEB = 7;

// As in linux-gpib: descriptors 16 to 4095, the lowest free one first.
inline constexpr int kFirstDescriptor = 16, kDescriptorsEnd = 4096;

struct Status {
    int sta = CMPL;
    int err = 0;
    long cntl = 0;
};

// The board as the PC has it (QLXSIM_BOARD), failing as linux-gpib reports it: "missing" (no
// /dev/gpib0), "unconfigured" (gpib_config never ran), "eio" (the driver fails each read with EIO).
enum class Board { Usable, Missing, Unconfigured, ReadError };

// The simulated bus as the environment describes it; read anew at each ibdev (and by the
// emulated driver of the tests that run the real linux-gpib library).
struct Setting {
    Config tester;
    int address = 20;       // QLXSIM_ADDRESS
    bool switchedOn = true; // not QLXSIM_OFF
    Board board = Board::Usable;
    std::string log;     // QLXSIM_LOG: "" logs nothing
    long timeoutMs = -1; // QLXSIM_TIMEOUT_MS: the read time-out whatever the caller asks (-1: as asked)
};
Setting settingFromEnvironment();

// NI-488.2 time-out codes: 1 (10 us) to 17 (1000 s); 0 (wait for ever) is capped at 1000 s.
// Codes outside the table give 0.
std::chrono::milliseconds timeoutOfCode(int code);

// The result a RegisterGpibGlobalsForThread call gets from a QLXSIM_REGISTER_RESULT value:
// a comma list ("1,0") is used call by call, its last value repeating; empty or bad = 0.
unsigned long registerResult(const std::string& setting, unsigned long callIndex);

// Each call returns the status the library reports afterwards. ibdev's descriptor goes to `ud`.
// After an error ibcntl holds an errno where the driver failed (EDVR), else the bytes moved; END
// stays in the status of every call after a write or read that ended with it, until the next one.
Status deviceOpen(int board, int pad, int sad, int tmo, int eot, int eos, int& ud);
Status deviceWrite(int ud, const void* buffer, long count);
Status deviceRead(int ud, void* buffer, long count);
Status deviceLocal(int ud);
Status deviceClear(int ud);
// ibonl: 0 gives the descriptor back, anything else resets it.
Status deviceOnline(int ud, int online);

// The next RegisterGpibGlobalsForThread result (reads QLXSIM_REGISTER_RESULT now; the call
// count starts again whenever the setting changes).
unsigned long nextRegisterResult();

} // namespace qlxsim::gpib
