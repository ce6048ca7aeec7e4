// libbench-gpib-probe.so: a GPIB library that bench_transfer hands to the program in place of the
// simulated one. It forwards every call to the library named by QLXBENCH_GPIB_FORWARD and notes
// when the last ibrd returned, so that the bench knows when the last byte of a block arrived
// without the program having to tell it. The status words go straight from the forwarded library
// to the program (RegisterGpibGlobalsForThread is passed on as it is).
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using IbdevFn = int (*)(int, int, int, int, int, int);
using IbwrtFn = int (*)(int, const void*, long);
using IbrdFn = int (*)(int, void*, long);
using IblocFn = int (*)(int);
using RegisterFn = unsigned long (*)(int*, int*, int*, long*);
using UnregisterFn = unsigned long (*)();

struct Forward {
    IbdevFn ibdev = nullptr;
    IbwrtFn ibwrt = nullptr;
    IbrdFn ibrd = nullptr;
    IblocFn ibloc = nullptr;
    IblocFn ibclr = nullptr;
    RegisterFn registerGlobals = nullptr;
    UnregisterFn unregisterGlobals = nullptr;
};

template <typename T>
T symbol(void* handle, const char* name)
{
    return reinterpret_cast<T>(dlsym(handle, name));
}

const Forward& forward()
{
    static const Forward f = [] {
        Forward r;
        const char* path = std::getenv("QLXBENCH_GPIB_FORWARD");
        void* handle = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
        if (!handle) {
            std::fprintf(stderr, "gpib probe: cannot load QLXBENCH_GPIB_FORWARD (%s)\n", path ? dlerror() : "unset");
            std::abort();
        }
        r.ibdev = symbol<IbdevFn>(handle, "ibdev");
        r.ibwrt = symbol<IbwrtFn>(handle, "ibwrt");
        r.ibrd = symbol<IbrdFn>(handle, "ibrd");
        r.ibloc = symbol<IblocFn>(handle, "ibloc");
        r.ibclr = symbol<IblocFn>(handle, "ibclr");
        r.registerGlobals = symbol<RegisterFn>(handle, "RegisterGpibGlobalsForThread");
        r.unregisterGlobals = symbol<UnregisterFn>(handle, "UnregisterGpibGlobalsForThread");
        if (!r.ibdev || !r.ibwrt || !r.ibrd || !r.ibloc || !r.ibclr || !r.registerGlobals || !r.unregisterGlobals) {
            std::fprintf(stderr, "gpib probe: %s lacks a call\n", path);
            std::abort();
        }
        return r;
    }();
    return f;
}

std::atomic<long long> lastReadEnd{0};

long long steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

PROBE_EXPORT int ibdev(int board, int pad, int sad, int tmo, int eot, int eos)
{
    return forward().ibdev(board, pad, sad, tmo, eot, eos);
}
PROBE_EXPORT int ibwrt(int ud, const void* buf, long cnt) { return forward().ibwrt(ud, buf, cnt); }
PROBE_EXPORT int ibrd(int ud, void* buf, long cnt)
{
    const int status = forward().ibrd(ud, buf, cnt);
    lastReadEnd = steadyNs();
    return status;
}
PROBE_EXPORT int ibloc(int ud) { return forward().ibloc(ud); }
PROBE_EXPORT int ibclr(int ud) { return forward().ibclr(ud); }
PROBE_EXPORT unsigned long RegisterGpibGlobalsForThread(int* sta, int* err, int* cnt, long* cntl)
{
    return forward().registerGlobals(sta, err, cnt, cntl);
}
PROBE_EXPORT unsigned long UnregisterGpibGlobalsForThread() { return forward().unregisterGlobals(); }

// When the last ibrd returned, in nanoseconds of std::chrono::steady_clock; 0 before the first.
PROBE_EXPORT long long qlxbench_lastReadEndNs() { return lastReadEnd; }
