#pragma once
// --convert: a picture of each hardcopy written, beside it, drawn by qlxrender (the metafile
// engine's own tool, which needs the display libraries that qlxctl itself does without).

#include "store/transfer.h"

#include <QString>

namespace qlx::cli {

// For a hardcopy that `result` wrote (or found already there, while the picture is missing):
// NAME.FORMAT beside it, and one line about it. False when the picture could not be written; the
// hardcopy itself is only read.
bool convertBeside(const TransferResult& result, const QString& format, bool quiet);

} // namespace qlx::cli
