// qlxsim: a simulated QLX tester on a pseudo-terminal, standing in for the tester's RS-232 port.
//
// It prints the device path of its end of the line (e.g. /dev/pts/7) as the first line of standard
// output, then serves until killed. Open that path as the serial port (any settings: it is raw).
// Commands end with a line feed; answers end with CR LF like a real tester's (or LF alone).
//
// Options:
//   --dir DIR            folder served as the print directory "\USERDATA\PRINT" (default: .)
//   --idn TEXT           answer to *IDN? (default "Halvard&Brenn,QLX,1234567/890,V3.10",
//                        with --old-firmware "...,V3.05")
//   --baud N             line rate the answers are paced at, 8N1 = N/10 bytes/s (default 19200;
//                        0 = as fast as possible)
//   --terminator crlf|lf line end of the answers (default crlf)
//   --fault KIND[:PREFIX] stop-mid-block (half the block, then nothing), no-terminator (answers
//                        without their line end), silent (a query gets no answer), garbage
//                        (random printable bytes and the line end), late (the first answer
//                        comes 6.5 s late, after the time-out), wrong-length (a block header's
//                        first length digit is changed), extra-bytes (bytes between a block and
//                        its line end), listing-size (the listing gives each file one byte more),
//                        ignore-delete (MMEM:DEL leaves the file), rewrite (each file handed
//                        out gives every file handed out before it other bytes of its size).
//                        PREFIX limits the fault to
//                        commands starting with it; the block faults default to MMEM:DATA?,
//                        listing-size to MMEM:SCAN?, ignore-delete to MMEM:DEL, the others to
//                        every query.
//   --old-firmware       older firmware: MMEM:CDIR is ignored, MMEM:SCAN? lists the current dir
//   --current-dir DIR    the current directory at start (default \USERDATA\PRINT); any other
//                        directory lists as empty and without the product word
//   --log FILE           log file, appended to, one line per received command with its bytes
//                        escaped (\\ \n \r \t \xNN); "-" = standard error (default), "" = none
//
//   --adapter prologix|ar488  the tester sits behind a "++" GPIB adapter instead (see below)
//
// Commands: *IDN?, *SEC 0, MMEM:CDIR "<dir>", MMEM:SCAN?, MMEM:DATA? "<name>",
// MMEM:DEL "<name>",INT, *GTL. Unknown commands, unknown files and names with a path get no answer.
//
// Behind a "++" adapter (--adapter): a Prologix GPIB-USB (on TCP a GPIB-ETHERNET) or an AR488
// with the tester on its bus. The options above shape the tester as before (--baud paces the adapter's
// bytes to the host; without it they are not paced); besides:
//   --tcp PORT           listen on 127.0.0.1:PORT (0 = any free port) instead of a pseudo-terminal
//                        and print "127.0.0.1:PORT" as the first line; one connection at a time,
//                        the next one is taken when it closes
//   --address PAD        the tester's primary address (default 20; it also answers SAD 96)
//   --tester-off         the adapter answers, the tester never does
//   --rate BYTES         pace the adapter's bytes to the host at BYTES per second
//   --block-pause MS[:EVERY]  the tester stops MS ms after every EVERY bytes of an answer
//                        (default 65536), so a read whose gap is shorter ends there
//   --fault drop-mid-block[:PREFIX]  the adapter vanishes when half of the answer to MMEM:DATA?
//                        (or PREFIX) is out: the connection is closed or the pseudo-terminal hung
//                        up; a new pseudo-terminal takes its place and its path is the next line
// The adapter speaks the protocol of the real ones: a host line that starts with an unescaped
// "++" is a command, any other is data for the tester, with ESC before CR, LF, ESC and "+" in it;
// an unescaped CR or LF ends a line and ++eos says what replaces it. Replies end with CR LF.
// Power-up settings: Prologix ++addr 0, ++eoi 1, ++read_tmo_ms 500 (1..3000, a larger value is
// refused), saving to EEPROM on; AR488 ++addr 1, ++eoi 0, ++read_tmo_ms 1200 (1..32000). Both
// ++mode 1, ++auto 0, ++eos 0, ++eot_enable 0. The Prologix ignores commands it does not take;
// the AR488 answers them "Unrecognized command". An AR488 resets when the host opens the device or
// connects, and when it gets ++rst: for 1.5 s it ignores the host, then it prints its version
// line; its settings come back from its EEPROM. A Prologix ignores the host for 5 s after ++rst.
// EEPROM: while a Prologix saves, every setting given a value (++mode, ++addr, ++auto, ++eoi,
// ++eos, ++eot_enable, ++eot_char, ++read_tmo_ms) is a write; ++savecfg 0 stops that, ++savecfg 1
// (itself a write) resumes it. An AR488 writes at every ++savecfg, whatever follows, and never else.
// ++clr drops the tester's answer, ++spoll answers 16 while one waits (else 0), ++loc and ++ifc
// are only logged; ++eot_enable 1 appends ++eot_char after a byte with END.
// ++read: Prologix until the gap (++read_tmo_ms without a byte), AR488 until CR LF or the gap;
// ++read eoi until END or the gap; ++read N until byte N or the gap. A further ++read takes the
// rest. ++auto 1 reads (as ++read eoi, AR488 as ++read) after every data line, ++auto 2 (AR488)
// after a line ending in '?'. A read waits for the gap and returns nothing when nobody is at
// ++addr, the tester is off or has nothing to say.
// The log (--log) then holds, one per line: the bytes that reach the tester (after unescaping,
// with the ++eos ending), each "++" command as received, and these events:
//   connect, disconnect          the host opened/closed the device or connection
//   adapter-reset                an AR488 booting, or ++rst
//   ignored-input N              N host bytes lost while the adapter was resetting
//   eeprom-write TEXT            a setting written to the EEPROM (TEXT: the command without "++")
//   eeprom-writes N              at exit (SIGTERM, SIGINT, SIGHUP), also on standard error
//   query-error -410             a message arrived while the tester's answer was unread: dropped
//   query-error -420             the tester was addressed to talk with nothing to say
//   no-listener PAD, no-talker PAD   data or a read for an address where nobody answers
//   read-timeout N               a read ended at the gap after N bytes
//   go-to-local, device-clear, interface-clear   ++loc, ++clr (drops the tester's answer), ++ifc
//   not-controller               a data line in device mode (++mode 0), not sent
//   line-too-long, input-dropped N   a host line over 64 KiB, a message without an end
//   hang-up                      the drop-mid-block fault struck
//
// Behind a LAN-GPIB gateway (--gateway): the gateway's portmapper (on TCP and, for a broadcast's
// unicast stand-in, UDP) and its VXI-11 core channel, each on a port of 127.0.0.1 of its own; the first line printed is
// "127.0.0.1:PORT" of the portmapper (--tcp PORT, default 0 = any free port). The tester is at gpib0,PAD (--address
// PAD); a link to another address is made, but a write there times out (VXI-11 error 15). --address,
// --block-pause, --fault drop-mid-block (the gateway closes the connection when half of the answer
// is out) and --rate (the bus's pace into the gateway) work as for the adapter; besides:
//   --piece BYTES        the most one device_read reply carries (default 16384)
//   --timeout-ms MS      a call waits at most this long, whatever time-out it asks for
//   --refuse-link        create_link answers error 9 (out of resources)
// The log gets the bytes that reach the tester and the events create-link DEVICE, link-refused
// DEVICE, destroy-link, device-clear, go-to-local, no-listener PAD, read-timeout, hang-up.
//
// The same tester on GPIB: libqlxsim-gpib.so (status words through RegisterGpibGlobalsForThread),
// libqlxsim-gpib-plain.so (as linux-gpib: ThreadIbsta, ThreadIberr, ThreadIbcntl, and the global
// data ibsta, iberr, ibcnt, ibcntl) and libqlxsim-gpib-data.so (the global data alone) take
// these settings from the environment, read at every ibdev:
//   QLXSIM_DIR, QLXSIM_IDN, QLXSIM_FAULT, QLXSIM_CURRENT_DIR  as --dir, --idn, --fault, --current-dir
//   QLXSIM_OLD_FIRMWARE    non-empty and not "0": as --old-firmware
//   QLXSIM_ADDRESS         primary address the tester answers on (default 20)
//   QLXSIM_OFF             non-empty and not "0": the tester is switched off
//   QLXSIM_LOG             log file as --log; unset = no log. Besides the commands it logs the
//                          calls ibdev(board,pad,sad,tmo,eot,eos), ibloc(ud), ibclr(ud) and
//                          ibonl(ud,v), and a read that times out (ibrd(ud) timed out), as lines of their own
//   QLXSIM_BOARD           the board on the PC: missing (no /dev/gpib0), unconfigured (gpib_config
//                          never ran): ibdev fails with EDVR; eio: every read fails with EDVR, EIO
//   QLXSIM_TIMEOUT_MS      read time-out in ms (default: ibdev's time-out code, 13 = 10 s)
//   QLXSIM_BLOCK_MS        every call blocks this many ms before it acts, as a driver on a loose
//                          cable does (read at each call; default 0)
//   QLXSIM_REGISTER_RESULT what RegisterGpibGlobalsForThread returns: 0 (default) or 1 register
//                          the words, 2, 3 or any other number do not; "1,0" gives the results
//                          of successive calls, the last one repeating
// Answers end with LF and END (no-terminator drops the LF; END still ends the message). A write
// to an absent tester fails with ENOL; a read with nothing (more) to read waits the time-out and
// returns ERR|TIMO, iberr EABO, ibcntl the bytes it did get. As in linux-gpib, descriptors are 16
// to 4095 (ENEB when all are taken), ibonl(ud, 0) gives one back, a driver error leaves an errno
// in ibcntl, and END stays in the status of each call after a write or read that ended with it.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "sim/adapter_link.h"
#include "sim/command_log.h"
#include "sim/gateway_link.h"
#include "sim/model.h"
#include "sim/pacer.h"

