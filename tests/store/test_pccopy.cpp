// The PC side of a copy: the one whole-file writer and the compare/keep/replace/rename rules, in a
// folder that holds links, named pipes and files of other writers, on the file systems archives use.
#include "platform/files.h"
#include "platform/profile.h"
#include "store/transfer.h"
#include "tests/support/filecontents.h"
#include "tests/support/mountedfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

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

// The names created in a folder while it is watched, temporary files left out. A file renamed into
// the folder is not created there.
class CreatedNames {
public:
    explicit CreatedNames(const QString& folder) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        ::inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), IN_CREATE);
    }
    ~CreatedNames() { ::close(m_fd); }
    QStringList names() const
    {
        QStringList names;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fd, buffer, sizeof buffer)) > 0)
            for (const char* p = buffer; p < buffer + n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                const QString name = QFile::decodeName(event->name);
                if (!name.startsWith(".qlxcopy-"))
                    names.append(name);
                p += sizeof(inotify_event) + event->len;
            }
        return names;
    }

private:
    int m_fd;
};

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
            const StoredFile r = storeCopy(pc.path(), name, kBytes, always(OnConflict::Overwrite), Durability::Durable);
            QCOMPARE(r.status, StoredFile::NotAFile);
            QVERIFY(!proveOnDisk(pc.filePath(name), kBytes).isEmpty());
        }
        const QString victim = outside.filePath("victim");
        QVERIFY(put(victim, kBytes) && QFile::link(victim, pc.filePath("QLXCopy.INI")));
        QVERIFY(!WritePrivateProfileString("Path", "PCPath", "/tmp", pc.filePath("QLXCopy.INI")));
        QCOMPARE(contents(victim), kBytes);
        QCOMPARE(entries(pc.path()), QStringList({"FOLDER.WMF", "PIPE.WMF", "QLXCopy.INI"}));
    }

    // Guards against the settings file written through a link where its folder takes no temporary
    // file (a write-protected stick, a read-only share).
    void settingsLinkInAReadOnlyFolder()
    {
        MountedFolder pc(MountedFolder::Tmpfs);
        if (!pc.skipReason().isEmpty())
            QSKIP(qPrintable(pc.skipReason()));
        QTemporaryDir outside;
        const QString victim = outside.filePath("victim");
        const QString settings = pc.path() + "/QLXCopy.INI";
        QVERIFY(put(victim, kBytes) && QFile::link(victim, settings));
        QVERIFY(pc.makeReadOnly());
        QVERIFY(!WritePrivateProfileString("Path", "PCPath", "/tmp", settings));
        QCOMPARE(contents(victim), kBytes);
    }

    void everyFolderTakesTheName_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("reserves"); // neither renames without replacing nor links
        QTest::newRow("tmpfs") << int(MountedFolder::Tmpfs) << false;
        QTest::newRow("ext4") << int(MountedFolder::Ext4) << false;
        QTest::newRow("exFAT stick") << int(MountedFolder::ExFat) << true;
        QTest::newRow("FAT stick") << int(MountedFolder::Fat) << true;
    }

    // Guards against a USB stick that takes no copy at all, against an interrupted write leaving a
    // name that later runs refuse or take for a copy, and against two writers into one stick
    // folder replacing each other's file; file systems that rename without replacing still do so.
    void everyFolderTakesTheName()
    {
        QFETCH(int, kind);
        QFETCH(bool, reserves);
        MountedFolder folder{MountedFolder::Kind(kind)};
        if (!folder.skipReason().isEmpty())
            QSKIP(qPrintable(folder.skipReason()));
        const QString pc = folder.path();
        const QString path = pc + "/HC.WMF";
        {
            const CreatedNames created(pc);
            const FileWrite w = writeWholeFile(path, kBytes, Publish::NoReplace);
            QVERIFY2(w.status == FileWrite::Written, qPrintable(w.reason));
            QCOMPARE(created.names(), reserves ? QStringList{"HC.WMF"} : QStringList());
        }
        QCOMPARE(contents(path), kBytes);
        QCOMPARE(writeWholeFile(path, "another", Publish::NoReplace).status, FileWrite::NameTaken);
        QCOMPARE(writeWholeFile(path, "replaced", Publish::ReplaceFile).status, FileWrite::Written);
        QCOMPARE(contents(path), QByteArray("replaced"));

        // An empty file (what an interrupted write leaves) is no copy and is taken without a question.
        QVERIFY(put(pc + "/LEFT.WMF", ""));
        StoredFile r = storeCopy(pc, "LEFT.WMF", kBytes, always(OnConflict::Keep), Durability::Durable);
        QCOMPARE(r.status, StoredFile::Written);
        QCOMPARE(contents(r.path), kBytes);

        // An empty file that another writer holds is its reservation: its file comes and is kept.
        const QString held = pc + "/HELD.WMF";
        const int reservation = ::open(QFile::encodeName(held).constData(), O_RDONLY | O_CREAT | O_EXCL, 0666);
        QVERIFY(reservation >= 0 && ::flock(reservation, LOCK_EX) == 0);
        QVERIFY(put(pc + "/theirs", "their hardcopy"));
        std::thread other([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::rename(QFile::encodeName(pc + "/theirs").constData(), QFile::encodeName(held).constData());
            ::close(reservation);
        });
        r = storeCopy(pc, "HELD.WMF", kBytes, always(OnConflict::Keep), Durability::Durable);
        other.join();
        QCOMPARE(r.status, StoredFile::Kept);
        QCOMPARE(contents(held), QByteArray("their hardcopy"));

        // Two writers, one name, other bytes: one writes, the other keeps what the first wrote.
        for (int round = 0; round < 20; ++round) {
            const QString name = QStringLiteral("RACE%1.WMF").arg(round);
            StoredFile first;
            std::thread firstWriter(
                [&] { first = storeCopy(pc, name, kBytes, always(OnConflict::Keep), Durability::Durable); });
            const StoredFile second = storeCopy(pc, name, kBytes + "2", always(OnConflict::Keep), Durability::Durable);
            firstWriter.join();
            QCOMPARE(QSet<int>({first.status, second.status}), QSet<int>({StoredFile::Written, StoredFile::Kept}));
            QCOMPARE(contents(pc + u'/' + name), first.status == StoredFile::Written ? kBytes : kBytes + "2");
        }
        QCOMPARE(entries(pc).filter(".qlxcopy-"), QStringList()); // no temporary file remains
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
        StoredFile r = storeCopy(pc.path(), "HC.WMF", kBytes, rename, Durability::Normal);
        QCOMPARE(r.status, StoredFile::Written);
        QCOMPARE(r.path, pc.filePath("HC_4.WMF"));
        QCOMPARE(contents(r.path), kBytes);
        r = storeCopy(pc.path(), "HC.WMF", kBytes, rename, Durability::Durable);
        QCOMPARE(r.status, StoredFile::Identical);
        QCOMPARE(r.path, pc.filePath("HC_4.WMF"));
        QCOMPARE(asked, 2);
        QCOMPARE(contents(pc.filePath("HC.WMF")), QByteArray("user's own"));
        QCOMPARE(contents(pc.filePath("HC_3.WMF")), QByteArray("another"));
        QVERIFY(!QFile::exists(outside.filePath("x")));
    }
};

QTEST_GUILESS_MAIN(PcCopyTest)
#include "test_pccopy.moc"
