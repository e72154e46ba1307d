#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>

// Comparing database versions. A version text is a three-character prefix
// followed by a whole number; only the number counts.
namespace app {

// A version text whose number cannot be read.
class VersionError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The number of a version text: what follows the first three characters,
// read as a 16-bit signed decimal with an optional sign and spaces before
// and after it. Throws VersionError for a text of three characters or
// fewer, a number part that is not a plain whole number, or one outside
// -32768..32767.
std::int16_t VersionNumber(std::string_view versionText);

enum class VersionOrder { InstalledOlder, Same, InstalledNewer };

// Compares the installed database's version with the new one's by number.
// Throws VersionError as VersionNumber does, for either text.
VersionOrder CompareVersions(std::string_view installed, std::string_view update);

}  // namespace app
