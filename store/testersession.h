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

namespace qlx {

struct ConnectResult {
    bool opened = false;                  // the bus could be opened (library and descriptor, or the port)
    TextAnswer idn{{}, Outcome::NotOpen}; // the answer to "*IDN?" and how its exchange ended
    Identification id;                    // the verdict on that answer
    qint16 deviceHandle = -1;             // the GPIB descriptor ibdev gave (-1 without a library)
    QString openError;                    // why an adapter or its address failed; empty otherwise
};

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
    // the directory steps.
    ConnectResult connect(const QString& addressText);
    const Identification& identification() const { return m_id; }

    // "MMEM:CDIR" first when the firmware allows it, "MMEM:SCAN?"; on GPIB the go-to-local. The
    // sizes it lists are what later fetches of those names must prove.
    DirectoryAnswer readDirectory();
    // Copies one hardcopy into `pcFolder` as `pcName`; `onConflict` decides about a different file.
    // The block must have the size the last listing gave for the name, and `reads` reads of it
    // must agree.
    TransferResult fetch(const QString& testerName, const QString& pcFolder, const QString& pcName,
                         const std::function<OnConflict()>& onConflict, Durability durability = Durability::Normal,
                         int reads = 1);
    DeleteResult remove(const QString& testerName);
    // The go-to-local on the chosen bus, when a connect opened it.
    Outcome goToLocal();

    bool isOpen() const { return m_transport.isOpen(m_bus); }
    bool busy() const { return m_transport.busy(); }
    // Closes the serial port (ending a wait first).
    void closeSerial() { m_transport.closeSerial(); }
    bool serialOpen() const { return m_transport.serialOpen(); }
    // Ends a wait in progress at once.
    void abort() { m_transport.abort(); }

private:
    Bus m_bus;
    Transport m_transport;
    Identification m_id;
    QHash<QString, qint64> m_listedSizes; // by name as listed, from the last listing
};

} // namespace qlx
