// The updater runs as administrator from a folder that other programs can
// write (Downloads, a share). DLLs of system names put there, or in the
// folder it is started in, must never be loaded: not by the wizard, nor by
// the cleanup copy it starts.
//
// Wine prefers its own DLLs. This test runs with WINEDLLOVERRIDES telling
// it to prefer native copies of the planted names (it takes them from the
// Linux environment of each process, not from a Windows environment block),
// so that it searches a program's folder first, as Windows does.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "UpdateRoad.h"
#include "uidriver.h"

namespace {

using namespace e2e;
using namespace uidriver;

// What the updater and the system DLLs it uses load by name. Not planted:
// version.dll and msimg32.dll, which Wine's own DLLs load from the
// program's folder whatever the program does (Wine's user32 imports
// version.dll, resolved before the program's first instruction; its
// delay-loads of msimg32.dll search the start-up path) and Windows' do not.
const std::vector<std::string> kNames = {"uxtheme", "rsaenh",    "bcrypt",  "crypt32",
                                         "dwmapi",  "cryptbase", "cryptsp", "comctl32"};

void Plant(const std::string& folder) {
    for (const std::string& name : kNames)
        CopyOrThrow(WindowsPath(PLANTED_DLL), folder + "\\" + name + ".dll");
}

std::vector<std::string> Loaded(const std::string& folder) {
    std::vector<std::string> loaded;
    for (const std::string& name : kNames)
        if (FileExists(folder + "\\" + name + ".dll.loaded")) loaded.push_back(name);
    return loaded;
}

class PlantedDlls : public UpdateRoad {};

TEST_F(PlantedDlls, AreNeverLoadedBesideTheUpdaterOrWhereItStarts) {
    // The bench really searches a program's folder for these names: a plain
    // program among planted DLLs loads them.
    const std::string control = MakeTempFolder("control");
    Plant(control);
    CopyOrThrow(WindowsPath(TEST_WINDOW), control + "\\testwindow.exe");
    {
        // It may well not get as far as its window with such DLLs.
        Process plain = Process::Start(Quote(control + "\\testwindow.exe"), control);
        WaitUntil([&] { return !Loaded(control).empty() || !plain.running(); },
                  "a planted DLL loaded by a plain program");
    }
    ASSERT_FALSE(Loaded(control).empty())
        << "no planted DLL was loaded by a plain program: the bench does not prefer them";

    const Update u = Prepare();
    const std::string current = MakeTempFolder("current");
    Plant(u.folder);
    Plant(current);
    Walk planted;
    planted.workingDir = current;
    WalkWizard(u, planted);
    auto cleanup = AwaitCleanup(u, DriveRoot() + "Atualizador.exe");
    Press(WaitMessageBox(cleanup->id()), IDCANCEL);
    EXPECT_TRUE(cleanup->waitExit(kProcessEnd));

    EXPECT_EQ(Loaded(u.folder), std::vector<std::string>{}) << "beside the updater";
    EXPECT_EQ(Loaded(current), std::vector<std::string>{}) << "in the folder it started in";
}

}  // namespace
