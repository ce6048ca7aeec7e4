#include "link/ni488/vbib32.h"

#include "link/ni488/niglobal.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include <cstdio>
#include <mutex>
#include <type_traits>

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

struct Library {
    std::mutex loading; // the threads of several devices may load at once
    QLibrary file;
    bool tried = false;
    bool usable = false;
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

// Never destroyed: a worker thread whose call outlives the program's exit still finds it.
Library& library()
{
    static Library* const lib = new Library;
    return *lib;
}

QStringList candidateNames()
{
    const QString chosen = qEnvironmentVariable("QLXCOPY_GPIB_LIBRARY");
    if (!chosen.isEmpty())
        return {chosen};
#ifdef Q_OS_WIN
    return {QStringLiteral("gpib-32.dll"), QStringLiteral("ni4882.dll")};
#else
    return {QStringLiteral("libgpib.so.0"), QStringLiteral("libgpib.so"), QStringLiteral("libni4882.so.1"),
            QStringLiteral("libni4882.so"), QStringLiteral("libgpibapi.so")};
#endif
}

void reportOnce(const QString& line)
{
    static bool reported = false;
    if (reported)
        return;
    reported = true;
    // Named after the running program: the window and qlxctl share this code.
    const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    std::fprintf(stderr, "%s: %s; GPIB calls will fail\n", qPrintable(program), qPrintable(line));
}

template <typename T>
T resolve(Library& lib, const char* name)
{
    return reinterpret_cast<T>(lib.file.resolve(name));
}

// Resolves what the program needs; returns the names that are missing.
QStringList resolveAll(Library& lib)
{
    QStringList missing;
    auto need = [&](auto& slot, const char* name) {
        slot = resolve<std::remove_reference_t<decltype(slot)>>(lib, name);
        if (!slot)
            missing << QString::fromLatin1(name);
    };
    need(lib.ibdev, "ibdev");
    need(lib.ibwrt, "ibwrt");
    need(lib.ibrd, "ibrd");
    need(lib.ibloc, "ibloc");
    need(lib.ibclr, "ibclr");
    lib.ibonl = resolve<IbonlFn>(lib, "ibonl");
    lib.registerGlobals = resolve<RegisterFn>(lib, "RegisterGpibGlobalsForThread");
    lib.unregisterGlobals = resolve<UnregisterFn>(lib, "UnregisterGpibGlobalsForThread");
    if (lib.registerGlobals)
        return missing;
    for (const char* prefix : {"ThreadIb", "Ib"}) {
        lib.threadSta = resolve<IntFn>(lib, QByteArray(prefix).append("sta").constData());
        lib.threadErr = resolve<IntFn>(lib, QByteArray(prefix).append("err").constData());
        lib.threadCntl = resolve<LongFn>(lib, QByteArray(prefix).append("cntl").constData());
        if (lib.threadSta && lib.threadErr && lib.threadCntl)
            return missing;
    }
    lib.threadSta = nullptr;
    lib.dataSta = resolve<const int*>(lib, "ibsta");
    lib.dataErr = resolve<const int*>(lib, "iberr");
    lib.dataCntl = resolve<const long*>(lib, "ibcntl");
    if (!(lib.dataSta && lib.dataErr && lib.dataCntl))
        missing << QStringLiteral("RegisterGpibGlobalsForThread (or ThreadIbsta/ThreadIberr/ThreadIbcntl, "
                                  "Ibsta/Iberr/Ibcntl, or ibsta/iberr/ibcntl)");
    return missing;
}

bool load(Library& lib)
{
    const std::lock_guard lock(lib.loading);
    if (lib.tried)
        return lib.usable;
    lib.tried = true;
    const QStringList names = candidateNames();
    for (const QString& name : names) {
        lib.file.setFileName(name);
        if (lib.file.load())
            break;
    }
    if (!lib.file.isLoaded()) {
        reportOnce(QStringLiteral("no GPIB library could be loaded (tried %1)").arg(names.join(QStringLiteral(", "))));
        return false;
    }
    const QStringList missing = resolveAll(lib);
    if (!missing.isEmpty()) {
        reportOnce(
            QStringLiteral("GPIB library %1 lacks %2").arg(lib.file.fileName(), missing.join(QStringLiteral(", "))));
        return false;
    }
    lib.usable = true;
    return true;
}

// A thread that registered its words takes them back from the library when it ends, before
// they go away with it.
struct ThreadRegistration {
    bool active = false;
    ~ThreadRegistration()
    {
        Library& lib = library();
        const std::lock_guard lock(lib.loading);
        if (active && lib.unregisterGlobals)
            lib.unregisterGlobals();
    }
};

// Registration of the calling thread's status words, retried before each call until it succeeds.
void registerWords(Library& lib, ni::Status& s)
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

void readOwnStatus(const Library& lib, ni::RegisteredWords& w)
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
    Library& lib = library();
    ni::Status& s = ni::status();
    if (!load(lib)) {
        s.words = {ni::kErrorBit, 0, 0, 0};
        s.reported = false;
        ni::copyStatus(s);
        return -1;
    }
    if (lib.registerGlobals && !s.globalsRegistered)
        registerWords(lib, s);
    const int result = call(lib);
    if (!lib.registerGlobals)
        readOwnStatus(lib, s.words);
    s.reported = !lib.registerGlobals || s.globalsRegistered;
    ni::copyStatus(s);
    return result;
}

} // namespace

bool available() { return load(library()); }

void unload()
{
    Library& lib = library();
    const std::lock_guard lock(lib.loading);
    lib.file.unload();
    lib.tried = false;
    lib.usable = false;
    lib.unregisterGlobals = nullptr; // a thread that ends later has nothing to take back
    ni::status() = ni::Status();
}

qint16 ibdev(int board, int primaryAddress, int secondaryAddress, int timeout, int eot, int eos)
{
    const int ud =
        guarded([&](Library& lib) { return lib.ibdev(board, primaryAddress, secondaryAddress, timeout, eot, eos); });
    return static_cast<qint16>(ud & 0xFFFF);
}

void ibloc(qint16 descriptor)
{
    guarded([&](Library& lib) { return lib.ibloc(descriptor); });
}

void ibonl(qint16 descriptor, int online)
{
    if (available() && library().ibonl)
        guarded([&](Library& lib) { return lib.ibonl(descriptor, online); });
}

void ibclr(qint16 descriptor)
{
    guarded([&](Library& lib) { return lib.ibclr(descriptor); });
}

void ibwrt(qint16 descriptor, const QByteArray& text)
{
    guarded([&](Library& lib) { return lib.ibwrt(descriptor, text.constData(), static_cast<long>(text.size())); });
}

QByteArray ibrdText(qint16 descriptor, int length)
{
    QByteArray buffer(length, ' ');
    guarded([&](Library& lib) { return lib.ibrd(descriptor, buffer.data(), length); });
    return buffer;
}

qint16 ibrdBytes(qint16 descriptor, char* data, qint64 count)
{
    guarded([&](Library& lib) { return lib.ibrd(descriptor, data, static_cast<long>(count)); });
    return ni::status().ibsta;
}

} // namespace qlx::vbib32
