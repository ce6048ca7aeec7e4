#pragma once
// Checking the tester's answer to "*IDN?".

#include <QString>

namespace qlx {

struct Identification {
    enum Verdict {
        NotATester, // another maker or model, or no answer at all
        NoComma,    // the answer has no fields
        NoFirmware, // fewer than four fields
        Accepted,
    };
    Verdict verdict = NotATester;
    QString errorText; // the message for NoComma and NoFirmware
    QString firmware;  // the fourth field without its first character
    bool canChangeDir = false;
};

Identification identify(const QString& answer);

// Whether a firmware field (already without its leading letter) accepts the directory change:
// major version at least 3 and the two digits after the point at least 10, tested apart.
bool firmwareCanChangeDir(const QString& firmware);

} // namespace qlx
