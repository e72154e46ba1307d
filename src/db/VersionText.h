#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

// The one rule for database version texts, shared by the updater's version
// check and by the maintainers' tool, which refuses to pack a version the
// updater could not compare. A version text is a three-character prefix
// followed by a whole number; only the number counts.
namespace db {

// A version text whose number cannot be read; what() says why.
class VersionTextError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The number of a version text: what follows the first three characters
// (bytes), read as a 16-bit signed decimal with an optional sign and spaces
// before and after it. Throws VersionTextError for a text of three
// characters or fewer, a number part that is not a plain whole number, or
// one outside -32768..32767.
std::int16_t VersionNumber(std::string_view versionText);

}  // namespace db
