#pragma once
// A folder on a file system of its own, mounted for one test: tmpfs, ext4 on a loop device, or a
// USB stick's exFAT or FAT on a 64 MiB image on a loop device, mounted through FUSE as most
// desktops mount a stick. Mounting needs root, loop devices and, for the stick, /dev/fuse and the
// Debian packages exfat-fuse and exfatprogs (exFAT), fusefat and dosfstools (FAT); where one is
// missing, skipReason() says which and the test skips.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

class MountedFolder {
public:
    enum Kind { Tmpfs, Ext4, ExFat, Fat };

    explicit MountedFolder(Kind kind)
    {
        if (::geteuid() != 0) {
            m_skip = QStringLiteral("mounting a file system needs root");
            return;
        }
        const bool fuse = kind == ExFat || kind == Fat;
        if (fuse && !QFile::exists(QStringLiteral("/dev/fuse"))) {
            m_skip = QStringLiteral("FUSE is missing (no /dev/fuse)");
            return;
        }
        m_mountPoint = m_work.filePath(QStringLiteral("mnt"));
        QDir().mkpath(m_mountPoint);
        if (kind == Tmpfs) {
            mount({QStringLiteral("mount"), "-t", "tmpfs", "-o", "size=16m", "qlxtest", m_mountPoint});
            return;
        }
        const QString image = m_work.filePath(QStringLiteral("image"));
        QFile file(image);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(64 << 20)) {
            m_skip = QStringLiteral("no room for a 64 MiB image in %1").arg(m_work.path());
            return;
        }
        file.close();
        const QStringList format = kind == Ext4    ? QStringList{"mkfs.ext4", "-q", "-F", image}
                                   : kind == ExFat ? QStringList{"mkfs.exfat", image}
                                                   : QStringList{"mkfs.vfat", image};
        if (!run(format, "formatting"))
            return;
        QString loop;
        if (!run({"losetup", "--find", "--show", image}, "a loop device", &loop))
            return;
        m_loop = loop.trimmed();
        mount(kind == Ext4    ? QStringList{"mount", "-t", "ext4", m_loop, m_mountPoint}
              : kind == ExFat ? QStringList{"mount.exfat-fuse", m_loop, m_mountPoint}
                              : QStringList{"fusefat", "-o", "rw+", m_loop, m_mountPoint});
    }

    ~MountedFolder()
    {
        if (m_mounted && !run({"umount", m_mountPoint}, "unmounting"))
            run({"umount", "-l", m_mountPoint}, "unmounting");
        if (!m_loop.isEmpty())
            run({"losetup", "-d", m_loop}, "detaching the loop device");
    }

    MountedFolder(const MountedFolder&) = delete;
    MountedFolder& operator=(const MountedFolder&) = delete;

    QString path() const { return m_mountPoint; }
    QString skipReason() const { return m_skip; }

    // Makes the file system read-only, as a write-protected stick or a read-only share is.
    bool makeReadOnly() { return run({"mount", "-o", "remount,ro", m_mountPoint}, "remounting"); }

private:
    void mount(const QStringList& command) { m_mounted = run(command, "mounting"); }

    // Runs `command`; false, with the reason in m_skip, when it is missing or fails.
    bool run(const QStringList& command, const char* what, QString* out = nullptr)
    {
        const QString tool =
            QStandardPaths::findExecutable(command.first(), {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
        if (tool.isEmpty()) {
            m_skip = QStringLiteral("%1 is not installed (see scripts/setup)").arg(command.first());
            return false;
        }
        QProcess process;
        process.start(tool, command.mid(1));
        const bool ran =
            process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (out)
            *out = QString::fromLocal8Bit(process.readAllStandardOutput());
        if (!ran)
            m_skip = QStringLiteral("%1 failed: %2 %3")
                         .arg(QLatin1String(what), command.join(u' '),
                              QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return ran;
    }

    QTemporaryDir m_work;
    QString m_mountPoint, m_loop, m_skip;
    bool m_mounted = false;
};
