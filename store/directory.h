#pragma once
// Reading the tester's print directory without a window.

#include "link/transport.h"
#include "store/listing.h"

namespace qlx {

struct DirectoryAnswer {
    TextAnswer answer; // the raw answer to "MMEM:SCAN?" and how its exchange ended
    Listing listing;   // what the parser made of it
};

// Switches to the print directory first when the firmware allows it, asks for the listing and,
// on GPIB, returns the tester to local operation.
DirectoryAnswer readTesterDirectory(Transport& transport, Bus bus, bool canChangeDir);

} // namespace qlx
