#pragma once

#include <string_view>

namespace platform {

// The security descriptor of a file made for the administrators alone, in
// the system's descriptor language: a protected DACL (P: nothing comes from
// the folder), full control for SYSTEM and the Administrators, read and
// execute for the Users. Every other account, Authenticated Users among
// them (the drive root lets them change whatever is made in it), has no
// entry and so no access.
inline constexpr std::string_view kAdministratorsOnly = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;BU)";

}  // namespace platform
