#pragma once

#include <string_view>

// Comparing database versions. A version text is a three-character prefix
// followed by a whole number (db::VersionNumber); only the number counts.
namespace app {

enum class VersionOrder { InstalledOlder, Same, InstalledNewer };

// Compares the installed database's version with the new one's by number.
// Throws db::VersionTextError for a text whose number cannot be read.
VersionOrder CompareVersions(std::string_view installed, std::string_view update);

}  // namespace app
