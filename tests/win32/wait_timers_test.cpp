// The cleanup window's two timers, measured by the ticks the real window
// receives: the deletion is tried every half second, and the icon moves
// every 10 ms once clicked.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <vector>

#include "app/win32/WaitWindow.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32UserInterface.h"

namespace {

// When each timer ticked, by its id.
std::map<WPARAM, std::vector<ULONGLONG>> ticks;

LRESULT CALLBACK RecordTicks(int code, WPARAM removed, LPARAM message) {
    const auto* msg = reinterpret_cast<const MSG*>(message);
    if (code == HC_ACTION && removed == PM_REMOVE && msg->message == WM_TIMER)
        ticks[msg->wParam].push_back(GetTickCount64());
    return CallNextHookEx(nullptr, code, removed, message);
}

// A file that stays locked: every attempt fails. The first attempt clicks
// the icon; the sixth ends the window.
class LockedFile : public platform::win32::Win32Platform {
  public:
    std::unique_ptr<platform::HeldFile> holdToRemove(std::string_view,
                                                     std::uint32_t& error) override {
        if (++attempts == 1) {
            HWND wait = FindWindowW(app::win32::kWaitWindowClass, nullptr);
            HWND icon =
                GetDlgItem(GetDlgItem(wait, app::win32::kWaitPicture1), app::win32::kWaitImage1);
            PostMessageW(icon, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
            PostMessageW(icon, WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
        } else if (attempts == 6) {
            PostQuitMessage(0);
        }
        error = ERROR_SHARING_VIOLATION;
        return nullptr;
    }
    bool fileInUse(std::string_view) override { return true; }
    int attempts = 0;
};

double MedianInterval(const std::vector<ULONGLONG>& at) {
    std::vector<double> gaps;
    for (std::size_t i = 1; i < at.size(); ++i)
        gaps.push_back(static_cast<double>(at[i] - at[i - 1]));
    if (gaps.empty()) return 0;
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    return gaps[gaps.size() / 2];
}

TEST(Win32WaitWindow, TriesEveryHalfSecondAndMovesTheIconEveryTenMilliseconds) {
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, RecordTicks, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    // Should the timers never tick, the window is ended after 20 s all the same.
    HANDLE guard = nullptr;
    CreateTimerQueueTimer(
        &guard, nullptr,
        [](PVOID thread, BOOLEAN) {
            PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(thread)), WM_QUIT, 0,
                               0);
        },
        reinterpret_cast<PVOID>(static_cast<UINT_PTR>(GetCurrentThreadId())), 20000, 0, 0);
    LockedFile system;
    platform::win32::Win32UserInterface ui;
    app::win32::RunWaitWindow(GetModuleHandleW(nullptr), 0, system, ui, "C:\\locked.exe");
    DeleteTimerQueueTimer(nullptr, guard, INVALID_HANDLE_VALUE);
    UnhookWindowsHookEx(hook);
    DestroyWindow(FindWindowW(app::win32::kWaitWindowClass, nullptr));

    EXPECT_EQ(system.attempts, 6);
    ASSERT_EQ(ticks.size(), 2u) << "two timers tick";
    std::vector<double> intervals;
    for (const auto& [id, at] : ticks) intervals.push_back(MedianInterval(at));
    std::sort(intervals.begin(), intervals.end());
    // Timers tick on the system's clock: 10 ms under Wine, 15.6 ms on Windows.
    EXPECT_GE(intervals[0], 5);
    EXPECT_LE(intervals[0], 18) << "the icon's timer";
    EXPECT_GE(intervals[1], 400);
    EXPECT_LE(intervals[1], 650) << "the deletion's timer";
}

}  // namespace