namespace {

constexpr std::size_t kMaxCommand = 64 * 1024; // an unterminated flood is dropped past this
constexpr std::size_t kChunk = 16;             // bytes per write while pacing

const char kUsage[] =
    "usage: qlxsim [--dir DIR] [--idn TEXT] [--baud N] [--terminator crlf|lf]\n"
    "              [--fault KIND[:PREFIX]]\n"
    "              [--old-firmware] [--current-dir DIR] [--log FILE|-]\n"
    "              [--adapter prologix|ar488 [--tcp PORT] [--address PAD] [--tester-off]\n"
    "               [--rate BYTES] [--block-pause MS[:EVERY]]]\n"
    "              [--gateway [--tcp PORT] [--address PAD] [--piece BYTES] [--timeout-ms MS]\n"
    "               [--refuse-link] [--rate BYTES] [--block-pause MS[:EVERY]]]\n"
    "A simulated QLX tester on a pseudo-terminal. Prints the device path on the first line of\n"
    "standard output, then serves until killed.\n"
    "  --dir DIR          folder served as \\USERDATA\\PRINT (default .)\n"
    "  --idn TEXT         *IDN? answer (default Halvard&Brenn,QLX,1234567/890,V3.10)\n"
    "  --baud N           pace answers at N baud 8N1, N/10 bytes/s (default 19200, 0 = unpaced)\n"
    "  --terminator M     crlf (default) or lf after each answer\n"
    "  --fault KIND[:P]   stop-mid-block, no-terminator, silent, garbage, late, wrong-length,\n"
    "                     extra-bytes, listing-size, ignore-delete, rewrite; P limits it to commands\n"
    "                     starting with P (default MMEM:DATA? for block faults, MMEM:SCAN? for\n"
    "                     listing-size, MMEM:DEL for ignore-delete, else every query)\n"
    "  --old-firmware     *IDN? says V3.05, MMEM:CDIR is ignored\n"
    "  --current-dir DIR  current directory at start (default \\USERDATA\\PRINT)\n"
    "  --log FILE         append one line per received command, bytes escaped; - = stderr\n"
    "                     (default), empty = no log\n"
    "  --adapter M        the tester behind a \"++\" GPIB adapter: prologix (GPIB-USB, on TCP\n"
    "                     GPIB-ETHERNET) or ar488; the log also gets ++ commands and events\n"
    "  --tcp PORT         adapter on 127.0.0.1:PORT (0 = any), printed as the first line\n"
    "  --address PAD      the tester's GPIB address (default 20)\n"
    "  --tester-off       the adapter answers, the tester does not\n"
    "  --rate BYTES       pace the adapter's bytes to the host in bytes/s (or --baud; default unpaced)\n"
    "  --block-pause MS[:EVERY]  the tester pauses MS ms every EVERY bytes (default 65536)\n"
    "  --fault drop-mid-block[:P]  the adapter vanishes halfway through the answer to\n"
    "                     MMEM:DATA? (or P): connection closed / pseudo-terminal hung up\n"
    "  --gateway          the tester behind a LAN-GPIB gateway (VXI-11): its portmapper on\n"
    "                     127.0.0.1:PORT (--tcp, default any), printed as the first line\n"
    "  --piece BYTES      gateway: the most one device_read reply carries (default 16384)\n"
    "  --timeout-ms MS    gateway: a call waits at most MS ms\n"
    "  --refuse-link      gateway: create_link answers error 9 (out of resources)\n"
    "The GPIB libraries libqlxsim-gpib.so, libqlxsim-gpib-plain.so and libqlxsim-gpib-data.so\n"
    "read, at every ibdev:\n"
    "  QLXSIM_DIR QLXSIM_IDN QLXSIM_FAULT QLXSIM_CURRENT_DIR QLXSIM_OLD_FIRMWARE QLXSIM_LOG\n"
    "                     as the options above (QLXSIM_LOG unset = no log; it also logs\n"
    "                     ibdev(...), ibloc(ud), ibclr(ud), ibonl(ud,v) and read time-outs)\n"
    "  QLXSIM_ADDRESS     primary address of the tester (default 20)\n"
    "  QLXSIM_OFF=1       the tester is switched off: writes fail with ENOL\n"
    "  QLXSIM_BOARD       missing, unconfigured: ibdev fails with EDVR; eio: reads fail\n"
    "  QLXSIM_TIMEOUT_MS  read time-out in ms (default from ibdev's code, 13 = 10 s)\n"
    "  QLXSIM_REGISTER_RESULT  RegisterGpibGlobalsForThread result: 0 (default), 1, 2, 3,\n"
    "                     other; a list such as 1,0 is used call by call\n";

struct Options {
    qlxsim::Config config;
    unsigned baud = 19200;
    bool baudGiven = false;
    std::string log = "-";
    std::optional<qlxsim::AdapterConfig> adapter;
    std::optional<qlxsim::GatewayConfig> gateway;
    qlxsim::LinkOptions link;
    std::optional<double> rate;
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "qlxsim: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

unsigned long parseNumber(const std::string& option, const std::string& value, unsigned long low, unsigned long high)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long number = std::strtoul(value.c_str(), &end, 10);
    if (value.empty() || value.front() == '-' || *end != '\0' || errno != 0 || number < low || number > high)
        fail("bad " + option + " " + value);
    return number;
}

// --block-pause MS[:EVERY]
qlxsim::BlockPause parsePause(const std::string& value)
{
    const auto colon = value.find(':');
    qlxsim::BlockPause pause;
    pause.length = std::chrono::milliseconds(parseNumber("--block-pause", value.substr(0, colon), 0, 600'000));
    if (colon != std::string::npos)
        pause.every = parseNumber("--block-pause", value.substr(colon + 1), 1, qlxsim::kMaxFileSize);
    return pause;
}

Options parseOptions(int argc, char** argv)
{
    Options options;
    options.config.folder = ".";
    qlxsim::AdapterConfig adapter;
    qlxsim::GatewayConfig gateway;
    bool adapterGiven = false;
    bool gatewayGiven = false;
    std::string adapterOnly; // the last option that needs --adapter or --gateway
    std::string gatewayOnly; // the last option that needs --gateway
    bool identityGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (option == "--old-firmware") {
            options.config.oldFirmware = true;
            continue;
        }
        if (option == "--gateway") {
            gatewayGiven = true;
            continue;
        }
        if (option == "--refuse-link") {
            gateway.refuseLinks = true;
            gatewayOnly = option;
            continue;
        }
        if (option == "--tester-off") {
            adapter.testerOn = false;
            adapterOnly = option;
            continue;
        }
        if (i + 1 >= argc)
            fail("missing value for " + option);
        const std::string value = argv[++i];
        if (option == "--dir") {
            options.config.folder = value;
        } else if (option == "--idn") {
            options.config.identity = value;
            identityGiven = true;
        } else if (option == "--baud") {
            options.baud = static_cast<unsigned>(parseNumber(option, value, 0, 10'000'000));
            options.baudGiven = true;
        } else if (option == "--terminator") {
            if (value != "crlf" && value != "lf")
                fail("bad --terminator " + value);
            options.config.terminator = value == "crlf" ? "\r\n" : "\n";
        } else if (option == "--fault") {
            const auto fault = qlxsim::parseFault(value);
            if (!fault)
                fail("bad --fault " + value);
            options.config.fault = *fault;
            if (fault->kind == qlxsim::FaultKind::DropMidBlock)
                adapterOnly = option + " drop-mid-block";
        } else if (option == "--current-dir") {
            options.config.currentDir = value;
        } else if (option == "--log") {
            options.log = value;
        } else if (option == "--adapter") {
            if (value != "prologix" && value != "ar488")
                fail("bad --adapter " + value);
            adapter.model = value == "prologix" ? qlxsim::AdapterModel::Prologix : qlxsim::AdapterModel::Ar488;
            adapterGiven = true;
        } else if (option == "--tcp") {
            options.link.tcpPort = static_cast<int>(parseNumber(option, value, 0, 65535));
            adapterOnly = option;
        } else if (option == "--address") {
            adapter.testerAddress = static_cast<int>(parseNumber(option, value, 0, 30));
            adapterOnly = option;
        } else if (option == "--rate") {
            options.rate = static_cast<double>(parseNumber(option, value, 0, 1'000'000'000));
            adapterOnly = option;
        } else if (option == "--block-pause") {
            adapter.pause = parsePause(value);
            adapterOnly = option;
        } else if (option == "--piece") {
            gateway.piece = parseNumber(option, value, 1, 1024 * 1024);
            gatewayOnly = option;
        } else if (option == "--timeout-ms") {
            gateway.timeoutCap = std::chrono::milliseconds(parseNumber(option, value, 1, 600'000));
            gatewayOnly = option;
        } else {
            fail("unknown option " + option);
        }
    }
    if (adapterGiven && gatewayGiven)
        fail("give either --adapter or --gateway");
    if (adapterGiven) {
        adapter.ethernet = options.link.tcpPort.has_value();
        options.adapter = adapter;
        options.link.bytesPerSecond = options.rate.value_or(options.baudGiven ? options.baud / 10.0 : 0.0);
    } else if (gatewayGiven) {
        gateway.testerAddress = adapter.testerAddress;
        gateway.pause = adapter.pause;
        gateway.bytesPerSecond = options.rate.value_or(options.baudGiven ? options.baud / 10.0 : 0.0);
        options.gateway = gateway;
    } else if (!adapterOnly.empty() || !gatewayOnly.empty()) {
        fail((adapterOnly.empty() ? gatewayOnly : adapterOnly) + " needs --adapter or --gateway");
    }
    if (!gatewayGiven && !gatewayOnly.empty())
        fail(gatewayOnly + " needs --gateway");
    if (gatewayGiven && !adapter.testerOn)
        fail("--tester-off needs --adapter");
    if (options.config.oldFirmware && !identityGiven)
        options.config.identity = qlxsim::kOldIdentity;
    std::error_code error;
    if (!std::filesystem::is_directory(options.config.folder, error)) {
        fail("not a folder: " + options.config.folder.string());
    }
    return options;
}

// Opens the pseudo-terminal pair: the master end is ours, the raw slave end is for the client.
// We keep a slave descriptor open ourselves so that the master never sees a hang-up when the
// client closes the device and opens it again.
int openLine(std::string& slavePath, int& slaveHolder)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    const char* name = ptsname(master);
    if (!name)
        return -1;
    slavePath = name;
    slaveHolder = open(name, O_RDWR | O_NOCTTY);
    if (slaveHolder < 0)
        return -1;
    termios tio{};
    if (tcgetattr(slaveHolder, &tio) != 0)
        return -1;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    if (tcsetattr(slaveHolder, TCSANOW, &tio) != 0)
        return -1;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    return master;
}

class LineServer {
public:
    LineServer(int master, const Options& options, qlxsim::CommandLog& log)
        : master_(master), tester_(options.config), pacer_(options.baud), log_(log)
    {
        tester_.setLog(&log_);
    }

    [[noreturn]] void run()
    {
        for (;;) {
            const auto now = qlxsim::Pacer::Clock::now();
            const std::size_t pending = output_.size() - outputPos_;
            int timeout = -1;
            short events = POLLIN;
            if (pending > 0 && now < heldUntil_) {
                timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(heldUntil_ - now).count());
            } else if (pending > 0) {
                if (pacer_.allowance(now) >= std::min(pending, kChunk)) {
                    events |= POLLOUT;
                } else {
                    const auto wait = pacer_.dueAfter(std::min(pending, kChunk)) - now;
                    timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
                }
            }
            pollfd fd{master_, events, 0};
            if (poll(&fd, 1, timeout) < 0 && errno != EINTR)
                fail(std::strerror(errno));
            if (fd.revents & POLLIN)
                receive();
            if (fd.revents & POLLOUT)
                transmit();
            if ((fd.revents & (POLLHUP | POLLERR)) && !(fd.revents & POLLIN))
                usleep(20'000);
        }
    }

private:
    void receive()
    {
        char buffer[4096];
        const ssize_t count = read(master_, buffer, sizeof buffer);
        for (ssize_t i = 0; i < count; ++i) {
            input_ += buffer[i];
            if (buffer[i] == '\n' || input_.size() >= kMaxCommand) {
                log_.command(input_);
                if (buffer[i] == '\n')
                    answer(input_);
                input_.clear();
            }
        }
    }

    void answer(const std::string& command)
    {
        const auto reply = tester_.handle(command);
        if (!reply || reply->bytes.empty())
            return;
        const auto now = qlxsim::Pacer::Clock::now();
        if (outputPos_ == output_.size()) {
            output_.clear();
            outputPos_ = 0;
            heldUntil_ = now + reply->delay;
            pacer_.wake(heldUntil_);
        }
        output_ += reply->bytes;
    }

    void transmit()
    {
        const std::size_t pending = output_.size() - outputPos_;
        std::size_t count = std::min(pending, pacer_.allowance(qlxsim::Pacer::Clock::now()));
        if (pacer_.paced())
            count = std::min(count, kChunk);
        const ssize_t written = write(master_, output_.data() + outputPos_, count);
        if (written <= 0)
            return;
        outputPos_ += static_cast<std::size_t>(written);
        pacer_.sent(static_cast<std::size_t>(written));
    }

    int master_;
    qlxsim::Tester tester_;
    qlxsim::Pacer pacer_;
    qlxsim::CommandLog& log_;
    std::string input_;
    std::string output_;
    std::size_t outputPos_ = 0;
    qlxsim::Pacer::Clock::time_point heldUntil_{}; // a late answer waits until then
};

} // namespace

// The tester behind the adapter, until a signal ends it; the EEPROM writes are counted at the end.
int runAdapter(const Options& options, qlxsim::CommandLog& log)
{
    qlxsim::Adapter adapter(*options.adapter, options.config, log);
    if (!qlxsim::serveAdapter(adapter, options.link))
        fail(std::string("cannot serve the adapter: ") + std::strerror(errno));
    const std::string total = "eeprom-writes " + std::to_string(adapter.eepromWrites());
    log.line(total);
    if (options.log != "-")
        std::fprintf(stderr, "qlxsim: %s\n", total.c_str());
    return 0;
}

// The tester behind the gateway, until a signal ends it.
int runGateway(const Options& options, qlxsim::CommandLog& log)
{
    qlxsim::Gateway gateway(*options.gateway, options.config, log);
    if (!qlxsim::serveGateway(gateway, options.link.tcpPort.value_or(0)))
        fail(std::string("cannot serve the gateway: ") + std::strerror(errno));
    return 0;
}

int main(int argc, char** argv)
{
    const Options options = parseOptions(argc, argv);
    qlxsim::CommandLog log;
    if (!log.open(options.log))
        fail("cannot open log " + options.log);
    if (options.adapter)
        return runAdapter(options, log);
    if (options.gateway)
        return runGateway(options, log);
    std::string slavePath;
    int slaveHolder = -1;
    const int master = openLine(slavePath, slaveHolder);
    if (master < 0)
        fail(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);
    LineServer(master, options, log).run();
}
