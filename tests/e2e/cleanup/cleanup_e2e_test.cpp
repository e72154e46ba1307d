// The end of an update, driven on the real program: "Finalizar" hands off to
// a copy at the drive root, the copy deletes the finished updater, offers a
// restart, and the next start of Windows deletes the copy.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "Packages.h"
#include "app/WaitTexts.h"
#include "app/win32/WaitWindow.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "uidriver.h"

namespace {

using namespace uidriver;
using platform::win32::Narrow;
using platform::win32::Widen;

constexpr const char* kProductKey = "SOFTWARE\\Holmcrest\\Varnel R40";
constexpr const char* kWaiting = "Preparando para remover os arquivos de instalação. Aguarde...";
constexpr Millis kProcessEnd{20000};

// The cleanup window (of one process, or of any), shown or not.
WindowQuery CleanupWindowOf(DWORD processId = 0) {
    WindowQuery query;
    query.className = "AtualizadorWait";
    query.processId = processId;
    return query;
}

WindowQuery WindowOf(DWORD processId) {
    WindowQuery query;
    query.processId = processId;
    return query;
}

std::string Quote(const std::string& path) {
    return "\"" + path + "\"";
}

std::string WindowsDir() {
    wchar_t buffer[MAX_PATH] = {};
    GetWindowsDirectoryW(buffer, MAX_PATH);
    return Narrow(buffer);
}
std::string DriveRoot() {
    return WindowsDir().substr(0, 3);
}
std::string WininitIni() {
    return WindowsDir() + "\\wininit.ini";
}
std::string WininitBak() {
    return WindowsDir() + "\\wininit.bak";
}

std::string ShortPath(const std::string& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(Widen(path).c_str(), buffer, MAX_PATH);
    return Narrow(std::wstring(buffer, n));
}

void CopyOrThrow(const std::string& from, const std::string& to) {
    if (!CopyFileW(Widen(from).c_str(), Widen(to).c_str(), FALSE))
        throw std::runtime_error("cannot copy " + from + " to " + to);
}

void Remove(const std::string& path) {
    DeleteFileW(Widen(path).c_str());
}

int Pixels(double twips) {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

// A process this test did not start (the cleanup copy that the updater
// starts), held by its handle so that it can be awaited and, when a test
// fails half-way, ended.
class Adopted {
  public:
    explicit Adopted(HWND window) {
        GetWindowThreadProcessId(window, &id_);
        handle_ = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                              FALSE, id_);
        if (!handle_) throw std::runtime_error("cannot open the cleanup process");
    }
    ~Adopted() {
        if (WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(handle_, 1);
            WaitForSingleObject(handle_, 10000);
        }
        CloseHandle(handle_);
    }
    Adopted(const Adopted&) = delete;
    Adopted& operator=(const Adopted&) = delete;

    DWORD id() const { return id_; }
    bool waitExit(Millis timeout) const {
        return WaitForSingleObject(handle_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
    }
    std::string image() const {
        wchar_t buffer[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        QueryFullProcessImageNameW(handle_, 0, buffer, &size);
        return Narrow(std::wstring(buffer, size));
    }

  private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

bool SamePath(const std::string& a, const std::string& b) {
    return CompareStringOrdinal(Widen(a).c_str(), -1, Widen(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::string Package(std::string_view version, std::int16_t records) {
    return e2e::Package(version, records, "registros de " + std::string(version));
}

// Saves a screenshot when CLEANUP_SCREENSHOTS names a folder.
void Shot(HWND window, const std::string& name) {
    const std::string folder = Env("CLEANUP_SCREENSHOTS");
    if (!folder.empty()) Screenshot(window, WindowsPath(folder) + "\\" + name + ".bmp");
}

// How a test walks the wizard.
struct Walk {
    bool keepCheck1 = true;
    std::string workingDir;                // empty: the update folder
    std::vector<std::string> environment;  // "NAME=value" for the updater
    std::function<void()> beforeFinalizar;
};

class CleanupRoad : public ::testing::Test {
  protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }

    // Leaves no cleanup window, copy or pending deletion behind.
    void Clear() {
        WindowQuery hiddenToo = CleanupWindowOf();
        hiddenToo.visibleOnly = false;
        for (int tries = 0; tries < 10; ++tries) {
            HWND left = FindTopWindow(hiddenToo);
            if (!left) break;
            Adopted stray(left);  // ended by its destructor
        }
        ASSERT_EQ(FindTopWindow(hiddenToo), nullptr) << "a cleanup instance would not end";
        for (const char* name : {"Atualizador.exe", "Atualizador0.exe", "Atualizador00.exe"})
            Remove(DriveRoot() + name);
        Remove(WininitIni());
        Remove(WininitBak());
        DeleteRegistryValue(Root::LocalMachine, kProductKey, "DB");
    }

    // An update folder (the updater and a newer db.xdb) and an installed
    // product (an older database and a stand-in remover).
    struct Update {
        std::string folder, exe, installedDb, removerMarker, package;
    };
    Update Prepare() {
        Update u;
        u.folder = MakeTempFolder("update");
        u.exe = u.folder + "\\Atualizador.exe";
        CopyOrThrow(AtualizadorExe(), u.exe);
        u.package = Package("XDB200", 20);
        WriteWholeFile(u.folder + "\\db.xdb", u.package);
        const std::string product = MakeTempFolder("varnel");
        u.installedDb = product + "\\db.xdb";
        WriteWholeFile(u.installedDb, Package("XDB100", 10));
        CopyOrThrow(WindowsPath(REMOVEDOR_STANDIN), product + "\\removedor.exe");
        u.removerMarker = product + "\\removedor-ran.txt";
        SetRegistryString(Root::LocalMachine, kProductKey, "DB", u.installedDb);
        return u;
    }

    // "Prosseguir" twice, then "Finalizar"; returns once the updater ended.
    void WalkWizard(const Update& u, const Walk& walk = Walk()) {
        Process wizard = Process::Start(
            Quote(u.exe), walk.workingDir.empty() ? u.folder : walk.workingDir, walk.environment);
        HWND window = WaitTopWindow(WindowOf(wizard.id()));
        HWND next = WaitChildByText(window, "Prosseguir");
        HWND label4 = WaitChildByText(window, "Verificando versão atual. Aguarde...");
        Click(next);
        WaitUntil(
            [&] { return Text(label4) != "Verificando versão atual. Aguarde..." && Enabled(next); },
            "the version check");
        Click(next);
        WaitUntil([&] { return Text(next) == "Finalizar"; }, "the installation");
        if (!walk.keepCheck1) {
            HWND check = WaitChildByText(window, "Visualizar informações do novo Banco de Dados");
            Click(check);
            WaitUntil([&] { return CheckState(check) == BST_UNCHECKED; }, "Check1 unticked");
        }
        EXPECT_EQ(ReadWholeFile(u.installedDb), u.package);
        EXPECT_FALSE(FileExists(u.folder + "\\db.xdb"));
        if (walk.beforeFinalizar) walk.beforeFinalizar();
        Click(next);
        EXPECT_EQ(wizard.waitExit(kProcessEnd), 0u);
    }

    // The cleanup instance that the hand-off started: checks it runs from
    // `copy`, restored, and deletes the finished updater.
    std::unique_ptr<Adopted> AwaitCleanup(const Update& u, const std::string& copy) {
        HWND wait = WaitTopWindow(CleanupWindowOf());
        auto cleanup = std::make_unique<Adopted>(wait);
        EXPECT_TRUE(SamePath(cleanup->image(), copy)) << cleanup->image();
        // Started minimized; shown, the window is restored at once.
        EXPECT_NO_THROW(
            WaitUntil([&] { return !IsIconic(wait); }, "a restored window", Millis{3000}));
        HWND label = WaitChildById(wait, app::win32::kWaitLabel1);
        WaitUntil([&] { return Text(label) == "Pronto"; }, "Pronto");
        EXPECT_FALSE(FileExists(u.exe));
        return cleanup;
    }

    static void ExpectRestartBox(const MessageBoxInfo& box) {
        EXPECT_EQ(box.title, "Reinicialização");
        EXPECT_EQ(box.text, app::wait_texts::kRestartText);
        std::vector<int> buttons = box.buttons;
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(buttons, (std::vector<int>{IDOK, IDCANCEL}));
    }

    static void ExpectRegisteredForRestart(const std::string& copy) {
        const auto ini = ReadWholeFile(WininitIni());
        ASSERT_TRUE(ini.has_value());
        EXPECT_EQ(*ini, "\r\n[Rename]\r\nNUL=" + ShortPath(copy) + "\r\n");
    }
};

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

TEST_F(CleanupRoad, UntickedCheck1StartsNoRemover) {
    const Update u = Prepare();
    Walk unticked;
    unticked.keepCheck1 = false;
    WalkWizard(u, unticked);
    auto cleanup = AwaitCleanup(u, DriveRoot() + "Atualizador.exe");
    // The remover would have been started before the copy was made.
    EXPECT_FALSE(FileExists(u.removerMarker));
    Press(WaitMessageBox(cleanup->id()), IDCANCEL);
    EXPECT_TRUE(cleanup->waitExit(kProcessEnd));
}

TEST_F(CleanupRoad, TakenNamesAtTheDriveRootAreLeftAlone) {
    const Update u = Prepare();
    WriteWholeFile(DriveRoot() + "Atualizador.exe", "someone else's");
    WriteWholeFile(DriveRoot() + "Atualizador0.exe", "someone else's");
    const std::string copy = DriveRoot() + "Atualizador00.exe";

    WalkWizard(u);

    EXPECT_EQ(ReadWholeFile(DriveRoot() + "Atualizador.exe"), "someone else's");
    EXPECT_EQ(ReadWholeFile(DriveRoot() + "Atualizador0.exe"), "someone else's");
    ExpectRegisteredForRestart(copy);
    auto cleanup = AwaitCleanup(u, copy);
    Press(WaitMessageBox(cleanup->id()), IDCANCEL);
    EXPECT_TRUE(cleanup->waitExit(kProcessEnd));
}

// The updater runs as administrator from a folder that other programs can
// write (Downloads, a share). DLLs of system names put there, or in the
// folder it is started in, must never be loaded: not by the wizard, nor by
// the cleanup copy it starts. Wine prefers its own DLLs; told to prefer
// these names' native copies, it searches the program's folder first, as
// Windows does.
TEST_F(CleanupRoad, DllsPlantedBesideTheUpdaterOrWhereItStartsAreNeverLoaded) {
    const Update u = Prepare();
    const std::string current = MakeTempFolder("current");
    const std::vector<std::string> names = {"uxtheme",  "rsaenh",    "bcrypt",  "crypt32",
                                            "dwmapi",   "cryptbase", "cryptsp", "version",
                                            "comctl32", "msimg32"};
    std::string preferNative;
    for (const std::string& name : names) {
        for (const std::string& folder : {u.folder, current})
            CopyOrThrow(WindowsPath(PLANTED_DLL), folder + "\\" + name + ".dll");
        preferNative += (preferNative.empty() ? "" : ",") + name;
    }
    Walk planted;
    planted.workingDir = current;
    planted.environment = {"WINEDLLOVERRIDES=" + Env("WINEDLLOVERRIDES") + ";" + preferNative +
                           "=n,b"};
    WalkWizard(u, planted);
    auto cleanup = AwaitCleanup(u, DriveRoot() + "Atualizador.exe");
    Press(WaitMessageBox(cleanup->id()), IDCANCEL);
    EXPECT_TRUE(cleanup->waitExit(kProcessEnd));

    for (const std::string& name : names)
        for (const std::string& folder : {u.folder, current})
            EXPECT_FALSE(FileExists(folder + "\\" + name + ".dll.loaded")) << folder << " " << name;
}

// Under Wine, as under Windows, a running program's file can be renamed and
// another put at its path. The copy that "Finalizar" starts as
// administrator must be the updater all the same.
TEST_F(CleanupRoad, AnotherProgramCannotTakeTheUpdatersPlaceBeforeFinalizar) {
    const Update u = Prepare();
    const std::string updater = ReadWholeFile(u.exe).value_or("");
    const std::wstring exe = Widen(u.exe);
    Walk attacked;
    attacked.beforeFinalizar = [&] {
        const bool renamed = MoveFileW(exe.c_str(), Widen(u.folder + "\\renamed.exe").c_str());
        EXPECT_FALSE(renamed) << "the running updater was renamed";
        if (renamed) CopyOrThrow(WindowsPath(REMOVEDOR_STANDIN), u.exe);
        EXPECT_FALSE(DeleteFileW(exe.c_str())) << "the running updater was deleted";
        platform::win32::UniqueHandle writer(CreateFileW(
            exe.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(writer) << "the running updater was opened for writing";
    };
    WalkWizard(u, attacked);
    const std::string copy = DriveRoot() + "Atualizador.exe";
    EXPECT_EQ(ReadWholeFile(copy), updater) << "the copy at the drive root is not the updater";
    auto cleanup = AwaitCleanup(u, copy);
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
    Shot(wait, "wait-waiting");

    held->release();
    WaitUntil([&] { return Text(label) == "Pronto"; }, "Pronto", Millis{3000});
    EXPECT_FALSE(FileExists(victim));
    const MessageBoxInfo box = WaitMessageBox(process->id());
    ExpectRestartBox(box);
    Shot(nullptr, "wait-pronto");
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
