#include "link/ni488/gpiblibrary.h"

#include "link/ni488/niglobal.h"
#include "link/ni488/vbib32.h"

#include <algorithm>

namespace qlx {
namespace {

constexpr int kGpibBoard = 0;
constexpr int kSecondaryAddressCode = 96; // secondary address 0
constexpr int kAssertEndOnLastByte = 1;
constexpr int kNoEndOfString = 0;

#ifdef Q_OS_WIN
const char* const kBoardCheck = "is the board's driver installed and the board set up?";
#else
const char* const kBoardCheck = "is the linux-gpib module loaded and `sudo gpib_config` run?";
#endif

// What the status of a failed call says, in words for the user; None when the call did not fail
// or the words are not the library's.
GpibFault libraryFault(const ni::Status& s)
{
    if (!s.failed() || !s.reported)
        return {};
    const QString name = ni::errorName(s.iberr);
    switch (s.iberr) {
    case ni::ENOL:
        return {GpibFault::Tester, name + QStringLiteral(": nobody listens at that address")};
    case ni::EABO:
        return {GpibFault::Tester, name + QStringLiteral(": no answer within the time-out")};
    case ni::EBUS:
        return {GpibFault::Tester, name + QStringLiteral(": the bus did not take the command")};
    case ni::EDVR:
    case ni::ENEB:
        return {GpibFault::Pc, QStringLiteral("GPIB board %1 is not available (%2): %3 See README")
                                   .arg(kGpibBoard)
                                   .arg(name, QLatin1String(kBoardCheck))};
    case ni::ECIC:
    case ni::ESAC:
        return {GpibFault::Pc, QStringLiteral("GPIB board %1 is not the controller of the bus (%2): it must be set "
                                              "up as system controller. See README")
                                   .arg(kGpibBoard)
                                   .arg(name)};
    default:
        return {GpibFault::Pc, QStringLiteral("GPIB board %1 failed (%2). See README").arg(kGpibBoard).arg(name)};
    }
}

class LibraryDevice : public GpibDevice {
public:
    explicit LibraryDevice(qint16 descriptor) : m_ud(descriptor) {}
    // Runs on the worker thread after the last call, the go-to-local included.
    ~LibraryDevice() override { vbib32::ibonl(m_ud, 0); }

    void write(const QByteArray& command) override
    {
        startAfresh();
        vbib32::ibwrt(m_ud, command);
        m_writeFailed = failed("ibwrt");
    }

    // Reads into buffers of `maxLength` blanks, each cut at the count the library reports, until
    // the tester ends its answer with END: a long listing is read whole, not cut at the buffer.
    QByteArray readText(int maxLength, TransportObserver* debug) override
    {
        TextReader reader(answerEnd());
        QByteArray firstBuffer = m_writeFailed ? QByteArray(maxLength, ' ') : QByteArray();
        for (bool more = !m_writeFailed; more;) {
            const QByteArray buffer = vbib32::ibrdText(m_ud, maxLength);
            const qint64 count = readCount(maxLength);
            if (firstBuffer.isNull())
                firstBuffer = buffer;
            reader.feed(buffer.left(count), m_end);
            more = count == maxLength && !reader.done();
        }
        const QByteArray& answer = reader.text();
        if (debug)
            debug->gpibTextRead(answer.size() > maxLength ? answer : firstBuffer, qint32(answer.size()), answer,
                                m_failedCall);
        return answer;
    }

    qint64 read(char* into, qint64 length) override
    {
        if (m_writeFailed)
            return 0;
        vbib32::ibrdBytes(m_ud, into, length);
        return readCount(length);
    }

    bool endSeen() const override { return m_end; }
    void clear() override
    {
        startAfresh();
        vbib32::ibclr(m_ud);
        failed("ibclr");
    }
    void goToLocal() override
    {
        vbib32::ibloc(m_ud);
        failed("ibloc");
    }
    GpibFault fault() const override { return m_fault; }

private:
    void startAfresh()
    {
        m_writeFailed = m_end = false;
        m_fault = {};
        m_failedCall.clear();
    }

    // True when the call just made failed; the first failure since the last write or clear is kept.
    bool failed(const char* call)
    {
        const ni::Status& s = ni::status();
        if (!s.failed())
            return false;
        if (m_failedCall.isEmpty()) {
            m_failedCall = QLatin1String(call) + QStringLiteral(": ") + ni::statusText(s);
            m_fault = libraryFault(s);
        }
        return true;
    }

    // The count of the read just made, at most `length`: 0 when it failed.
    qint64 readCount(qint64 length)
    {
        m_end = false;
        if (failed("ibrd"))
            return 0;
        m_end = ni::status().ibsta & ni::kEndBit;
        return std::clamp<qint64>(ni::status().ibcntl(), 0, length);
    }

    qint16 m_ud;
    bool m_end = false;
    bool m_writeFailed = false;
    GpibFault m_fault;
    QString m_failedCall; // the first failed call since the last write or clear, with its status
};

} // namespace

OpenedDevice openGpibLibraryDevice(int primaryAddress, int timeoutCode)
{
    return openOffThread([primaryAddress, timeoutCode] {
        OpenedDevice opened;
        opened.handle = vbib32::ibdev(kGpibBoard, primaryAddress, kSecondaryAddressCode, timeoutCode,
                                      kAssertEndOnLastByte, kNoEndOfString);
        if (vbib32::available() && opened.handle >= 0)
            opened.device = std::make_unique<LibraryDevice>(opened.handle);
        else
            opened.fault = libraryFault(ni::status());
        return opened;
    });
}

} // namespace qlx
