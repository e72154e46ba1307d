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

}  // namespace
