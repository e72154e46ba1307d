// The rest of the Win32 platform against the real system under Wine: the
// registry, short paths and wininit.ini, the command line, starting
// programs, pending events and the message box.
#include <gtest/gtest.h>
#include <windows.h>

#include <future>
#include <string>

#include "Win32Test.h"
#include "platform/Decl.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32UserInterface.h"

namespace {

using namespace win32test;
using platform::RegistryRoot;

// A 32-bit product keeps its key in the registry's 32-bit view, which a
// 64-bit process does not see by default: the installed database would look
// missing. Its text is in the ANSI code page, and may lack its NUL.
TEST(Win32RegistryRead, PrefersTheProductsThirtyTwoBitView) {
    const std::string key =
        "SOFTWARE\\AtualizadorTests\\" + std::to_string(::GetCurrentProcessId());
    const auto write = [&](REGSAM view, std::string_view bytes) {
        platform::win32::UniqueKey opened;
        return ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                 KEY_SET_VALUE | view, nullptr, opened.put(), nullptr) == 0 &&
               ::RegSetValueExA(opened.get(), "DB", 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(bytes.data()),
                                static_cast<DWORD>(bytes.size())) == 0;
    };
    ASSERT_TRUE(write(KEY_WOW64_32KEY, std::string_view("C:\\Atualiza\xe7\xe3o\\db.xdb", 23)));
    ASSERT_TRUE(write(KEY_WOW64_64KEY, "C:\\64\\db.xdb"));
    platform::win32::Win32Platform system;
    const auto read = [&] {
        return mdlRegistry::ReadRegistryValue(system, RegistryRoot::LocalMachine, key, "DB");
    };
    if (::GetACP() == 1252) {
        EXPECT_EQ(read(), "C:\\Atualização\\db.xdb");
    }
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0);
    EXPECT_EQ(read(), "C:\\64\\db.xdb");
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
    EXPECT_EQ(read(), "");
}

// Deep enough that the short form passes 164 characters, where a fixed
// buffer would give up and leave "NUL=" naming nothing.
TEST(Win32ShortPath, NamesTheFileEvenPastOneHundredSixtyFourCharacters) {
    platform::win32::Win32Platform system;
    TempFolder dir;
    std::string folder = dir.path();
    for (int i = 0; i < 20; ++i) {
        folder += "\\Pasta com um nome longo " + std::to_string(i);
        ASSERT_TRUE(::CreateDirectoryW(Widen(folder).c_str(), nullptr)) << folder;
    }
    const std::string path = Put(folder + "\\Atualizador com nome longo.exe");
    const std::string shortPath = Decl::GetShortPath(system, path);
    EXPECT_GT(shortPath.size(), 164u);
    EXPECT_EQ(shortPath.find(' '), std::string::npos);
    EXPECT_EQ(Contents(shortPath), "data");
    EXPECT_EQ(Decl::GetShortPath(system, dir / "missing.exe"), "");
}

// The real platform with its Windows folder elsewhere, so that the test
// leaves the prefix's wininit.ini alone.
class PlatformWithWindowsDir : public platform::win32::Win32Platform {
  public:
    explicit PlatformWithWindowsDir(std::string dir) : dir_(std::move(dir)) {}
    std::string windowsDirectory() override { return dir_; }

  private:
    std::string dir_;
};

TEST(Win32ScheduleDeleteOnRestart, AppendsOneWholeGroupPerCall) {
    TempFolder windows, files;
    PlatformWithWindowsDir system(windows.path());
    std::string expected;
    for (const char* name : {"Atualizador.exe", "Atualizador0.exe"}) {
        const std::string path = Put(files / name);
        Decl::ScheduleDeleteOnRestart(system, path);
        expected += "\r\n[Rename]\r\nNUL=" + system.shortPathName(path) + "\r\n";
        EXPECT_EQ(Contents(windows / "wininit.ini"), expected);
    }
}

// The cleanup copy finds its "/!path" argument this way: a wrong split hands
// it part of its own path or loses the argument's first character.
TEST(Win32CommandArguments, FollowTheProgramPathLikeTheRuntime) {
    using platform::win32::ArgumentsOf;
    EXPECT_EQ(ArgumentsOf(L"\"C:\\Atualizador 2.exe\" /!C:\\Up\\A.exe"), L"/!C:\\Up\\A.exe");
    EXPECT_EQ(ArgumentsOf(L"C:\\ATUA~32R.EXE /!C:\\Program Files\\x.exe"),
              L"/!C:\\Program Files\\x.exe");
    EXPECT_EQ(ArgumentsOf(L"\"C:\\a.exe\"/!C:\\x"), L"/!C:\\x");
    EXPECT_EQ(ArgumentsOf(L"C:\\a.exe   /!x  "), L"/!x  ");
    // A tab is no blank here: left for the start-up rule, it selects the wizard.
    EXPECT_EQ(ArgumentsOf(L"C:\\a.exe \t/!x"), L"\t/!x");
    EXPECT_EQ(ArgumentsOf(L"\"C:\\unterminated"), L"");
}

TEST(Win32StartProgram, RunsWithoutWaitingAndReportsWhatCannotStart) {
    platform::win32::Win32Platform system;
    TempFolder dir;
    system.startProgram("cmd.exe /c echo x> \"" + (dir / "started.txt") + "\"",
                        platform::WindowStyle::Hidden);
    for (int i = 0; i < 400 && !Exists(dir / "started.txt"); ++i) ::Sleep(50);
    EXPECT_TRUE(Exists(dir / "started.txt"));
    try {
        system.startProgram("\"" + (dir / "missing.exe") + "\" /!", platform::WindowStyle::Hidden);
        ADD_FAILURE() << "starting a missing program must throw";
    } catch (const platform::SystemError& e) {
        EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    }
}

// What is queued is delivered, and the message loop that follows still sees
// a request to quit.
TEST(Win32ProcessPendingEvents, DeliversWhatIsQueuedAndKeepsQuit) {
    static int delivered = 0;
    WNDCLASSW counter{};
    counter.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message == WM_APP) ++delivered;
        return ::DefWindowProcW(window, message, wParam, lParam);
    };
    counter.hInstance = ::GetModuleHandleW(nullptr);
    counter.lpszClassName = L"AtualizadorTestsCounter";
    ::RegisterClassW(&counter);
    HWND window = ::CreateWindowW(counter.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  counter.hInstance, nullptr);
    ASSERT_TRUE(window);
    ::PostMessageW(window, WM_APP, 0, 0);
    ::PostMessageW(window, WM_APP, 0, 0);
    ::PostQuitMessage(7);
    platform::win32::Win32Platform().processPendingEvents();
    EXPECT_EQ(delivered, 2);
    MSG message{};
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    ::DestroyWindow(window);
}

// Accented text reaches the box intact, an empty title becomes the
// application's, and the button pressed is the answer.
TEST(Win32MessageBox, ShowsUtf8TextUnderTheApplicationTitle) {
    platform::win32::Win32UserInterface ui;
    auto answer = std::async(std::launch::async, [&] {
        return ui.messageBox("Atenção: versão instalada", platform::mb::YesNo);
    });
    HWND box = nullptr;
    for (int i = 0; i < 400 && !box; ++i, ::Sleep(50))
        box = ::FindWindowW(L"#32770", L"Atualizador");
    ASSERT_TRUE(box);
    wchar_t text[64] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 64);
    EXPECT_STREQ(text, L"Aten\u00e7\u00e3o: vers\u00e3o instalada");
    EXPECT_FALSE(::GetDlgItem(box, IDOK));
    ::PostMessageW(::GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(answer.get(), platform::No);
}

}  // namespace
