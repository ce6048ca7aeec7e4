// libqlxsim-gpib-plain.so: the simulated bus with the NI-488.2 calls and the status words as
// global data (ibsta, iberr, ibcnt, ibcntl), without any registration call. Configured by the
// same environment as libqlxsim-gpib.so (see gpib_bus.cpp).
#include "sim/gpib_bus.h"

extern "C" {
__attribute__((visibility("default"))) int ibsta = 0;
__attribute__((visibility("default"))) int iberr = 0;
__attribute__((visibility("default"))) int ibcnt = 0;
__attribute__((visibility("default"))) long ibcntl = 0;
}

namespace {

int publish(const qlxsim::gpib::Status& status)
{
    ibsta = status.sta;
    iberr = status.err;
    ibcnt = static_cast<int>(status.cntl);
    ibcntl = status.cntl;
    return status.sta;
}

} // namespace

#include "sim/gpib_calls.inc"
