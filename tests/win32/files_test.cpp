#include <gtest/gtest.h>
#include <windows.h>

#include "TempFolder.h"
#include "platform/SystemError.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Platform.h"
#include "uidriver.h"

namespace {

using platform::DeleteOutcome;
using platform::win32::UniqueHandle;
using platform::win32::Widen;

class Win32Files : public testing::Test {
  protected:
    std::string put(const std::string& name, std::string_view bytes = "data") {
        const std::string path = dir / name;
        uidriver::WriteWholeFile(path, bytes);
        return path;
    }
    std::string folder(const std::string& name) {
        const std::string path = dir / name;
        ::CreateDirectoryW(Widen(path).c_str(), nullptr);
        return path;
    }
    TempFolder dir;
    platform::win32::Win32Platform system;
};

// The updater tells "not there" from "could not delete" to decide between
// going on and asking the user to retry; these are the codes the tells rely on.
TEST_F(Win32Files, DeleteTellsNotFoundFromFailure) {
    const std::string held = put("held.xdb");
    uidriver::HeldFile holder(held);
    const std::string plain = put("plain.xdb");

    struct {
        const char* what;
        std::string path;
        DeleteOutcome outcome;
        std::uint32_t error;
    } cases[] = {
        {"plain file", plain, DeleteOutcome::Deleted, 0},
        {"held open by another process", held, DeleteOutcome::Failed, ERROR_SHARING_VIOLATION},
        {"missing file", dir / "missing.xdb", DeleteOutcome::NotFound, ERROR_FILE_NOT_FOUND},
        {"missing folder", dir / "nope\\db.xdb", DeleteOutcome::NotFound, ERROR_PATH_NOT_FOUND},
        {"folder", folder("sub"), DeleteOutcome::Failed, ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto result = system.deleteFile(c.path);
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.error, c.error);
    }
    EXPECT_FALSE(uidriver::FileExists(plain));
    EXPECT_TRUE(uidriver::FileExists(held));
    holder.release();
    EXPECT_EQ(system.deleteFile(held).outcome, DeleteOutcome::Deleted);
}

TEST_F(Win32Files, OnlyNormalFilesExist) {
    const std::string hidden = put("hidden.xdb");
    uidriver::SetHidden(hidden, true);
    const std::string readOnly = put("readonly.xdb");
    ::SetFileAttributesW(Widen(readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string system32 = put("system.xdb");
    ::SetFileAttributesW(Widen(system32).c_str(), FILE_ATTRIBUTE_SYSTEM);

    struct {
        std::string path;
        bool exists;
    } cases[] = {
        {put("db.xdb"), true},  {readOnly, true},           {hidden, false},
        {system32, false},      {folder("db2.xdb"), false}, {dir / "missing.xdb", false},
        {dir / "*.xdb", false},
    };
    for (const auto& c : cases) EXPECT_EQ(system.normalFileExists(c.path), c.exists) << c.path;
    ::SetFileAttributesW(Widen(readOnly).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32Files, AppendAnsiTextCreatesThenAppendsInTheCodePage) {
    if (::GetACP() != 1252) GTEST_SKIP() << "expects code page 1252, have " << ::GetACP();
    const std::string path = dir / "log.txt";
    system.appendAnsiText(path, "Atualização\r\n");
    system.appendAnsiText(path, "ok\r\n");
    EXPECT_EQ(uidriver::ReadWholeFile(path), "Atualiza\xe7\xe3o\r\nok\r\n");

    try {
        system.appendAnsiText(dir / "nope\\log.txt", "x");
        FAIL() << "appending into a missing folder must throw";
    } catch (const platform::SystemError& e) {
        EXPECT_EQ(e.code(), static_cast<std::uint32_t>(ERROR_PATH_NOT_FOUND));
    }
}

}  // namespace
