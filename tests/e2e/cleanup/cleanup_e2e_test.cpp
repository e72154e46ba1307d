// The end of an update, driven on the real program: "Finalizar" hands off to
// a copy at the drive root, the copy deletes the finished updater, offers a
// restart, and the next start of Windows deletes the copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "UpdateRoad.h"
#include "app/WaitTexts.h"
#include "app/win32/WaitWindow.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "uidriver.h"

namespace {

using namespace e2e;
using namespace uidriver;
using platform::win32::Widen;

constexpr const char* kWaiting = "Preparando para remover os arquivos de instalação. Aguarde...";

int Pixels(double twips) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

// Saves a screenshot when ATUALIZADOR_SCREENSHOTS names a folder.
void Shot(HWND window, const std::string& name) {
    const std::string folder = Env("ATUALIZADOR_SCREENSHOTS");
    if (!folder.empty()) Screenshot(window, WindowsPath(folder) + "\\" + name + ".bmp");
}

class CleanupRoad : public UpdateRoad {};
TEST_F(CleanupRoad, FromFinalizarToTheNextStartOfWindows) {
    const Update u = Prepare();
    const std::string copy = DriveRoot() + "Atualizador.exe";
    WalkWizard(u);

    // The remover got its argument; the copy is in place and registered.
    WaitUntil([&] { return FileExists(u.removerMarker); }, "the remover");
    EXPECT_EQ(
        ReadWholeFile(u.removerMarker).value_or(""),
        Quote(u.installedDb.substr(0, u.installedDb.rfind('\\') + 1) + "removedor.exe") + " /!");
    ASSERT_TRUE(FileExists(copy));
    ExpectRegisteredForRestart(copy);

    auto cleanup = AwaitCleanup(u, copy);
    const MessageBoxInfo box = WaitMessageBox(cleanup->id());
    ExpectRestartBox(box);
    Press(box, IDCANCEL);
    EXPECT_TRUE(cleanup->waitExit(kProcessEnd)) << "Cancel must end the cleanup instance";
    EXPECT_TRUE(FileExists(copy)) << "only a restart removes the running copy";

    // The next start of Windows.
    Process restart = Process::Start("wineboot.exe -r");
    restart.waitExit(Millis{120000});
    EXPECT_FALSE(FileExists(copy));
    EXPECT_FALSE(FileExists(WininitIni()));
    EXPECT_TRUE(FileExists(WininitBak()));
}

// The same road with what a real machine adds: names at the drive root
// taken by other files (left alone; the copy takes the next free name),
// "Visualizar informações" unticked (no remover is started), and another
// program renaming the running updater and putting its own at that path
// before "Finalizar" (refused: the copy started as administrator is the
// updater).
TEST_F(CleanupRoad, TakenNamesUntickedRemoverAndAnAttackerOnTheUpdatersPath) {
    const Update u = Prepare();
    WriteWholeFile(DriveRoot() + "Atualizador.exe", "someone else's");
    WriteWholeFile(DriveRoot() + "Atualizador0.exe", "someone else's");
    const std::string copy = DriveRoot() + "Atualizador00.exe";
    const std::string updater = ReadWholeFile(u.exe).value_or("");
    const std::wstring exe = Widen(u.exe);
    Walk walk;
    walk.keepCheck1 = false;
    walk.beforeFinalizar = [&] {
        const bool renamed = MoveFileW(exe.c_str(), Widen(u.folder + "\\renamed.exe").c_str());
        EXPECT_FALSE(renamed) << "the running updater was renamed";
        if (renamed) CopyOrThrow(RemoverStandIn(), u.exe);
        EXPECT_FALSE(DeleteFileW(exe.c_str())) << "the running updater was deleted";
        platform::win32::UniqueHandle writer(CreateFileW(
            exe.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(writer) << "the running updater was opened for writing";
    };
    WalkWizard(u, walk);

    EXPECT_EQ(ReadWholeFile(DriveRoot() + "Atualizador.exe"), "someone else's");
    EXPECT_EQ(ReadWholeFile(DriveRoot() + "Atualizador0.exe"), "someone else's");
    EXPECT_EQ(ReadWholeFile(copy), updater) << "the copy at the drive root is not the updater";
    ExpectRegisteredForRestart(copy);
    auto cleanup = AwaitCleanup(u, copy);
    EXPECT_FALSE(FileExists(u.removerMarker));
    Press(WaitMessageBox(cleanup->id()), IDCANCEL);
    EXPECT_TRUE(cleanup->waitExit(kProcessEnd));
}

// The cleanup window started directly, on a file of the test's own.
class CleanupWindow : public CleanupRoad {
  protected:
    void SetUp() override {
        CleanupRoad::SetUp();
        victim = MakeTempFolder("victim") + "\\Atualizador.exe";
        WriteWholeFile(victim, "MZ");
    }

    HWND Start() {
        process =
            std::make_unique<Process>(Process::Start(Quote(AtualizadorExe()) + " /!" + victim));
        return WaitTopWindow(CleanupWindowOf(process->id()));
    }

    std::string victim;
    std::unique_ptr<Process> process;
};

TEST_F(CleanupWindow, LockedFileKeepsTheWindowWaiting) {
    auto held = std::make_unique<HeldFile>(victim);
    HWND wait = Start();

    // As designed: 5550 x 510 twips of client, no title bar, no taskbar button.
    RECT client{};
    GetClientRect(wait, &client);
    EXPECT_EQ(client.right, Pixels(5550));
    EXPECT_EQ(client.bottom, Pixels(510));
    EXPECT_NE(GetWindowLongW(wait, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(GetWindowLongW(wait, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    HWND label = WaitChildById(wait, app::win32::kWaitLabel1);
    SleepFor(Millis{1700});  // three attempts
    EXPECT_EQ(Text(label), kWaiting);
    EXPECT_TRUE(FileExists(victim));
    EXPECT_FALSE(FindMessageBox(process->id()).has_value());
    Shot(wait, "4-limpeza-aguardando");

    held->release();
    WaitUntil([&] { return Text(label) == "Pronto"; }, "Pronto", Millis{3000});
    EXPECT_FALSE(FileExists(victim));
    const MessageBoxInfo box = WaitMessageBox(process->id());
    ExpectRestartBox(box);
    Shot(nullptr, "4-limpeza-pronto");
    Press(box, IDCANCEL);
    EXPECT_EQ(process->waitExit(kProcessEnd), 0u);
}

TEST_F(CleanupWindow, IconSlidesToTheFarEndAndBack) {
    HeldFile held(victim);  // keeps the window waiting meanwhile
    HWND wait = Start();
    HWND picture = WaitChildById(wait, app::win32::kWaitPicture1);
    HWND image1 = WaitChildById(wait, app::win32::kWaitImage1);
    HWND image2 = WaitChildById(wait, app::win32::kWaitImage2);
    HWND line = WaitChildById(wait, app::win32::kWaitLine1);
    const auto left = [&] { return ScreenRect(image2).left - ScreenRect(picture).left; };
    ASSERT_EQ(left(), 0);
    EXPECT_FALSE(Visible(line));

    SendMouse(image1, Mouse::LeftDown);
    SendMouse(image1, Mouse::LeftUp);

    // The icon moves every 10 ms: watch it closely.
    std::set<int> seen;
    bool lineSeen = false;
    const auto deadline = GetTickCount64() + 10000;
    while (GetTickCount64() < deadline) {
        const int now = left();
        seen.insert(now);
        lineSeen = lineSeen || Visible(line);
        if (now == 0 && seen.size() > 1 && !Visible(line)) break;
        Sleep(1);
    }
    ASSERT_GT(seen.size(), 1u) << "the icon never moved";
    EXPECT_EQ(*seen.rbegin(), Pixels(5100));
    EXPECT_EQ(*seen.begin(), 0);
    for (int x : seen) EXPECT_EQ(x % Pixels(300), 0) << x;
    EXPECT_TRUE(lineSeen);
    EXPECT_EQ(left(), 0);
    EXPECT_FALSE(Visible(line));
    EXPECT_TRUE(FileExists(victim)) << "the animation is independent of the cleanup";
}

TEST_F(CleanupWindow, OkRequestsTheRestartAndTheWindowLetsItHappen) {
    // Something pending for the restart, to see that it happened.
    const std::string pending = MakeTempFolder("pending") + "\\pending.txt";
    WriteWholeFile(pending, "x");
    WriteWholeFile(WininitIni(), "[Rename]\r\nNUL=" + pending + "\r\n");

    Start();
    const MessageBoxInfo box = WaitMessageBox(process->id());
    ExpectRestartBox(box);
    Press(box, IDOK);
    // Wine ends windowed programs on a restart; a veto would keep it running.
    process->waitExit(kProcessEnd);
    WaitUntil([&] { return !FileExists(pending); }, "the restart's pending deletion",
              Millis{30000});
}

}  // namespace
