// uidriver: the UI driver's operations as commands, for shell scripts.
// Windows are named by their exact title, or "class:NAME"; controls by their
// exact text, or "#ID". Every wait takes --timeout MS (default 15000).
// Exit status: 0 done, 1 failed or timed out (message on stderr), 2 usage.
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/win32/Text.h"
#include "uidriver.h"

namespace {

constexpr const char* kUsage = R"(usage: uidriver COMMAND [ARGS] [--timeout MS] [--pid PID]
  start CMDLINE [--wait]          start a program; prints its pid (--wait: its exit code)
  list                            top-level windows: handle, pid, class, title
  wait-window WINDOW              wait until the window is shown; prints its handle
  wait-gone WINDOW                wait until no such window is shown
  controls WINDOW                 its controls: id, class, visible, enabled, text
  text WINDOW CONTROL             prints the control's text
  state WINDOW CONTROL            prints visible= enabled= checked=
  click WINDOW CONTROL            posts a click to a button or check box
  mouse WINDOW CONTROL move|ldown|lup|rdown|rup [X Y]
  msgbox                          wait for a message box; prints title, text, buttons
  press ID                        wait for a message box and press button ID (1,2,4,6,7)
  screenshot FILE.bmp [WINDOW]    the screen, or one window
  reg-set HKLM|HKCU KEY NAME sz|expand|dword|binary VALUE   (binary: hex bytes)
  reg-get HKLM|HKCU KEY NAME      prints type and value
  reg-delete HKLM|HKCU KEY        the key and everything under it
  hide FILE | unhide FILE
)";

struct Usage {};

struct Options {
    uidriver::Millis timeout = uidriver::kDefaultTimeout;
    DWORD pid = 0;
    bool wait = false;
    std::vector<std::string> args;
};

const std::string& arg(const Options& o, std::size_t i) {
    if (i >= o.args.size()) throw Usage{};
    return o.args[i];
}

HWND window(const Options& o, const std::string& name) {
    uidriver::WindowQuery query;
    if (name.rfind("class:", 0) == 0)
        query.className = name.substr(6);
    else
        query.title = name;
    query.processId = o.pid;
    return uidriver::WaitTopWindow(query, o.timeout);
}

HWND control(const Options& o, HWND parent, const std::string& name) {
    if (name.size() > 1 && name[0] == '#')
        return uidriver::WaitChildById(parent, std::stoi(name.substr(1), nullptr, 0), o.timeout);
    return uidriver::WaitChildByText(parent, name, o.timeout);
}

uidriver::Root root(const std::string& name) {
    if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE") return uidriver::Root::LocalMachine;
    if (name == "HKCU" || name == "HKEY_CURRENT_USER") return uidriver::Root::CurrentUser;
    throw Usage{};
}

std::string hex(const void* pointer) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return text;
}

