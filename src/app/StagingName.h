#pragma once

#include <string>
#include <string_view>

namespace app {

// The names under which the new database is written beside the installed
// one before it takes that one's place: "<installed>.novo" first, then
// "<installed>.novo1", "<installed>.novo2"... for names already taken. The
// same folder, so that taking the place is a rename, done in one step.
std::string StagingName(std::string_view installed, int attempt);

}  // namespace app
