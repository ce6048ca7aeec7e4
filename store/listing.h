#pragma once
// The tester's answer to "MMEM:SCAN?", turned into the hardcopy names it lists.

#include <QString>
#include <QList>
#include <QStringList>

namespace qlx {

struct Listing {
    bool directoryOk = true; // false: an older tester listed another directory than its print directory
    QString rest;            // the answer after the line end and the first six characters were cut
    QStringList hardcopies;  // names whose last three characters are "WMF" in any case, as listed
    QList<qint64> sizes;     // the size listed after each of them in bytes; -1 when none is given
};

// Where the entries of a listing begin: after the first double quote, comma and capital F.
inline const QString kEntriesMarker = QStringLiteral("\",F");

// Whether `answer` is a directory listing at all: it holds the sequence the entries follow.
bool isDirectoryListing(const QString& answer);

// `canChangeDir` says whether the tester was switched to its print directory before listing;
// when it was not, the listing must name the product to count as the print directory.
Listing parseListing(const QString& answer, bool canChangeDir);

inline const QString kPrintDirectory = QStringLiteral("\\USERDATA\\PRINT");
QString directoryChangeCommand(); // MMEM:CDIR "\USERDATA\PRINT"
inline const QString kListingQuery = QStringLiteral("MMEM:SCAN?");
inline constexpr int kListingBufferLength = 10000;

// The setup advice for an older tester that lists the wrong directory.
QString directoryAdvice();

} // namespace qlx
