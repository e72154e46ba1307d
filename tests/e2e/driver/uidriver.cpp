// uidriver: what only Win32 sees of another program's windows, for the
// end-to-end tests (e2ebench.py) and scripts/demo.sh; keys go through xdotool.
// Windows are named by their class, "class:NAME"; controls by their id, "#ID".
// Every wait gives up after --timeout MS (default 15000). Texts are printed in
// UTF-8 byte for byte (CR LF inside a text stays). Exit status: 0 done, 1
// failed, timed out or not understood (message on stderr).
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"

namespace {

using platform::win32::Narrow;
using platform::win32::UniqueHandle;
using platform::win32::Widen;
using Clock = std::chrono::steady_clock;

const std::runtime_error kUsage(R"(usage: uidriver COMMAND [ARGS] [--timeout MS]
  start-suspended CMDLINE   (resumed once a line comes on the input)
  wait-window WINDOW        (prints 1 if it is minimized, else 0)
  wait-gone WINDOW | text WINDOW CONTROL | click WINDOW CONTROL | focus WINDOW
  msgbox [ID]               (its title and text; then presses button ID)
  hold FILE MS              (sharing only reading, for MS)
  probe WINDOW BUTTON STATUS PREFIX)");

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

Clock::duration timeout = std::chrono::milliseconds(15000);

// Polls until found() gives something; throws naming `what` once the
// timeout has passed.
template <typename Find>
auto WaitFor(Find found, const std::string& what) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (auto result = found()) return result;
        if (Clock::now() > deadline) throw std::runtime_error("timed out waiting for " + what);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// A message to another process's window: a window that does not answer
// fails the command instead of hanging it.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, 5000, &result))
        throw std::runtime_error("a window did not answer message " + std::to_string(message));
    return static_cast<LRESULT>(result);
}

std::string Text(HWND window) {
    std::wstring text(static_cast<std::size_t>(Send(window, WM_GETTEXTLENGTH)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return Narrow(text);
}

// The first shown top-level window of a class ("class:NAME", or NAME).
HWND Shown(const std::string& name) {
    const std::wstring className = Widen(name.substr(name.rfind("class:", 0) == 0 ? 6 : 0));
    for (HWND window = nullptr;
         (window = ::FindWindowExW(nullptr, window, className.c_str(), nullptr));)
        if (::IsWindowVisible(window)) return window;
    return nullptr;
}

HWND WaitWindow(const std::string& name) {
    return WaitFor([&] { return Shown(name); }, "window " + name);
}

// A descendant (the steps' panels hold their own controls) by its id, "#ID".
HWND Control(HWND parent, const std::string& name) {
    std::pair<int, HWND> search{std::stoi(name.substr(1)), nullptr};
    const WNDENUMPROC match = [](HWND child, LPARAM data) -> BOOL {
        auto& [id, found] = *reinterpret_cast<std::pair<int, HWND>*>(data);
        if (::GetDlgCtrlID(child) == id) found = child;
        return found == nullptr;
    };
    const auto find = [&] {
        ::EnumChildWindows(parent, match, reinterpret_cast<LPARAM>(&search));
        return search.second;
    };
    return WaitFor(find, "control " + name);
}

void Click(HWND button) {
    if (!::PostMessageW(button, BM_CLICK, 0, 0)) throw std::runtime_error("cannot post a click");
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void UntilALine() {
    for (int c = 0; c != '\n' && c != EOF;) c = std::getchar();
}

// Clicks BUTTON and keeps asking the window until BUTTON's text changes.
std::string Probe(HWND window, HWND button, HWND status, const std::string& prefix) {
    const std::string before = Text(button);
    const auto clicked = Clock::now();
    Click(button);
    long long worst = 0;
    bool progress = false;
    const auto timed = [&](auto ask) {
        const auto start = Clock::now();
        auto answer = ask();
        worst = std::max(worst, MillisecondsSince(start));
        return answer;
    };
    WaitFor(
        [&] {
            timed([&] { return Send(window, WM_NULL); });
            progress = progress || timed([&] { return Text(status); }).rfind(prefix, 0) == 0;
            return timed([&] { return Text(button); }) != before;
        },
        "the text of the button to change");
    return "worst " + std::to_string(worst) + " ms, progress " + (progress ? "seen" : "never") +
           ", took " + std::to_string(MillisecondsSince(clicked)) + " ms\n";
}

int Run(const std::vector<std::string>& a) {
    const auto arg = [&](std::size_t i) -> const std::string& {
        if (i >= a.size()) throw kUsage;
        return a[i];
    };
    const std::string& command = arg(0);
    if (command == "start-suspended") {
        std::wstring line = Widen(arg(1));
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                              nullptr, nullptr, &startup, &started))
            throw std::runtime_error("cannot start " + arg(1));
        UniqueHandle process(started.hProcess), thread(started.hThread);
        Print(std::to_string(started.dwProcessId) + "\n");
        UntilALine();
        ::ResumeThread(thread.get());
    } else if (command == "wait-window") {
        Print(::IsIconic(WaitWindow(arg(1))) ? "1\n" : "0\n");
    } else if (command == "wait-gone") {
        WaitFor([&] { return Shown(arg(1)) == nullptr; }, "no window " + arg(1));
    } else if (command == "text") {
        Print(Text(Control(WaitWindow(arg(1)), arg(2))) + "\n");
    } else if (command == "click") {
        Click(Control(WaitWindow(arg(1)), arg(2)));
    } else if (command == "msgbox") {
        HWND box = WaitWindow("class:#32770");
        HWND text = ::GetDlgItem(box, 0xFFFF);
        Print(Text(box) + "\n" + (text ? Text(text) : std::string()));
        if (a.size() < 2) return 0;
        Click(::GetDlgItem(box, std::stoi(arg(1))));
        WaitFor([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, "the box to close");
    } else if (command == "focus") {
        HWND window = WaitWindow(arg(1));
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
        const bool inside = info.hwndFocus && ::IsChild(window, info.hwndFocus);
        Print(std::to_string(inside ? ::GetDlgCtrlID(info.hwndFocus) : 0) + "\n");
    } else if (command == "hold") {
        UniqueHandle file(::CreateFileW(Widen(arg(1)).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + arg(1));
        Print("held\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(std::stoll(arg(2))));
    } else if (command == "probe") {
        HWND window = WaitWindow(arg(1));
        Print(Probe(window, Control(window, arg(2)), Control(window, arg(3)), arg(4)));
    } else {
        throw kUsage;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) {
            if (std::wstring_view(argv[i]) == L"--timeout" && i + 1 < argc)
                timeout = std::chrono::milliseconds(std::stoll(argv[++i]));
            else
                args.push_back(Narrow(argv[i]));
        }
        return Run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "uidriver: %s\n", e.what());
        return 1;
    }
}
