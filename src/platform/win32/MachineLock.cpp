#include "platform/win32/MachineLock.h"

#include <sddl.h>

namespace platform::win32 {

namespace {
constexpr wchar_t kName[] = L"Global\\Holmcrest.Varnel.R40.Atualizador";
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";
}  // namespace

MachineLock::MachineLock() {
    UniqueLocal descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kAdministratorsOnly, SDDL_REVISION_1,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr))
        return;  // no lock made is a lock not taken: nothing runs unguarded
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    UniqueHandle mutex(::CreateMutexW(&security, FALSE, kName));
    // Another updater's (or one this account may not open, access denied):
    // taken either way.
    if (mutex && ::GetLastError() != ERROR_ALREADY_EXISTS) mutex_ = std::move(mutex);
}

}  // namespace platform::win32
