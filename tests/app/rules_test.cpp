// The rules the updater states in numbers and text: the command line,
// versions, registry texts, which files exist, errors and a package seal.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "app/Fatal.h"
#include "app/PackageSeal.h"
#include "app/StartUp.h"
#include "app/VersionCheck.h"
#include "db/VersionText.h"
#include "platform/FileAttributes.h"
#include "platform/FileSecurity.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"

namespace {

// Faults: tabs trimmed before "/!", the path's first character lost, the
// quoted log's closing quote kept. Only spaces at the two ends go; what
// follows "/!" is the path as written; unattended is "/S" or "/s", then one
// space and a log's path, quoted or not; anything else opens the wizard.
TEST(ParseStartUp, ChoosesTheModeAndKeepsThePathAsWritten) {
    using Mode = app::StartUp::Mode;
    const struct {
        std::string arguments;
        Mode mode;
        std::string path;  // unattended: the log's
    } cases[] = {
        {"", Mode::Wizard, ""},
        {"  /!C:\\a b\\x.exe   ", Mode::Cleanup, "C:\\a b\\x.exe"},
        {"/! C:\\x.exe", Mode::Cleanup, " C:\\x.exe"},
        {"/!\"C:\\x y.exe\"", Mode::Cleanup, "\"C:\\x y.exe\""},
        {"\t/!C:\\x.exe", Mode::Wizard, ""},
        {"  /S  ", Mode::Unattended, ""},
        {"/s /LOG=C:\\a b\\u.log", Mode::Unattended, "C:\\a b\\u.log"},
        {"/S /LOG=\"C:\\a b\\u.log\" ", Mode::Unattended, "C:\\a b\\u.log"},
        {"/S  /LOG=u.log", Mode::Wizard, ""},
    };
    for (const auto& c : cases) {
        const app::StartUp s = app::ParseStartUp(c.arguments);
        EXPECT_EQ(s.mode, c.mode) << '[' << c.arguments << ']';
        EXPECT_EQ(c.mode == Mode::Unattended ? s.log : s.path, c.path) << '[' << c.arguments << ']';
    }
}

// Faults: the comparison turned, a version one past the range accepted.
TEST(CompareVersions, ComparesNumbersNotTexts) {
    EXPECT_EQ(app::CompareVersions("XDB9", "XDB10"), app::VersionOrder::InstalledOlder);
    EXPECT_EQ(app::CompareVersions("XDB0010", "XDB10"), app::VersionOrder::Same);
    EXPECT_THROW(app::CompareVersions("XDB32768", "XDB1"), db::VersionTextError);
}

// Fault: a registry text read past its NUL, which sends the wizard to the
// wrong file.
TEST(RegistryText, FollowsTheValueType) {
    const struct {
        platform::RegistryData value;
        const char* text;
    } cases[] = {
        {{platform::kRegSz, std::string("C:\\Prog\\db.xdb\0", 15)}, "C:\\Prog\\db.xdb"},
        {{platform::kRegSz, std::string("a\0b\0", 4)}, "a"},
        {{platform::kRegDword, std::string("\x2c\x01\0\0", 4)}, "44"},
    };
    for (const auto& c : cases) EXPECT_EQ(mdlRegistry::QueryRegistryValue(c.value), c.text);
}

// Faults: a folder taken for a file; one Windows 10 and 11 mark (kept by a
// sync client, compressed, search indexing off) counted as missing, which
// says "Arquivo inexistente" beside a good package.
TEST(OrdinaryFile, OnlyHiddenSystemAndFoldersCountAsMissing) {
    namespace a = platform::attribute;
    for (const std::uint32_t ordinary :
         {0u, a::Normal, a::ReadOnly, a::Archive, a::Temporary, a::SparseFile, a::ReparsePoint,
          a::Compressed, a::Offline, a::NotContentIndexed, a::Encrypted, a::IntegrityStream,
          a::NoScrubData, a::Pinned, a::Unpinned, a::RecallOnOpen, a::RecallOnDataAccess})
        EXPECT_TRUE(platform::IsOrdinaryFile(ordinary)) << std::hex << ordinary;
    for (const std::uint32_t missing :
         {a::Hidden, a::System, a::Directory, a::Archive | a::NotContentIndexed | a::Hidden,
          a::Directory | a::ReparsePoint})
        EXPECT_FALSE(platform::IsOrdinaryFile(missing)) << std::hex << missing;
}

// Fault: a system error described in other words; the program's own
// English texts shown to the user.
TEST(SystemErrors, AreDescribedInPortugueseWithTheirNumber) {
    EXPECT_EQ(platform::DescribeSystemError(112), "não há espaço suficiente no disco");
    const auto describe = [](auto error) {
        return app::DescribeFatal(std::make_exception_ptr(error));
    };
    EXPECT_EQ(describe(platform::SystemError("Não foi possível ler o arquivo", 23)),
              "Não foi possível ler o arquivo: erro de dados no disco (erro 23)");
    EXPECT_EQ(describe(std::logic_error("the package is not held")),
              "Erro interno do atualizador.");
}

// Fault: a malformed seal taken for none, which skips the release's checks.
TEST(PackageSeal, ReadsTheSizeAndHashAReleaseCarriesAndRefusesAnythingElse) {
    const std::string hash = "00ff" + std::string(60, 'a');
    EXPECT_FALSE(app::ParsePackageSeal("").has_value());
    const auto seal = app::ParsePackageSeal("4096 " + hash);
    ASSERT_TRUE(seal.has_value());
    EXPECT_EQ(seal->size, 4096u);
    EXPECT_EQ(seal->sha256[31], 0xaa);
    for (const std::string& bad :
         {std::string("4096"), "4096 " + hash.substr(1), "4096 " + hash + "0", "-1 " + hash,
          "4096  " + hash, "4096 " + hash.substr(0, 63) + "g"})
        EXPECT_THROW(app::ParsePackageSeal(bad), std::invalid_argument) << bad;
}

// Fault: the copy at the drive root open to more than SYSTEM and the
// Administrators (full control) and the Users (read and execute), or taking
// the root's entries; Wine keeps no DACL to show it.
TEST(AdministratorsOnly, IsAProtectedDaclOfThreeEntries) {
    EXPECT_EQ(std::string(platform::kAdministratorsOnly),
              "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;BU)");
}

}  // namespace
