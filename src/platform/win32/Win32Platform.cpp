#include "platform/win32/Win32Platform.h"

#include <windows.h>

#include <limits>
#include <vector>

#include "platform/FileAttributes.h"
#include "platform/SystemError.h"
#include "platform/win32/FileIdentity.h"
#include "platform/win32/Handles.h"
#include "platform/win32/LastError.h"
#include "platform/win32/RunningImage.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32HeldFile.h"
#include "platform/win32/Win32NewFile.h"
#include "platform/win32/WindowEvents.h"

namespace platform::win32 {

namespace {

// The predefined roots are sign-extended 32-bit values on 64-bit Windows.
HKEY rootKey(RegistryRoot root) {
    const auto value = static_cast<LONG>(static_cast<std::uint32_t>(root));
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(value)));
}

std::wstring wide(std::string_view utf8) {
    return Widen(utf8);
}

// Calls fill(buffer, capacity) -> length, the Win32 convention where a
// result at or above the capacity is the size needed (NUL included), and
// grows the buffer until the text fits. 0 means failure.
template <typename Fill>
std::wstring sizedCall(Fill fill, DWORD initial = MAX_PATH) {
    std::wstring buffer(initial, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD capacity = static_cast<DWORD>(buffer.size());
        const DWORD length = fill(buffer.data(), capacity);
        if (length == 0) return {};
        if (length < capacity) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(length + 1, L'\0');
    }
    return {};
}

