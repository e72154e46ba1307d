#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Drives the updater's windows from another process, as a person would:
// start it, wait for its windows, read and click their controls, answer its
// message boxes, take screenshots, and prepare the registry and files it
// reads. Texts are UTF-8. Every wait polls with an explicit timeout and
// throws DriverError when it runs out, so a hung window fails the test
// instead of stalling it.
namespace uidriver {

using Millis = std::chrono::milliseconds;
inline constexpr Millis kDefaultTimeout{15000};

// A wait that ran out, or an action on something that is not there.
class DriverError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- paths

// A path as Windows programs see it: a Unix path (/x/y) becomes Wine's Z:\x\y;
// a Windows path comes back unchanged.
std::string WindowsPath(std::string_view path);
// The environment variable's value (UTF-8), empty when unset.
std::string Env(std::string_view name);
// The updater under test, from the ATUALIZADOR_EXE environment variable, as a
// Windows path. Throws DriverError when it is not set.
std::string AtualizadorExe();
// A fresh empty folder under the system's temporary folder.
std::string MakeTempFolder(std::string_view prefix = "e2e");

// ---------------------------------------------------------------- processes

class Process {
  public:
    // Starts a command line (program path quoted by the caller when needed)
    // without waiting for it, in `workingDir` (empty: this one's), with this
    // process's environment and the "NAME=value" entries of `environment`
    // in place of theirs. Throws DriverError when nothing starts.
    static Process Start(std::string_view commandLine, std::string_view workingDir = {},
                         const std::vector<std::string>& environment = {});

    Process(Process&&) noexcept;
    Process& operator=(Process&&) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // Ends the process if it is still running (so a failed test leaves no
    // window behind): end(), then closes the handle.
    ~Process();

    DWORD id() const noexcept { return id_; }
    HANDLE handle() const noexcept { return handle_; }
    bool running() const;
    // Waits for the end and returns the exit code; throws on timeout.
    DWORD waitExit(Millis timeout = kDefaultTimeout);
    // The exit code once ended, nothing while running.
    std::optional<DWORD> exitCode() const;
    // Asks its window threads to quit (WM_QUIT, which also ends modal
    // boxes) and waits up to `grace`; kills it if it is still running then.
    // Gentler than kill(): the program leaves the Wine desktop in order
    // (killed ones were seen to delay the next program's first window).
    void end(Millis grace = Millis{3000});
    // TerminateProcess, at once.
    void kill();
    // Lets the process run on after this object is gone.
    void detach() noexcept;

