// The bash completions and the manual pages name exactly the options of the tables that parse the
// command lines (and qlxrender's completion its formats): an option added to a table but not to
// them, or one left in them after it went, fails here.
#include "cli/options.h"
#include "tests/support/testpaths.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

using namespace qlx::cli;

namespace {

using Names = QSet<QString>;

QString read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

Names longNames(const QList<QCommandLineOption>& table, bool withValueOnly = false)
{
    Names names;
    for (const QCommandLineOption& option : table)
        for (const QString& name : option.names())
            if (name.size() > 1 && (!withValueOnly || !option.valueName().isEmpty()))
                names << QStringLiteral("--") + name;
    return names;
}

// Every "--option" a text names; a manual page's "\-" is a hyphen.
Names optionsIn(QString text)
{
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    Names names;
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*"));
    for (const QRegularExpressionMatch& m : option.globalMatch(text))
        names << m.captured();
    return names;
}

Names words(const QString& text)
{
    const QStringList list = text.split(u' ', Qt::SkipEmptyParts);
    return Names(list.begin(), list.end());
}

QString captured(const QString& text, const QString& pattern)
{
    return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(text).captured(1);
}

Command commandNamed(const QString& name) { return parseArguments({name, QStringLiteral("--help")}).options.command; }

// The lines of qlxrender's --help that describe an option, as "  --name VALUE  text".
QStringList qlxrenderTable()
{
    QProcess render;
    render.start(buildDir() + "/qlxrender", {"--help"});
    render.waitForFinished(30000);
    return QString::fromUtf8(render.readAllStandardOutput()).split(u'\n').filter(QRegularExpression("^  -"));
}

} // namespace

class CliDocsTest : public QObject {
    Q_OBJECT
private slots:
    void completionOffersEachCommandsOptions()
    {
        const QString script = read(sourceDir() + "/dist/qlxctl.bash");
        QVERIFY(!script.isEmpty());
        QCOMPARE(words(captured(script, "local globals=\"([^\"]*)\"")), longNames(commandOptions(Command::None)));
        QCOMPARE(captured(script, "local commands=\"([^\"]*)\""), commandNames().join(u' '));
        Names takeValues;
        for (const QString& name : commandNames()) {
            const QList<QCommandLineOption> table = commandOptions(commandNamed(name));
            QCOMPARE(words(captured(script, QStringLiteral("^\\s+%1\\) options=\"([^\"]*)\" ;;$").arg(name))),
                     longNames(table));
            takeValues += longNames(table, true);
        }
        // The options whose value the script steps over while it looks for the command.
        QCOMPARE(words(captured(script, "^\\s+(--[-a-z |]+)\\) \\(\\(i\\+\\+\\)\\) ;;$").remove(u'|')), takeValues);
    }

    void manualPagesNameEachOption()
    {
        Names qlxctl = longNames(commandOptions(Command::None));
        for (const QString& name : commandNames())
            qlxctl += longNames(commandOptions(commandNamed(name)));
        QCOMPARE(optionsIn(read(sourceDir() + "/man/qlxctl.1")), qlxctl);

        // qlxrender's table is its --help.
        const QStringList table = qlxrenderTable();
        Names qlxrender;
        for (const QString& line : table)
            qlxrender += optionsIn(line.section(u' ', 2, 2));
        QVERIFY(qlxrender.contains("--to"));
        QCOMPARE(optionsIn(read(sourceDir() + "/man/qlxrender.1")), qlxrender);

        // Its completion offers the same options, and the formats that --format takes.
        const QString script = read(sourceDir() + "/dist/qlxrender.bash");
        QCOMPARE(optionsIn(captured(script, "compgen -W \"(--[^\"]*)\"")), qlxrender);
        const QString formats = table.filter(QRegularExpression("^  --format ")).value(0).section(u' ', 3, 3);
        QVERIFY(formats.contains(u"txt") && formats.contains(u"json"));
        QCOMPARE(words(captured(script, "--format\\)\\s+COMPREPLY=\\(\\$\\(compgen -W \"([^\"]*)\"")),
                 words(QString(formats).replace(u'|', u' ')));
    }
};

QTEST_GUILESS_MAIN(CliDocsTest)
#include "test_cli_docs.moc"
