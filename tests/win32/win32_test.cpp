// The Win32 platform where only the real system shows what it does: files
// held, made, put in place and proven the running program; a box that cannot
// be shown; the registry's views; the cleanup window's timers.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/win32/WaitWindow.h"
#include "platform/mdlRegistry.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/Win32UserInterface.h"

namespace {

using platform::win32::UniqueHandle;
using platform::win32::Widen;

// The test's own handles: sharing modes hold between the handles of one
// process too.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

UniqueHandle Open(const std::string& path, DWORD access, DWORD share,
                  DWORD disposition = OPEN_EXISTING) {
    return UniqueHandle(::CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string Put(const std::string& path, std::string_view bytes = "data") {
    UniqueHandle file = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return path;
}

std::optional<std::string> Contents(const std::string& path) {
    UniqueHandle file = Open(path, GENERIC_READ, kShareAll);
    std::string bytes(8 << 20, '\0');
    DWORD got = 0;
    if (!file || !::ReadFile(file.get(), bytes.data(), 8 << 20, &got, nullptr)) return {};
    bytes.resize(got);
    return bytes;
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
bool ReadOnly(const std::string& path) {
    return Exists(path) && (::GetFileAttributesW(Widen(path).c_str()) & FILE_ATTRIBUTE_READONLY);
}
void SetReadOnly(const std::string& path, bool on = true) {
    ::SetFileAttributesW(Widen(path).c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

// Each test in a temporary folder of its own, removed with the files and
// empty folders in it.
class Win32Files : public testing::Test {
  protected:
    Win32Files() {
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH + 1, temp);
        static int counter = 0;
        folder_ = platform::win32::Narrow(temp) + "win32-" +
                  std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
        ::CreateDirectoryW(Widen(folder_).c_str(), nullptr);
    }
    ~Win32Files() override {
        WIN32_FIND_DATAW found{};
        platform::win32::UniqueFind find(::FindFirstFileW(Widen(at("*")).c_str(), &found));
        for (bool more = bool(find); more; more = ::FindNextFileW(find.get(), &found)) {
            if (found.cFileName[0] == L'.') continue;
            const std::wstring path = Widen(folder_) + L"\\" + found.cFileName;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileW(path.c_str())) ::RemoveDirectoryW(path.c_str());
        }
        find.reset();
        ::RemoveDirectoryW(Widen(folder_).c_str());
    }
    std::string at(const std::string& name) const { return folder_ + "\\" + name; }
    std::unique_ptr<platform::HeldFile> hold(const std::string& path) {
        std::uint32_t error = 0;
        auto held = system.holdFile(path, error);
        EXPECT_TRUE(held) << path << ": error " << error;
        return held;
    }
    std::unique_ptr<platform::NewFile> copy(const std::string& name, platform::HeldFile& source,
                                            std::uint32_t& error) {
        return system.createCopy(at(name), source, error, platform::FileAccess::AsTheFolder, {});
    }
    std::string folder_;
    platform::win32::Win32Platform system;
};

// Faults: the updater's process not waited for (or a read-only file waited
// for); the cleanup's hold taken without the right to delete; "not there"
// not told apart from "refused".
TEST_F(Win32Files, TheCleanupWaitsOnlyForAFileInUseAndHoldsItOnlyToDelete) {
    const std::string path = Put(at("Atualizador.exe"));
    SetReadOnly(path);
    EXPECT_FALSE(system.fileInUse(path)) << "waiting would never cure a read-only file";
    SetReadOnly(path, false);
    const UniqueHandle running = Open(path, GENERIC_READ, FILE_SHARE_READ);
    EXPECT_TRUE(system.fileInUse(path));
    for (const auto& [file, code] : {std::pair{path, ERROR_SHARING_VIOLATION},
                                     {at("missing.exe"), ERROR_FILE_NOT_FOUND},
                                     {at("missing\\A.exe"), ERROR_PATH_NOT_FOUND}}) {
        std::uint32_t error = 0;
        EXPECT_FALSE(system.holdToRemove(file, error)) << file;
        EXPECT_EQ(error, code) << file;
    }
}

// Faults: a name with wildcards taken for missing; hidden files and folders
// taken for the database.
TEST_F(Win32Files, OnlyOrdinaryFilesExist) {
    ::SetFileAttributesW(Widen(Put(at("hidden.xdb"))).c_str(), FILE_ATTRIBUTE_HIDDEN);
    ::CreateDirectoryW(Widen(at("folder.xdb")).c_str(), nullptr);
    SetReadOnly(Put(at("readonly.xdb")));
    EXPECT_TRUE(system.normalFileExists(at("*e*.xdb")));
    for (const std::string& path : {at("hidden.xdb"), at("folder.xdb"), at("h?dden.*")})
        EXPECT_FALSE(system.normalFileExists(path)) << path;
}

// Faults: a held file open to writers and deleters (what is installed could
// differ from what was checked); a read-only one not cleared to be removed.
TEST_F(Win32Files, HeldFileRefusesWritersRenamersAndDeletersAndIsRemovedThroughItsHandle) {
    for (const bool readOnly : {false, true}) {
        const std::string path = Put(at("db.xdb"));
        SetReadOnly(path, readOnly);
        auto held = hold(path);
        ASSERT_TRUE(held);
        EXPECT_FALSE(Open(path, GENERIC_WRITE, kShareAll)) << "opened for writing";
        EXPECT_FALSE(::MoveFileW(Widen(path).c_str(), Widen(at("away")).c_str())) << "renamed";
        EXPECT_FALSE(::DeleteFileW(Widen(path).c_str())) << "deleted";
        EXPECT_EQ(held->remove(), 0u) << "read-only: " << readOnly;
        EXPECT_FALSE(Exists(path));
    }
}

// Faults: a copy made over a taken name; one left behind when let go, or
// going with its handle once in place; a kept copy let go before it is held
// again.
TEST_F(Win32Files, CopyIsMadeOnlyAtAFreeNameAndIsLetGoPutInPlaceOrKeptHeld) {
    const std::string content(2 * 1024 * 1024 + 3, 'n');
    auto source = hold(Put(at("package.xdb"), content));
    ASSERT_TRUE(source);
    Put(at("taken.novo"), "someone else's");
    std::uint32_t error = 0;
    EXPECT_FALSE(copy("taken.novo", *source, error));
    EXPECT_TRUE(platform::IsNameTaken(error)) << error;
    EXPECT_EQ(Contents(at("taken.novo")), "someone else's");

    auto staged = copy("db.xdb.novo", *source, error);
    ASSERT_TRUE(staged) << error;
    staged.reset();
    EXPECT_FALSE(Exists(at("db.xdb.novo"))) << "a copy let go stays behind";

    const std::string target = Put(at("db.xdb"), "old database");
    staged = copy("db.xdb.novo", *source, error);
    ASSERT_TRUE(staged) << error;
    EXPECT_EQ(staged->replace(target), 0u);
    staged.reset();
    EXPECT_TRUE(Contents(target) == content) << "the new database went with its handle";

    auto made = copy("copy.exe", *source, error);
    ASSERT_TRUE(made) << error;
    auto kept = made->keep(error);
    ASSERT_TRUE(kept) << error;
    made.reset();
    EXPECT_TRUE(Contents(at("copy.exe")) == content);
    EXPECT_FALSE(::DeleteFileW(Widen(at("copy.exe")).c_str())) << "a kept copy is not held";
}

// Windows refuses to rename over a read-only file, Wine does not: clearing
// the installed database's attribute shows only in its effect, on the old
// file, watched through a second name (a hard link: attributes belong to the
// file). Faults: not cleared; left writable, or reported as installed, when
// the replacement is refused.
TEST_F(Win32Files, ReplaceClearsTheOldFilesReadOnlyAttributeOrRestoresItWhenRefused) {
    auto source = hold(Put(at("package.xdb"), "new database"));
    ASSERT_TRUE(source);
    const std::string target = Put(at("db.xdb"), "old database");
    const std::string witness = at("witness.xdb");
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
        EXPECT_NE(staged->replace(target), 0u) << "a refused replacement reported as done";
        EXPECT_EQ(Contents(target), "old database");
        EXPECT_TRUE(ReadOnly(target)) << "a refused replacement left the old file writable";
    }
    EXPECT_EQ(staged->replace(target), 0u);
    EXPECT_EQ(Contents(target), "new database");
    EXPECT_FALSE(ReadOnly(witness)) << "the old file was still read-only when it was replaced";
}

// Fault: a box that could not be shown (its owner is no window) taken for an
// answer the user never gave.
TEST(Win32MessageBox, ThatCannotBeShownAnswersNothing) {
    platform::win32::Win32UserInterface ui;
    ui.setOwner(reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFFFFF0)));
    EXPECT_EQ(ui.messageBox("Nunca mostrada", platform::mb::Question | platform::mb::YesNo), 0);
}

// The program's file, held, is the program that runs; a copy with one byte
// of its code changed is not. A copy that asks for a base 64 KB lower, its
// relocated addresses 64 KB lower too, is: the proof applies the loader's
// relocations, as it must where Windows loads the program away from its base
// (Wine seldom does). Faults: the proof skipped, its sections not compared,
// the relocations not applied.
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
        auto copy = system.holdForReading(Put(at(name), bytes), error);
        ASSERT_TRUE(copy) << error;
        EXPECT_EQ(system.isRunningProgram(*copy), proven) << name;
    }
}

// A 32-bit product keeps its key in the registry's 32-bit view, which a
// 64-bit process does not see by default: the installed database would look
// missing. Its text is in the ANSI code page, and may lack its NUL.
TEST_F(Win32Files, RegistryReadPrefersTheProductsThirtyTwoBitView) {
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
    const auto read = [&] {
        return mdlRegistry::ReadRegistryValue(system, platform::RegistryRoot::LocalMachine, key,
                                              "DB");
    };
    if (::GetACP() == 1252) {
        EXPECT_EQ(read(), "C:\\Atualização\\db.xdb");
    }
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0);
    EXPECT_EQ(read(), "C:\\64\\db.xdb");
    ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_64KEY, 0);
    EXPECT_EQ(read(), "");
}

// The cleanup window's two timers, measured by the ticks the real window
// receives: the deletion is tried every half second, and the icon moves
// every 10 ms once clicked.
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

double MedianInterval(std::vector<ULONGLONG> at) {
    std::adjacent_difference(at.begin(), at.end(), at.begin());
    std::sort(at.begin() + 1, at.end());
    return at.size() < 2 ? 0 : static_cast<double>(at[1 + (at.size() - 1) / 2]);
}

// Fault: the cleanup timers' intervals doubled.
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
