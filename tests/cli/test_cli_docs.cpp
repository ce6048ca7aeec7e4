// The bash completion and the manual pages name exactly the options of the tables that parse the
// command lines: an option added to a table but not to them, or one left in them after it went,
// fails here.
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
        QProcess render;
        render.start(buildDir() + "/qlxrender", {"--help"});
        QVERIFY(render.waitForFinished(30000));
        Names qlxrender;
        for (const QString& line : QString::fromUtf8(render.readAllStandardOutput()).split(u'\n'))
            if (line.startsWith(QStringLiteral("  -")))
                qlxrender += optionsIn(line.section(u' ', 2, 2));
        QVERIFY(qlxrender.contains("--to"));
        QCOMPARE(optionsIn(read(sourceDir() + "/man/qlxrender.1")), qlxrender);
    }
};

QTEST_GUILESS_MAIN(CliDocsTest)
#include "test_cli_docs.moc"
