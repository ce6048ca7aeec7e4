#include "sim/qlxsim_options.h"

#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "platform/optiontable.h"

namespace qlxsim {
namespace {

// Where the tester is served: on its serial line (a pseudo-terminal), behind a "++" adapter or
// behind a LAN-GPIB gateway. An option applies in some of them.
enum Mode : unsigned { kSerial = 1, kAdapter = 2, kGateway = 4 };
constexpr unsigned kAnyMode = kSerial | kAdapter | kGateway;
constexpr unsigned kBehindBus = kAdapter | kGateway;

// The line as read so far: the options, and what decides them only once the whole line is read.
struct Reading {
    Mode mode = kSerial;
    Options options;
    bool identityGiven = false;
    bool baudGiven = false;
    std::optional<double> rate;
};

// One value of an option as given, e.g. {"--baud", "19200"}; a switch has an empty value.
struct Given {
    std::string option;
    std::string value;
};

struct Entry {
    QCommandLineOption option;
    void (*apply)(Reading&, const Given&);
};

// Options that apply in the same modes, and what the help says around them.
struct Section {
    unsigned modes;
    QString heading;
    QList<Entry> entries;
    QString notes;
};

[[noreturn]] void usageError(const std::string& message) { fail(message + "; \"qlxsim --help\" shows the usage"); }

[[noreturn]] void bad(const std::string& option, const std::string& value)
{
    usageError("bad " + option + " " + value);
}

// What `what` (an option, or an option with a value) needs when it is not for the mode given.
void need(const Reading& reading, unsigned modes, const std::string& what)
{
    if (reading.mode & modes)
        return;
    // Every option bound to a mode is bound to the adapter, the gateway or both.
    const char* selector = modes == kBehindBus ? "--adapter or --gateway"
                           : modes == kAdapter ? "--adapter"
                                               : "--gateway";
    usageError(what + " needs " + selector);
}

unsigned long number(const std::string& option, const std::string& text, unsigned long low, unsigned long high)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || text.front() == '-' || *end != '\0' || errno != 0 || value < low || value > high)
        bad(option, text);
    return value;
}

// The setting the adapter's and the gateway's bus share, on the one the mode made.
template <class Set>
void onBus(Reading& reading, Set set)
{
    if (reading.options.adapter)
        set(*reading.options.adapter);
    else
        set(*reading.options.gateway);
}

using Option = QCommandLineOption;

