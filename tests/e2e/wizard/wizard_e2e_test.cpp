// The update wizard driven on the real program: each outcome of the version
// check, the installation with and without a locked database, and the
// program's ends, checked on screen and on disk.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Packages.h"
#include "app/AtualizadorTexts.h"
#include "app/win32/AtualizadorWindow.h"
#include "db/API_FILE.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "uidriver.h"

namespace {

using namespace uidriver;
using namespace app::win32;
using platform::win32::Widen;

constexpr const char* kProductKey = "SOFTWARE\\Holmcrest\\Varnel R40";
constexpr Millis kProcessEnd{20000};

// The native tests hold the program's texts word for word; here they must
// reach the screen.
namespace texts = app::atualizador_texts;
const std::string kSuccess(texts::kInstalled);

std::string Package(const std::string& version, std::int16_t records) {
    return e2e::Package(version, records, "records of " + version);
}

// The names of the files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    platform::win32::UniqueFind find(FindFirstFileW(Widen(folder + "\\*").c_str(), &found));
    if (find) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(platform::win32::Narrow(found.cFileName));
        } while (FindNextFileW(find.get(), &found));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

class WizardE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = MakeTempFolder("wizard");
        exe = folder + "\\Atualizador.exe";
        if (!CopyFileW(Widen(AtualizadorExe()).c_str(), Widen(exe).c_str(), FALSE))
            throw std::runtime_error("cannot copy the updater");
        package = folder + "\\db.xdb";
        productFolder = MakeTempFolder("Varnel R40");
        installed = productFolder + "\\db.xdb";
        DeleteRegistryTree(Root::LocalMachine, kProductKey);
        // Makes the user's key container if this is a new prefix, so that the
        // program under test never meets its first-use box.
        Package("XDB1", 1);
    }
    void TearDown() override {
        process.reset();
        DeleteRegistryTree(Root::LocalMachine, kProductKey);
    }

    void NewPackage(const std::string& version = "XDB10", std::int16_t records = 1200) {
        newBytes = Package(version, records);
        WriteWholeFile(package, newBytes);
    }
    void InstalledDatabase(const std::string& version = "XDB9", std::int16_t records = 900) {
        oldBytes = Package(version, records);
        WriteWholeFile(installed, oldBytes);
        SetRegistryString(Root::LocalMachine, kProductKey, "DB", installed);
    }

    // An older installed database and a newer package, the wizard opened
    // and moved on to its summary, "Prosseguir" enabled.
    void OpenAtSummary() {
        InstalledDatabase();
        NewPackage();
        Open();
        Click(Control(kCommand2));
        WaitUntil([&] { return Enabled(Control(kCommand2)); }, "the summary");
    }
    void Start() { process.emplace(Process::Start("\"" + exe + "\"")); }
    // Starts the program and waits for its window.
    void Open() {
        Start();
        WindowQuery query;
        query.className = "AtualizadorWizard";
        query.processId = process->id();
        window = WaitTopWindow(query);
        // Shown is not yet listening: wait until it answers.
        WaitUntil(
            [&] {
                try {
                    return !Text(Control(kLabel15)).empty();
                } catch (const DriverError&) {
                    return false;
                }
            },
            "the wizard to answer");
    }
    HWND Control(int id) { return WaitChildById(window, id); }
    std::string TextOf(int id) { return Text(Control(id)); }
    void WaitText(int id, const std::string& text) {
        WaitUntil([&] { return TextOf(id) == text; }, "caption of control " + std::to_string(id));
    }
    void Shot(const std::string& name, HWND what) {
        const std::string dir = Env("ATUALIZADOR_SCREENSHOTS");
        if (dir.empty()) return;
        SleepFor(Millis{300});  // let the last paint reach the screen
        Screenshot(what, WindowsPath(dir) + "\\" + name + ".bmp");
    }
    MessageBoxInfo Box(const std::string& title) {
        MessageBoxInfo box = WaitMessageBox(process->id());
        EXPECT_EQ(box.title, title);
        return box;
    }
    void ExpectEnded() { EXPECT_NO_THROW(process->waitExit(kProcessEnd)); }
    void ExpectFilesUnchanged() {
        EXPECT_EQ(ReadWholeFile(package), newBytes);
        if (!oldBytes.empty()) {
            EXPECT_EQ(ReadWholeFile(installed), oldBytes);
        }
    }

    std::string folder, exe, package, productFolder, installed, newBytes, oldBytes;
    std::optional<Process> process;
    HWND window = nullptr;
};

