#include "uidriver.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <fstream>
#include <map>
#include <thread>

#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"

namespace uidriver {

using platform::win32::Narrow;
using platform::win32::UniqueHandle;
using platform::win32::UniqueKey;
using platform::win32::Utf8ToAnsi;
using platform::win32::Widen;

namespace {

// Cross-process reads go through SendMessageTimeout: a hung target must not
// hang the driver.
constexpr UINT kSendTimeoutMs = 3000;

LRESULT sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               &result))
        throw DriverError("window " + std::to_string(reinterpret_cast<std::uintptr_t>(window)) +
                          " did not answer message " + std::to_string(message));
    return static_cast<LRESULT>(result);
}

std::string errorText(std::string_view what, DWORD code) {
    return std::string(what) + " (error " + std::to_string(code) + ")";
}

HKEY rootKey(Root root) {
    return root == Root::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string describe(const WindowQuery& query) {
    std::string text = "window";
    if (!query.title.empty()) text += " titled \"" + query.title + "\"";
    if (!query.className.empty()) text += " of class " + query.className;
    if (query.processId != 0) text += " of process " + std::to_string(query.processId);
    return text;
}

bool matches(HWND window, const WindowQuery& query) {
    if (query.visibleOnly && !::IsWindowVisible(window)) return false;
    if (query.processId != 0) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        if (pid != query.processId) return false;
    }
    if (!query.className.empty() && ClassName(window) != query.className) return false;
    if (!query.title.empty()) {
        // Top-level captions are read without messages, so a busy window
        // still matches.
        wchar_t title[512] = {};
        ::GetWindowTextW(window, title, 512);
        if (Narrow(title) != query.title) return false;
    }
    return true;
}

std::string holdfileExe() {
    std::string configured = Env("UIDRIVER_HOLDFILE");
    if (!configured.empty()) return WindowsPath(configured);
    return WindowsPath(UIDRIVER_HOLDFILE_PATH);
}

}  // namespace

void SleepFor(Millis step) {
    std::this_thread::sleep_for(step);
}

// ---------------------------------------------------------------- paths

std::string WindowsPath(std::string_view path) {
    if (path.empty() || path.front() != '/') return std::string(path);
    std::string windows = "Z:" + std::string(path);
    for (char& c : windows)
        if (c == '/') c = '\\';
    return windows;
}

std::string Env(std::string_view name) {
    const std::wstring wideName = Widen(name);
    const DWORD size = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(length);
    return Narrow(value);
}

std::string AtualizadorExe() {
    const std::string path = Env("ATUALIZADOR_EXE");
    if (path.empty()) throw DriverError("ATUALIZADOR_EXE is not set");
    return WindowsPath(path);
}

std::string MakeTempFolder(std::string_view prefix) {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH + 1, temp) == 0)
        throw DriverError(errorText("GetTempPath failed", ::GetLastError()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string folder =
            Narrow(temp) + std::string(prefix) + "-" + std::to_string(::GetCurrentProcessId()) +
            "-" + std::to_string(::GetTickCount()) + "-" + std::to_string(counter++);
        if (::CreateDirectoryW(Widen(folder).c_str(), nullptr)) return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            throw DriverError(errorText("cannot create " + folder, ::GetLastError()));
    }
    throw DriverError("no free temporary folder name");
}

// ---------------------------------------------------------------- processes

namespace {

// Environment variable names compare without regard to case.
struct NameOrder {
    bool operator()(const std::wstring& a, const std::wstring& b) const {
        return ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    }
};

// This process's environment block with `changes` ("NAME=value") in place.
std::wstring EnvironmentWith(const std::vector<std::string>& changes) {
    std::map<std::wstring, std::wstring, NameOrder> variables;
    const auto add = [&](std::wstring entry) {
        // "=C:=C:\dir" entries name their variable after the first '='.
        const auto equals = entry.find(L'=', 1);
        if (equals == std::wstring::npos) return;
        variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    };
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += std::wcslen(p) + 1) add(p);
        ::FreeEnvironmentStringsW(block);
    }
    for (const std::string& change : changes) add(Widen(change));
    std::wstring result;
    for (const auto& [name, value] : variables) result += name + L"=" + value + L'\0';
    result += L'\0';
    return result;
}

}  // namespace

Process Process::Start(std::string_view commandLine, std::string_view workingDir,
                       const std::vector<std::string>& environment) {
    std::wstring line = Widen(commandLine);
    const std::wstring dir = Widen(workingDir);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring block = environment.empty() ? std::wstring() : EnvironmentWith(environment);
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                          block.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                          block.empty() ? nullptr : block.data(),
                          dir.empty() ? nullptr : dir.c_str(), &startup, &info))
        throw DriverError(errorText("cannot start " + std::string(commandLine), ::GetLastError()));
    ::CloseHandle(info.hThread);
    return Process(info.hProcess, info.dwProcessId);
}

