#include <gtest/gtest.h>
#include <windows.h>

#include "TempFolder.h"
#include "platform/Decl.h"
#include "platform/mdlRegistry.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"
#include "uidriver.h"

namespace {

using platform::win32::Widen;

// The real platform with its Windows directory pointed elsewhere, so the
// tests never touch the prefix's own wininit.ini.
class PlatformWithWindowsDir : public platform::win32::Win32Platform {
  public:
    explicit PlatformWithWindowsDir(std::string dir) : dir_(std::move(dir)) {}
    std::string windowsDirectory() override { return dir_; }

  private:
    std::string dir_;
};

TEST(Win32WindowsDir, IsAnExistingFolderBelowADriveRoot) {
    platform::win32::Win32Platform system;
    const std::string dir = mdlRegistry::GetWindowsDir(system);
    ASSERT_GE(dir.size(), 3u);
    // The hand-off takes the first three characters as the drive root.
    EXPECT_EQ(dir.substr(1, 2), ":\\");
    EXPECT_NE(dir.back(), '\\');
    const DWORD attributes = ::GetFileAttributesW(Widen(dir).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Win32ShortPath, NamesTheSameFileEvenWhenLongerThanTheOldBuffer) {
    platform::win32::Win32Platform system;
    TempFolder dir;
    // Deep enough that the short form passes 164 characters, where a fixed
    // buffer would give up and leave "NUL=" naming nothing.
    std::string folder = dir.path();
    for (int i = 0; i < 20; ++i) {
        folder += "\\Pasta com um nome longo " + std::to_string(i);
        ASSERT_TRUE(::CreateDirectoryW(Widen(folder).c_str(), nullptr)) << folder;
    }
    const std::string cases[] = {dir / "Atualizador com nome longo.exe",
                                 folder + "\\Atualizador com nome longo.exe"};
    for (const auto& path : cases) {
        SCOPED_TRACE(path);
        uidriver::WriteWholeFile(path, "exe");
        const std::string shortPath = Decl::GetShortPath(system, path);
        ASSERT_FALSE(shortPath.empty());
        EXPECT_EQ(shortPath.find(' '), std::string::npos);
        EXPECT_TRUE(system.normalFileExists(shortPath));
    }
    EXPECT_GT(Decl::GetShortPath(system, cases[1]).size(), 164u);
    EXPECT_EQ(Decl::GetShortPath(system, dir / "missing.exe"), "");
}

TEST(Win32ScheduleDeleteOnRestart, AppendsOneCompleteGroupPerCall) {
    TempFolder windows("windir");
    TempFolder files;
    PlatformWithWindowsDir system(windows.path());
    const std::string first = files / "Atualizador.exe";
    const std::string second = files / "Atualizador (1).exe";
    uidriver::WriteWholeFile(first, "exe");
    uidriver::WriteWholeFile(second, "exe");
    const std::string ini = windows / "wininit.ini";

    // A missing wininit.ini is created with exactly the three lines.
    Decl::ScheduleDeleteOnRestart(system, first);
    const std::string group1 = "\r\n[Rename]\r\nNUL=" + system.shortPathName(first) + "\r\n";
    EXPECT_EQ(uidriver::ReadWholeFile(ini), group1);

    // A second call appends its own group after the first, never merging.
    Decl::ScheduleDeleteOnRestart(system, second);
    const std::string group2 = "\r\n[Rename]\r\nNUL=" + system.shortPathName(second) + "\r\n";
    EXPECT_EQ(uidriver::ReadWholeFile(ini), group1 + group2);
    EXPECT_NE(group1, group2);
}

}  // namespace