// The road of an update: each step on screen, another program trying to
// swap the package between the check and the install, the installed bytes,
// and "Finalizar" without a remover beside the database, which the system
// refuses: reported in Portuguese, with the system's number.
TEST_F(WizardE2E, TheRoadInstallsTheCheckedPackageAndReportsFailuresInPortuguese) {
    InstalledDatabase("XDB9", 900);
    NewPackage("XDB10", 1200);
    Open();
    EXPECT_TRUE(Visible(Control(kPasso1)));
    EXPECT_FALSE(Visible(Control(kPasso2)));
    EXPECT_EQ(TextOf(kLabel15), texts::kTitle);
    EXPECT_EQ(TextOf(kVersao), "XDB10");
    EXPECT_FALSE(Visible(Control(kVersao)));
    SendMouse(Control(kCommand2), Mouse::Move);
    WaitText(kStatus, std::string(texts::kHintUpdate));
    Shot("1-inicio", window);

    Click(Control(kCommand2));
    WaitText(kLabel4, texts::SummaryText("XDB9", 900, "XDB10", "1200"));
    EXPECT_FALSE(Visible(Control(kPasso1)));
    EXPECT_TRUE(Enabled(Control(kCommand2)));
    Shot("2-verificacao", window);

    // Overwrite, replace, rename, delete: each must be refused.
    const std::string other = Package("XDB999", 1);
    const std::wstring wide = Widen(package);
    platform::win32::UniqueHandle writer(CreateFileW(
        wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "the package was opened for writing";
    if (writer) {
        DWORD written = 0;
        WriteFile(writer.get(), other.data(), static_cast<DWORD>(other.size()), &written, nullptr);
        writer.reset();
    }
    WriteWholeFile(folder + "\\other.xdb", other);
    EXPECT_FALSE(
        MoveFileExW(Widen(folder + "\\other.xdb").c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING))
        << "the package was replaced";
    const bool renamed = MoveFileW(wide.c_str(), Widen(folder + "\\away.xdb").c_str());
    EXPECT_FALSE(renamed) << "the package was renamed";
    if (renamed) WriteWholeFile(package, other);
    EXPECT_FALSE(DeleteFileW(wide.c_str())) << "the package was deleted";
    if (!FileExists(package)) WriteWholeFile(package, other);

    Click(Control(kCommand2));
    WaitText(kLabel1, kSuccess);
    EXPECT_TRUE(Visible(Control(kPasso3)));
    EXPECT_EQ(TextOf(kCommand2), texts::kFinish);
    EXPECT_FALSE(Enabled(Control(kCommand1)));
    EXPECT_EQ(CheckState(Control(kCheck1)), 1);
    SendMouse(Control(kCommand2), Mouse::Move);
    WaitText(kStatus, std::string(texts::kHintFinish));
    Shot("3-instalado", window);
    EXPECT_EQ(ReadWholeFile(installed), newBytes);
    EXPECT_FALSE(FileExists(package));
    EXPECT_EQ(FilesIn(productFolder), std::vector<std::string>{"db.xdb"});

    Click(Control(kCommand2));
    MessageBoxInfo box = Box("Atualizador");
    EXPECT_EQ(box.text, texts::UnexpectedErrorText("Não foi possível iniciar \"" + productFolder +
                                                   "\\removedor.exe\" /!: o arquivo não foi "
                                                   "encontrado (erro 2)"));
    Press(box, IDOK);
    ExpectEnded();
}

TEST_F(WizardE2E, ControlsSitWhereDesignedAndButtonsLieAboveTheSteps) {
    NewPackage();
    Open();
    // Twips at 96 dots per inch, 15 to the pixel, in the parent's client area.
    struct Place {
        int id;
        RECT rect;
    } places[] = {
        {kVersao, {0, 240, 73, 265}},      {kPicture10, {8, 8, 329, 33}},
        {kLabel15, {8, 4, 313, 21}},       {kPicture4, {0, 248, 337, 268}},
        {kStatus, {8, 0, 321, 17}},        {kPicture2, {8, 40, 329, 241}},
        {kCommand1, {120, 163, 201, 188}}, {kCommand2, {224, 163, 305, 188}},
        {kPasso1, {112, 0, 321, 201}},     {kLabel6, {8, 96, 201, 145}},
        {kLabel4, {8, 16, 184, 158}},      {kLabel2, {0, 8, 100, 33}},
        {kLine1, {8, 32, 96, 34}},         {kLine24, {320, 0, 321, 40}},
    };
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 337);
    EXPECT_EQ(client.bottom, 269);
    for (const auto& p : places) {
        HWND control = Control(p.id);
        RECT r = ScreenRect(control);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, p.rect.left) << p.id;
        EXPECT_EQ(r.top, p.rect.top) << p.id;
        EXPECT_EQ(r.right, p.rect.right) << p.id;
        EXPECT_EQ(r.bottom, p.rect.bottom) << p.id;
    }
    // The buttons are drawn over the step panels that share their place.
    const auto above = [](HWND upper, HWND lower) {
        for (HWND w = GetWindow(lower, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV))
            if (w == upper) return true;
        return false;
    };
    for (int step : {kPasso1, kPasso2, kPasso3}) {
        EXPECT_TRUE(above(Control(kCommand1), Control(step))) << step;
        EXPECT_TRUE(above(Control(kCommand2), Control(step))) << step;
    }
    // A frame to resize by, and no title bar.
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_EQ(style & WS_CAPTION, 0);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
}

