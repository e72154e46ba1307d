#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crypto/Provider.h"
#include "crypto/clsCryptoFilterBox.h"
#include "db/API_FILE.h"
#include "db/PackageSource.h"
#include "platform/Platform.h"
#include "platform/UserInterface.h"

// One database file as the updater handles it: enciphered as a whole with an
// RC4 key derived from a fixed password.
namespace db {

inline constexpr std::string_view kPassword = "5d03e7b";

// Reads the database at path whole, deciphers it with a new cipher filter and
// the fixed password, and checks its header, leaving its version and record
// count in summary. Returns the body. A database that fails the check ends
// the program with the corrupted-database message (see
// API_FILE::ParseDatabase); a malformed header throws
// API_FILE::MalformedDatabase.
std::string ReadDatabase(platform::Platform& platform, crypto::Provider& provider,
                         platform::UserInterface& ui, std::string_view path,
                         API_FILE::DatabaseSummary& summary);

// Where a package checked at the cost of its header keeps its body: from
// bodyStart to totalLength in the deciphered text (the package's size).
struct PackageLayout {
    std::uint64_t bodyStart = 0;
    std::uint64_t totalLength = 0;
};

// The header-cost reader: what ReadDatabase does, with the same outcomes
// (summary, the corrupted-database message and end, MalformedDatabase; a
// source that is missing (nullptr) or cannot be read is taken as the text
// "ERRO", as the whole-file read takes a file it cannot open), but
// deciphering only the package's first bytes up to the end of its header
// line and taking the total length from the source's size. Returns where
// the body lies instead of the body itself.
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
