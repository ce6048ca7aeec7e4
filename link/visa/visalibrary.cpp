#include "link/visa/visalibrary.h"

#include "link/runtimelibrary.h"

#include <QLibrary>
#include <QStringList>

#include <type_traits>

namespace qlx::visa {
namespace {

// The interface's types as its C header declares them: 32-bit on LP64 too, but for the attribute
// value, which is as wide as a pointer on 64-bit platforms.
using ViStatus = qint32;
using ViUInt32 = quint32;
using ViSession = ViUInt32;
using ViAttr = ViUInt32;
using ViAttrState = std::conditional_t<sizeof(void*) == 8, unsigned long long, ViUInt32>;
using ViUInt16 = quint16;

constexpr ViStatus VI_SUCCESS = 0;
constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001A;
constexpr ViUInt16 VI_GPIB_REN_ADDRESS_GTL = 6;
constexpr ViUInt32 VI_NO_LOCK = 0;
constexpr ViUInt32 kOpenTimeoutMs = 0;     // viOpen waits for no lock
constexpr ViUInt32 kMaxCount = 0x7FFFFFFF; // the most one call moves

using OpenDefaultRMFn = ViStatus (*)(ViSession*);
using OpenFn = ViStatus (*)(ViSession, const char*, ViUInt32, ViUInt32, ViSession*);
using SetAttributeFn = ViStatus (*)(ViSession, ViAttr, ViAttrState);
using WriteFn = ViStatus (*)(ViSession, const unsigned char*, ViUInt32, ViUInt32*);
using ReadFn = ViStatus (*)(ViSession, unsigned char*, ViUInt32, ViUInt32*);
using ClearFn = ViStatus (*)(ViSession);
using ControlRenFn = ViStatus (*)(ViSession, ViUInt16);
using CloseFn = ViStatus (*)(ViSession);
using StatusDescFn = ViStatus (*)(ViSession, ViStatus, char*);

struct Calls {
    OpenDefaultRMFn openDefaultRM = nullptr;
    OpenFn open = nullptr;
    SetAttributeFn setAttribute = nullptr;
    WriteFn write = nullptr;
    ReadFn read = nullptr;
    ClearFn clear = nullptr;
    ControlRenFn controlRen = nullptr;
    CloseFn close = nullptr;
    StatusDescFn statusDesc = nullptr; // optional: the library's words for a status
};
using Library = RuntimeLibrary<Calls>;

// Resolves what the program needs; returns the names that are missing.
QStringList resolveCalls(const QLibrary& file, Calls& calls)
{
    Library::Resolver r(file);
    r.need(calls.openDefaultRM, "viOpenDefaultRM");
    r.need(calls.open, "viOpen");
    r.need(calls.setAttribute, "viSetAttribute");
    r.need(calls.write, "viWrite");
    r.need(calls.read, "viRead");
    r.need(calls.clear, "viClear");
    r.need(calls.controlRen, "viGpibControlREN");
    r.need(calls.close, "viClose");
    r.optional(calls.statusDesc, "viStatusDesc");
    return r.missing();
}

Library& library()
{
    static Library& lib = Library::create("VISA", "QLXCOPY_VISA_LIBRARY",
                                          {QStringLiteral("libvisa.so.0"), QStringLiteral("libvisa.so"),
                                           QStringLiteral("/usr/local/vxipnp/linux/lib64/libvisa.so")},
                                          resolveCalls);
    return lib;
}

// The calls of the loaded library; only asked for after available() said there is one.
const Calls& calls() { return *library().calls(); }

QString statusText(ViSession session, ViStatus status)
{
    const Calls& lib = calls();
    char words[256] = {};
    if (lib.statusDesc && lib.statusDesc(session, status, words) >= VI_SUCCESS && words[0])
        return QStringLiteral("%1 (status 0x%2)")
            .arg(QString::fromLocal8Bit(words))
            .arg(quint32(status), 8, 16, QLatin1Char('0'));
    return QStringLiteral("VISA status 0x%1").arg(quint32(status), 8, 16, QLatin1Char('0'));
}

class VisaDevice : public GpibDevice {
public:
    VisaDevice(ViSession manager, ViSession session) : m_manager(manager), m_session(session) {}
    ~VisaDevice() override
    {
        calls().close(m_session);
        calls().close(m_manager);
    }

    void write(const QByteArray& command) override
    {
        m_end = true;
        qsizetype sent = 0;
        while (sent < command.size()) {
            ViUInt32 count = 0;
            const ViStatus status =
                calls().write(m_session, reinterpret_cast<const unsigned char*>(command.constData()) + sent,
                              ViUInt32(command.size() - sent), &count);
            sent += count;
            if (status < VI_SUCCESS || count == 0)
                return;
        }
    }

    // Until the library says the answer ended (VI_SUCCESS), the count, a time-out or a failure.
    qint64 read(char* into, qint64 length) override
    {
        m_end = false;
        qint64 count = 0;
        while (count < length) {
            ViUInt32 got = 0;
            const ViStatus status = calls().read(m_session, reinterpret_cast<unsigned char*>(into) + count,
                                                 ViUInt32(std::min<qint64>(length - count, kMaxCount)), &got);
            count += std::min<qint64>(got, length - count);
            if (status == VI_SUCCESS) {
                m_end = true;
                break;
            }
            if (status != VI_SUCCESS_MAX_CNT)
                break; // a time-out or a failure; a termination character is not asked for
        }
        return count;
    }

    bool endSeen() const override { return m_end; }
    void clear() override { calls().clear(m_session); }
    void goToLocal() override { calls().controlRen(m_session, VI_GPIB_REN_ADDRESS_GTL); }

private:
    ViSession m_manager;
    ViSession m_session;
    bool m_end = true;
};

} // namespace

bool available() { return library().calls() != nullptr; }

void unload() { library().unload(); }

std::unique_ptr<GpibDevice> open(const QString& resource, int timeoutMs, QString* error)
{
    if (!available()) {
        *error = library().failure();
        return nullptr;
    }
    const Calls& lib = calls();
    ViSession manager = 0;
    ViStatus status = lib.openDefaultRM(&manager);
    if (status < VI_SUCCESS) {
        *error = QStringLiteral("the VISA library did not start: %1").arg(statusText(0, status));
        return nullptr;
    }
    ViSession session = 0;
    status = lib.open(manager, resource.toLatin1().constData(), VI_NO_LOCK, kOpenTimeoutMs, &session);
    if (status < VI_SUCCESS) {
        *error = QStringLiteral("VISA could not open %1: %2").arg(resource, statusText(manager, status));
        lib.close(manager);
        return nullptr;
    }
    lib.setAttribute(session, VI_ATTR_TMO_VALUE, ViAttrState(timeoutMs));
    return std::make_unique<VisaDevice>(manager, session);
}

} // namespace qlx::visa
