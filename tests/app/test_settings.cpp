// The settings file: profile-string behaviour and the typed settings module.
#include "app/iniio.h"
#include "platform/profile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace qlx;

namespace {
QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}
QString read(const QString& file, const QString& section, const QString& key,
             const QString& def = QStringLiteral("DEF"))
{
    QString v;
    GetPrivateProfileString(section, key, def, v, 750, file);
    return v;
}
} // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void readsLikeTheSystemFunctions()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("QLXCopy.INI"));
        QCOMPARE(read(file, "Path", "FilePath"), QStringLiteral("DEF")); // no file
        writeFile(file, "; comment\r\n[path]\r\n  FILEPATH =  \"C:\\Old\\Dir\"  \r\nEmpty=\r\n"
                        "[Remote]\r\nRoute = WAHR\r\nQuoted=\"a\r\n");
        QCOMPARE(read(file, "Path", "FilePath"), QStringLiteral("C:\\Old\\Dir"));
        QCOMPARE(read(file, "PATH", "empty"), QString(""));
        QCOMPARE(read(file, "Path", "Missing"), QStringLiteral("DEF"));
        QCOMPARE(read(file, "Nowhere", "Route"), QStringLiteral("DEF"));
        QCOMPARE(read(file, "Remote", "Route"), QStringLiteral("WAHR"));
        QCOMPARE(read(file, "Remote", "Quoted"), QStringLiteral("\"a")); // one quote alone stays

        writeFile(file, "[Path]\nFilePath=" + QByteArray(800, 'x') + "\n");
        QString v;
        QCOMPARE(GetPrivateProfileString("Path", "FilePath", "", v, 750, file), 749);
        QCOMPARE(v, QString(749, u'x'));
    }

    void writesOnlyTheLineItMust()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("QLXCopy.INI"));
        QVERIFY(WritePrivateProfileString("Path", "FilePath", "/home/lab", file));
        QVERIFY(WritePrivateProfileString("Remote", "Route", "1", file));
        QVERIFY(WritePrivateProfileString("Remote", "Path", "20", file));
        QCOMPARE(readFile(file), QByteArray("[Path]\nFilePath=/home/lab\n[Remote]\nRoute=1\nPath=20\n"));

        const QByteArray before =
            "; keep me\r\n[Other]\r\nx = 1 ; note\r\n\r\n[REMOTE]\r\nroute=0\r\n\r\n[Last]\r\ny=2";
        writeFile(file, before);
        QVERIFY(WritePrivateProfileString("Remote", "Route", "1", file));
        QVERIFY(WritePrivateProfileString("Remote", "Path", "C:\\Users", file));
        QVERIFY(WritePrivateProfileString("Path", "FilePath", "/tmp", file));
        QCOMPARE(readFile(file), QByteArray("; keep me\r\n[Other]\r\nx = 1 ; note\r\n\r\n[REMOTE]\r\nroute=1\r\n"
                                            "Path=C:\\Users\r\n\r\n[Last]\r\ny=2\r\n[Path]\r\nFilePath=/tmp\r\n"));
        QCOMPARE(read(file, "remote", "PATH"), QStringLiteral("C:\\Users"));
    }

    void typedValues()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("QLXCopy.INI"));
        const QList<QPair<QByteArray, bool>> routes = {{"true", true}, {"True", true}, {"Wahr", true},
                                                       {"WAHR", true}, {"1", true},    {"0", false},
                                                       {"-1", false},  {"yes", false}, {"", false}};
        for (const auto& [text, expected] : routes) {
            writeFile(file, "[Remote]\nRoute=" + text + "\n");
            QVariant v;
            IniAccess(file, "Remote", "Route", v, IniReadMode, true);
            QCOMPARE(v.toBool(), expected);
        }
        QVariant v;
        IniAccess(file, "Remote", "Absent", v, IniReadMode, true);
        QCOMPARE(v, QVariant(true)); // default True goes through its text form and back
        writeFile(file, "[Remote]\nPath= 7abc\nNum=12.5kHz\n");
        IniAccess(file, "Remote", "Path", v, IniReadMode, QStringLiteral("20"));
        QCOMPARE(v, QVariant(QStringLiteral("7abc")));
        IniAccess(file, "Remote", "Num", v, IniReadMode, 3);
        QCOMPARE(v.toDouble(), 12.5);
        IniAccess(file, "Remote", "Nothing", v, IniReadMode, short(-4));
        QCOMPARE(v.toDouble(), -4.0);

        // Mode 0 gives the default and leaves the file alone; unknown modes do nothing.
        const QByteArray before = readFile(file);
        v = QVariant();
        IniAccess(file, "Remote", "Path", v, IniDefault, QStringLiteral("20"));
        QCOMPARE(v, QVariant(QStringLiteral("20")));
        v = QStringLiteral("x");
        IniAccess(file, "Remote", "Path", v, 5, QStringLiteral("20"));
        QCOMPARE(v, QVariant(QStringLiteral("x")));
        QCOMPARE(readFile(file), before);

        v = false;
        IniAccess(file, "Remote", "Route", v, IniWriteMode);
        v = 20;
        IniAccess(file, "Remote", "Count", v, IniWriteMode);
        QCOMPARE(read(file, "Remote", "Route"), QStringLiteral("0"));
        QCOMPARE(read(file, "Remote", "Count"), QStringLiteral("20")); // " 20" trimmed on reading
        QVERIFY(readFile(file).contains("Count= 20"));
    }

    // Guards against start-up waiting for ever on a named pipe named as the settings file, and
    // against reading or writing the settings through a link.
    void settingsFileThatIsNoFile()
    {
        QTemporaryDir dir;
        const QString pipe = dir.filePath("pipe.ini"), link = dir.filePath("link.ini"), file = dir.filePath("own.ini");
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        writeFile(file, "[Remote]\nPath=7\n");
        QVERIFY(QFile::link(file, link));
        QCOMPARE(settingsFileRefusal(pipe), pipe + ": the settings file is a named pipe, not a regular file");
        QCOMPARE(settingsFileRefusal(link), link + ": the settings file is a symbolic link, not a regular file");
        QCOMPARE(settingsFileRefusal(file), QString());
        QCOMPARE(settingsFileRefusal(dir.filePath("new.ini")), QString());
        for (const QString& refused : {pipe, link}) {
            QCOMPARE(read(refused, "Remote", "Path"), QStringLiteral("DEF"));
            QVERIFY(!WritePrivateProfileString("Remote", "Path", "8", refused));
        }
        QCOMPARE(readFile(file), QByteArray("[Remote]\nPath=7\n"));
        QVERIFY(QFileInfo(link).isSymLink());
    }

    void settingsFileLocation()
    {
        QTemporaryDir dir;
        QCOMPARE(settingsFilePath(dir.path()), dir.filePath(QStringLiteral("QLXCopy.INI")));
        qputenv("QLXCOPY_SETTINGS", "/elsewhere/demo.ini");
        QCOMPARE(settingsFilePath(dir.path()), QStringLiteral("/elsewhere/demo.ini"));
        qunsetenv("QLXCOPY_SETTINGS");
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "test_settings.moc"
