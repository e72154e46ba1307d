#pragma once

#include <string>
#include <string_view>

// Path texts as the updater builds them: Windows paths, backslash separated.
namespace paths {

// The path cut after its last backslash (the backslash stays); a path
// without one comes back unchanged. The caller's variable receives the cut
// value too.
std::string GetPathFromFile(std::string& path);

// folder + name, with a backslash between them unless the folder already
// ends with one (a drive root such as C:\).
std::string Join(std::string_view folder, std::string_view name);

}  // namespace paths
