#pragma once
// One run of qlxctl against the tester: the transport on the chosen bus, the identification, the
// sorted directory and the copy of one hardcopy. Errors come back as text; reporting is the caller's.

#include "cli/progress.h"
#include "link/identify.h"
#include "link/transport.h"
#include "store/transfer.h"

#include <QList>
#include <QStringList>
#include <QString>

#include <memory>
#include <optional>

namespace qlx::cli {

struct Hardcopy {
    QString name; // trimmed of blanks
    qint64 size;  // as listed; -1 when the listing gives none
};

class Session {
public:
    Session(Bus bus, QString address, bool showProgress);

    Bus bus() const { return m_bus; }
    Transport& transport() { return m_transport; }
    const Identification& identification() const { return m_id; }
    // The fields of the answer to "*IDN?": maker, model, serial number, firmware.
    QStringList identityFields() const;

    // Opens the bus and identifies the tester; the reason when that fails, else empty.
    QString connect();
    // The print directory in the window's order, or nullopt with `error` set.
    std::optional<QList<Hardcopy>> readDirectory(QString& error);
    // Copies one hardcopy into `folder` under its own name.
    TransferResult fetch(const QString& name, const QString& folder, bool overwrite);
    // Returns the tester to local operation if the bus was opened.
    void goToLocal();

private:
    Bus m_bus;
    QString m_address;
    std::unique_ptr<ProgressLine> m_progress; // only when progress is shown
    Transport m_transport;
    Identification m_id;
    QString m_idn;
};

// How an exchange ended, in words for a message (Ok: it ended, but nothing came back).
QString outcomeText(Outcome outcome);

} // namespace qlx::cli
