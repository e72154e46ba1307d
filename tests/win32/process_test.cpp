#include <gtest/gtest.h>
#include <windows.h>

#include <future>

#include "TempFolder.h"
#include "platform/SystemError.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32UserInterface.h"
#include "uidriver.h"

namespace {

using platform::win32::ArgumentsOf;

// The cleanup copy finds its "/!path" argument this way: a wrong split hands
// it part of its own path or loses the first character.
TEST(Win32CommandArguments, FollowTheProgramPathLikeTheRuntime) {
    struct {
        const wchar_t* line;
        const wchar_t* arguments;
    } cases[] = {
        {L"\"C:\\Atualizador 2.exe\" /!C:\\Update\\Atualizador.exe",
         L"/!C:\\Update\\Atualizador.exe"},
        {L"C:\\ATUA~32R.EXE /!C:\\Program Files\\x.exe", L"/!C:\\Program Files\\x.exe"},
        {L"\"C:\\a.exe\"/!C:\\x", L"/!C:\\x"},
        {L"C:\\a.exe   /!x  ", L"/!x  "},
        // A tab is no space: left for the start-up rule, it selects the wizard.
        {L"C:\\a.exe \t/!x", L"\t/!x"},
        {L"\"C:\\a.exe\"\t/!x", L"\t/!x"},
        {L"\"C:\\a.exe\"", L""},
        {L"a.exe", L""},
        {L"\"C:\\unterminated", L""},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ArgumentsOf(c.line), c.arguments) << c.line;
}

TEST(Win32RunningProgram, KnowsItsFolderAndTitle) {
    platform::win32::Win32Platform system;
    EXPECT_EQ(system.executableTitle(), "win32_tests");
    const std::string folder = system.executableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(uidriver::FileExists(folder + "\\win32_tests.exe"));
}

TEST(Win32StartProgram, RunsWithoutWaitingAndReportsWhatCannotStart) {
    platform::win32::Win32Platform system;
    TempFolder dir;
    const std::string marker = dir / "started.txt";
    system.startProgram("cmd.exe /c echo x> \"" + marker + "\"", platform::WindowStyle::Hidden);
    uidriver::WaitUntil([&] { return uidriver::FileExists(marker); }, "the started program",
                        uidriver::Millis{20000});

    try {
        system.startProgram("\"" + (dir / "missing.exe") + "\" /!", platform::WindowStyle::Hidden);
        FAIL() << "starting a missing program must throw";
    } catch (const platform::SystemError& e) {
        EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    }
}

LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) ++*reinterpret_cast<int*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST(Win32ProcessPendingEvents, DeliversWhatIsQueuedAndKeepsQuit) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = countingProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"AtualizadorTestsCounter";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowW(windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
    ASSERT_TRUE(window);
    int delivered = 0;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&delivered));

    platform::win32::Win32Platform system;
    for (int i = 0; i < 3; ++i) ::PostMessageW(window, WM_APP, 0, 0);
    system.processPendingEvents();
    EXPECT_EQ(delivered, 3);

    // The message loop that follows must still see the request to quit.
    ::PostQuitMessage(7);
    system.processPendingEvents();
    MSG message{};
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 7u);
    ::DestroyWindow(window);
}

// Accented text reaches the box intact, an empty title becomes the
// application's, and the pressed button is the answer.
TEST(Win32MessageBox, ShowsUtf8TextUnderTheApplicationTitle) {
    platform::win32::Win32UserInterface ui;
    auto answer = std::async(std::launch::async, [&] {
        return ui.messageBox("Atenção: versão instalada\r\nContinuar?",
                             platform::mb::YesNo | platform::mb::Question);
    });
    const auto box = uidriver::WaitMessageBox(::GetCurrentProcessId());
    EXPECT_EQ(box.title, "Atualizador");
    EXPECT_EQ(box.text, "Atenção: versão instalada\r\nContinuar?");
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    uidriver::Press(box, IDNO);
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(answer.get(), platform::No);
}

}  // namespace
