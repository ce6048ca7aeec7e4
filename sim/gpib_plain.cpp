// libqlxsim-gpib-plain.so: the simulated bus with the NI-488.2 calls and, as linux-gpib hands them
// out, the status words of the calling thread through ThreadIbsta, ThreadIberr and ThreadIbcntl
// besides the global data ibsta, iberr, ibcnt and ibcntl (the last call of any thread), without
// any registration call. Built once more with QLXSIM_GLOBAL_DATA_ONLY as libqlxsim-gpib-data.so,
// a library with the global data alone. Configured by the same environment as libqlxsim-gpib.so
// (see gpib_bus.cpp).
#include "sim/gpib_bus.h"

extern "C" {
__attribute__((visibility("default"))) int ibsta = 0;
__attribute__((visibility("default"))) int iberr = 0;
__attribute__((visibility("default"))) int ibcnt = 0;
__attribute__((visibility("default"))) long ibcntl = 0;
}

namespace {

thread_local qlxsim::gpib::Status threadStatus{0, 0, 0}; // a new thread's words are 0

int publish(const qlxsim::gpib::Status& status)
{
    threadStatus = status;
    ibsta = status.sta;
    iberr = status.err;
    ibcnt = static_cast<int>(status.cntl);
    ibcntl = status.cntl;
    return status.sta;
}

} // namespace

#include "sim/gpib_calls.inc"

#ifndef QLXSIM_GLOBAL_DATA_ONLY
QLXSIM_EXPORT int ThreadIbsta(void) { return threadStatus.sta; }
QLXSIM_EXPORT int ThreadIberr(void) { return threadStatus.err; }
QLXSIM_EXPORT long ThreadIbcntl(void) { return threadStatus.cntl; }
#endif
