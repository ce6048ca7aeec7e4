#pragma once
// A tool's command-line options as one table that drives both the parsing (QCommandLineParser)
// and the option lines of its --help. Header only: qlxctl and qlxrender link different libraries.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>

namespace qlx {

// "-q" or "--quiet", as the user types it.
inline QString dashed(const QString& name)
{
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// Parses `arguments` (without the program's name) with the options of `table`. The fault in our
// tools' words ("unknown option --x", "--to needs a value"), or empty.
inline QString parseOptions(QCommandLineParser& parser, const QList<QCommandLineOption>& table,
                            const QStringList& arguments)
{
    parser.addOptions(table);
    if (parser.parse(QStringList{QString()} + arguments))
        return {};
    if (!parser.unknownOptionNames().isEmpty())
        return QStringLiteral("unknown option %1").arg(dashed(parser.unknownOptionNames().first()));
    // The other fault a line can have against such a table: an option that takes a value ends it.
    const QString last = arguments.isEmpty() ? QString() : arguments.last();
    for (const QCommandLineOption& option : table)
        for (const QString& name : option.names())
            if (!option.valueName().isEmpty() && dashed(name) == last)
                return QStringLiteral("%1 needs a value").arg(last);
    return parser.errorText();
}

// The option lines of a --help: the names and the value, then the description, wrapped to fit 79
// columns and indented under its first line.
inline QString optionsHelp(const QList<QCommandLineOption>& table)
{
    constexpr qsizetype kWidth = 79, kMaxColumn = 34;
    QStringList heads;
    qsizetype column = 0;
    for (const QCommandLineOption& option : table) {
        QStringList names;
        for (const QString& name : option.names())
            names << dashed(name);
        QString head = QStringLiteral("  ") + names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            head += u' ' + option.valueName();
        heads << head;
        if (head.size() + 2 <= kMaxColumn)
            column = std::max(column, head.size() + 2);
    }
    QString help;
    for (qsizetype i = 0; i < table.size(); ++i) {
        QString line = heads[i];
        if (line.size() + 2 > column) {
            help += line + u'\n';
            line.clear();
        }
        line = line.leftJustified(column);
        for (const QString& word : table[i].description().split(u' ', Qt::SkipEmptyParts)) {
            if (line.size() > column && line.size() + 1 + word.size() > kWidth) {
                help += line + u'\n';
                line = QString(column, u' ');
            }
            line += (line.size() > column ? QStringLiteral(" ") : QString()) + word;
        }
        help += line + u'\n';
    }
    return help;
}

} // namespace qlx
