// libqlxsim-gpib.so: the simulated bus with the NI-488.2 calls and per-thread status words,
// handed over by RegisterGpibGlobalsForThread. The environment that configures it is described
// in gpib_bus.cpp; QLXSIM_REGISTER_RESULT chooses what the registration returns:
//   0 the words are registered; 1 "already registered" (the words are taken as well);
//   2, 3 or any other number: nothing is registered. A comma list ("1,0") gives the results of
//   successive calls, its last value repeating.
#include "sim/gpib_bus.h"

namespace {

struct Words {
    int* sta = nullptr;
    int* err = nullptr;
    int* cnt = nullptr;
    long* cntl = nullptr;
};
thread_local Words words;

int publish(const qlxsim::gpib::Status& status)
{
    if (words.sta) {
        *words.sta = status.sta;
        *words.err = status.err;
        *words.cnt = static_cast<int>(status.cntl);
        *words.cntl = status.cntl;
    }
    return status.sta;
}

} // namespace

#include "sim/gpib_calls.inc"

QLXSIM_EXPORT unsigned long RegisterGpibGlobalsForThread(int* sta, int* err, int* cnt, long* cntl)
{
    const unsigned long result = qlxsim::gpib::nextRegisterResult();
    if (result <= 1 && sta && err && cnt && cntl)
        words = {sta, err, cnt, cntl};
    return result;
}

QLXSIM_EXPORT unsigned long UnregisterGpibGlobalsForThread(void)
{
    words = {};
    return 0;
}
