#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/mdlRegistry.h"
#include "platform/win32/Win32Platform.h"
#include "uidriver.h"

namespace {

using platform::RegistryRoot;

const std::string kKey =
    "Software\\AtualizadorTests\\registry-" + std::to_string(::GetCurrentProcessId());

// The literal's bytes, embedded NULs included, without the one C++ appends.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

struct Written {
    const char* name;
    DWORD type;
    std::string bytes;
    const char* expected;  // UTF-8
};

class Win32RegistryRead : public testing::Test {
  protected:
    void TearDown() override {
        uidriver::DeleteRegistryTree(uidriver::Root::CurrentUser, kKey);
        uidriver::DeleteRegistryTree(uidriver::Root::LocalMachine, kKey);
    }
    platform::win32::Win32Platform system;
};

// Values written through the real registry come back by the updater's text
// rule: this is where the ANSI query, the two-step size/data read and the
// code page conversion meet.
TEST_F(Win32RegistryRead, EachValueTypeGivesItsText) {
    const Written values[] = {
        {"Sz", REG_SZ, bytes("C:\\Prog\\db.xdb\0"), "C:\\Prog\\db.xdb"},
        {"EmptySz", REG_SZ, bytes("\0"), ""},
        {"SzWithoutNul", REG_SZ, "C:\\db", "C:\\db"},
        {"AnsiSz", REG_SZ, bytes("C:\\Atualiza\xe7\xe3o\\db.xdb\0"), "C:\\Atualização\\db.xdb"},
        {"Dword300", REG_DWORD, bytes("\x2c\x01\0\0"), "44"},
        {"ExpandSz", REG_EXPAND_SZ, bytes("C:\\x\0"), "67"},
        {"Binary", REG_BINARY, "\xff\x01", "255"},
    };
    for (const auto& v : values)
        uidriver::SetRegistryValue(uidriver::Root::CurrentUser, kKey, v.name, v.type, v.bytes);

    for (const auto& v : values) {
        SCOPED_TRACE(v.name);
        if (std::string(v.name) == "AnsiSz" && ::GetACP() != 1252) continue;
        EXPECT_EQ(mdlRegistry::ReadRegistryValue(system, RegistryRoot::CurrentUser, kKey, v.name),
                  v.expected);
    }
}

TEST_F(Win32RegistryRead, MissingKeyOrValueGivesEmptyText) {
    uidriver::SetRegistryString(uidriver::Root::CurrentUser, kKey, "Other", "x");
    EXPECT_EQ(mdlRegistry::ReadRegistryValue(system, RegistryRoot::CurrentUser, kKey, "DB"), "");
    EXPECT_EQ(
        mdlRegistry::ReadRegistryValue(system, RegistryRoot::CurrentUser, kKey + "\\Nope", "DB"),
        "");
    EXPECT_FALSE(system.readRegistry(RegistryRoot::CurrentUser, kKey, "DB").has_value());
}

// The predefined roots are sign-extended handles on 64-bit Windows; a root
// converted without the sign would open nothing.
TEST_F(Win32RegistryRead, ReadsUnderLocalMachine) {
    try {
        uidriver::SetRegistryString(uidriver::Root::LocalMachine, kKey, "DB", "C:\\Prog\\db.xdb");
    } catch (const uidriver::DriverError& e) {
        GTEST_SKIP() << "HKLM not writable here: " << e.what();
    }
    EXPECT_EQ(mdlRegistry::ReadRegistryValue(system, RegistryRoot::LocalMachine, kKey, "DB"),
              "C:\\Prog\\db.xdb");
}

// A 32-bit product keeps its key in the registry's 32-bit view, which a
// 64-bit process does not see by default: the installed database would look
// missing and the update would be cancelled.
TEST_F(Win32RegistryRead, PrefersTheProductsThirtyTwoBitView) {
    const auto write32 = [](const std::string& text) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return false;
        const LONG written =
            RegSetValueExA(key, "DB", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1));
        RegCloseKey(key);
        return written == ERROR_SUCCESS;
    };
    if (!write32("C:\\32\\db.xdb")) GTEST_SKIP() << "HKLM not writable here";
    EXPECT_EQ(mdlRegistry::ReadRegistryValue(system, RegistryRoot::LocalMachine, kKey, "DB"),
              "C:\\32\\db.xdb");
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kKey.c_str(), KEY_WOW64_32KEY, 0);

    uidriver::SetRegistryString(uidriver::Root::LocalMachine, kKey, "DB", "C:\\64\\db.xdb");
    EXPECT_EQ(mdlRegistry::ReadRegistryValue(system, RegistryRoot::LocalMachine, kKey, "DB"),
              "C:\\64\\db.xdb");
}

}  // namespace
