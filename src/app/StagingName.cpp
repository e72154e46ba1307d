#include "app/StagingName.h"

namespace app {

std::string StagingName(std::string_view installed, int attempt) {
    std::string name = std::string(installed) + ".novo";
    if (attempt > 0) name += std::to_string(attempt);
    return name;
}

}  // namespace app
