#include "app/VersionCheck.h"

#include "db/VersionText.h"

namespace app {

VersionOrder CompareVersions(std::string_view installed, std::string_view update) {
    const int old = db::VersionNumber(installed);
    const int current = db::VersionNumber(update);
    if (old < current) return VersionOrder::InstalledOlder;
    if (old == current) return VersionOrder::Same;
    return VersionOrder::InstalledNewer;
}

}  // namespace app