TEST_F(WizardE2E, PressingTheTitleStripWithAnyButtonStartsAWindowMove) {
    NewPackage();
    Open();
    // While the system moves the window it takes no other input; the move
    // ends when the left button is released.
    for (int grip : {kLabel15, kPicture10}) {
        for (Mouse press : {Mouse::RightDown, Mouse::LeftDown}) {
            SendMouse(Control(grip), press);
            SleepFor(Millis{300});
            SendMouse(Control(kCommand1), Mouse::Move);
            SleepFor(Millis{500});
            EXPECT_EQ(TextOf(kStatus), "") << grip;
            SendMouse(Control(grip), Mouse::LeftUp);
            WaitUntil(
                [&] {
                    SendMouse(Control(kCommand1), Mouse::Move);
                    SleepFor(Millis{100});
                    return TextOf(kStatus) == "Fecha o atualizador";
                },
                "the end of the move");
            SendMouse(Control(kPicture2), Mouse::Move);
            WaitText(kStatus, "");
        }
    }
}

TEST_F(WizardE2E, TabFollowsTheDesignedOrderOverWhatIsShown) {
    NewPackage();
    Open();
    const auto focused = [&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
        return info.hwndFocus;
    };
    // Hidden steps and their controls, and the hidden Versão, are skipped.
    const int order[] = {kPicture2, kPasso1,   kPicture4, kPicture10,
                         kCommand1, kCommand2, kPicture2};
    WaitUntil([&] { return focused() == Control(order[0]); }, "the first focus");
    for (std::size_t i = 1; i < std::size(order); ++i) {
        PostMessageW(focused(), WM_KEYDOWN, VK_TAB, 0);
        WaitUntil([&] { return focused() == Control(order[i]); },
                  "focus on control " + std::to_string(order[i]));
    }
}