const QList<Section>& sections()
{
    static const QList<Section> table = {
        {kAnyMode,
         "usage: qlxsim [OPTION]...\n"
         "       qlxsim --adapter prologix|ar488 [OPTION]...\n"
         "       qlxsim --gateway [OPTION]...\n"
         "A simulated QLX tester on a pseudo-terminal, standing in for the tester's\n"
         "RS-232 port. It prints the device path of its end of the line (e.g. /dev/pts/7)\n"
         "as the first line of standard output, then serves until killed. Open that path\n"
         "as the serial port (any settings: it is raw). Commands end with a line feed;\n"
         "answers end with CR LF like a real tester's (or LF alone).\n",
         {
             {Option("dir", "folder served as the print directory \\USERDATA\\PRINT (default .)", "DIR"),
              [](Reading& r, const Given& g) { r.options.config.folder = g.value; }},
             {Option("idn",
                     "the answer to *IDN? (default Halvard&Brenn,QLX,1234567/890,V3.10, with --old-firmware "
                     "...,V3.05)",
                     "TEXT"),
              [](Reading& r, const Given& g) {
                  r.options.config.identity = g.value;
                  r.identityGiven = true;
              }},
             {Option("baud",
                     "line rate the answers are paced at, 8N1 = N/10 bytes/s (default 19200; 0 = as fast as "
                     "possible)",
                     "N"),
              [](Reading& r, const Given& g) {
                  r.options.baud = static_cast<unsigned>(number(g.option, g.value, 0, 10'000'000));
                  r.baudGiven = true;
              }},
             {Option("terminator", "line end of the answers (default crlf)", "crlf|lf"),
              [](Reading& r, const Given& g) {
                  if (g.value != "crlf" && g.value != "lf")
                      bad(g.option, g.value);
                  r.options.config.terminator = g.value == "crlf" ? "\r\n" : "\n";
              }},
             {Option("fault",
                     "stop-mid-block (half the block, then nothing), no-terminator (answers without their line "
                     "end), silent (a query gets no answer), garbage (random printable bytes and the line end), "
                     "late (the first answer comes 6.5 s late, after the time-out), wrong-length (a block header's "
                     "first length digit is changed), extra-bytes (bytes between a block and its line end), "
                     "listing-size (the listing gives each file one byte more), ignore-delete (MMEM:DEL leaves the "
                     "file), rewrite (each file handed out gives every file handed out before it other bytes of its "
                     "size), and with --adapter or --gateway drop-mid-block (see below). PREFIX limits the fault "
                     "to commands starting with it; the block faults default to MMEM:DATA?, listing-size to "
                     "MMEM:SCAN?, ignore-delete to MMEM:DEL, the others to every query",
                     "KIND[:PREFIX]"),
              [](Reading& r, const Given& g) {
                  const auto fault = parseFault(g.value);
                  if (!fault)
                      bad(g.option, g.value);
                  if (fault->kind == FaultKind::DropMidBlock)
                      need(r, kBehindBus, g.option + " drop-mid-block");
                  r.options.config.fault = *fault;
              }},
             {Option("old-firmware",
                     "older firmware: *IDN? says V3.05, MMEM:CDIR is ignored, MMEM:SCAN? lists the current "
                     "directory"),
              [](Reading& r, const Given&) { r.options.config.oldFirmware = true; }},
             {Option("current-dir",
                     "the current directory at start (default \\USERDATA\\PRINT); any other directory lists as "
                     "empty and without the product word",
                     "DIR"),
              [](Reading& r, const Given& g) { r.options.config.currentDir = g.value; }},
             {Option("log",
                     "log file, appended to, one line per received command with its bytes escaped (\\\\ \\n \\r "
                     "\\t \\xNN); - = standard error (default), empty = none",
                     "FILE"),
              [](Reading& r, const Given& g) { r.options.log = g.value; }},
             {Option("adapter", "the tester behind a \"++\" GPIB adapter (see below)", "prologix|ar488"),
              [](Reading& r, const Given& g) {
                  if (g.value != "prologix" && g.value != "ar488")
                      bad(g.option, g.value);
                  r.options.adapter->model = g.value == "prologix" ? AdapterModel::Prologix : AdapterModel::Ar488;
              }},
             {Option("gateway", "the tester behind a LAN-GPIB gateway (see below)"),
              [](Reading&, const Given&) {}},                                     // it chose the mode
             {Option({"h", "help"}, "this help"), [](Reading&, const Given&) {}}, // answered before the others
         },
         "The tester answers *IDN?, *SEC 0, MMEM:CDIR \"<dir>\", MMEM:SCAN?, MMEM:DATA?\n"
         "\"<name>\", MMEM:DEL \"<name>\",INT and *GTL. Unknown commands, unknown files and\n"
         "names with a path get no answer. A fault in the command line ends qlxsim with\n"
         "exit status 2.\n"},
        {kBehindBus,
         "\nWith --adapter or --gateway:\n",
         {
             {Option("tcp",
                     "listen on 127.0.0.1:PORT, 0 = any free port, and print \"127.0.0.1:PORT\" as the first line: "
                     "the adapter instead of a pseudo-terminal, one connection at a time (the next one is taken when "
                     "it closes), the gateway's portmapper (default 0)",
                     "PORT"),
              [](Reading& r, const Given& g) {
                  r.options.link.tcpPort = static_cast<int>(number(g.option, g.value, 0, 65535));
              }},
             {Option("address", "the tester's primary address (default 20; it also answers SAD 96)", "PAD"),
              [](Reading& r, const Given& g) {
                  const int address = static_cast<int>(number(g.option, g.value, 0, 30));
                  onBus(r, [&](auto& bus) { bus.testerAddress = address; });
              }},
             {Option("rate",
                     "pace the adapter's bytes to the host, or the bus's bytes into the gateway, at BYTES per "
                     "second (default: --baud's pace when it is given, else unpaced)",
                     "BYTES"),
              [](Reading& r, const Given& g) {
                  r.rate = static_cast<double>(number(g.option, g.value, 0, 1'000'000'000));
              }},
             {Option("block-pause",
                     "the tester stops MS ms after every EVERY bytes of an answer (default 65536), so a read "
                     "whose gap is shorter ends there",
                     "MS[:EVERY]"),
              [](Reading& r, const Given& g) {
                  const auto colon = g.value.find(':');
                  BlockPause pause;
                  pause.length = std::chrono::milliseconds(number(g.option, g.value.substr(0, colon), 0, 600'000));
                  if (colon != std::string::npos)
                      pause.every = number(g.option, g.value.substr(colon + 1), 1, kMaxFileSize);
                  onBus(r, [&](auto& bus) { bus.pause = pause; });
              }},
         },
         "--fault drop-mid-block[:PREFIX]: the adapter or the gateway vanishes when half\n"
         "of the answer to MMEM:DATA? (or PREFIX) is out.\n"},
        {kAdapter,
         "\n"
         "Behind a \"++\" adapter (--adapter): a Prologix GPIB-USB (on TCP a GPIB-ETHERNET)\n"
         "or an AR488 with the tester on its bus. The options above shape the tester as\n"
         "before (--baud paces the adapter's bytes to the host; without it or --rate they\n"
         "are not paced); besides:\n",
         {
             {Option("tester-off", "the adapter answers, the tester never does"),
              [](Reading& r, const Given&) { r.options.adapter->testerOn = false; }},
         },
         "The adapter speaks the protocol of the real ones: a host line that starts with\n"
         "an unescaped \"++\" is a command, any other is data for the tester, with ESC\n"
         "before CR, LF, ESC and \"+\" in it; an unescaped CR or LF ends a line and ++eos\n"
         "says what replaces it. Replies end with CR LF.\n"
         "Power-up settings: Prologix ++addr 0, ++eoi 1, ++read_tmo_ms 500 (1..3000, a\n"
         "larger value is refused), saving to EEPROM on; AR488 ++addr 1, ++eoi 0,\n"
         "++read_tmo_ms 1200 (1..32000). Both ++mode 1, ++auto 0, ++eos 0, ++eot_enable\n"
         "0. The Prologix ignores commands it does not take; the AR488 answers them\n"
         "\"Unrecognized command\". An AR488 resets when the host opens the device or\n"
         "connects, and when it gets ++rst: for 1.5 s it ignores the host, then it prints\n"
         "its version line; its settings come back from its EEPROM. A Prologix ignores\n"
         "the host for 5 s after ++rst.\n"
         "EEPROM: while a Prologix saves, every setting given a value (++mode, ++addr,\n"
         "++auto, ++eoi, ++eos, ++eot_enable, ++eot_char, ++read_tmo_ms) is a write;\n"
         "++savecfg 0 stops that, ++savecfg 1 (itself a write) resumes it. An AR488\n"
         "writes at every ++savecfg, whatever follows, and never else.\n"
         "++clr drops the tester's answer, ++spoll answers 16 while one waits (else 0),\n"
         "++loc and ++ifc are only logged; ++eot_enable 1 appends ++eot_char after a byte\n"
         "with END.\n"
         "++read: Prologix until the gap (++read_tmo_ms without a byte), AR488 until CR\n"
         "LF or the gap; ++read eoi until END or the gap; ++read N until byte N or the\n"
         "gap. A further ++read takes the rest. ++auto 1 reads (as ++read eoi, AR488 as\n"
         "++read) after every data line, ++auto 2 (AR488) after a line ending in '?'. A\n"
         "read waits for the gap and returns nothing when nobody is at ++addr, the tester\n"
         "is off or has nothing to say.\n"
         "With drop-mid-block the connection is closed or the pseudo-terminal hung up; a\n"
         "new pseudo-terminal takes its place and its path is the next line printed.\n"
         "The log (--log) then holds, one per line: the bytes that reach the tester\n"
         "(after unescaping, with the ++eos ending), each \"++\" command as received, and\n"
         "these events:\n"
         "  connect, disconnect        the host opened/closed the device or connection\n"
         "  adapter-reset              an AR488 booting, or ++rst\n"
         "  ignored-input N            N host bytes lost while the adapter was resetting\n"
         "  eeprom-write TEXT          a setting written to the EEPROM (the command\n"
         "                             without \"++\")\n"
         "  eeprom-writes N            at exit (SIGTERM, SIGINT, SIGHUP), also on\n"
         "                             standard error\n"
         "  query-error -410           a message arrived while the tester's answer was\n"
         "                             unread: dropped\n"
         "  query-error -420           the tester was addressed to talk with nothing to\n"
         "                             say\n"
         "  no-listener PAD            data for an address where nobody answers\n"
         "  no-talker PAD              a read from an address where nobody answers\n"
         "  read-timeout N             a read ended at the gap after N bytes\n"
         "  go-to-local                ++loc\n"
         "  device-clear               ++clr (drops the tester's answer)\n"
         "  interface-clear            ++ifc\n"
         "  not-controller             a data line in device mode (++mode 0), not sent\n"
         "  line-too-long              a host line over 64 KiB\n"
         "  input-dropped N            a message without an end\n"
         "  hang-up                    the drop-mid-block fault struck\n"},
        {kGateway,
         "\n"
         "Behind a LAN-GPIB gateway (--gateway): the gateway's portmapper (on TCP and,\n"
         "for a broadcast's unicast stand-in, UDP) and its VXI-11 core channel, each on a\n"
         "port of 127.0.0.1 of its own; the first line printed is \"127.0.0.1:PORT\" of the\n"
         "portmapper. The tester is at gpib0,PAD; a link to another address is made, but\n"
         "a write there times out (VXI-11 error 15). With drop-mid-block the gateway\n"
         "closes the connection. Besides:\n",
         {
             {Option("piece", "the most one device_read reply carries (default 16384)", "BYTES"),
              [](Reading& r, const Given& g) { r.options.gateway->piece = number(g.option, g.value, 1, 1024 * 1024); }},
             {Option("timeout-ms", "a call waits at most this long, whatever time-out it asks for", "MS"),
              [](Reading& r, const Given& g) {
                  r.options.gateway->timeoutCap = std::chrono::milliseconds(number(g.option, g.value, 1, 600'000));
              }},
             {Option("refuse-link", "create_link answers error 9 (out of resources)"),
              [](Reading& r, const Given&) { r.options.gateway->refuseLinks = true; }},
         },
         "The log gets the bytes that reach the tester and the events create-link DEVICE,\n"
         "link-refused DEVICE, destroy-link, device-clear, go-to-local, no-listener PAD,\n"
         "read-timeout, hang-up.\n"},
    };
    return table;
}

// The simulated libraries have no command line: they read these, each described once here.
QString environmentHelp()
{
    const QList<Option> variables = {
        Option("QLXSIM_DIR", "as --dir (default .)"),
        Option("QLXSIM_IDN", "as --idn (default as for --idn)"),
        Option("QLXSIM_FAULT", "as --fault (default none)"),
        Option("QLXSIM_CURRENT_DIR", "as --current-dir (default \\USERDATA\\PRINT)"),
        Option("QLXSIM_OLD_FIRMWARE", "non-empty and not \"0\": as --old-firmware (default unset)"),
        Option("QLXSIM_ADDRESS", "the primary address the tester answers on (default 20)"),
        Option("QLXSIM_OFF", "non-empty and not \"0\": the tester is switched off (default unset)"),
        Option("QLXSIM_LOG", "log file as --log (default unset = no log). Besides the commands it logs the calls "
                             "ibdev(board,pad,sad,tmo,eot,eos), ibloc(ud) and ibclr(ud), and through VISA "
                             "viSetAttribute(ATTR,VALUE) and viGpibControlREN(MODE), as lines of their own"),
        Option("QLXSIM_TIMEOUT_MS", "read time-out in ms (default: ibdev's time-out code, 13 = 10 s)"),
        Option("QLXSIM_BOARD", "the GPIB board as the library finds it: missing (no /dev/gpib0, ibdev fails with "
                               "EDVR), unconfigured (ENEB), eio (reads fail with EDVR) or unset (usable)"),
        Option("QLXSIM_BLOCK_MS",
               "every call blocks this many ms before it acts, as a driver on a loose cable does (read at "
               "each call; default 0)"),
        Option("QLXSIM_REGISTER_RESULT",
               "what RegisterGpibGlobalsForThread returns (read at each call): 0 (default) or 1 register the "
               "words, 2, 3 or any other number do not; \"1,0\" gives the results of successive calls, the last "
               "one repeating"),
        Option("QLXSIM_VISA_REFUSE", "non-empty: viOpen fails, as for a resource that is not found (default unset)"),
    };
    // optionsHelp writes a name as an option is typed; a variable stands bare, in the same column.
    static const QRegularExpression dashes(QStringLiteral("^  --(\\w+)"), QRegularExpression::MultilineOption);
    return QStringLiteral("\n"
                          "The same tester on GPIB: libqlxsim-gpib.so (status words through\n"
                          "RegisterGpibGlobalsForThread), libqlxsim-gpib-plain.so (status words as the\n"
                          "global data ibsta, iberr, ibcnt, ibcntl) and libqlxsim-visa.so (the VISA C\n"
                          "interface) read the environment at every ibdev or viOpen:\n")
           + qlx::optionsHelp(variables).replace(dashes, QStringLiteral("  \\1  "))
           + QStringLiteral("Answers end with LF and END (no-terminator drops the LF; END still ends the\n"
                            "message). A write to an absent tester fails with ENOL; a read with nothing\n"
                            "(more) to read waits the time-out and returns ERR|TIMO, iberr EABO, ibcntl the\n"
                            "bytes it did get.\n");
}

QString helpText()
{
    QString help;
    for (const Section& section : sections()) {
        QList<Option> options;
        for (const Entry& entry : section.entries)
            options << entry.option;
        help += section.heading + qlx::optionsHelp(options) + section.notes;
    }
    return help + environmentHelp();
}

Mode modeOf(const QCommandLineParser& parser)
{
    const bool adapter = parser.isSet(QStringLiteral("adapter"));
    const bool gateway = parser.isSet(QStringLiteral("gateway"));
    if (adapter && gateway)
        usageError("give either --adapter or --gateway");
    return adapter ? kAdapter : gateway ? kGateway : kSerial;
}

// Each option of the line, checked against the mode and applied in the table's order; each value
// of an option given more than once, in the order given.
Reading readOptions(const QCommandLineParser& parser)
{
    Reading reading;
    reading.mode = modeOf(parser);
    reading.options.config.folder = ".";
    if (reading.mode == kAdapter)
        reading.options.adapter.emplace();
    if (reading.mode == kGateway)
        reading.options.gateway.emplace();
    for (const Section& section : sections()) {
        for (const Entry& entry : section.entries) {
            const QString name = entry.option.names().constLast();
            if (!parser.isSet(name))
                continue;
            const std::string option = qlx::dashed(name).toStdString();
            need(reading, section.modes, option);
            if (entry.option.valueName().isEmpty())
                entry.apply(reading, {option, {}});
            for (const QString& value : parser.values(name))
                entry.apply(reading, {option, value.toLatin1().toStdString()});
        }
    }
    return reading;
}

// What the options decide together, once all are read.
Options finish(Reading reading)
{
    Options& options = reading.options;
    if (options.config.oldFirmware && !reading.identityGiven)
        options.config.identity = kOldIdentity;
    const double pace = reading.rate.value_or(reading.baudGiven ? options.baud / 10.0 : 0.0);
    if (options.adapter) {
        options.adapter->ethernet = options.link.tcpPort.has_value();
        options.link.bytesPerSecond = pace;
    }
    if (options.gateway)
        options.gateway->bytesPerSecond = pace;
    std::error_code error;
    if (!std::filesystem::is_directory(options.config.folder, error))
        fail("not a folder: " + options.config.folder.string());
    return options;
}

} // namespace

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "qlxsim: %s\n", message.c_str());
    std::exit(2);
}

// Arguments are taken as Latin-1, so that every byte of a value comes back as it was given.
Options parseOptions(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLatin1(argv[i]);
    QList<Option> table;
    for (const Section& section : sections())
        for (const Entry& entry : section.entries)
            table << entry.option;
    QCommandLineParser parser;
    const QString error = qlx::parseOptions(parser, table, arguments);
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(helpText().toUtf8().constData(), stdout);
        std::exit(0);
    }
    if (!error.isEmpty())
        usageError(error.toLatin1().toStdString());
    if (!parser.positionalArguments().isEmpty())
        usageError("unexpected argument \"" + parser.positionalArguments().first().toLatin1().toStdString() + "\"");
    return finish(readOptions(parser));
}

} // namespace qlxsim
