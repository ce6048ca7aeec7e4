// libqlxsim-visa.so: the simulated GPIB bus of libqlxsim-gpib.so behind the few calls of the VISA
// C interface that QLXCopy makes, configured by the same environment ("qlxsim --help"). A
// resource string GPIB[n]::PAD[::SAD][::INSTR] or TCPIP[n]::HOST::gpibN,PAD[::INSTR] opens the
// device at PAD (QLXSIM_VISA_REFUSE set: viOpen fails, as for a resource that is not found).
// viRead ends with VI_SUCCESS at END, VI_SUCCESS_MAX_CNT when the count is reached first, and
// VI_ERROR_TMO when the tester falls silent; a write to an absent tester fails with
// VI_ERROR_NLISTENERS. Besides the bus's lines the log gets viSetAttribute(ATTR,VALUE) and
// viGpibControlREN(MODE); viClear logs as ibclr(ud), the go-to-local mode as ibloc(ud).
#include "sim/gpib_bus.h"

#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

using ViStatus = std::int32_t;
using ViUInt32 = std::uint32_t;
using ViSession = ViUInt32;

constexpr ViStatus VI_SUCCESS = 0;
constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
constexpr ViStatus VI_ERROR_RSRC_NFOUND = static_cast<ViStatus>(0xBFFF0011);
constexpr ViStatus VI_ERROR_TMO = static_cast<ViStatus>(0xBFFF0015);
constexpr ViStatus VI_ERROR_NLISTENERS = static_cast<ViStatus>(0xBFFF005F);
constexpr ViStatus VI_ERROR_IO = static_cast<ViStatus>(0xBFFF003E);
constexpr std::uint16_t VI_GPIB_REN_ADDRESS_GTL = 6;
constexpr ViSession kManager = 1;

// The primary address a resource string names; -1 when it names none.
int primaryOf(const std::string& resource)
{
    static const std::regex form(R"(^(?:GPIB\d*::(\d+)(?:::\d+)?|TCPIP\d*::[^:]+::gpib\d*,(\d+))(?:::INSTR)?$)",
                                 std::regex::icase);
    std::smatch match;
    if (!std::regex_match(resource, match, form))
        return -1;
    return std::atoi(match[match[1].matched ? 1 : 2].str().c_str());
}

ViStatus statusOf(const qlxsim::gpib::Status& status)
{
    using namespace qlxsim::gpib;
    if (!(status.sta & ERR))
        return VI_SUCCESS;
    if (status.sta & TIMO)
        return VI_ERROR_TMO;
    return status.err == ENOL ? VI_ERROR_NLISTENERS : VI_ERROR_IO;
}

void logLine(const std::string& text)
{
    // The bus logs through its own calls; a VISA call without one is written beside them.
    if (const char* target = std::getenv("QLXSIM_LOG"); target && *target) {
        if (std::FILE* f = std::fopen(target, "a")) {
            std::fprintf(f, "%s\n", text.c_str());
            std::fclose(f);
        }
    }
}

} // namespace

QLXSIM_EXPORT ViStatus viOpenDefaultRM(ViSession* manager)
{
    *manager = kManager;
    return VI_SUCCESS;
}

QLXSIM_EXPORT ViStatus viOpen(ViSession, const char* resource, ViUInt32, ViUInt32, ViSession* session)
{
    const int pad = primaryOf(resource ? resource : "");
    const char* refuse = std::getenv("QLXSIM_VISA_REFUSE");
    if (pad < 0 || pad > 30 || (refuse && *refuse))
        return VI_ERROR_RSRC_NFOUND;
    int ud = -1;
    const ViStatus status = statusOf(qlxsim::gpib::deviceOpen(0, pad, 0, 13, 1, 0, ud));
    *session = static_cast<ViSession>(ud);
    return status;
}

QLXSIM_EXPORT ViStatus viSetAttribute(ViSession, ViUInt32 attribute, unsigned long long value)
{
    logLine("viSetAttribute(" + std::to_string(attribute) + "," + std::to_string(value) + ")");
    return VI_SUCCESS;
}

QLXSIM_EXPORT ViStatus viWrite(ViSession session, const unsigned char* buffer, ViUInt32 count, ViUInt32* written)
{
    const qlxsim::gpib::Status status = qlxsim::gpib::deviceWrite(static_cast<int>(session), buffer, count);
    *written = static_cast<ViUInt32>(status.cntl);
    return statusOf(status);
}

QLXSIM_EXPORT ViStatus viRead(ViSession session, unsigned char* buffer, ViUInt32 count, ViUInt32* read)
{
    const qlxsim::gpib::Status status = qlxsim::gpib::deviceRead(static_cast<int>(session), buffer, count);
    *read = static_cast<ViUInt32>(status.cntl);
    if (status.sta & qlxsim::gpib::END)
        return VI_SUCCESS;
    return status.sta & qlxsim::gpib::ERR ? statusOf(status) : VI_SUCCESS_MAX_CNT;
}

QLXSIM_EXPORT ViStatus viClear(ViSession session)
{
    return statusOf(qlxsim::gpib::deviceClear(static_cast<int>(session)));
}

QLXSIM_EXPORT ViStatus viGpibControlREN(ViSession session, std::uint16_t mode)
{
    logLine("viGpibControlREN(" + std::to_string(mode) + ")");
    if (mode != VI_GPIB_REN_ADDRESS_GTL)
        return VI_SUCCESS;
    return statusOf(qlxsim::gpib::deviceLocal(static_cast<int>(session)));
}

QLXSIM_EXPORT ViStatus viClose(ViSession) { return VI_SUCCESS; }