std::wstring modulePath() {
    // GetModuleFileNameW truncates silently and returns the capacity when
    // the buffer is too small, so grow while it fills the buffer.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), capacity);
        if (length == 0)
            throw SystemError("Não foi possível obter o caminho do atualizador", ::GetLastError());
        if (length < capacity) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::wstring ArgumentsOf(std::wstring_view line) {
    std::size_t i = 0;
    if (i < line.size() && line[i] == L'"') {
        // A quoted program path ends at the next quote, whatever follows it.
        ++i;
        while (i < line.size() && line[i] != L'"') ++i;
        if (i < line.size()) ++i;
    } else {
        while (i < line.size() && line[i] > L' ') ++i;
    }
    // The blank that ends an unquoted path goes with it. What follows is the
    // argument text as written: its own spaces are the start-up rule's to
    // trim, and a tab stays, so that a tab before "/!" does not select
    // cleanup mode.
    while (i < line.size() && line[i] == L' ') ++i;
    return std::wstring(line.substr(i));
}

std::optional<RegistryData> Win32Platform::readRegistry(RegistryRoot root, std::string_view subKey,
                                                        std::string_view valueName) {
    // The ANSI forms, so that names and string data go through the system's
    // code page exactly as the product wrote them.
    const std::string ansiKey = Utf8ToAnsi(subKey);
    const std::string ansiName = Utf8ToAnsi(valueName);

    const auto query = [&](REGSAM view) -> std::optional<RegistryData> {
        UniqueKey key;
        if (::RegOpenKeyExA(rootKey(root), ansiKey.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) !=
            ERROR_SUCCESS)
            return {};
        DWORD type = 0;
        DWORD size = 0;
        if (::RegQueryValueExA(key.get(), ansiName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            return {};
        std::string data(size, '\0');
        if (size > 0) {
            if (::RegQueryValueExA(key.get(), ansiName.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
                return {};
            data.resize(size);
        }
        RegistryData result;
        result.type = type;
        result.data = type == REG_SZ ? AnsiToUtf8(data) : std::move(data);
        return result;
    };
    // The product is a 32-bit program: on 64-bit Windows its keys live in
    // the registry's 32-bit view, which a 64-bit process does not see by
    // default. That view first, then the process's own.
    if (auto value = query(KEY_WOW64_32KEY)) return value;
    return query(0);
}

std::string Win32Platform::windowsDirectory() {
    return Narrow(sizedCall([](wchar_t* buffer, DWORD capacity) {
        return static_cast<DWORD>(::GetWindowsDirectoryW(buffer, capacity));
    }));
}

std::string Win32Platform::shortPathName(std::string_view path) {
    const std::wstring longPath = wide(path);
    return Narrow(sizedCall([&](wchar_t* buffer, DWORD capacity) {
        return ::GetShortPathNameW(longPath.c_str(), buffer, capacity);
    }));
}

std::string Win32Platform::ansiToUtf8(std::string_view ansi) {
    return AnsiToUtf8(ansi);
}

std::string Win32Platform::commandArguments() {
    return Narrow(ArgumentsOf(::GetCommandLineW()));
}

std::string Win32Platform::executableFolder() {
    std::wstring path = modulePath();
    const auto slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return {};
    // A program at a drive root keeps its backslash: "C:" alone would mean
    // the current folder of drive C.
    path.resize(slash == 2 && path[1] == L':' ? slash + 1 : slash);
    return Narrow(path);
}

std::string Win32Platform::executableTitle() {
    const std::wstring path = modulePath();
    const auto slash = path.find_last_of(L'\\');
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const auto dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return Narrow(name);
}

std::string Win32Platform::packageSeal() {
    // The release puts it in as RCDATA named PACKAGE_SEAL (cmake/PackageSeal.cmake).
    const HRSRC found = ::FindResourceW(nullptr, L"PACKAGE_SEAL", MAKEINTRESOURCEW(10));
    if (!found) return {};
    const HGLOBAL loaded = ::LoadResource(nullptr, found);
    const auto* text = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!text)
        throw SystemError("Não foi possível ler os dados do atualizador",
                          LastErrorOr(ERROR_RESOURCE_DATA_NOT_FOUND));
    const std::string_view data(text, ::SizeofResource(nullptr, found));
    return std::string(data.substr(0, data.find('\0')));
}

bool Win32Platform::normalFileExists(std::string_view path) {
    if (path.empty()) return false;
    // A directory lookup: a name with wildcards exists when an ordinary file
    // matches it (what is then opened by that name is another question).
    WIN32_FIND_DATAW found{};
    UniqueFind find(::FindFirstFileW(wide(path).c_str(), &found));
    if (!find) return false;
    do {
        if (IsOrdinaryFile(found.dwFileAttributes)) return true;
    } while (::FindNextFileW(find.get(), &found));
    return false;
}

bool Win32Platform::fileInUse(std::string_view path) {
    // Opening for writing, sharing everything, meets exactly the programs
    // that stand in the way: one that holds the file without sharing it, or
    // that runs from it (the system keeps a running program's file from
    // being written or deleted). Opening changes nothing in the file.
    UniqueHandle file(::CreateFileW(wide(path).c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return false;
    const DWORD error = ::GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

std::unique_ptr<HeldFile> Win32Platform::holdFile(std::string_view path, std::uint32_t& error) {
    DWORD code = 0;
    auto held = Hold(wide(path), HoldFor::Removal, code);
    error = code;
    return held;
}

std::unique_ptr<HeldFile> Win32Platform::holdToRemove(std::string_view path, std::uint32_t& error) {
    DWORD code = 0;
    auto held = Hold(wide(path), HoldFor::RemovalOnly, code);
    error = code;
    return held;
}

std::unique_ptr<HeldFile> Win32Platform::holdForReading(std::string_view path,
                                                        std::uint32_t& error) {
    DWORD code = 0;
    auto held = Hold(wide(path), HoldFor::Reading, code);
    error = code;
    return held;
}

std::unique_ptr<HeldFile> Win32Platform::holdExecutable(std::uint32_t& error) {
    DWORD code = 0;
    auto held = Hold(modulePath(), HoldFor::Reading, code);
    error = code;
    return held;
}

bool Win32Platform::isRunningProgram(HeldFile& file) {
    return IsRunningImage(file);
}

std::unique_ptr<NewFile> Win32Platform::createCopy(std::string_view path, HeldFile& source,
                                                   std::uint32_t& error, FileAccess access,
                                                   const CopyProgress& progress) {
    DWORD code = 0;
    auto made = CreateCopy(wide(path), source, code, access, progress);
    error = code;
    return made;
}

void Win32Platform::appendAnsiText(std::string_view path, std::string_view utf8Text) {
    const std::wstring widePath = wide(path);
    UniqueHandle file(::CreateFileW(widePath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        throw SystemError("Não foi possível abrir " + std::string(path) + " para gravação",
                          ::GetLastError());
    const std::string ansi = Utf8ToAnsi(utf8Text);
    std::size_t done = 0;
    while (done < ansi.size()) {
        const DWORD chunk = static_cast<DWORD>(
            std::min<std::size_t>(ansi.size() - done, std::numeric_limits<DWORD>::max() / 2));
        DWORD written = 0;
        if (!::WriteFile(file.get(), ansi.data() + done, chunk, &written, nullptr) || written == 0)
            throw SystemError("Não foi possível gravar em " + std::string(path),
                              LastErrorOr(ERROR_WRITE_FAULT));
        done += written;
    }
}

std::uint32_t Win32Platform::deleteAtReboot(std::string_view path) {
    if (::MoveFileExW(wide(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return 0;
    return LastErrorOr(ERROR_GEN_FAILURE);
}

void Win32Platform::startProgram(std::string_view commandLine, WindowStyle style) {
    // CreateProcessW may write into the command line, so it gets its own copy.
    std::wstring line = wide(commandLine);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(style);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started))
        throw SystemError("Não foi possível iniciar " + std::string(commandLine), ::GetLastError());
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
}

void Win32Platform::processPendingEvents() {
    DeliverPendingEvents();
}

bool Win32Platform::requestReboot() {
    // Without the shutdown privilege enabled the request is refused. Enabling
    // it may fail (a user without the right); the request then tells.
    UniqueHandle token;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                           token.put())) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
            ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    return ::ExitWindowsEx(EWX_REBOOT, 0) != FALSE;
}

}  // namespace platform::win32