  private:
    Process(HANDLE handle, DWORD id) noexcept : handle_(handle), id_(id) {}
    void close() noexcept;
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// ---------------------------------------------------------------- windows

// What a top-level window must match; empty fields match anything.
struct WindowQuery {
    std::string title;      // exact window text
    std::string className;  // exact class name
    DWORD processId = 0;    // 0: any process
    bool visibleOnly = true;
};

// The first matching top-level window, or null.
HWND FindTopWindow(const WindowQuery& query);
// Polls until a matching top-level window exists; throws on timeout.
HWND WaitTopWindow(const WindowQuery& query, Millis timeout = kDefaultTimeout);
// Polls until no matching top-level window is left; throws on timeout.
void WaitNoTopWindow(const WindowQuery& query, Millis timeout = kDefaultTimeout);
// Every top-level window of a process (visible or not).
std::vector<HWND> TopWindowsOf(DWORD processId);

// A descendant control (searched through nested children, depth first) by
// its exact text or by its control id; null when none.
HWND FindChildByText(HWND parent, std::string_view text);
HWND FindChildById(HWND parent, int id);
// The same, polling until it appears; throws on timeout.
HWND WaitChildByText(HWND parent, std::string_view text, Millis timeout = kDefaultTimeout);
HWND WaitChildById(HWND parent, int id, Millis timeout = kDefaultTimeout);
// All descendants, depth first.
std::vector<HWND> Descendants(HWND parent);

// Reads across processes with WM_GETTEXT.
std::string Text(HWND window);
std::string ClassName(HWND window);
int ControlId(HWND window);
bool Visible(HWND window);  // the window and all its parents shown
bool Enabled(HWND window);
// BST_UNCHECKED 0, BST_CHECKED 1, BST_INDETERMINATE 2.
int CheckState(HWND window);
// Position in screen pixels.
RECT ScreenRect(HWND window);

// Presses a button or toggles a check box with a posted BM_CLICK: it returns
// at once, even when the click opens a modal box.
void Click(HWND control);

enum class Mouse { Move, LeftDown, LeftUp, RightDown, RightUp };
// Posts one mouse message to a control, at a point in its client area.
void SendMouse(HWND control, Mouse what, int x = 1, int y = 1);

// Polls until pred() holds; throws DriverError naming `what` on timeout.
template <typename Pred>
void WaitUntil(Pred pred, std::string_view what, Millis timeout = kDefaultTimeout);

// ---------------------------------------------------------------- message boxes

inline constexpr int kMessageTextId = 0xFFFF;

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string title;
    std::string text;
    std::vector<int> buttons;  // ids present among IDOK 1, IDCANCEL 2, IDRETRY 4, IDYES 6, IDNO 7
};

// A visible message box (class #32770) of the process (0: any), or nothing.
std::optional<MessageBoxInfo> FindMessageBox(DWORD processId = 0);
// Polls until one is shown; throws on timeout.
MessageBoxInfo WaitMessageBox(DWORD processId = 0, Millis timeout = kDefaultTimeout);
// Presses the button with that id (posted BM_CLICK) and waits until the box
// has gone; throws when the box has no such button or stays.
void Press(const MessageBoxInfo& box, int buttonId, Millis timeout = kDefaultTimeout);

// ---------------------------------------------------------------- screenshots

// Writes a 24-bit BMP of a window (null: the whole screen). The scripts turn
// it into PNG. Throws DriverError on failure.
void Screenshot(HWND window, const std::string& bmpPath);

// ---------------------------------------------------------------- registry

enum class Root { CurrentUser, LocalMachine };

// Writes a value, creating the key. Throws DriverError on failure.
void SetRegistryValue(Root root, std::string_view key, std::string_view name, DWORD type,
                      std::string_view bytes);
// A REG_SZ written through the ANSI API, with its terminating NUL.
void SetRegistryString(Root root, std::string_view key, std::string_view name,
                       std::string_view text);
void SetRegistryDword(Root root, std::string_view key, std::string_view name, DWORD value);
// The value's type and raw bytes, or nothing when absent.
struct RegistryValue {
    DWORD type = 0;
    std::string bytes;
};
std::optional<RegistryValue> GetRegistryValue(Root root, std::string_view key,
                                              std::string_view name);
void DeleteRegistryValue(Root root, std::string_view key, std::string_view name);
// Deletes a key with everything under it; absent is fine.
void DeleteRegistryTree(Root root, std::string_view key);

// ---------------------------------------------------------------- files

void WriteWholeFile(const std::string& path, std::string_view bytes);
std::optional<std::string> ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);  // any file or folder
void SetHidden(const std::string& path, bool hidden);

// Keeps a file open in a helper process (holdfile.exe) with read sharing
// only, so that deleting it fails as it does while another program uses it.
// The helper is the one the build made, or the UIDRIVER_HOLDFILE environment
// variable's.
class HeldFile {
  public:
    // Returns once the file is open; throws when the helper cannot open it.
    explicit HeldFile(const std::string& path, Millis maxHold = Millis{60000});
    ~HeldFile();  // releases
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    // Lets the helper close the file and waits for it to end.
    void release();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// ---------------------------------------------------------------- inline

void SleepFor(Millis step);

template <typename Pred>
void WaitUntil(Pred pred, std::string_view what, Millis timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pred()) return;
        if (std::chrono::steady_clock::now() >= deadline)
            throw DriverError("timed out after " + std::to_string(timeout.count()) +
                              " ms waiting for " + std::string(what));
        SleepFor(Millis{50});
    }
}

}  // namespace uidriver
