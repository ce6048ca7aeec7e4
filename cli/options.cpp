#include "cli/options.h"

#include <QHash>

namespace qlx::cli {
namespace {

const QHash<QString, Command> kCommands = {
    {QStringLiteral("identify"), Command::Identify}, {QStringLiteral("list"), Command::List},
    {QStringLiteral("get"), Command::Get},           {QStringLiteral("sync"), Command::Sync},
    {QStringLiteral("move"), Command::Move},         {QStringLiteral("delete"), Command::Delete},
    {QStringLiteral("discover"), Command::Discover},
};

// Which command accepts which of its own options.
bool accepts(Command command, const QString& option)
{
    switch (command) {
    case Command::List:
        return option == u"--json";
    case Command::Get:
        return option == u"--all" || option == u"--to" || option == u"--overwrite" || option == u"--rename"
               || option == u"--convert";
    case Command::Sync:
        return option == u"--to" || option == u"--overwrite" || option == u"--rename" || option == u"--watch"
               || option == u"--trust-size" || option == u"--convert";
    case Command::Move:
        return option == u"--all" || option == u"--to" || option == u"--overwrite" || option == u"--rename"
               || option == u"--watch" || option == u"--convert";
    case Command::Discover:
        return option == u"--adapter" || option == u"--gateway" || option == u"--no-broadcast";
    case Command::Delete:
        return option == u"--all" || option == u"--yes";
    case Command::Identify:
    case Command::None:
        return false;
    }
    return false;
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

} // namespace

ParsedArguments parseArguments(const QStringList& arguments)
{
    ParsedArguments result;
    Options& o = result.options;
    QString& error = result.error;
    for (qsizetype i = 0; i < arguments.size() && error.isEmpty(); ++i) {
        QString arg = arguments[i];
        std::optional<QString> value;
        if (arg.startsWith(u"--") && arg.contains(u'=')) {
            value = arg.section(u'=', 1);
            arg = arg.section(u'=', 0, 0);
        }
        const auto takeValue = [&]() -> QString {
            if (!value && i + 1 < arguments.size())
                value = arguments[++i];
            if (!value)
                error = QStringLiteral("%1 needs a value").arg(arg);
            return value.value_or(QString());
        };
        if (arg == u"--help" || arg == u"-h") {
            o.help = true;
        } else if (arg == u"--version") {
            o.version = true;
        } else if (arg == u"--quiet" || arg == u"-q") {
            o.quiet = true;
        } else if (arg == u"--bus") {
            const QString bus = takeValue().toLower();
            if (bus == u"ieee")
                o.bus = Bus::Gpib;
            else if (bus == u"com")
                o.bus = Bus::Serial;
            else if (error.isEmpty())
                error = QStringLiteral("--bus takes ieee or com, not \"%1\"").arg(bus);
        } else if (arg == u"--address") {
            o.address = takeValue();
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            if (!accepts(o.command, arg))
                error = QStringLiteral("unknown option %1").arg(arg);
            else if (arg == u"--json")
                o.json = true;
            else if (arg == u"--all")
                o.all = true;
            else if (arg == u"--overwrite" || arg == u"--rename") {
                const OnConflict chosen = arg == u"--overwrite" ? OnConflict::Overwrite : OnConflict::Rename;
                if (o.onConflict != OnConflict::Keep && o.onConflict != chosen)
                    error = QStringLiteral("give either --overwrite or --rename, not both");
                o.onConflict = chosen;
            } else if (arg == u"--trust-size")
                o.trustSize = true;
            else if (arg == u"--yes")
                o.yes = true;
            else if (arg == u"--to")
                o.toDir = takeValue();
            else if (arg == u"--adapter")
                o.adapters << takeValue();
            else if (arg == u"--gateway")
                o.gateways << takeValue();
            else if (arg == u"--no-broadcast")
                o.noBroadcast = true;
            else if (arg == u"--convert") {
                o.convert = takeValue().toLower();
                if (error.isEmpty() && o.convert != u"png" && o.convert != u"svg" && o.convert != u"pdf")
                    error = QStringLiteral("--convert takes png, svg or pdf");
            } else if (arg == u"--watch") {
                bool ok = false;
                o.watchSeconds = takeValue().toInt(&ok);
                if (error.isEmpty() && (!ok || o.watchSeconds < 1))
                    error = QStringLiteral("--watch takes a whole number of seconds, at least 1");
            }
        } else if (o.command == Command::None) {
            o.command = kCommands.value(arg, Command::None);
            if (o.command == Command::None)
                error = QStringLiteral("unknown command \"%1\"").arg(arg);
        } else {
            o.names << arg;
        }
    }
    if (!error.isEmpty() || o.help || o.version)
        return result;
    if (o.command == Command::None)
        error = QStringLiteral("no command given");
    else
        error = checkNames(o);
    return result;
}

QString helpText(Command command)
{
    const QString conflict = QStringLiteral("  --overwrite       replace a different file of the same name\n"
                                            "  --rename          write beside it as NAME_2.WMF (NAME_3.WMF, ...)\n");
    const QString convert = QStringLiteral("  --convert FORMAT  also write a png, svg or pdf picture beside each\n"
                                           "                    hardcopy written (NAME.png, ...)\n");
    switch (command) {
    case Command::Identify:
        return QStringLiteral("usage: qlxctl [GLOBAL OPTIONS] identify\n"
                              "Prints the tester's maker, model, serial number and firmware, one per line.\n");
    case Command::List:
        return QStringLiteral("usage: qlxctl [GLOBAL OPTIONS] list [--json]\n"
                              "Prints the hardcopies in the tester's print directory, one name per line.\n"
                              "  --json   a JSON array of {\"name\": ..., \"size\": ...} instead\n");
    case Command::Get:
        return QStringLiteral("usage: qlxctl [GLOBAL OPTIONS] get NAME... | --all [--to DIR]\n"
                              "                 [--overwrite | --rename] [--convert png|svg|pdf]\n"
                              "Copies hardcopies into DIR (default: the current folder). An identical file\n"
                              "there counts as copied; a different one is kept and reported.\n")
               + conflict + convert;
    case Command::Sync:
        return QStringLiteral("usage: qlxctl [GLOBAL OPTIONS] sync [--to DIR] [--overwrite | --rename]\n"
                              "                 [--trust-size] [--watch SECONDS] [--convert png|svg|pdf]\n"
                              "Copies every hardcopy into DIR (default: the current folder). A file of that\n"
                              "name there is compared with the tester's bytes: identical counts as copied, a\n"
                              "different one is kept and reported.\n")
               + conflict
               + QStringLiteral("  --trust-size      skip a name that DIR holds with the size the tester lists,\n"
                                "                    without fetching it. Quicker, but a different hardcopy of\n"
                                "                    the same size (common: the tester numbers its files anew)\n"
                                "                    is then never copied, and lost if it is deleted on the\n"
                                "                    tester later\n"
                                "  --watch SECONDS   keep reading the directory at this interval until\n"
                                "                    interrupted (Ctrl+C or SIGTERM)\n")
               + convert;
    case Command::Move:
        return QStringLiteral("usage: qlxctl [GLOBAL OPTIONS] move NAME... | --all [--to DIR]\n"
                              "                 [--overwrite | --rename] [--convert png|svg|pdf]\n"
                              "       qlxctl [GLOBAL OPTIONS] move --watch SECONDS [--to DIR]\n"
                              "                 [--overwrite | --rename] [--convert png|svg|pdf]\n"
                              "Moves hardcopies off the tester into DIR (default: the current folder): each\n"
                              "is fetched, DIR is made to hold exactly its bytes (written, or already there),\n"
                              "the file and DIR are synced to disk, and only then is it deleted on the\n"
                              "tester. A file that could not be copied so, or that meets a different file of\n"
                              "the same name, is left on the tester and reported.\n")
               + conflict
               + QStringLiteral("  --watch SECONDS   keep moving every hardcopy as it appears, reading the\n"
                                "                    directory at this interval until interrupted\n")
               + convert;
    case Command::Delete:
        return QStringLiteral("usage: qlxctl [GLOBAL OPTIONS] delete NAME... | --all [--yes]\n"
                              "Deletes files on the tester, whether or not they were copied: what was\n"
                              "not copied is lost (\"qlxctl move\" deletes only what is safely on the\n"
                              "PC). --all deletes every hardcopy. Asks first on a terminal; without one,\n"
                              "--yes is required.\n");
    case Command::Discover:
        return QStringLiteral("usage: qlxctl discover [--adapter DEVICE|HOST[:PORT]]... [--gateway HOST]...\n"
                              "                       [--no-broadcast]\n"
                              "Looks for QLX testers on the IEEE bus and prints one line for each: its\n"
                              "address as --address takes it, a tab, and its answer to *IDN?. It asks at the\n"
                              "primary addresses 1 to 30 through the GPIB library when one loads, through\n"
                              "each \"++\" adapter: those given, and the serial devices under\n"
                              "/dev/serial/by-id whose names say \"Prologix\" or \"GPIB\" (no other serial\n"
                              "device is touched), and behind each LAN-GPIB gateway (VXI-11): those given,\n"
                              "and those that answer a portmapper broadcast on the local networks.\n"
                              "  --adapter DEVICE|HOST[:PORT]   an adapter's serial device or network address\n"
                              "                                 (port 1234 by default); may be repeated\n"
                              "  --gateway HOST                 a LAN-GPIB gateway's name or address; may be\n"
                              "                                 repeated\n"
                              "  --no-broadcast                 no broadcast: ask only the gateways given\n");
    case Command::None:
        break;
    }
    return QStringLiteral("usage: qlxctl [--bus ieee|com] [--address ADDR] [--quiet] COMMAND ...\n"
                          "Copies hardcopies from a QLX tester over GPIB (ieee) or a serial line (com).\n"
                          "  --bus ieee|com   the bus (default: as the window last used it, else ieee)\n"
                          "  --address ADDR   ieee: the GPIB primary address, PAD@DEVICE or\n"
                          "                   PAD@HOST[:PORT] for a \"++\" adapter, or a VISA resource\n"
                          "                   string (GPIB0::20::INSTR, TCPIP0::HOST::gpib0,20::INSTR);\n"
                          "                   com: a serial port number or device path (default: as\n"
                          "                   the window last used it, else 20)\n"
                          "  --quiet          no progress and no messages but errors\n"
                          "  --version        the program's version\n"
                          "Commands: identify, list, get, sync, move, delete, discover; \"qlxctl COMMAND\n"
                          "--help\" describes each.\n"
                          "Exit status: 0 done, 1 a file failed or was kept, 2 usage, 3 tester not reached.\n");
}

Target resolveTarget(const Options& options, const Settings& saved)
{
    const Bus bus = options.bus.value_or(saved.bus);
    if (options.address)
        return {bus, *options.address};
    return {bus, bus == saved.bus ? saved.address : defaultAddress(bus)};
}

} // namespace qlx::cli
