#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crypto/Provider.h"
#include "crypto/clsCryptoFilterBox.h"
#include "db/API_FILE.h"
#include "db/PackageSource.h"
#include "platform/UserInterface.h"

// One database file as the updater handles it: enciphered as a whole with an
// RC4 key derived from a fixed password.
namespace db {

inline constexpr std::string_view kPassword = "5d03e7b";

// Where a package checked at the cost of its header keeps its body: from
// bodyStart to totalLength in the deciphered text (the package's size).
struct PackageLayout {
    std::uint64_t bodyStart = 0;
    std::uint64_t totalLength = 0;
};

// The header-cost reader: deciphers the package in source with a new cipher
// filter and the fixed password, but only its first bytes, up to the end of
// its header line, and checks that line (API_FILE::CheckHeaderLine) against
// the total length, taken from the source's size. Leaves the version and
// record count in summary and returns where the body lies. A package that
// fails the check ends the program with the corrupted-database message; a
// malformed header throws API_FILE::MalformedDatabase. A source that is
// missing (nullptr) or cannot be read is taken as the text "ERRO", as the
// updater always took a file it could not open.
PackageLayout ReadDatabaseHeader(crypto::Provider& provider, platform::UserInterface& ui,
                                 PackageSource* source, API_FILE::DatabaseSummary& summary);

// The deciphered header line of the package in source (nullptr: missing),
// through filter with the fixed password, as ReadDatabaseHeader reads it,
// before any check: for callers that explain a failed check rather than end
// on it. The filter shows what fails in it; a text it could not decipher
// is empty, as Decrypt leaves it.
API_FILE::HeaderLine OpenPackage(crypto::clsCryptoFilterBox& filter, PackageSource* source);

// The plain text's header line of a package with this version text, record
// count and body length, CR LF included: its declared length counts the
// whole. Throws std::invalid_argument for a version text holding a CR, or
// when the whole would exceed the length a header can declare.
std::string PackageHeaderLine(std::string_view version, std::int16_t records,
                              std::uint64_t bodyLength);

// The enciphered bytes of a database with this version text, record count
// and body. Throws as PackageHeaderLine does.
std::string BuildPackage(crypto::Provider& provider, platform::UserInterface& ui,
                         std::string_view version, std::int16_t records, std::string_view body);

}  // namespace db
