// The simulator's listings are checked with the program's own listing parser.
#pragma once

#include "store/listing.h"

#include <QStringList>
#include <optional>
#include <string>

inline std::optional<QStringList> hardcopiesInListing(const std::string& answer, bool checkDirectory)
{
    const qlx::Listing listing =
        qlx::parseListing(QString::fromLatin1(answer.data(), qsizetype(answer.size())), !checkDirectory);
    if (!listing.directoryOk)
        return std::nullopt;
    return listing.hardcopies;
}
