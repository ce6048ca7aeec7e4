// Identification answers of any shape must be classified without a fault.
#include "link/identify.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString answer = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const qlx::Identification id = qlx::identify(answer);
    if (id.verdict == qlx::Identification::Accepted && id.canChangeDir && id.firmware.size() < 4)
        __builtin_trap();
    return 0;
}
