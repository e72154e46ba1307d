#include "platform/win32/MachineLock.h"

#include <aclapi.h>
#include <sddl.h>

namespace platform::win32 {

namespace {

constexpr wchar_t kName[] = L"Global\\Holmcrest.Varnel.R40.Atualizador";
constexpr wchar_t kAdministratorsOnly[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

// Only an administrator (or SYSTEM, which counts among them) can make the
// Administrators the owner of what it makes.
bool OwnedByAdministrators(HANDLE object) {
    PSID owner = nullptr;
    UniqueLocal descriptor;
    if (::GetSecurityInfo(
            object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) != ERROR_SUCCESS)
        return false;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
           ::EqualSid(owner, administrators);
}

}  // namespace

MachineLock::MachineLock() {
    UniqueLocal descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            kAdministratorsOnly, SDDL_REVISION_1,
            reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr))
        return;
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    UniqueHandle mutex(::CreateMutexW(&security, FALSE, kName));
    // No mutex at all (another object of that name, or one whose DACL shuts
    // the administrators out): another account's, not an updater's.
    if (!mutex) return;
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        othersRunning_ = OwnedByAdministrators(mutex.get());
    else
        mutex_ = std::move(mutex);
}

}  // namespace platform::win32