// Every other outcome of the version check: the same or a newer version
// lets the user only cancel (after confirming), an unreadable installed
// version asks to reinstall (No ends), and no registry value ends after its
// message. Nothing changes on disk.
TEST_F(WizardE2E, VersionCheckOutcomesThatInstallNothing) {
    struct Case {
        const char* installed;
        std::string caption;
    } cases[] = {
        {"ABC0010", texts::SameVersionText("ABC0010")},
        {"XDB11", texts::NewerVersionText("XDB11")},
    };
    for (const auto& c : cases) {
        InstalledDatabase(c.installed, 5);
        NewPackage("XDB10", 6);
        Open();
        Click(Control(kCommand2));
        WaitText(kLabel4, c.caption);
        EXPECT_FALSE(Enabled(Control(kCommand2)));
        if (std::string(c.installed) == "XDB11") Shot("2-mais-recente", window);
        Click(Control(kCommand1));
        MessageBoxInfo confirm = Box(std::string(texts::kConfirmTitle));
        EXPECT_EQ(confirm.text, texts::kConfirmText);
        Press(confirm, IDNO);
        EXPECT_TRUE(process->running());
        Click(Control(kCommand1));
        Press(Box(std::string(texts::kConfirmTitle)), IDYES);
        ExpectEnded();
        ExpectFilesUnchanged();
    }

    InstalledDatabase("XDB32768");
    Open();
    Click(Control(kCommand2));
    MessageBoxInfo question = Box(std::string(texts::kReinstallTitle));
    EXPECT_EQ(question.text, texts::kReinstallText);
    Press(question, IDNO);
    ExpectEnded();
    ExpectFilesUnchanged();

    DeleteRegistryTree(Root::LocalMachine, kProductKey);
    Open();
    Click(Control(kCommand2));
    MessageBoxInfo stop = Box(std::string(texts::kNoInstalledTitle));
    EXPECT_EQ(stop.text, texts::kNoInstalledText);
    Press(stop, IDOK);
    ExpectEnded();
    ExpectFilesUnchanged();
}

// With no installed database, Yes installs at once; with the database's
// folder missing too, the copy fails, is reported, and keeps the package.
TEST_F(WizardE2E, MissingInstalledDatabaseIsInstalledAnewUnlessItsFolderIsMissing) {
    NewPackage();
    SetRegistryString(Root::LocalMachine, kProductKey, "DB", installed);
    Open();
    Click(Control(kCommand2));
    MessageBoxInfo question = Box(std::string(texts::kReinstallTitle));
    Shot("2-reinstalar", nullptr);
    Press(question, IDYES);
    WaitText(kLabel1, kSuccess);
    EXPECT_TRUE(Enabled(Control(kCommand2)));
    EXPECT_EQ(ReadWholeFile(installed), newBytes);
    EXPECT_FALSE(FileExists(package));
    process->end();

    NewPackage();
    installed = productFolder + "\\missing\\db.xdb";
    SetRegistryString(Root::LocalMachine, kProductKey, "DB", installed);
    Open();
    Click(Control(kCommand2));
    Press(Box(std::string(texts::kReinstallTitle)), IDYES);
    MessageBoxInfo box = Box(std::string(texts::kAccessErrorTitle));
    EXPECT_NE(box.text.find("(erro 3)"), std::string::npos) << box.text;
    Press(box, IDCANCEL);
    ExpectEnded();
    EXPECT_EQ(ReadWholeFile(package), newBytes);
    EXPECT_FALSE(FileExists(installed));
}

