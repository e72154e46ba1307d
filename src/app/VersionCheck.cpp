#include "app/VersionCheck.h"

#include "db/VersionText.h"

namespace app {

std::int16_t VersionNumber(std::string_view versionText) {
    // The rule is the database's own, shared with the tool that packs them.
    try {
        return db::VersionNumber(versionText);
    } catch (const db::VersionTextError& e) {
        throw VersionError(e.what());
    }
}

VersionOrder CompareVersions(std::string_view installed, std::string_view update) {
    const int old = VersionNumber(installed);
    const int current = VersionNumber(update);
    if (old < current) return VersionOrder::InstalledOlder;
    if (old == current) return VersionOrder::Same;
    return VersionOrder::InstalledNewer;
}

}  // namespace app