int run(const Options& o) {
    const std::string& command = arg(o, 0);
    if (command == "start") {
        uidriver::Process process = uidriver::Process::Start(arg(o, 1));
        if (o.wait) {
            std::cout << process.waitExit(o.timeout) << "\n";
        } else {
            std::cout << process.id() << "\n";
            // Left running: the caller drives it from here.
            process.detach();
        }
    } else if (command == "list") {
        EnumWindows(
            [](HWND w, LPARAM) -> BOOL {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                wchar_t title[256] = {};
                GetWindowTextW(w, title, 256);
                std::cout << hex(w) << " " << pid << " " << uidriver::ClassName(w) << " "
                          << (IsWindowVisible(w) ? "visible" : "hidden") << " \""
                          << platform::win32::Narrow(title) << "\"\n";
                return TRUE;
            },
            0);
    } else if (command == "wait-window") {
        std::cout << hex(window(o, arg(o, 1))) << "\n";
    } else if (command == "wait-gone") {
        uidriver::WindowQuery query;
        const std::string& name = arg(o, 1);
        (name.rfind("class:", 0) == 0 ? query.className : query.title) =
            name.rfind("class:", 0) == 0 ? name.substr(6) : name;
        query.processId = o.pid;
        uidriver::WaitNoTopWindow(query, o.timeout);
    } else if (command == "controls") {
        for (HWND c : uidriver::Descendants(window(o, arg(o, 1))))
            std::cout << uidriver::ControlId(c) << " " << uidriver::ClassName(c) << " "
                      << (uidriver::Visible(c) ? "visible" : "hidden") << " "
                      << (uidriver::Enabled(c) ? "enabled" : "disabled") << " \""
                      << uidriver::Text(c) << "\"\n";
    } else if (command == "text") {
        std::cout << uidriver::Text(control(o, window(o, arg(o, 1)), arg(o, 2))) << "\n";
    } else if (command == "state") {
        HWND c = control(o, window(o, arg(o, 1)), arg(o, 2));
        std::cout << "visible=" << uidriver::Visible(c) << " enabled=" << uidriver::Enabled(c)
                  << " checked=" << uidriver::CheckState(c) << "\n";
    } else if (command == "click") {
        uidriver::Click(control(o, window(o, arg(o, 1)), arg(o, 2)));
    } else if (command == "mouse") {
        HWND c = control(o, window(o, arg(o, 1)), arg(o, 2));
        const std::string& what = arg(o, 3);
        uidriver::Mouse m = what == "move"    ? uidriver::Mouse::Move
                            : what == "ldown" ? uidriver::Mouse::LeftDown
                            : what == "lup"   ? uidriver::Mouse::LeftUp
                            : what == "rdown" ? uidriver::Mouse::RightDown
                            : what == "rup"   ? uidriver::Mouse::RightUp
                                              : throw Usage{};
        const int x = o.args.size() > 5 ? std::stoi(o.args[4]) : 1;
        const int y = o.args.size() > 5 ? std::stoi(o.args[5]) : 1;
        uidriver::SendMouse(c, m, x, y);
    } else if (command == "msgbox") {
        const auto box = uidriver::WaitMessageBox(o.pid, o.timeout);
        std::cout << "title: " << box.title << "\ntext: " << box.text << "\nbuttons:";
        for (int id : box.buttons) std::cout << " " << id;
        std::cout << "\n";
    } else if (command == "press") {
        const int id = std::stoi(arg(o, 1));
        uidriver::Press(uidriver::WaitMessageBox(o.pid, o.timeout), id, o.timeout);
    } else if (command == "screenshot") {
        HWND w = o.args.size() > 2 ? window(o, o.args[2]) : nullptr;
        uidriver::Screenshot(w, uidriver::WindowsPath(arg(o, 1)));
    } else if (command == "reg-set") {
        const auto r = root(arg(o, 1));
        const std::string& key = arg(o, 2);
        const std::string& name = arg(o, 3);
        const std::string& type = arg(o, 4);
        const std::string& value = arg(o, 5);
        if (type == "sz") {
            uidriver::SetRegistryString(r, key, name, value);
        } else if (type == "expand") {
            uidriver::SetRegistryValue(r, key, name, REG_EXPAND_SZ, value + '\0');
        } else if (type == "dword") {
            uidriver::SetRegistryDword(r, key, name,
                                       static_cast<DWORD>(std::stoul(value, nullptr, 0)));
        } else if (type == "binary") {
            std::string bytes;
            for (std::size_t i = 0; i + 1 < value.size(); i += 2)
                bytes.push_back(static_cast<char>(std::stoi(value.substr(i, 2), nullptr, 16)));
            uidriver::SetRegistryValue(r, key, name, REG_BINARY, bytes);
        } else {
            throw Usage{};
        }
    } else if (command == "reg-get") {
        const auto value = uidriver::GetRegistryValue(root(arg(o, 1)), arg(o, 2), arg(o, 3));
        if (!value) throw uidriver::DriverError("no such value");
        std::cout << value->type << " ";
        if (value->type == REG_SZ || value->type == REG_EXPAND_SZ)
            std::cout << platform::win32::AnsiToUtf8(
                value->bytes.substr(0, value->bytes.find('\0')));
        else
            for (unsigned char c : value->bytes) std::printf("%02x", c);
        std::cout << std::endl;
    } else if (command == "reg-delete") {
        uidriver::DeleteRegistryTree(root(arg(o, 1)), arg(o, 2));
    } else if (command == "hide" || command == "unhide") {
        uidriver::SetHidden(uidriver::WindowsPath(arg(o, 1)), command == "hide");
    } else {
        throw Usage{};
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string a = platform::win32::Narrow(argv[i]);
            if (a == "--timeout" && i + 1 < argc)
                o.timeout = uidriver::Millis{std::stoll(platform::win32::Narrow(argv[++i]))};
            else if (a == "--pid" && i + 1 < argc)
                o.pid = static_cast<DWORD>(std::stoul(platform::win32::Narrow(argv[++i])));
            else if (a == "--wait")
                o.wait = true;
            else
                o.args.push_back(a);
        }
        return run(o);
    } catch (const Usage&) {
        std::cerr << kUsage;
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "uidriver: " << e.what() << "\n";
        return 1;
    }
}
