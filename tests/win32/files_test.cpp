// The Win32 file code against the real file system, for what only the system
// shows: the codes of a refused deletion, what counts as an ordinary file,
// the sharing of a held file, and how a new file is made, let go, kept and
// put in place; and a message box the system cannot show.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "Win32Test.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32UserInterface.h"

namespace {

using namespace win32test;

class Win32Files : public testing::Test {
  protected:
    std::unique_ptr<platform::HeldFile> hold(const std::string& path) {
        std::uint32_t error = 0;
        auto held = system.holdFile(path, error);
        EXPECT_TRUE(held) << path << ": error " << error;
        return held;
    }
    std::unique_ptr<platform::NewFile> copy(const std::string& name, platform::HeldFile& source,
                                            std::uint32_t& error) {
        return system.createCopy(dir / name, source, error, platform::FileAccess::AsTheFolder, {});
    }
    TempFolder dir;
    platform::win32::Win32Platform system;
};

// The cleanup holds the finished updater to delete it, or not at all: "not
// there" lets it go on; a file another program holds asks to wait.
TEST_F(Win32Files, HoldToRemoveTellsWhatIsMissingFromWhatIsRefused) {
    const std::string held = Put(dir / "held.xdb");
    const UniqueHandle holder = Open(held, GENERIC_READ, FILE_SHARE_READ);
    ::CreateDirectoryW(Widen(dir / "folder").c_str(), nullptr);
    const struct {
        std::string path;
        DWORD error;
    } cases[] = {
        {held, ERROR_SHARING_VIOLATION},
        {dir / "missing.xdb", ERROR_FILE_NOT_FOUND},
        {dir / "missing\\db.xdb", ERROR_PATH_NOT_FOUND},
        {dir / "folder", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        std::uint32_t error = 0;
        EXPECT_FALSE(system.holdToRemove(c.path, error)) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
}

// Hidden and system files and folders count as missing (Wine keeps the
// attributes where Windows does); read-only files do not. A name with
// wildcards is looked up: it exists when an ordinary file matches it.
TEST_F(Win32Files, OnlyOrdinaryFilesExist) {
    const std::string readOnly = Put(dir / "readonly.xdb");
    SetReadOnly(readOnly);
    const std::string hidden = Put(dir / "hidden.xdb");
    ::SetFileAttributesW(Widen(hidden).c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::string systemFile = Put(dir / "system.xdb");
    ::SetFileAttributesW(Widen(systemFile).c_str(), FILE_ATTRIBUTE_SYSTEM);
    ::CreateDirectoryW(Widen(dir / "folder.xdb").c_str(), nullptr);
    EXPECT_TRUE(system.normalFileExists(Put(dir / "db.xdb")));
    EXPECT_TRUE(system.normalFileExists(readOnly));
    EXPECT_TRUE(system.normalFileExists(dir / "*e*.xdb"));
    for (const std::string& path : {hidden, systemFile, dir / "folder.xdb", dir / "h?dden.*"})
        EXPECT_FALSE(system.normalFileExists(path)) << path;
}

// While the package is held nobody may write, rename or delete it, or what
// is installed could differ from what was checked. The updater removes it
// through its own handle, read-only or not.
TEST_F(Win32Files, HeldFileRefusesWritersRenamersAndDeletersAndIsRemovedThroughItsHandle) {
    const std::string content(3 * 1024 * 1024 + 17, 'x');
    const std::string path = Put(dir / "db.xdb", content);
    auto held = hold(path);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->size(), content.size());
    EXPECT_EQ(held->read(content.size() - 5, 100), "xxxxx");
    EXPECT_FALSE(Open(path, GENERIC_WRITE, kShareAll)) << "opened for writing";
    EXPECT_FALSE(::MoveFileW(Widen(path).c_str(), Widen(dir / "away.xdb").c_str())) << "renamed";
    EXPECT_FALSE(::DeleteFileW(Widen(path).c_str())) << "deleted";
    EXPECT_EQ(held->remove(), 0u);
    EXPECT_FALSE(Exists(path));

    const std::string readOnly = Put(dir / "readonly.xdb");
    SetReadOnly(readOnly);
    held = hold(readOnly);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->remove(), 0u) << "a read-only package is not removed";
    EXPECT_FALSE(Exists(readOnly));
}

// Whatever holds a name (a file, a folder), the copy is not made over it and
// the error tells the caller to try the next name.
TEST_F(Win32Files, CopyIsNeverMadeOverATakenName) {
    auto source = hold(Put(dir / "db.xdb", "new database"));
    ASSERT_TRUE(source);
    Put(dir / "taken.novo", "someone else's");
    ::CreateDirectoryW(Widen(dir / "folder.novo").c_str(), nullptr);
    for (const char* name : {"taken.novo", "folder.novo"}) {
        std::uint32_t error = 0;
        EXPECT_FALSE(copy(name, *source, error)) << name;
        EXPECT_TRUE(platform::IsNameTaken(error)) << name << ": " << error;
    }
    EXPECT_EQ(Contents(dir / "taken.novo"), "someone else's");
}

// A copy let go leaves nothing; put in place, it replaces the old file in one
// step and stays once its handle is closed; kept, it is held at its name.
TEST_F(Win32Files, CopyIsLetGoPutInPlaceOrKeptHeld) {
    const std::string content(2 * 1024 * 1024 + 3, 'n');
    auto source = hold(Put(dir / "package.xdb", content));
    ASSERT_TRUE(source);
    std::uint32_t error = 0;
    auto staged = copy("db.xdb.novo", *source, error);
    ASSERT_TRUE(staged) << error;
    EXPECT_TRUE(Exists(dir / "db.xdb.novo"));
    staged.reset();
    EXPECT_FALSE(Exists(dir / "db.xdb.novo")) << "a copy let go stays behind";

    const std::string target = Put(dir / "db.xdb", "old database");
    staged = copy("db.xdb.novo", *source, error);
    ASSERT_TRUE(staged) << error;
    EXPECT_EQ(staged->replace(target), 0u);
    staged.reset();
    EXPECT_TRUE(Contents(target) == content) << "the new database went with its handle";
    EXPECT_FALSE(Exists(dir / "db.xdb.novo"));

    auto made = copy("copy.exe", *source, error);
    ASSERT_TRUE(made) << error;
    auto kept = made->keep(error);
    ASSERT_TRUE(kept) << error;
    made.reset();
    EXPECT_TRUE(Contents(dir / "copy.exe") == content);
    EXPECT_FALSE(::DeleteFileW(Widen(dir / "copy.exe").c_str())) << "a kept copy is not held";
    kept.reset();
    EXPECT_TRUE(Exists(dir / "copy.exe"));
}

// Windows refuses to rename over a read-only file, Wine does not: clearing
// the installed database's attribute shows only in its effect, on the old
// file, watched here through a second name (a hard link: attributes belong
// to the file, not to its names).
TEST_F(Win32Files, ReplaceClearsTheOldFilesReadOnlyAttributeOrRestoresItWhenRefused) {
    auto source = hold(Put(dir / "package.xdb", "new database"));
    ASSERT_TRUE(source);
    const std::string target = Put(dir / "db.xdb", "old database");
    const std::string witness = dir / "witness.xdb";
    ASSERT_TRUE(::CreateHardLinkW(Widen(witness).c_str(), Widen(target).c_str(), nullptr));
    SetReadOnly(target);
    ASSERT_TRUE(ReadOnly(witness));
    std::uint32_t error = 0;
    auto staged = copy("db.xdb.novo", *source, error);
    ASSERT_TRUE(staged) << error;
    {
        // Neither system renames over a file that is open. Shared with
        // everyone, the replacement still reaches it to clear the attribute.
        const UniqueHandle reader = Open(target, GENERIC_READ, kShareAll);
        ASSERT_TRUE(Open(target, DELETE | FILE_WRITE_ATTRIBUTES, kShareAll));
        Put(dir / "other.xdb");
        ASSERT_FALSE(::MoveFileExW(Widen(dir / "other.xdb").c_str(), Widen(target).c_str(),
                                   MOVEFILE_REPLACE_EXISTING));
        EXPECT_NE(staged->replace(target), 0u) << "a refused replacement reported as done";
        EXPECT_EQ(Contents(target), "old database");
        EXPECT_TRUE(ReadOnly(target)) << "a refused replacement left the old file writable";
    }
    EXPECT_EQ(staged->replace(target), 0u);
    EXPECT_EQ(Contents(target), "new database");
    EXPECT_FALSE(ReadOnly(target));
    EXPECT_FALSE(ReadOnly(witness)) << "the old file was still read-only when it was replaced";
}

// The cleanup waits only while a program has the file open, never for a
// read-only one.
TEST_F(Win32Files, CleanupWaitsOnlyForAFileInUse) {
    const std::string path = Put(dir / "Atualizador.exe");
    SetReadOnly(path);
    EXPECT_FALSE(system.fileInUse(path)) << "waiting would never cure a read-only file";
    EXPECT_FALSE(system.fileInUse(dir / "missing.exe"));
    {
        const UniqueHandle running = Open(path, GENERIC_READ, FILE_SHARE_READ);
        EXPECT_TRUE(system.fileInUse(path));
    }
    EXPECT_FALSE(system.fileInUse(path));
}

// A box the system cannot show (its owner is no window) has no answer: 0,
// not one the user never gave, and no error.
TEST(Win32MessageBox, ThatCannotBeShownAnswersNothing) {
    platform::win32::Win32UserInterface ui;
    ui.setOwner(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFFFFF0)));
    EXPECT_EQ(ui.messageBox("Nunca mostrada", platform::mb::Question | platform::mb::YesNo), 0);
}