Process::Process(Process&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)) {}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

Process::~Process() {
    close();
}

void Process::close() noexcept {
    if (!handle_) return;
    if (running()) end();
    ::CloseHandle(handle_);
    handle_ = nullptr;
}

bool Process::running() const {
    return handle_ && ::WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

DWORD Process::waitExit(Millis timeout) {
    if (::WaitForSingleObject(handle_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
        throw DriverError("process " + std::to_string(id_) + " still running after " +
                          std::to_string(timeout.count()) + " ms");
    return *exitCode();
}

std::optional<DWORD> Process::exitCode() const {
    DWORD code = 0;
    if (running() || !::GetExitCodeProcess(handle_, &code)) return {};
    return code;
}

void Process::detach() noexcept {
    if (handle_) ::CloseHandle(handle_);
    handle_ = nullptr;
}

void Process::end(Millis grace) {
    if (!running()) return;
    std::vector<DWORD> threads;
    for (HWND window : TopWindowsOf(id_)) {
        const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
        if (std::find(threads.begin(), threads.end(), thread) == threads.end())
            threads.push_back(thread);
    }
    for (DWORD thread : threads) ::PostThreadMessageW(thread, WM_QUIT, 0, 0);
    if (threads.empty() ||
        ::WaitForSingleObject(handle_, static_cast<DWORD>(grace.count())) != WAIT_OBJECT_0)
        kill();
}

void Process::kill() {
    if (!handle_) return;
    ::TerminateProcess(handle_, 1);
    ::WaitForSingleObject(handle_, 5000);
}

// ---------------------------------------------------------------- windows

HWND FindTopWindow(const WindowQuery& query) {
    struct Search {
        const WindowQuery* query;
        HWND found;
    } search{&query, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!matches(window, *s->query)) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitTopWindow(const WindowQuery& query, Millis timeout) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(query)) != nullptr; }, describe(query), timeout);
    return found;
}

void WaitNoTopWindow(const WindowQuery& query, Millis timeout) {
    WaitUntil([&] { return FindTopWindow(query) == nullptr; }, "no " + describe(query), timeout);
}

std::vector<HWND> TopWindowsOf(DWORD processId) {
    std::vector<HWND> windows;
    struct Search {
        DWORD pid;
        std::vector<HWND>* out;
    } search{processId, &windows};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            if (pid == s->pid) s->out->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return windows;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> children;
    // EnumChildWindows already walks nested children, depth first.
    ::EnumChildWindows(
        parent,
        [](HWND child, LPARAM data) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND FindChildByText(HWND parent, std::string_view text) {
    for (HWND child : Descendants(parent))
        if (Text(child) == text) return child;
    return nullptr;
}

HWND FindChildById(HWND parent, int id) {
    for (HWND child : Descendants(parent))
        if (::GetDlgCtrlID(child) == id) return child;
    return nullptr;
}

HWND WaitChildByText(HWND parent, std::string_view text, Millis timeout) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindChildByText(parent, text)) != nullptr; },
              "control \"" + std::string(text) + "\"", timeout);
    return found;
}

HWND WaitChildById(HWND parent, int id, Millis timeout) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindChildById(parent, id)) != nullptr; },
              "control #" + std::to_string(id), timeout);
    return found;
}

