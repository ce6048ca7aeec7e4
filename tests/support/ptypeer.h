#pragma once
// The tester's end of a pseudo-terminal: the transport opens the slave path, the test writes
// the tester's bytes into the master at chosen moments and reads back what the transport sent.

#include <QByteArray>
#include <QString>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

class PtyPeer {
public:
    PtyPeer()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(ptsname(m_master));
        if (m_master >= 0)
            fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPeer() { close(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool valid() const { return m_master >= 0 && !m_slave.isEmpty(); }
    QString slavePath() const { return m_slave; }

    void send(const QByteArray& bytes) { [[maybe_unused]] auto n = ::write(m_master, bytes.constData(), bytes.size()); }
    // Sends `bytes` `ms` milliseconds from now (needs a running event loop, as a wait has).
    void sendAfter(int ms, const QByteArray& bytes)
    {
        QTimer::singleShot(ms, [this, bytes] { send(bytes); });
    }
    QByteArray received()
    {
        QByteArray all;
        char buffer[4096];
        for (ssize_t n; (n = ::read(m_master, buffer, sizeof buffer)) > 0;)
            all.append(buffer, n);
        return all;
    }
    void close()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slave;
};
