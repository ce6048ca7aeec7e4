#pragma once
// Reading the tester's print directory without a window.

#include "link/transport.h"
#include "store/listing.h"

namespace qlx {

struct DirectoryAnswer {
    TextAnswer answer; // the raw answer to "MMEM:SCAN?" and how its exchange ended
    Listing listing;   // what the parser made of it

    // What the answer is, decided here for every front end: a whole listing of the print
    // directory; no answer at all; a listing cut short before its line end; an answer that is no
    // listing at all; or (older firmware) the listing of another directory.
    enum Verdict { Listed, NoAnswer, BrokeOff, NotAListing, OtherDirectory };
    Verdict verdict() const;
    // Why it is not Listed, in words (the directory advice for OtherDirectory); empty when it is.
    QString failureText() const;
};

// Switches to the print directory first when the firmware allows it, asks for the listing and,
// on GPIB, returns the tester to local operation.
DirectoryAnswer readTesterDirectory(Transport& transport, Bus bus, bool canChangeDir);

} // namespace qlx
