// The PC side of a copy: the one whole-file writer and the compare/keep/replace/rename rules, in a
// folder that holds links, named pipes and files of other writers.
#include "platform/files.h"
#include "platform/profile.h"
#include "store/transfer.h"
#include "tests/support/filecontents.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace qlx;

namespace {

const QByteArray kBytes = QByteArray("hardcopy\0\r\n", 11).repeated(50);

bool put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
}

std::function<OnConflict()> always(OnConflict answer)
{
    return [answer] { return answer; };
}

} // namespace

class PcCopyTest : public QObject {
    Q_OBJECT
private slots:
    // Guards against the second of two writers replacing the first one's hardcopy: a new file
    // takes its name only while nothing has it.
    void aNewFileNeverReplaces()
    {
        QTemporaryDir pc;
        const QString path = pc.filePath("HC.WMF");
        QVERIFY(put(path, "first writer"));
        FileWrite w = writeWholeFile(path, kBytes, Publish::NoReplace);
        QCOMPARE(w.status, FileWrite::NameTaken);
        QCOMPARE(contents(path), QByteArray("first writer"));

        // Replacing is for a regular file only, and keeps its permissions.
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        w = writeWholeFile(path, kBytes, Publish::ReplaceFile);
        QCOMPARE(w.status, FileWrite::Written);
        QCOMPARE(contents(path), kBytes);
        const QFile::Permissions others = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;
        QCOMPARE(QFile::permissions(path) & ~others, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(entries(pc.path()), QStringList{"HC.WMF"}); // no temporary file remains
    }

    // Guards against a folder or named pipe under the name counting as a copy or being opened (a
    // pipe would make the copy wait forever), and against the settings file written through a link.
    void foldersPipesAndLinksAreNoCopies()
    {
        QTemporaryDir pc, outside;
        QVERIFY(QDir(pc.path()).mkdir("FOLDER.WMF"));
        QCOMPARE(::mkfifo(QFile::encodeName(pc.filePath("PIPE.WMF")).constData(), 0600), 0);
        for (const char* name : {"FOLDER.WMF", "PIPE.WMF"}) {
            const TransferResult r =
                storeCopy(pc.path(), name, kBytes, always(OnConflict::Overwrite), Durability::Durable);
            QCOMPARE(r.status, TransferResult::NotAFile);
            QVERIFY(!proveOnDisk(pc.filePath(name), kBytes).isEmpty());
        }
        const QString victim = outside.filePath("victim");
        QVERIFY(put(victim, kBytes) && QFile::link(victim, pc.filePath("QLXCopy.INI")));
        QVERIFY(!WritePrivateProfileString("Path", "PCPath", "/tmp", pc.filePath("QLXCopy.INI")));
        QCOMPARE(contents(victim), kBytes);
        QCOMPARE(entries(pc.path()), QStringList({"FOLDER.WMF", "PIPE.WMF", "QLXCopy.INI"}));
    }

    // Guards against renaming over a file that is not ours: --rename skips every name that holds
    // something else, a link included, and takes a name that already holds these very bytes.
    void renameGoesToTheNextFreeName()
    {
        QTemporaryDir pc, outside;
        QVERIFY(put(pc.filePath("HC.WMF"), "user's own"));
        QVERIFY(QFile::link(outside.filePath("x"), pc.filePath("HC_2.WMF")));
        QVERIFY(put(pc.filePath("HC_3.WMF"), "another"));
        int asked = 0;
        const auto rename = [&asked] {
            ++asked;
            return OnConflict::Rename;
        };
        TransferResult r = storeCopy(pc.path(), "HC.WMF", kBytes, rename, Durability::Normal);
        QCOMPARE(r.status, TransferResult::Written);
        QCOMPARE(r.path, pc.filePath("HC_4.WMF"));
        QCOMPARE(contents(r.path), kBytes);
        r = storeCopy(pc.path(), "HC.WMF", kBytes, rename, Durability::Durable);
        QCOMPARE(r.status, TransferResult::Identical);
        QCOMPARE(r.path, pc.filePath("HC_4.WMF"));
        QCOMPARE(asked, 2);
        QCOMPARE(contents(pc.filePath("HC.WMF")), QByteArray("user's own"));
        QCOMPARE(contents(pc.filePath("HC_3.WMF")), QByteArray("another"));
        QVERIFY(!QFile::exists(outside.filePath("x")));
    }
};

QTEST_GUILESS_MAIN(PcCopyTest)
#include "test_pccopy.moc"
