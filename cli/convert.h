#pragma once
// --convert: a picture of each hardcopy written, beside it, drawn by qlxrender (the metafile
// engine's own tool, which needs the display libraries that qlxctl itself does without).

#include "store/transfer.h"

#include <QString>

namespace qlx::cli {

// For a hardcopy that `result` wrote (or found already there, while the picture is missing):
// NAME.FORMAT beside it, and one line about it. A different file of that name is kept, replaced or
// written beside as `onConflict` says, as for the hardcopy; a link or anything else under the name
// is left alone. False when no picture was written; the hardcopy itself is only read.
bool convertBeside(const TransferResult& result, const QString& format, OnConflict onConflict, bool quiet);

} // namespace qlx::cli
