// Listings of any shape must parse without a fault, and only hardcopy names come out.
#include "store/listing.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString answer = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    for (bool canChangeDir : {false, true}) {
        const qlx::Listing listing = qlx::parseListing(answer, canChangeDir);
        if (listing.sizes.size() != listing.hardcopies.size())
            __builtin_trap();
        for (const QString& name : listing.hardcopies)
            if (name.right(3).toUpper() != QLatin1String("WMF") || name.startsWith(u' ') || name.endsWith(u' '))
                __builtin_trap();
    }
    return 0;
}
