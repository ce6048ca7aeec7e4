#pragma once
// qlxsim as its clients see it, at the level of bytes: the program running, and a raw channel to
// the device (pseudo-terminal) or the TCP address (127.0.0.1:PORT) it prints first.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/testpaths.h"

#include <QProcess>
#include <QtTest>

#include <string>

// The client's end: a device path or 127.0.0.1:PORT.
class Channel {
public:
    explicit Channel(const QString& where)
    {
        if (where.startsWith("/dev/")) {
            fd_ = ::open(where.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
            termios tio{};
            if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
                cfmakeraw(&tio);
                tcsetattr(fd_, TCSANOW, &tio);
            }
            return;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(where.section(':', 1).toUShort());
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Channel()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    void send(const std::string& bytes) const
    {
        QCOMPARE(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `count` bytes arrived, the line stays quiet for `quietMs` or it is gone.
    std::string receive(std::size_t count, int quietMs) const
    {
        std::string got;
        char buffer[4096];
        pollfd fd{fd_, POLLIN, 0};
        while (got.size() < count && poll(&fd, 1, quietMs) > 0) {
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0)
                break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    std::string query(const std::string& bytes, std::size_t count, int quietMs = 500) const
    {
        send(bytes);
        return receive(count, quietMs);
    }

private:
    int fd_ = -1;
};

class SimProcess {
public:
    explicit SimProcess(const QStringList& options)
    {
        process_.setProgram(buildDir() + "/qlxsim");
        process_.setArguments(options);
        process_.start();
        where_ = nextLine();
    }
    ~SimProcess()
    {
        process_.kill();
        process_.waitForFinished();
    }
    QString where() const { return where_; }
    // A further line on standard output (the new device after a hang-up).
    QString nextLine()
    {
        while (!process_.canReadLine() && process_.waitForReadyRead(5000)) {
        }
        return QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    // Ends it as a signal does; its standard error.
    QString stop()
    {
        process_.terminate();
        process_.waitForFinished();
        return QString::fromLocal8Bit(process_.readAllStandardError());
    }

private:
    QProcess process_;
    QString where_;
};