std::string Text(HWND window) {
    if (!::IsWindow(window)) throw DriverError("Text: no such window");
    const auto length = static_cast<std::size_t>(sendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    const auto copied = static_cast<std::size_t>(
        sendWithTimeout(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(copied, length));
    return Narrow(text);
}

std::string ClassName(HWND window) {
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(window, name, 256);
    return Narrow(std::wstring_view(name, static_cast<std::size_t>(std::max(length, 0))));
}

int ControlId(HWND window) {
    return ::GetDlgCtrlID(window);
}
bool Visible(HWND window) {
    return ::IsWindowVisible(window) != FALSE;
}
bool Enabled(HWND window) {
    return ::IsWindowEnabled(window) != FALSE;
}

int CheckState(HWND window) {
    return static_cast<int>(sendWithTimeout(window, BM_GETCHECK, 0, 0));
}

RECT ScreenRect(HWND window) {
    RECT rect{};
    if (!::GetWindowRect(window, &rect)) throw DriverError("ScreenRect: no such window");
    return rect;
}

void Click(HWND control) {
    if (!::PostMessageW(control, BM_CLICK, 0, 0))
        throw DriverError(errorText("cannot post a click", ::GetLastError()));
}

void SendMouse(HWND control, Mouse what, int x, int y) {
    UINT message = WM_MOUSEMOVE;
    WPARAM keys = 0;
    switch (what) {
        case Mouse::Move:
            break;
        case Mouse::LeftDown:
            message = WM_LBUTTONDOWN, keys = MK_LBUTTON;
            break;
        case Mouse::LeftUp:
            message = WM_LBUTTONUP;
            break;
        case Mouse::RightDown:
            message = WM_RBUTTONDOWN, keys = MK_RBUTTON;
            break;
        case Mouse::RightUp:
            message = WM_RBUTTONUP;
            break;
    }
    if (!::PostMessageW(control, message, keys, MAKELPARAM(x, y)))
        throw DriverError(errorText("cannot post a mouse message", ::GetLastError()));
}

// ---------------------------------------------------------------- message boxes

std::optional<MessageBoxInfo> FindMessageBox(DWORD processId) {
    WindowQuery query;
    query.className = "#32770";
    query.processId = processId;
    HWND box = FindTopWindow(query);
    if (!box) return {};
    MessageBoxInfo info;
    info.window = box;
    info.title = Text(box);
    if (HWND text = ::GetDlgItem(box, kMessageTextId)) info.text = Text(text);
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND button = ::GetDlgItem(box, id);
        if (button && ::IsWindowVisible(button)) info.buttons.push_back(id);
    }
    return info;
}

MessageBoxInfo WaitMessageBox(DWORD processId, Millis timeout) {
    std::optional<MessageBoxInfo> box;
    WaitUntil([&] { return (box = FindMessageBox(processId)).has_value(); },
              processId ? "a message box of process " + std::to_string(processId)
                        : std::string("a message box"),
              timeout);
    return *box;
}

void Press(const MessageBoxInfo& box, int buttonId, Millis timeout) {
    HWND button = ::GetDlgItem(box.window, buttonId);
    if (!button) throw DriverError("message box has no button " + std::to_string(buttonId));
    Click(button);
    WaitUntil([&] { return !::IsWindow(box.window) || !::IsWindowVisible(box.window); },
              "message box \"" + box.title + "\" to close", timeout);
}

// ---------------------------------------------------------------- screenshots

void Screenshot(HWND window, const std::string& bmpPath) {
    using platform::win32::SelectedObject;
    using platform::win32::UniqueGdiObject;
    using platform::win32::UniqueMemoryDc;
    using platform::win32::WindowDc;

    // Copied from the screen, where the window is drawn: works for windows
    // of any process, as long as nothing covers them.
    RECT rect{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (window) rect = ScreenRect(window);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) throw DriverError("Screenshot: empty area");

    WindowDc screen(nullptr);
    UniqueMemoryDc memory(::CreateCompatibleDC(screen.get()));
    UniqueGdiObject bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    if (!screen || !memory || !bitmap) throw DriverError("Screenshot: no device context");
    {
        SelectedObject selected(memory.get(), bitmap.get());
        if (!::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top,
                      SRCCOPY))
            throw DriverError(errorText("Screenshot: BitBlt failed", ::GetLastError()));
    }

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as BMP files store rows
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::string pixels(stride * static_cast<std::size_t>(height), '\0');
    if (::GetDIBits(memory.get(), static_cast<HBITMAP>(bitmap.get()), 0, static_cast<UINT>(height),
                    pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) == 0)
        throw DriverError("Screenshot: GetDIBits failed");

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + pixels.size());
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    bytes += pixels;
    WriteWholeFile(bmpPath, bytes);
}

// ---------------------------------------------------------------- registry

void SetRegistryValue(Root root, std::string_view key, std::string_view name, DWORD type,
                      std::string_view bytes) {
    UniqueKey opened;
    LSTATUS status = ::RegCreateKeyExA(rootKey(root), Utf8ToAnsi(key).c_str(), 0, nullptr, 0,
                                       KEY_SET_VALUE, nullptr, opened.put(), nullptr);
    if (status != ERROR_SUCCESS)
        throw DriverError(
            errorText("cannot create key " + std::string(key), static_cast<DWORD>(status)));
    status = ::RegSetValueExA(opened.get(), Utf8ToAnsi(name).c_str(), 0, type,
                              reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size()));
    if (status != ERROR_SUCCESS)
        throw DriverError(
            errorText("cannot set value " + std::string(name), static_cast<DWORD>(status)));
}

void SetRegistryString(Root root, std::string_view key, std::string_view name,
                       std::string_view text) {
    std::string ansi = Utf8ToAnsi(text);
    ansi.push_back('\0');
    SetRegistryValue(root, key, name, REG_SZ, ansi);
}

