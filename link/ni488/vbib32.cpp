#include "link/ni488/vbib32.h"

#include "link/ni488/niglobal.h"
#include "link/runtimelibrary.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include <cstdio>
#include <utility>

#ifdef Q_OS_WIN
#define QLX_GPIBCALL __stdcall
#else
#define QLX_GPIBCALL
#endif

namespace qlx::vbib32 {

namespace {

using IbdevFn = int(QLX_GPIBCALL*)(int, int, int, int, int, int);
using IbwrtFn = int(QLX_GPIBCALL*)(int, const void*, long);
using IbrdFn = int(QLX_GPIBCALL*)(int, void*, long);
using IblocFn = int(QLX_GPIBCALL*)(int);
using IbonlFn = int(QLX_GPIBCALL*)(int, int);
using RegisterFn = unsigned long(QLX_GPIBCALL*)(int*, int*, int*, long*);
using UnregisterFn = unsigned long(QLX_GPIBCALL*)();
using IntFn = int(QLX_GPIBCALL*)();
using LongFn = long(QLX_GPIBCALL*)();

struct Calls {
    IbdevFn ibdev = nullptr;
    IbwrtFn ibwrt = nullptr;
    IbrdFn ibrd = nullptr;
    IblocFn ibloc = nullptr;
    IblocFn ibclr = nullptr;
    IbonlFn ibonl = nullptr; // optional
    RegisterFn registerGlobals = nullptr;
    UnregisterFn unregisterGlobals = nullptr;
    // Status source of a library that does not register the words: functions, else data.
    IntFn threadSta = nullptr;
    IntFn threadErr = nullptr;
    LongFn threadCntl = nullptr;
    const int* dataSta = nullptr;
    const int* dataErr = nullptr;
    const long* dataCntl = nullptr;
};
using Library = RuntimeLibrary<Calls>;

// Resolves what the program needs; returns the names that are missing.
QStringList resolveCalls(const QLibrary& file, Calls& calls)
{
    Library::Resolver r(file);
    r.need(calls.ibdev, "ibdev");
    r.need(calls.ibwrt, "ibwrt");
    r.need(calls.ibrd, "ibrd");
    r.need(calls.ibloc, "ibloc");
    r.need(calls.ibclr, "ibclr");
    r.optional(calls.ibonl, "ibonl");
    r.optional(calls.registerGlobals, "RegisterGpibGlobalsForThread");
    r.optional(calls.unregisterGlobals, "UnregisterGpibGlobalsForThread");
    if (calls.registerGlobals)
        return r.missing();
    for (const char* prefix : {"ThreadIb", "Ib"}) {
        if (r.optional(calls.threadSta, QByteArray(prefix).append("sta").constData())
            && r.optional(calls.threadErr, QByteArray(prefix).append("err").constData())
            && r.optional(calls.threadCntl, QByteArray(prefix).append("cntl").constData()))
            return r.missing();
    }
    calls.threadSta = nullptr;
    if (!(r.optional(calls.dataSta, "ibsta") && r.optional(calls.dataErr, "iberr")
          && r.optional(calls.dataCntl, "ibcntl")))
        r.missing() << QStringLiteral("RegisterGpibGlobalsForThread (or ThreadIbsta/ThreadIberr/ThreadIbcntl, "
                                      "Ibsta/Iberr/Ibcntl, or ibsta/iberr/ibcntl)");
    return r.missing();
}

Library& library()
{
#ifdef Q_OS_WIN
    static Library& lib = Library::create("GPIB", "QLXCOPY_GPIB_LIBRARY",
                                          {QStringLiteral("gpib-32.dll"), QStringLiteral("ni4882.dll")}, resolveCalls);
#else
    static Library& lib =
        Library::create("GPIB", "QLXCOPY_GPIB_LIBRARY",
                        {QStringLiteral("libgpib.so.0"), QStringLiteral("libgpib.so"), QStringLiteral("libni4882.so.1"),
                         QStringLiteral("libni4882.so"), QStringLiteral("libgpibapi.so")},
                        resolveCalls);
#endif
    return lib;
}

// The calls, or null with one line on stderr (once) that says why there are none.
const Calls* loaded()
{
    const Calls* calls = library().calls();
    static bool reported = false;
    if (!calls && !std::exchange(reported, true)) {
        // Named after the running program: the window and qlxctl share this code.
        const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        std::fprintf(stderr, "%s: %s; GPIB calls will fail\n", qPrintable(program), qPrintable(library().failure()));
    }
    return calls;
}

// A thread that registered its words takes them back from the library when it ends, before
// they go away with it.
struct ThreadRegistration {
    bool active = false;
    ~ThreadRegistration()
    {
        if (active)
            library().ifLoaded([](const Calls& calls) {
                if (calls.unregisterGlobals)
                    calls.unregisterGlobals();
            });
    }
};

// Registration of the calling thread's status words, retried before each call until it succeeds.
void registerWords(const Calls& lib, ni::Status& s)
{
    thread_local ThreadRegistration registration;
    ni::RegisteredWords& w = s.words;
    const unsigned long result = lib.registerGlobals(&w.status, &w.error, &w.count, &w.countL);
    if (result == 0) {
        s.globalsRegistered = registration.active = true;
        return;
    }
    if (result == 1) {
        if (lib.unregisterGlobals)
            lib.unregisterGlobals();
        lib.registerGlobals(&w.status, &w.error, &w.count, &w.countL);
        s.globalsRegistered = registration.active = true;
        return;
    }
    if ((result == 2 || result == 3) && lib.unregisterGlobals)
        lib.unregisterGlobals();
    w.status = ni::kErrorBit;
    w.error = 0;
    w.countL = ni::kRegistrationFailedCount;
}

void readOwnStatus(const Calls& lib, ni::RegisteredWords& w)
{
    if (lib.threadSta) {
        w.status = lib.threadSta();
        w.error = lib.threadErr();
        w.countL = lib.threadCntl();
    } else {
        w.status = *lib.dataSta;
        w.error = *lib.dataErr;
        w.countL = *lib.dataCntl;
    }
    w.count = static_cast<int>(w.countL);
}

// Runs one library call with registration before and the status copy after it.
template <typename Call>
int guarded(Call&& call)
{
    ni::Status& s = ni::status();
    const Calls* lib = loaded();
    if (!lib) {
        s.words = {ni::kErrorBit, 0, 0, 0};
        s.reported = false;
        ni::copyStatus(s);
        return -1;
    }
    if (lib->registerGlobals && !s.globalsRegistered)
        registerWords(*lib, s);
    const int result = call(*lib);
    if (!lib->registerGlobals)
        readOwnStatus(*lib, s.words);
    s.reported = !lib->registerGlobals || s.globalsRegistered;
    ni::copyStatus(s);
    return result;
}

} // namespace

bool available() { return loaded() != nullptr; }

void unload()
{
    library().unload(); // a thread that ends later has nothing to take back
    ni::status() = ni::Status();
}

qint16 ibdev(int board, int primaryAddress, int secondaryAddress, int timeout, int eot, int eos)
{
    const int ud = guarded(
        [&](const Calls& lib) { return lib.ibdev(board, primaryAddress, secondaryAddress, timeout, eot, eos); });
    return static_cast<qint16>(ud & 0xFFFF);
}

void ibloc(qint16 descriptor)
{
    guarded([&](const Calls& lib) { return lib.ibloc(descriptor); });
}

void ibonl(qint16 descriptor, int online)
{
    if (const Calls* calls = loaded(); calls && calls->ibonl)
        guarded([&](const Calls& lib) { return lib.ibonl(descriptor, online); });
}

void ibclr(qint16 descriptor)
{
    guarded([&](const Calls& lib) { return lib.ibclr(descriptor); });
}

void ibwrt(qint16 descriptor, const QByteArray& text)
{
    guarded([&](const Calls& lib) { return lib.ibwrt(descriptor, text.constData(), static_cast<long>(text.size())); });
}

QByteArray ibrdText(qint16 descriptor, int length)
{
    QByteArray buffer(length, ' ');
    guarded([&](const Calls& lib) { return lib.ibrd(descriptor, buffer.data(), length); });
    return buffer;
}

qint16 ibrdBytes(qint16 descriptor, char* data, qint64 count)
{
    guarded([&](const Calls& lib) { return lib.ibrd(descriptor, data, static_cast<long>(count)); });
    return ni::status().ibsta;
}

} // namespace qlx::vbib32