// A package missing, hidden or corrupted ends the program with its message
// before any window.
TEST_F(WizardE2E, PackageThatCannotBeUsedEndsTheProgramBeforeAnyWindow) {
    struct Case {
        const char* what;
        std::string title, text;
    } cases[] = {
        {"missing", std::string(texts::kMissingPackageTitle),
         texts::MissingPackageText(Upper(exe))},
        {"hidden", std::string(texts::kMissingPackageTitle), texts::MissingPackageText(Upper(exe))},
        {"corrupted", "Banco de dados corrompido!", API_FILE::CorruptedMessage()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string what = c.what;
        if (what == "hidden") {
            NewPackage();
            SetHidden(package, true);
        } else if (what == "corrupted") {
            SetHidden(package, false);
            WriteWholeFile(package, "this is no database");
        }
        Start();
        MessageBoxInfo box = Box(c.title);
        EXPECT_EQ(box.text, c.text);
        if (what == "hidden") Shot("0-arquivo-inexistente", nullptr);
        WindowQuery wizard;
        wizard.className = "AtualizadorWizard";
        wizard.processId = process->id();
        EXPECT_EQ(FindTopWindow(wizard), nullptr);
        Press(box, IDOK);
        ExpectEnded();
    }
    EXPECT_EQ(ReadWholeFile(package), "this is no database");
}

// While the product holds its database the user is asked; the database is
// whole meanwhile. Retry while held asks again, Retry once released
// installs; Cancel ends and leaves both files and nothing else.
TEST_F(WizardE2E, LockedDatabaseAsksUntilReleasedOrCancelled) {
    OpenAtSummary();
    {
        HeldFile held(installed);
        Click(Control(kCommand2));
        MessageBoxInfo box = Box(std::string(texts::kAccessErrorTitle));
        EXPECT_EQ(box.text, texts::kAccessErrorText);
        Shot("3-banco-em-uso", nullptr);
        Press(box, IDRETRY);
        box = Box(std::string(texts::kAccessErrorTitle));
        ExpectFilesUnchanged();
        held.release();
        Press(box, IDRETRY);
    }
    WaitText(kLabel1, kSuccess);
    EXPECT_EQ(ReadWholeFile(installed), newBytes);
    EXPECT_FALSE(FileExists(package));
    process->end();

    OpenAtSummary();
    HeldFile held(installed);
    Click(Control(kCommand2));
    Press(Box(std::string(texts::kAccessErrorTitle)), IDCANCEL);
    ExpectEnded();
    held.release();
    ExpectFilesUnchanged();
    EXPECT_EQ(FilesIn(productFolder), std::vector<std::string>{"db.xdb"});
}

TEST_F(WizardE2E, ReadOnlyPackageInstallsAWritableDatabaseThatTheNextUpdateReplaces) {
    const auto readOnly = [](const std::string& path) {
        return (GetFileAttributesW(Widen(path).c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
    };
    InstalledDatabase("XDB9", 900);
    SetFileAttributesW(Widen(installed).c_str(), FILE_ATTRIBUTE_READONLY);
    for (const char* version : {"XDB10", "XDB11"}) {
        SCOPED_TRACE(version);
        NewPackage(version, 1200);
        SetFileAttributesW(Widen(package).c_str(), FILE_ATTRIBUTE_READONLY);
        Open();
        Click(Control(kCommand2));
        WaitUntil([&] { return Enabled(Control(kCommand2)); }, "the summary");
        Click(Control(kCommand2));
        WaitText(kLabel1, kSuccess);
        EXPECT_EQ(ReadWholeFile(installed), newBytes);
        EXPECT_FALSE(readOnly(installed)) << "the installed database is read-only";
        EXPECT_FALSE(FileExists(package)) << "the read-only package was left behind";
        process->end();
    }
}

// The package cannot be removed once the new database is in place (another
// program has it open, or it sits on read-only media). The install is done
// and must not run again: Retry tries the removal only, Cancel keeps the
// package, and the road goes on to "Finalizar".
TEST_F(WizardE2E, PackageThatCannotBeRemovedIsKeptWithoutInstallingAgain) {
    InstalledDatabase();
    NewPackage();
    auto scanner = std::make_unique<HeldFile>(package);
    Open();
    Click(Control(kCommand2));
    WaitUntil([&] { return Enabled(Control(kCommand2)); }, "the summary");
    Click(Control(kCommand2));

    const std::string title(texts::kPackageKeptTitle);
    MessageBoxInfo box = Box(title);
    EXPECT_NE(box.text.find("O novo banco de dados foi instalado"), std::string::npos) << box.text;
    EXPECT_EQ(ReadWholeFile(installed), newBytes);
    {
        // Installing again would now meet this and ask about the database.
        HeldFile product(installed);
        Press(box, IDRETRY);
        box = Box(title);
        Shot("3-pacote-mantido", nullptr);
        Press(box, IDCANCEL);
    }
    WaitText(kLabel1, kSuccess);
    EXPECT_EQ(TextOf(kCommand2), "Finalizar");
    EXPECT_TRUE(process->running());
    EXPECT_EQ(ReadWholeFile(installed), newBytes);
    scanner.reset();
    EXPECT_EQ(ReadWholeFile(package), newBytes);
}

// A failure the system reports reaches the user in Portuguese, with the
// system's own number: here "Finalizar" with no remover beside the database.

}  // namespace
