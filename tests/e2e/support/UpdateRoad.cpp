#include "UpdateRoad.h"

#include <algorithm>
#include <stdexcept>

#include "Packages.h"
#include "app/WaitTexts.h"
#include "app/win32/WaitWindow.h"
#include "platform/win32/Text.h"

namespace e2e {

using namespace uidriver;
using platform::win32::Narrow;
using platform::win32::Widen;

WindowQuery CleanupWindowOf(DWORD processId) {
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

Adopted::Adopted(HWND window) {
    GetWindowThreadProcessId(window, &id_);
    handle_ = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
                          FALSE, id_);
    if (!handle_) throw std::runtime_error("cannot open the cleanup process");
}

Adopted::~Adopted() {
    if (WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(handle_, 1);
        WaitForSingleObject(handle_, 10000);
    }
    CloseHandle(handle_);
}

bool Adopted::waitExit(Millis timeout) const {
    return WaitForSingleObject(handle_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
}

std::string Adopted::image() const {
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    QueryFullProcessImageNameW(handle_, 0, buffer, &size);
    return Narrow(std::wstring(buffer, size));
}

bool SamePath(const std::string& a, const std::string& b) {
    return CompareStringOrdinal(Widen(a).c_str(), -1, Widen(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::string RemoverStandIn() {
    return WindowsPath(REMOVEDOR_STANDIN);
}

void UpdateRoad::Clear() {
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

UpdateRoad::Update UpdateRoad::Prepare() {
    Update u;
    u.folder = MakeTempFolder("update");
    u.exe = u.folder + "\\Atualizador.exe";
    CopyOrThrow(AtualizadorExe(), u.exe);
    u.package = Package("XDB200", 20, "registros de XDB200");
    WriteWholeFile(u.folder + "\\db.xdb", u.package);
    const std::string product = MakeTempFolder("varnel");
    u.installedDb = product + "\\db.xdb";
    WriteWholeFile(u.installedDb, Package("XDB100", 10, "registros de XDB100"));
    CopyOrThrow(RemoverStandIn(), product + "\\removedor.exe");
    u.removerMarker = product + "\\removedor-ran.txt";
    SetRegistryString(Root::LocalMachine, kProductKey, "DB", u.installedDb);
    return u;
}

void UpdateRoad::WalkWizard(const Update& u, const Walk& walk) {
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

std::unique_ptr<Adopted> UpdateRoad::AwaitCleanup(const Update& u, const std::string& copy) {
    HWND wait = WaitTopWindow(CleanupWindowOf());
    auto cleanup = std::make_unique<Adopted>(wait);
    EXPECT_TRUE(SamePath(cleanup->image(), copy)) << cleanup->image();
    // Started minimized; shown, the window is restored at once.
    EXPECT_NO_THROW(WaitUntil([&] { return !IsIconic(wait); }, "a restored window", Millis{3000}));
    HWND label = WaitChildById(wait, app::win32::kWaitLabel1);
    WaitUntil([&] { return Text(label) == "Pronto"; }, "Pronto");
    EXPECT_FALSE(FileExists(u.exe));
    return cleanup;
}

void UpdateRoad::ExpectRestartBox(const MessageBoxInfo& box) {
    EXPECT_EQ(box.title, "Reinicialização");
    EXPECT_EQ(box.text, app::wait_texts::kRestartText);
    std::vector<int> buttons = box.buttons;
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ(buttons, (std::vector<int>{IDOK, IDCANCEL}));
}

void UpdateRoad::ExpectRegisteredForRestart(const std::string& copy) {
    const auto ini = ReadWholeFile(WininitIni());
    ASSERT_TRUE(ini.has_value());
    EXPECT_EQ(*ini, "\r\n[Rename]\r\nNUL=" + ShortPath(copy) + "\r\n");
}

}  // namespace e2e
