#pragma once

#include <string>
#include <string_view>

// The paths and command lines of the hand-off, as pure text rules.
namespace app::handoff {

// The running updater's own executable: its folder, a backslash unless the
// folder is a drive root, its title and ".exe".
std::string OwnPath(std::string_view folder, std::string_view title);

// The first name tried for the cleanup copy: the drive root of the Windows
// directory (its first three characters) followed by the title and ".exe".
std::string FirstCopyCandidate(std::string_view windowsDir, std::string_view title);

// The name tried after a taken one: a "0" before the ".exe".
std::string NextCopyCandidate(std::string_view candidate);

// The remover beside the installed database, started with "/!". The program
// path is quoted so that a folder with spaces still names one program.
std::string RemoverCommandLine(std::string_view installedDatabasePath);

// The cleanup copy started with "/!" and the file it is to delete. Only the
// program path is quoted: what follows "/!" is taken to the end of the line
// as it stands.
std::string CleanupCommandLine(std::string_view copyPath, std::string_view ownPath);

}  // namespace app::handoff
