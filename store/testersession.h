#pragma once
// One connected tester, for the window and for qlxctl alike: the open bus, connecting and
// identifying, the print directory, fetching a hardcopy, deleting one and the go-to-local. Every
// step answers with its result; what to tell the user is the front end's.

#include "link/identify.h"
#include "link/transport.h"
#include "store/deletion.h"
#include "store/directory.h"
#include "store/transfer.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace qlx {

struct ConnectResult {
    // How a connect failed, for the front ends to tell the user.
    enum Failure {
        None,        // an accepted tester
        NotOpened,   // no library, no descriptor, a port that cannot be opened: the cable advice
        OpenRefused, // an adapter or an address that cannot be used: `failureText` says why
        NoTester,    // no answer, or not a QLX tester of the maker: the cable advice
        BadAnswer,   // a tester of the maker whose answer lacks its fields: `failureText`, with the answer
        PcSide,      // the GPIB board or its driver on the PC failed: `failureText` says what to check there
    };
    Failure failure = NotOpened;
    QString failureText;                  // the failure in words, naming the address or the answer
    bool opened = false;                  // the bus could be opened (library and descriptor, or the port)
    TextAnswer idn{{}, Outcome::NotOpen}; // the answer to "*IDN?" and how its exchange ended
    Identification id;                    // the verdict on that answer
    qint16 deviceHandle = -1;             // the GPIB descriptor ibdev gave (-1 without a library)
    QString openError;                    // why an adapter or its address failed; empty otherwise
    GpibFault fault;                      // why the GPIB device's open or exchange failed, where it can tell
};

// The cable advice for `bus`: lines joined by CR LF, tabs as given, no line end after the last.
QString cableAdviceText(Bus bus);

// One hardcopy of a listing: its name trimmed of blanks and the size listed (-1 when none is).
struct Hardcopy {
    QString name;
    qint64 size = -1;
    bool operator==(const Hardcopy&) const = default;
};

// The hardcopies of a listing in the order of the tester's list.
QList<Hardcopy> sortedHardcopies(const Listing& listing);

class TesterSession {
public:
    explicit TesterSession(Bus bus = Bus::Gpib, TransportObserver* observer = nullptr);

    // Every step goes out on the bus chosen last.
    void setBus(Bus bus) { m_bus = bus; }
    Bus bus() const { return m_bus; }
    void setDebug(bool on) { m_transport.setDebug(on); }

    // GPIB: ibdev at the address, "*IDN?", go to local. Serial: open the port that the address
    // names (a number or a device path), "*SEC 0", "*IDN?". An accepted tester is remembered for
    // the directory steps and for close().
    ConnectResult connect(const QString& addressText);
    const Identification& identification() const { return m_id; }

    // On GPIB the tester is returned to local operation after each listing and each fetch, and
    // once more by close(); a batch of fetches (Copy-all) returns it once, at the batch's end.

    // "MMEM:CDIR" first when the firmware allows it, "MMEM:SCAN?"; on GPIB the go-to-local. The
    // sizes it lists are what later fetches of those names must prove.
    DirectoryAnswer readDirectory();
    // Copies one hardcopy into `pcFolder` as `pcName`; `onConflict` decides about a different file.
    // The block must have the size the last listing gave for the name, and `reads` reads of it
    // must agree. On GPIB the go-to-local follows, outside a batch.
    TransferResult fetch(const QString& testerName, const QString& pcFolder, const QString& pcName,
                         const std::function<OnConflict()>& onConflict, Durability durability = Durability::Normal,
                         int reads = 1);
    void beginBatch() { m_batch = true; }
    // The go-to-local on GPIB that the batch's fetches left out; none while `closing` (close() follows).
    void endBatch(bool closing);
    DeleteResult remove(const QString& testerName);
    // Deletes a hardcopy whose copy must stay proven to the last: only when the session's last
    // exchange was its fetch, and only while the PC file that fetch wrote or found, read back now,
    // still holds exactly the bytes the tester sent. Otherwise nothing is sent, with the reason.
    DeleteResult removeCopied(const QString& testerName);
    // The end: on GPIB, when the last connect that ran to its end found a tester (as the window's
    // Connected says), an answer left unread cleared and the go-to-local, then the device closed
    // (its library descriptor given back); on the serial line, when its port is open, "*GTL" and
    // the port closed.
    void close();

    // Closes the serial port (ending a wait first).
    void closeSerial() { m_transport.closeSerial(); }
    bool serialOpen() const { return m_transport.serialOpen(); }
    // Ends a wait in progress at once.
    void abort() { m_transport.abort(); }
    // A stop signal: the wait in progress ends, and nothing more goes over the bus but the one
    // go-to-local of close().
    void stop() { m_transport.stop(); }

private:
    Bus m_bus;
    Transport m_transport;
    Identification m_id;
    QHash<QString, qint64> m_listedSizes; // by name as listed, from the last listing
    struct Proven {
        QString testerName;
        QString path;
        QByteArray data;
    };
    std::optional<Proven> m_proven; // what the last exchange, a fetch, proved
    bool m_connected = false;       // the last connect that ran to its end found a tester
    bool m_batch = false;
};

} // namespace qlx
