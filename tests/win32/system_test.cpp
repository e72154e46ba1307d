// The rest of the Win32 platform against the real system under Wine: the
// registry, short paths, appending to wininit.ini, the command line, a
// program that cannot start and pending events. (A started program, the
// message box and one whole wininit.ini order: the end-to-end road.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Win32Test.h"
#include "platform/Decl.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"
#include "platform/win32/Win32Platform.h"

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
// buffer would give up and leave "NUL=" naming nothing. A second order is
// appended to wininit.ini, not written over the first.
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
    system.appendAnsiText(dir / "wininit.ini", "[Rename]\r\n");
    system.appendAnsiText(dir / "wininit.ini", "NUL=" + shortPath + "\r\n");
    EXPECT_EQ(Contents(dir / "wininit.ini"), "[Rename]\r\nNUL=" + shortPath + "\r\n");
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

// A program that cannot start is a failure with the system's number, never
// taken for a cleanup started.
TEST(Win32StartProgram, ReportsWhatCannotStart) {
    TempFolder dir;
    try {
        platform::win32::Win32Platform().startProgram("\"" + (dir / "missing.exe") + "\" /!",
                                                      platform::WindowStyle::Hidden);
        ADD_FAILURE() << "starting a missing program must throw";
    } catch (const platform::SystemError& e) {
        EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    }
}

// What is queued is delivered, and the message loop that follows still sees
// a request to quit.
TEST(Win32ProcessPendingEvents, DeliversWhatIsQueuedAndKeepsQuit) {
    static int delivered = 0;
    const TIMERPROC count = [](HWND, UINT, UINT_PTR, DWORD) { ++delivered; };
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 1, count);
    ::Sleep(50);
    platform::win32::Win32Platform().processPendingEvents();
    ::KillTimer(nullptr, timer);
    EXPECT_GE(delivered, 1);
    ::PostQuitMessage(7);
    platform::win32::Win32Platform().processPendingEvents();
    MSG message{};
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
}

}  // namespace
