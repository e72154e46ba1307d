#include "platform/Paths.h"

namespace paths {

std::string GetPathFromFile(std::string& path) {
    if (const auto slash = path.rfind('\\'); slash != std::string::npos) path.resize(slash + 1);
    return path;
}

std::string Join(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (joined.empty() || joined.back() != '\\') joined += '\\';
    joined += name;
    return joined;
}

}  // namespace paths