void SetRegistryDword(Root root, std::string_view key, std::string_view name, DWORD value) {
    SetRegistryValue(root, key, name, REG_DWORD,
                     std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
}

std::optional<RegistryValue> GetRegistryValue(Root root, std::string_view key,
                                              std::string_view name) {
    UniqueKey opened;
    if (::RegOpenKeyExA(rootKey(root), Utf8ToAnsi(key).c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
        ERROR_SUCCESS)
        return {};
    const std::string ansiName = Utf8ToAnsi(name);
    RegistryValue value;
    DWORD size = 0;
    if (::RegQueryValueExA(opened.get(), ansiName.c_str(), nullptr, &value.type, nullptr, &size) !=
        ERROR_SUCCESS)
        return {};
    value.bytes.assign(size, '\0');
    if (size > 0 &&
        ::RegQueryValueExA(opened.get(), ansiName.c_str(), nullptr, &value.type,
                           reinterpret_cast<BYTE*>(value.bytes.data()), &size) != ERROR_SUCCESS)
        return {};
    value.bytes.resize(size);
    return value;
}

void DeleteRegistryValue(Root root, std::string_view key, std::string_view name) {
    UniqueKey opened;
    if (::RegOpenKeyExA(rootKey(root), Utf8ToAnsi(key).c_str(), 0, KEY_SET_VALUE, opened.put()) !=
        ERROR_SUCCESS)
        return;
    const LSTATUS status = ::RegDeleteValueA(opened.get(), Utf8ToAnsi(name).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        throw DriverError(
            errorText("cannot delete value " + std::string(name), static_cast<DWORD>(status)));
}

void DeleteRegistryTree(Root root, std::string_view key) {
    const LSTATUS status = ::RegDeleteTreeA(rootKey(root), Utf8ToAnsi(key).c_str());
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
        // RegDeleteTree empties the key; the key itself goes separately.
        ::RegDeleteKeyA(rootKey(root), Utf8ToAnsi(key).c_str());
        return;
    }
    throw DriverError(
        errorText("cannot delete key " + std::string(key), static_cast<DWORD>(status)));
}

// ---------------------------------------------------------------- files

void WriteWholeFile(const std::string& path, std::string_view bytes) {
    UniqueHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw DriverError(errorText("cannot create " + path, ::GetLastError()));
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) ||
        written != bytes.size())
        throw DriverError(errorText("cannot write " + path, ::GetLastError()));
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    UniqueHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    return bytes;
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetHidden(const std::string& path, bool hidden) {
    const std::wstring widePath = Widen(path);
    DWORD attributes = ::GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        throw DriverError(errorText("no such file " + path, ::GetLastError()));
    attributes =
        hidden ? (attributes | FILE_ATTRIBUTE_HIDDEN) : (attributes & ~FILE_ATTRIBUTE_HIDDEN);
    if (!::SetFileAttributesW(widePath.c_str(), attributes))
        throw DriverError(errorText("cannot set attributes of " + path, ::GetLastError()));
}

struct HeldFile::State {
    UniqueHandle release;
    UniqueHandle process;
};

HeldFile::HeldFile(const std::string& path, Millis maxHold) : state_(std::make_unique<State>()) {
    static std::atomic<unsigned> counter{0};
    const std::string event = "Local\\uidriver-hold-" + std::to_string(::GetCurrentProcessId()) +
                              "-" + std::to_string(counter++);
    state_->release.reset(::CreateEventW(nullptr, TRUE, FALSE, Widen(event).c_str()));
    UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, Widen(event + "-ready").c_str()));
    if (!state_->release || !ready)
        throw DriverError(errorText("cannot create events", ::GetLastError()));

    const auto seconds = std::max<long long>(1, (maxHold.count() + 999) / 1000);
    std::wstring line = Widen("\"" + holdfileExe() + "\" \"" + path + "\" " +
                              std::to_string(seconds) + " " + event);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info))
        throw DriverError(errorText("cannot start " + holdfileExe(), ::GetLastError()));
    ::CloseHandle(info.hThread);
    state_->process.reset(info.hProcess);

    HANDLE waits[] = {ready.get(), state_->process.get()};
    const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, 15000);
    if (woke == WAIT_OBJECT_0) return;
    DWORD code = 0;
    ::GetExitCodeProcess(state_->process.get(), &code);
    ::TerminateProcess(state_->process.get(), 1);
    throw DriverError(woke == WAIT_OBJECT_0 + 1
                          ? "holdfile could not open " + path + " (exit " + std::to_string(code) +
                                ")"
                          : "holdfile did not report within 15 s for " + path);
}

HeldFile::~HeldFile() {
    try {
        release();
    } catch (...) {
        // Destructors must not throw; the helper ends on its own timeout.
    }
}

void HeldFile::release() {
    if (!state_ || !state_->process) return;
    ::SetEvent(state_->release.get());
    if (::WaitForSingleObject(state_->process.get(), 10000) != WAIT_OBJECT_0) {
        ::TerminateProcess(state_->process.get(), 1);
        ::WaitForSingleObject(state_->process.get(), 5000);
    }
    state_->process.reset();
}

}  // namespace uidriver
