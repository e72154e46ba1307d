#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "crypto/Provider.h"
#include "db/API_FILE.h"
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
// The same for a database's bytes already read.
std::string OpenDatabase(crypto::Provider& provider, platform::UserInterface& ui,
                         std::string enciphered, API_FILE::DatabaseSummary& summary);

// The enciphered bytes of a database with this version text, record count
// and body. Throws std::invalid_argument for a version text holding a CR, or
// when the whole would exceed the length a header can declare.
std::string BuildPackage(crypto::Provider& provider, platform::UserInterface& ui,
                         std::string_view version, std::int16_t records, std::string_view body);

}  // namespace db
