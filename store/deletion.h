#pragma once
// Deleting files on the tester, without a window.

#include "link/transport.h"

namespace qlx {

// MMEM:DEL "NAME",INT with the name trimmed of blanks (the serial line end is the transport's).
QByteArray deleteRequestCommand(const QString& testerName);

struct DeleteResult {
    bool sent = false; // the command went out; the tester sends no answer to it
    Outcome outcome = Outcome::Ok;
    QString refusedReason; // a name that could break the command is not sent: why
};

DeleteResult deleteOnTester(Transport& transport, Bus bus, const QString& testerName);

} // namespace qlx
