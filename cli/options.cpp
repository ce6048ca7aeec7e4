#include "cli/options.h"

#include "platform/optiontable.h"

namespace qlx::cli {
namespace {

using Option = QCommandLineOption;

// One command: what its help says around the options, and the options themselves.
struct CommandTable {
    Command command;
    QString name;
    QString usage;       // the usage lines after "qlxctl [GLOBAL OPTIONS] "
    QString description; // what the command does, before its options
    QList<Option> options;
};

QList<Option> globalOptions()
{
    return {
        Option(QStringLiteral("bus"), QStringLiteral("the bus (default: as the window last used it, else ieee)"),
               QStringLiteral("ieee|com")),
        Option(QStringLiteral("address"),
               QStringLiteral("ieee: the GPIB primary address, PAD@DEVICE or PAD@HOST[:PORT] for a \"++\" adapter, "
                              "or a VISA resource (GPIB0::20::INSTR, TCPIP0::HOST::gpib0,20::INSTR); com: a serial "
                              "port number or device path (default: as the window last used it, else 20)"),
               QStringLiteral("ADDR")),
        Option({QStringLiteral("q"), QStringLiteral("quiet")},
               QStringLiteral("no progress and no messages but errors")),
        Option({QStringLiteral("h"), QStringLiteral("help")},
               QStringLiteral("this help, or the command's when one is given")),
        Option(QStringLiteral("version"), QStringLiteral("the program's version")),
    };
}

Option all(const QString& what) { return Option(QStringLiteral("all"), what); }
Option to(const QString& what) { return Option(QStringLiteral("to"), what, QStringLiteral("DIR")); }
Option overwrite()
{
    return Option(QStringLiteral("overwrite"), QStringLiteral("replace a different file of the same name"));
}
Option rename()
{
    return Option(QStringLiteral("rename"), QStringLiteral("write beside it as NAME_2.WMF (NAME_3.WMF, ...)"));
}
Option convert()
{
    return Option(QStringLiteral("convert"),
                  QStringLiteral("also write a png, svg or pdf picture beside each hardcopy written (NAME.png, ...)"),
                  QStringLiteral("FORMAT"));
}
Option watch(const QString& what) { return Option(QStringLiteral("watch"), what, QStringLiteral("SECONDS")); }

const QString kCopyTo = QStringLiteral("the folder to copy into (default: the current folder)");

const QList<CommandTable>& tables()
{
    static const QList<CommandTable> commands = {
        {Command::Identify,
         QStringLiteral("identify"),
         QStringLiteral("identify\n"),
         QStringLiteral("Prints the tester's maker, model, serial number and firmware, one per line.\n"),
         {}},
        {Command::List,
         QStringLiteral("list"),
         QStringLiteral("list [--json]\n"),
         QStringLiteral("Prints the hardcopies in the tester's print directory, one name per line.\n"),
         {Option(QStringLiteral("json"), QStringLiteral("a JSON array of {\"name\": ..., \"size\": ...} instead"))}},
        {Command::Get,
         QStringLiteral("get"),
         QStringLiteral("get NAME... | --all [--to DIR]\n"
                        "                 [--overwrite | --rename] [--convert png|svg|pdf]\n"),
         QStringLiteral("Copies hardcopies into DIR (default: the current folder). An identical file\n"
                        "there counts as copied; a different one is kept and reported.\n"),
         {all(QStringLiteral("every hardcopy")), to(kCopyTo), overwrite(), rename(), convert()}},
        {Command::Sync,
         QStringLiteral("sync"),
         QStringLiteral("sync [--to DIR] [--overwrite | --rename]\n"
                        "                 [--trust-size] [--watch SECONDS] [--convert png|svg|pdf]\n"),
         QStringLiteral("Copies every hardcopy into DIR (default: the current folder). A file of that\n"
                        "name there is compared with the tester's bytes: identical counts as copied, a\n"
                        "different one is kept and reported.\n"),
         {to(kCopyTo), overwrite(), rename(),
          Option(QStringLiteral("trust-size"),
                 QStringLiteral("skip a name that DIR holds with the size the tester lists, without fetching it. "
                                "Quicker, but a different hardcopy of the same size (common: the tester numbers its "
                                "files anew) is then never copied, and lost if it is deleted on the tester later")),
          watch(QStringLiteral("keep reading the directory at this interval until interrupted (Ctrl+C or SIGTERM)")),
          convert()}},
        {Command::Move,
         QStringLiteral("move"),
         QStringLiteral("move NAME... | --all [--to DIR]\n"
                        "                 [--overwrite | --rename] [--convert png|svg|pdf] [--read-once]\n"
                        "       qlxctl [GLOBAL OPTIONS] move --watch SECONDS [--to DIR]\n"
                        "                 [--overwrite | --rename] [--convert png|svg|pdf] [--read-once]\n"),
         QStringLiteral("Moves hardcopies off the tester into DIR (default: the current folder): each\n"
                        "is fetched as one whole block of the size the listing gives (on the serial\n"
                        "line twice, and both reads must agree), DIR is made to hold exactly its bytes\n"
                        "(written under a name no one else took, or already there), the file and DIR\n"
                        "are synced to disk, and only then, while a fresh listing still shows it with\n"
                        "that size, is it deleted on the tester. A file that could not be copied so,\n"
                        "or that meets a different file, link or pipe of the same name, is left on the\n"
                        "tester and reported.\n"),
         {all(QStringLiteral("every hardcopy")),
          to(QStringLiteral("the folder to move into (default: the current "
                            "folder)")),
          overwrite(), rename(),
          watch(QStringLiteral(
              "keep moving every hardcopy as it appears, reading the directory at this interval until interrupted")),
          convert(),
          Option(QStringLiteral("read-once"),
                 QStringLiteral("over the serial line, move reads each hardcopy twice and deletes it only when both "
                                "reads agree byte for byte, since RS-232 has no checksum; --read-once skips the second "
                                "read and risks deleting a hardcopy whose only copy holds a garbled byte"))}},
        {Command::Delete,
         QStringLiteral("delete"),
         QStringLiteral("delete NAME... | --all [--yes]\n"),
         QStringLiteral("Deletes files on the tester, whether or not they were copied: what was\n"
                        "not copied is lost (\"qlxctl move\" deletes only what is safely on the\n"
                        "PC). NAME is taken exactly (a single name that differs in case only when\n"
                        "there is none). Asks first on a terminal; Ctrl+C at the question deletes\n"
                        "nothing. The directory is read again afterwards, and a file still listed\n"
                        "is reported.\n"),
         {all(QStringLiteral("every hardcopy")),
          Option(QStringLiteral("yes"), QStringLiteral("without asking; required without a terminal"))}},
        {Command::Discover,
         QStringLiteral("discover"),
         QStringLiteral("discover [--adapter DEVICE|HOST[:PORT]]...\n"
                        "                 [--gateway HOST]... [--no-broadcast]\n"),
         QStringLiteral("Looks for QLX testers on the IEEE bus and prints one line for each: its\n"
                        "address as --address takes it, a tab, and its answer to *IDN?. It asks at the\n"
                        "primary addresses 1 to 30 through the GPIB library when one loads, through\n"
                        "each \"++\" adapter: those given, and the serial devices under\n"
                        "/dev/serial/by-id whose names say \"Prologix\" or \"GPIB\" (no other serial\n"
                        "device is touched), and behind each LAN-GPIB gateway (VXI-11): those given,\n"
                        "and those that answer a portmapper broadcast on the local networks.\n"),
         {Option(QStringLiteral("adapter"),
                 QStringLiteral("an adapter's serial device or network address (port 1234 by default); may be "
                                "repeated"),
                 QStringLiteral("DEVICE|HOST[:PORT]")),
          Option(QStringLiteral("gateway"), QStringLiteral("a LAN-GPIB gateway to ask; may be repeated"),
                 QStringLiteral("HOST")),
          Option(QStringLiteral("no-broadcast"), QStringLiteral("do not ask gateways by portmapper broadcast"))}},
    };
    return commands;
}

const CommandTable* tableOf(Command command)
{
    for (const CommandTable& table : tables())
        if (table.command == command)
            return &table;
    return nullptr;
}

const CommandTable* tableNamed(const QString& name)
{
    for (const CommandTable& table : tables())
        if (table.name == name)
            return &table;
    return nullptr;
}

QString checkNames(const Options& o)
{
    if (o.command == Command::Move && o.watchSeconds > 0)
        return o.names.isEmpty() ? QString() : QStringLiteral("move --watch moves every hardcopy; give no names");
    const bool takesNames = o.command == Command::Get || o.command == Command::Move || o.command == Command::Delete;
    if (!takesNames)
        return o.names.isEmpty() ? QString() : QStringLiteral("unexpected argument \"%1\"").arg(o.names.first());
    if (o.all && !o.names.isEmpty())
        return QStringLiteral("give either names or --all, not both");
    if (!o.all && o.names.isEmpty())
        return QStringLiteral("give the names of the files, or --all");
    return {};
}

// The values of the options `parser` found, checked; the fault, or empty.
QString readValues(const QCommandLineParser& parser, Options& o)
{
    const auto set = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    const auto value = [&](const char* name) { return parser.value(QString::fromLatin1(name)); };
    o.help = set("help");
    o.version = set("version");
    o.quiet = set("quiet");
    if (set("address"))
        o.address = value("address");
    if (set("bus")) {
        const QString bus = value("bus").toLower();
        if (bus != u"ieee" && bus != u"com")
            return QStringLiteral("--bus takes ieee or com, not \"%1\"").arg(bus);
        o.bus = bus == u"ieee" ? Bus::Gpib : Bus::Serial;
    }
    if (o.command == Command::None)
        return {};
    const CommandTable& table = *tableOf(o.command);
    const auto has = [&](const char* name) {
        return std::any_of(table.options.begin(), table.options.end(),
                           [&](const Option& option) { return option.names().contains(QString::fromLatin1(name)); });
    };
    o.json = has("json") && set("json");
    o.all = has("all") && set("all");
    o.trustSize = has("trust-size") && set("trust-size");
    o.readOnce = has("read-once") && set("read-once");
    o.noBroadcast = has("no-broadcast") && set("no-broadcast");
    o.yes = has("yes") && set("yes");
    if (has("adapter"))
        o.adapters = parser.values(QStringLiteral("adapter"));
    if (has("gateway"))
        o.gateways = parser.values(QStringLiteral("gateway"));
    if (has("to") && set("to"))
        o.toDir = value("to");
    if (has("overwrite") && set("overwrite") && set("rename"))
        return QStringLiteral("give either --overwrite or --rename, not both");
    if (has("overwrite") && set("overwrite"))
        o.onConflict = OnConflict::Overwrite;
    else if (has("rename") && set("rename"))
        o.onConflict = OnConflict::Rename;
    if (has("convert") && set("convert")) {
        o.convert = value("convert").toLower();
        if (o.convert != u"png" && o.convert != u"svg" && o.convert != u"pdf")
            return QStringLiteral("--convert takes png, svg or pdf");
    }
    if (has("watch") && set("watch")) {
        bool ok = false;
        o.watchSeconds = value("watch").toInt(&ok);
        if (!ok || o.watchSeconds < 1)
            return QStringLiteral("--watch takes a whole number of seconds, at least 1");
    }
    return {};
}

} // namespace

QList<QCommandLineOption> commandOptions(Command command)
{
    const CommandTable* table = tableOf(command);
    return table ? table->options : globalOptions();
}

QStringList commandNames()
{
    QStringList names;
    for (const CommandTable& table : tables())
        names << table.name;
    return names;
}

// The global options come before or after the command. A first pass with those alone finds the
// command (the first word that is no option or value); the second takes the whole line with the
// command's table added.
ParsedArguments parseArguments(const QStringList& arguments)
{
    ParsedArguments result;
    Options& o = result.options;
    QCommandLineParser globals;
    globals.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    result.error = parseOptions(globals, globalOptions(), arguments);
    const QStringList words = globals.positionalArguments();
    if (result.error.isEmpty() && !words.isEmpty()) {
        const CommandTable* table = tableNamed(words.first());
        if (!table)
            result.error = QStringLiteral("unknown command \"%1\"").arg(words.first());
        else
            o.command = table->command;
    }
    QCommandLineParser line;
    if (result.error.isEmpty() && o.command != Command::None) {
        result.error = parseOptions(line, globalOptions() + commandOptions(o.command), arguments);
        o.names = line.positionalArguments().mid(1);
    }
    const QCommandLineParser& found = o.command == Command::None ? globals : line;
    if (result.error.isEmpty())
        result.error = readValues(found, o);
    else
        o.help = found.isSet(QStringLiteral("help")); // "--help" still answers a faulty line
    if (!result.error.isEmpty() || o.help || o.version)
        return result;
    if (o.command == Command::None)
        result.error = QStringLiteral("no command given");
    else
        result.error = checkNames(o);
    return result;
}

QString helpText(Command command)
{
    if (const CommandTable* table = tableOf(command)) {
        QString help = QStringLiteral("usage: qlxctl [GLOBAL OPTIONS] ") + table->usage + table->description;
        return help + optionsHelp(table->options);
    }
    return QStringLiteral("usage: qlxctl [--bus ieee|com] [--address ADDR] [--quiet] COMMAND ...\n"
                          "Copies hardcopies from a QLX tester over GPIB (ieee) or a serial line (com).\n")
           + optionsHelp(globalOptions())
           + QStringLiteral("Commands: %1;\n\"qlxctl COMMAND --help\" describes each.\n"
                            "Exit status: 0 done, 1 a file failed or was kept, 2 usage, 3 tester not reached,\n"
                            "4 the tester answers but its print directory is not set up (see the message).\n")
                 .arg(commandNames().join(QStringLiteral(", ")));
}

Target resolveTarget(const Options& options, const Settings& saved)
{
    const Bus bus = options.bus.value_or(saved.bus);
    if (options.address)
        return {bus, *options.address};
    return {bus, bus == saved.bus ? saved.address : defaultAddress(bus)};
}

} // namespace qlx::cli
