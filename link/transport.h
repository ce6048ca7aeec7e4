#pragma once
// The four operations on the tester's bus (send a command, query a text answer, query a data
// block, go to local) over GPIB or the serial line, plus the helpers the window needs around them.
//
// Every operation takes the bus selected at the moment of the call. An operation on a bus that
// no connect has opened returns NotOpen without touching anything; while one exchange waits
// (busy()), any other returns Busy without touching the bus. abort() ends the wait at once and
// frees the bus, so shutdown can go to local without waiting for the aborted exchange; a library
// call that it left behind still ends first on the device's worker thread (offthreaddevice.h).

#include "link/gpibaddress.h"
#include "link/gpibdevice.h"
#include "link/linktypes.h"
#include "link/serial/seriallink.h"

#include <QSerialPort>

#include <memory>
#include <optional>

namespace qlx {

class Transport {
public:
    explicit Transport(TransportObserver* observer = nullptr);
    ~Transport();

    void setDebug(bool on) { m_debug = on; }

    // The tester at `address` on the IEEE bus. Through the library: ibdev(0, pad, 96, 13, 1, 0),
    // the descriptor to *handle (-1 without a library). Through an adapter: its link opened and
    // set up. False, and no GPIB device afterwards, when that fails; the reason goes to *error
    // where there is more to say than that the tester is not there (an adapter's).
    bool openGpib(const GpibAddress& address, qint16* handle = nullptr, QString* error = nullptr);
    bool openGpib(int primaryAddress, qint16* handle = nullptr);
    // Why the last GPIB open or exchange failed, where the device can tell (gpibdevice.h).
    GpibFault gpibFault() const { return m_gpib ? m_gpib->fault() : m_openFault; }
    // The end of the GPIB device: with `goToLocal`, an answer left unread (refused or abandoned)
    // is cleared and the tester returned to local operation; then the device is closed, which
    // gives a library descriptor back.
    void closeGpib(bool goToLocal);
    // The tester on the IEEE bus through `device` from now on.
    void attachGpib(std::unique_ptr<GpibDevice> device) { m_gpib = std::move(device); }
    // Closes a port left open, then opens `portName` at 19200 baud, 8 data bits, no parity,
    // 1 stop bit, no handshake. False when it cannot be opened or an exchange is waiting.
    bool openSerial(const QString& portName);
    void closeSerial(); // ends a wait in progress first
    // The port is open and has not failed (a device that went away is closed a moment later).
    bool serialOpen() const { return m_port.isOpen() && m_serial.portFailure().isEmpty(); }
    // The serial tester's answer to "*IDN?", by which the line is brought back in step.
    void setSerialIdentity(const QByteArray& idnAnswer) { m_serial.setIdentity(idnAnswer); }
    bool isOpen(Bus bus) const;

    // Before each command, whatever a previous answer left waiting is dropped; after an answer that
    // went wrong, the tester is cleared (GPIB) or the line read until quiet (serial) first.
    Outcome sendCommand(Bus bus, const QByteArray& text); // serial appends LF; GPIB nothing
    // GPIB: reads of `gpibBufferLength` bytes, each cut at ibcntl, until END (Ok even when empty).
    // Serial: the answer up to CR LF, or TimedOut with what arrived. Either way TooLarge past
    // kMaxTextAnswer.
    TextAnswer queryText(Bus bus, const QByteArray& text, int gpibBufferLength);
    // A definite-length block that is the whole answer: well formed, exactly its length of data,
    // then the line end (on GPIB with END) and nothing else; with `expectedLength` >= 0 (the size
    // the listing gave) it must also have that length. Anything else is refused with the reason.
    DataAnswer queryData(Bus bus, const QByteArray& text, qint64 expectedLength = -1);
    Outcome goToLocal(Bus bus); // GPIB ibloc; serial "*GTL" plus LF, no read (even out of step)

    bool busy() const { return m_busy; }
    void abort();
    // For good: ends the wait in progress, and every later operation returns Aborted without
    // touching the bus, but for one go-to-local (the tester is not left in remote).
    void stop();

private:
    class Exchange;
    std::optional<Outcome> refuse(Bus bus, bool evenStopped = false) const;
    void writeGpib(const QByteArray& text);
    DataAnswer queryGpibData(const QByteArray& text, qint64 expectedLength);

    TransportObserver* m_observer;
    bool m_debug = false;
    bool m_busy = false;
    bool m_stopped = false;
    bool m_localAfterStop = false; // the one go-to-local after stop() went out
    bool m_gpibUnsure = false;     // the last GPIB answer went wrong: clear the tester before the next command
    std::unique_ptr<GpibDevice> m_gpib;
    GpibFault m_openFault; // what the last failed library open said
    QSerialPort m_port;
    SerialLink m_serial;
};

} // namespace qlx
