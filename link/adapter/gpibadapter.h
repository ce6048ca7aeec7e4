#pragma once
// The tester behind a "++" protocol GPIB controller: the USB model (a serial device), the network
// model (TCP port 1234) or an AR488 (an Arduino build of the same protocol, on a serial device at
// 115200 baud, which starts anew when its port is opened).
//
// The conversation: "++ver" first (an AR488 that is still starting ignores it and then says who it
// is); on anything but an AR488, "++savecfg 0" before any other setting, so that no setting is
// written into the adapter's EEPROM (an AR488 saves at once on any "++savecfg", so it gets none);
// then controller mode, the address, no automatic reads, EOI with the last byte, nothing appended
// to a command, no end character on reads, and the longest gap the adapter allows between the
// characters of a read. A command goes out with CR, LF, ESC and "+" escaped and ends with one LF
// of the adapter's own. Each answer is asked for with "++read eoi", again whenever the adapter has
// been silent longer than its gap, until the answer is complete or the device time-out passes
// without a byte. "++loc" returns the tester to local operation, "++clr" clears it after an
// answer that went wrong.

#include "link/gpibaddress.h"
#include "link/gpibdevice.h"
#include "link/wait.h"

#include <QString>

#include <memory>

class QIODevice;

namespace qlx {

// How long a read may take: the adapter's gap between characters and the device time-out (no
// byte of an answer for this long: the tester is not there). A search shortens both.
struct AdapterTiming {
    int gapMs = 3000; // "++read_tmo_ms": the longest the USB and network models allow
    int deviceTimeoutMs = 10000;
    // The adapter does not pass END on: a block's answer is over when nothing follows its line end
    // for this long (the adapter sends what it reads at once, and stops at the tester's END).
    int endQuietMs = 100;
    // However its bytes trickle, an answer ends after the device time-out plus a millisecond for
    // each byte it holds (at least 1000 bytes a second: a tester on GPIB sends far faster).
    AnswerPace pace() const { return {deviceTimeoutMs / 1000.0, 1000.0}; }
};

class GpibAdapter : public GpibDevice {
public:
    // The adapter at `address`, set up for the tester at its primary address, or null with the
    // reason in *error: the device or host is missing or refuses, or the adapter does not answer
    // "++ver".
    static std::unique_ptr<GpibAdapter> open(const GpibAddress& address, QString* error,
                                             const AdapterTiming& timing = AdapterTiming());
    // An adapter on a link that is already open and set up, as open() leaves it.
    GpibAdapter(std::unique_ptr<QIODevice> link, const AdapterTiming& timing);
    ~GpibAdapter() override;

    // Talks to the tester at another primary address from now on.
    void setPrimaryAddress(int primary);
    void write(const QByteArray& command) override;
    AnswerEnd answerEnd() const override { return kAdapterEnd; }
    QByteArray readText(int maxLength, TransportObserver* debug) override;
    qint64 read(char* into, qint64 length) override;
    void finishBlock(BlockReader& block) override;
    void clear() override;
    void goToLocal() override;
    void abort() override;
    bool aborted() const override { return m_aborted; }

private:
    QString start(int primary);
    QByteArray adapterReply(int ms);
    void adapterCommand(const QByteArray& command);
    void send(const QByteArray& bytes);
    bool receive();
    bool waitForBytes(int ms);
    void discardInput(int quietMs = 0);

    std::unique_ptr<QIODevice> m_link;
    AdapterTiming m_timing;
    bool m_reading = false; // a "++read eoi" is in progress
    bool m_failed = false;  // the link went away
    bool m_aborted = false;
    Waiter m_waiter;
    Stopwatch m_silence;      // since the last byte or "++read eoi"
    Stopwatch m_answerClock;  // since the command whose answer is read
    qint64 m_answerBytes = 0; // of that answer: asked for by read(), or received as text
};

// A command as the adapter takes it: CR, LF, ESC and "+" preceded by ESC, then one LF.
QByteArray adapterLine(const QByteArray& command);

} // namespace qlx