// The program's file, held, is the program that runs; a copy of it with one
// byte of its code changed is not. A copy that asks for a base 64 KB lower,
// its relocated addresses 64 KB lower too, is: the proof applies the
// loader's relocations, as it must where Windows loads the program away
// from its base (Wine seldom does).
TEST_F(Win32Files, OnlyTheRunningProgramsBytesAreTheRunningProgram) {
    std::uint32_t error = 0;
    auto self = system.holdExecutable(error);
    ASSERT_TRUE(self) << error;
    EXPECT_TRUE(system.isRunningProgram(*self));
    const auto* base = reinterpret_cast<const unsigned char*>(::GetModuleHandleW(nullptr));
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    std::string changed = self->read(0, self->size()), lower = changed;
    changed[IMAGE_FIRST_SECTION(nt)->PointerToRawData + 100] ^= 1;  // in the code
    const auto subtract = [&](std::size_t at) {
        ULONGLONG value = 0;
        std::memcpy(&value, lower.data() + at, sizeof value);
        value -= 0x10000;
        std::memcpy(lower.data() + at, &value, sizeof value);
    };
    subtract(reinterpret_cast<const unsigned char*>(&nt->OptionalHeader.ImageBase) - base);
    const auto& table = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
    for (DWORD at = 0; at < table.Size;) {
        const auto* block =
            reinterpret_cast<const IMAGE_BASE_RELOCATION*>(base + table.VirtualAddress + at);
        const auto* entry = reinterpret_cast<const WORD*>(block + 1);
        for (DWORD i = 0; i < (block->SizeOfBlock - sizeof *block) / 2; ++i) {
            if (entry[i] >> 12 != IMAGE_REL_BASED_DIR64) continue;
            const DWORD rva = block->VirtualAddress + (entry[i] & 0xFFF);
            const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
            while (rva >= section->VirtualAddress + section->Misc.VirtualSize) ++section;
            subtract(section->PointerToRawData + rva - section->VirtualAddress);
        }
        at += block->SizeOfBlock;
    }
    for (const auto& [name, bytes, proven] :
         {std::tuple{"changed.exe", changed, false}, std::tuple{"lower.exe", lower, true}}) {
        auto copy = system.holdForReading(Put(dir / name, bytes), error);
        ASSERT_TRUE(copy) << error;
        EXPECT_EQ(system.isRunningProgram(*copy), proven) << name;
    }
}

}  // namespace
