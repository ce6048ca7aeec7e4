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
//                        (random printable bytes and the line end). PREFIX limits the fault to
//                        commands starting with it; stop-mid-block defaults to MMEM:DATA?, the
//                        others to every query.
//   --old-firmware       older firmware: MMEM:CDIR is ignored, MMEM:SCAN? lists the current dir
//   --current-dir DIR    the current directory at start (default \USERDATA\PRINT); any other
//                        directory lists as empty and without the product word
//   --log FILE           log file, appended to, one line per received command with its bytes
//                        escaped (\\ \n \r \t \xNN); "-" = standard error (default), "" = none
//
// Commands: *IDN?, *SEC 0, MMEM:CDIR "<dir>", MMEM:SCAN?, MMEM:DATA? "<name>",
// MMEM:DEL "<name>",INT, *GTL. Unknown commands, unknown files and names with a path get no answer.
//
// The same tester on GPIB: libqlxsim-gpib.so (status words through RegisterGpibGlobalsForThread)
// and libqlxsim-gpib-plain.so (status words as the global data ibsta, iberr, ibcnt, ibcntl) take
// these settings from the environment, read at every ibdev:
//   QLXSIM_DIR, QLXSIM_IDN, QLXSIM_FAULT, QLXSIM_CURRENT_DIR  as --dir, --idn, --fault, --current-dir
//   QLXSIM_OLD_FIRMWARE    non-empty and not "0": as --old-firmware
//   QLXSIM_ADDRESS         primary address the tester answers on (default 20)
//   QLXSIM_OFF             non-empty and not "0": the tester is switched off
//   QLXSIM_LOG             log file as --log; unset = no log. Besides the commands it logs the
//                          calls ibdev(board,pad,sad,tmo,eot,eos) and ibloc(ud) as lines of their own
//   QLXSIM_TIMEOUT_MS      read time-out in ms (default: ibdev's time-out code, 13 = 10 s)
//   QLXSIM_REGISTER_RESULT what RegisterGpibGlobalsForThread returns: 0 (default) or 1 register
//                          the words, 2, 3 or any other number do not; "1,0" gives the results
//                          of successive calls, the last one repeating
// Answers end with LF and END (no-terminator drops the LF; END still ends the message). A write
// to an absent tester fails with ENOL; a read with nothing (more) to read waits the time-out and
// returns ERR|TIMO, iberr EABO, ibcntl the bytes it did get.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/command_log.h"
#include "sim/model.h"
#include "sim/pacer.h"

namespace {

constexpr std::size_t kMaxCommand = 64 * 1024; // an unterminated flood is dropped past this
constexpr std::size_t kChunk = 16;             // bytes per write while pacing

const char kUsage[] = "usage: qlxsim [--dir DIR] [--idn TEXT] [--baud N] [--terminator crlf|lf]\n"
                      "              [--fault stop-mid-block|no-terminator|silent|garbage[:PREFIX]]\n"
                      "              [--old-firmware] [--current-dir DIR] [--log FILE|-]\n"
                      "A simulated QLX tester on a pseudo-terminal. Prints the device path on the first line of\n"
                      "standard output, then serves until killed.\n"
                      "  --dir DIR          folder served as \\USERDATA\\PRINT (default .)\n"
                      "  --idn TEXT         *IDN? answer (default Halvard&Brenn,QLX,1234567/890,V3.10)\n"
                      "  --baud N           pace answers at N baud 8N1, N/10 bytes/s (default 19200, 0 = unpaced)\n"
                      "  --terminator M     crlf (default) or lf after each answer\n"
                      "  --fault KIND[:P]   stop-mid-block (default for MMEM:DATA?), no-terminator, silent, garbage;\n"
                      "                     P limits it to commands starting with P (default every query)\n"
                      "  --old-firmware     *IDN? says V3.05, MMEM:CDIR is ignored\n"
                      "  --current-dir DIR  current directory at start (default \\USERDATA\\PRINT)\n"
                      "  --log FILE         append one line per received command, bytes escaped; - = stderr\n"
                      "                     (default), empty = no log\n"
                      "The GPIB libraries libqlxsim-gpib.so and libqlxsim-gpib-plain.so read, at every ibdev:\n"
                      "  QLXSIM_DIR QLXSIM_IDN QLXSIM_FAULT QLXSIM_CURRENT_DIR QLXSIM_OLD_FIRMWARE QLXSIM_LOG\n"
                      "                     as the options above (QLXSIM_LOG unset = no log; it also logs\n"
                      "                     ibdev(board,pad,sad,tmo,eot,eos) and ibloc(ud))\n"
                      "  QLXSIM_ADDRESS     primary address of the tester (default 20)\n"
                      "  QLXSIM_OFF=1       the tester is switched off: reads time out\n"
                      "  QLXSIM_TIMEOUT_MS  read time-out in ms (default from ibdev's code, 13 = 10 s)\n"
                      "  QLXSIM_REGISTER_RESULT  RegisterGpibGlobalsForThread result: 0 (default), 1, 2, 3,\n"
                      "                     other; a list such as 1,0 is used call by call\n";

struct Options {
    qlxsim::Config config;
    unsigned baud = 19200;
    std::string log = "-";
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "qlxsim: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

Options parseOptions(int argc, char** argv)
{
    Options options;
    options.config.folder = ".";
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
        if (i + 1 >= argc)
            fail("missing value for " + option);
        const std::string value = argv[++i];
        if (option == "--dir") {
            options.config.folder = value;
        } else if (option == "--idn") {
            options.config.identity = value;
            identityGiven = true;
        } else if (option == "--baud") {
            char* end = nullptr;
            const unsigned long baud = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || baud > 10'000'000)
                fail("bad --baud " + value);
            options.baud = static_cast<unsigned>(baud);
        } else if (option == "--terminator") {
            if (value != "crlf" && value != "lf")
                fail("bad --terminator " + value);
            options.config.terminator = value == "crlf" ? "\r\n" : "\n";
        } else if (option == "--fault") {
            const auto fault = qlxsim::parseFault(value);
            if (!fault)
                fail("bad --fault " + value);
            options.config.fault = *fault;
        } else if (option == "--current-dir") {
            options.config.currentDir = value;
        } else if (option == "--log") {
            options.log = value;
        } else {
            fail("unknown option " + option);
        }
    }
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
    }

    [[noreturn]] void run()
    {
        for (;;) {
            const auto now = qlxsim::Pacer::Clock::now();
            const std::size_t pending = output_.size() - outputPos_;
            int timeout = -1;
            short events = POLLIN;
            if (pending > 0) {
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
        if (outputPos_ == output_.size()) {
            output_.clear();
            outputPos_ = 0;
            pacer_.wake(qlxsim::Pacer::Clock::now());
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
};

} // namespace

int main(int argc, char** argv)
{
    const Options options = parseOptions(argc, argv);
    qlxsim::CommandLog log;
    if (!log.open(options.log))
        fail("cannot open log " + options.log);
    std::string slavePath;
    int slaveHolder = -1;
    const int master = openLine(slavePath, slaveHolder);
    if (master < 0)
        fail(std::string("cannot open a pseudo-terminal: ") + std::strerror(errno));
    std::printf("%s\n", slavePath.c_str());
    std::fflush(stdout);
    LineServer(master, options, log).run();
}
