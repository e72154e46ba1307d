// Holding files and writing new ones, against the real file system: what
// the updater relies on to install the bytes it checked and never leave
// the product without a whole database.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "TempFolder.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"
#include "uidriver.h"

namespace {

using platform::win32::UniqueHandle;
using platform::win32::Widen;

class Win32HeldFiles : public testing::Test {
  protected:
    std::string put(const std::string& name, std::string_view bytes) {
        const std::string path = dir / name;
        uidriver::WriteWholeFile(path, bytes);
        return path;
    }
    std::unique_ptr<platform::HeldFile> hold(const std::string& path) {
        std::uint32_t error = 0;
        auto held = system.holdFile(path, error);
        EXPECT_TRUE(held) << path << ": error " << error;
        return held;
    }
    static void setReadOnly(const std::string& path, bool on) {
        ::SetFileAttributesW(Widen(path).c_str(),
                             on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
    }
    static bool readOnly(const std::string& path) {
        return ::GetFileAttributesW(Widen(path).c_str()) & FILE_ATTRIBUTE_READONLY;
    }
    // Files in the folder, by name.
    std::size_t count() {
        std::size_t n = 0;
        WIN32_FIND_DATAW found{};
        platform::win32::UniqueFind find(::FindFirstFileW(Widen(dir / "*").c_str(), &found));
        if (find) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
            } while (::FindNextFileW(find.get(), &found));
        }
        return n;
    }

    TempFolder dir;
    platform::win32::Win32Platform system;
};

std::string Bytes(std::size_t n) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(i * 131 + i / 977);
    return bytes;
}

// While the updater holds the package, nobody may write it, rename it away
// or delete it: otherwise what is installed could differ from what was
// checked.
TEST_F(Win32HeldFiles, HeldFileRefusesWritersRenamersAndDeleters) {
    const std::string content = Bytes(3 * 1024 * 1024 + 17);
    const std::string path = put("db.xdb", content);
    auto held = hold(path);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->size(), content.size());
    EXPECT_EQ(held->read(0, content.size()), content);
    EXPECT_EQ(held->read(content.size() - 5, 100), content.substr(content.size() - 5));

    const std::wstring wide = Widen(path);
    UniqueHandle writer(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "opened for writing";
    EXPECT_FALSE(::DeleteFileW(wide.c_str())) << "deleted";
    EXPECT_FALSE(::MoveFileW(wide.c_str(), Widen(dir / "elsewhere.xdb").c_str())) << "renamed";
    EXPECT_EQ(uidriver::ReadWholeFile(path), content);

    // Removal goes through the held handle itself.
    EXPECT_EQ(held->remove(), 0u);
    EXPECT_FALSE(uidriver::FileExists(path));
}

TEST_F(Win32HeldFiles, ReadOnlyFileIsRemovedThroughItsHandle) {
    const std::string path = put("db.xdb", "package");
    setReadOnly(path, true);
    auto held = hold(path);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->remove(), 0u);
    EXPECT_FALSE(uidriver::FileExists(path));
}

// A copy is made only under a name nobody has: never over a file, a folder
// or anything else already there.
TEST_F(Win32HeldFiles, CopyIsNeverMadeOverAnExistingName) {
    auto source = hold(put("db.xdb", "new database"));
    ASSERT_TRUE(source);
    const std::string taken = put("db.xdb.novo", "someone else's");
    ::CreateDirectoryW(Widen(dir / "folder.novo").c_str(), nullptr);

    for (const std::string& name : {taken, dir / "folder.novo"}) {
        std::uint32_t error = 0;
        EXPECT_FALSE(system.createCopy(name, *source, error, platform::FileAccess::AsTheFolder, {}))
            << name;
        EXPECT_TRUE(error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            << name << ": " << error;
    }
    EXPECT_EQ(uidriver::ReadWholeFile(taken), "someone else's");

    std::uint32_t error = 0;
    EXPECT_FALSE(system.createCopy(dir / "missing\\db.xdb", *source, error,
                                   platform::FileAccess::AsTheFolder, {}));
    EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
}

// A copy that is let go without being put in place leaves nothing behind,
// and one put in place replaces the old file whole, read-only or not, and
// is itself an ordinary writable file.
TEST_F(Win32HeldFiles, CopyReplacesTheTargetInOneStepOrLeavesNothing) {
    const std::string content = Bytes(2 * 1024 * 1024 + 3);
    auto source = hold(put("package.xdb", content));
    ASSERT_TRUE(source);
    setReadOnly(dir / "package.xdb", true);
    const std::string target = put("db.xdb", "old database");
    setReadOnly(target, true);

    std::uint32_t error = 0;
    auto discarded = system.createCopy(dir / "db.xdb.novo", *source, error,
                                       platform::FileAccess::AsTheFolder, {});
    ASSERT_TRUE(discarded) << error;
    EXPECT_EQ(count(), 3u);
    discarded.reset();
    EXPECT_EQ(count(), 2u) << "a copy let go stays behind";

    auto staged = system.createCopy(dir / "db.xdb.novo", *source, error,
                                    platform::FileAccess::AsTheFolder, {});
    ASSERT_TRUE(staged) << error;
    {
        // Held by the product without delete sharing: refused, nothing changes.
        uidriver::HeldFile product(target);
        EXPECT_NE(staged->replace(target), 0u);
        EXPECT_EQ(uidriver::ReadWholeFile(target), "old database");
        EXPECT_TRUE(readOnly(target)) << "a refused replacement keeps the old attributes";
    }
    EXPECT_EQ(staged->replace(target), 0u);
    EXPECT_EQ(uidriver::ReadWholeFile(target), content);
    EXPECT_FALSE(readOnly(target));
    EXPECT_FALSE(uidriver::FileExists(dir / "db.xdb.novo"));
    staged.reset();
    EXPECT_TRUE(uidriver::FileExists(target));
    setReadOnly(dir / "package.xdb", false);
}

// The hand-off's copy of the updater: kept at its name, then held until it
// has been started, so that nothing else can be put in its place.
TEST_F(Win32HeldFiles, KeptCopyIsHeld) {
    auto source = hold(put("Atualizador.exe", "MZ the updater"));
    ASSERT_TRUE(source);
    std::uint32_t error = 0;
    auto made =
        system.createCopy(dir / "copy.exe", *source, error, platform::FileAccess::AsTheFolder, {});
    ASSERT_TRUE(made) << error;
    auto kept = made->keep(error);
    ASSERT_TRUE(kept) << error;
    made.reset();
    EXPECT_EQ(uidriver::ReadWholeFile(dir / "copy.exe"), "MZ the updater");
    EXPECT_FALSE(::DeleteFileW(Widen(dir / "copy.exe").c_str()));
    kept.reset();
    EXPECT_TRUE(uidriver::FileExists(dir / "copy.exe"));
}

}  // namespace
