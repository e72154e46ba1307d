// The rules the updater states in numbers and text, each as a table: the
// command line, versions, the panels' shading, registry texts, paths, which
// files exist, system errors, a release's package seal and the descriptor
// of the files it makes for the administrators alone.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "FakeSystem.h"
#include "app/Fatal.h"
#include "app/PackageSeal.h"
#include "app/StartUp.h"
#include "app/VersionCheck.h"
#include "db/VersionText.h"
#include "platform/Decl.h"
#include "platform/FileAttributes.h"
#include "platform/FileSecurity.h"
#include "platform/PanelShading.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"

namespace {

TEST(ParseStartUp, ChoosesTheModeAndKeepsThePathAsWritten) {
    using Mode = app::StartUp::Mode;
    const struct {
        std::string arguments;
        Mode mode;
        std::string path;  // unattended: the log's
    } cases[] = {
        {"", Mode::Wizard, ""},
        // Only spaces at the two ends go.
        {"  /!C:\\a b\\x.exe   ", Mode::Cleanup, "C:\\a b\\x.exe"},
        {"  /!  ", Mode::Cleanup, ""},
        // A space after "/!" and quotation marks belong to the path.
        {"/! C:\\x.exe", Mode::Cleanup, " C:\\x.exe"},
        {"/!\"C:\\x y.exe\"", Mode::Cleanup, "\"C:\\x y.exe\""},
        // Tabs are not trimmed, so they hide the "/!".
        {"\t/!C:\\x.exe", Mode::Wizard, ""},
        {"/!C:\\x.exe\t", Mode::Cleanup, "C:\\x.exe\t"},
        // "/!" exactly, and first.
        {"/?C:\\x.exe", Mode::Wizard, ""},
        {"x/!C:\\x.exe", Mode::Wizard, ""},
        // Unattended: "/S" or "/s", then one space and a log's path, quoted or not.
        {"  /S  ", Mode::Unattended, ""},
        {"/s /LOG=C:\\a b\\u.log", Mode::Unattended, "C:\\a b\\u.log"},
        {"/S /LOG=\"C:\\a b\\u.log\" ", Mode::Unattended, "C:\\a b\\u.log"},
        // Anything else opens the wizard, as before.
        {"/S  /LOG=u.log", Mode::Wizard, ""},
        {"/S /LOG=", Mode::Wizard, ""},
        {"/S /LOG=\"a\"b\"", Mode::Wizard, ""},
        {"/S /log=u.log", Mode::Wizard, ""},
    };
    for (const auto& c : cases) {
        const app::StartUp s = app::ParseStartUp(c.arguments);
        EXPECT_EQ(s.mode, c.mode) << '[' << c.arguments << ']';
        EXPECT_EQ(c.mode == Mode::Unattended ? s.log : s.path, c.path) << '[' << c.arguments << ']';
    }
}

TEST(CompareVersions, ComparesNumbersNotTexts) {
    using app::VersionOrder;
    const struct {
        const char* installed;
        const char* update;
        VersionOrder order;
    } cases[] = {
        {"XDB9", "XDB10", VersionOrder::InstalledOlder},  // textually "9" > "10"
        {"XDB0010", "XDB10", VersionOrder::Same},
        {"ABC10", "XYZ10", VersionOrder::Same},
        {"XDB11", "XDB10", VersionOrder::InstalledNewer},
        {"XDB-1", "XDB0", VersionOrder::InstalledOlder},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::CompareVersions(c.installed, c.update), c.order) << c.installed;
    EXPECT_THROW(app::CompareVersions("XDB32768", "XDB1"), db::VersionTextError);
}

// The bands of a shading: the colour of each band's first line, by start.
std::vector<Decl::ShadeLine> BandStarts(const std::vector<Decl::ShadeLine>& lines, double band) {
    std::vector<Decl::ShadeLine> starts;
    for (std::size_t i = 0; i < lines.size(); i += static_cast<std::size_t>(band) + 1)
        starts.push_back(lines[i]);
    return starts;
}

constexpr std::uint32_t Rgb(int r, int g, int b) {
    return static_cast<std::uint32_t>(r | g << 8 | b << 16);
}

// Bands one step lighter each, from the button face to white or to the
// box's width; each component stops at white on its own. (The default band
// width is the wizard's load step's to show.)
TEST(ShadePanel, RunsToWhiteOrTheWidthEachComponentStoppingAtWhite) {
    double band = 50;
    const auto narrow = BandStarts(Decl::ShadePanel(Rgb(192, 192, 192), 3135, band), band);
    ASSERT_EQ(narrow.size(), 63u);
    EXPECT_EQ(narrow.back().x, 3100);
    EXPECT_EQ(narrow.back().colour, Rgb(254, 254, 254));
    band = 25;
    const auto clamped = BandStarts(Decl::ShadePanel(Rgb(236, 233, 216), 4815, band), band);
    ASSERT_EQ(clamped.size(), 40u);
    EXPECT_EQ(clamped[20].colour, Rgb(255, 253, 236));
    EXPECT_EQ(clamped.back().colour, Rgb(255, 255, 255));
}

// The text rule decides what the wizard takes for the installed database's
// path; a wrong rule sends it to the wrong file.
TEST(RegistryText, FollowsTheValueType) {
    const struct {
        platform::RegistryData value;
        const char* text;
    } cases[] = {
        {{platform::kRegSz, std::string("C:\\Prog\\db.xdb\0", 15)}, "C:\\Prog\\db.xdb"},
        {{platform::kRegSz, std::string("a\0b\0", 4)}, "a"},
        {{platform::kRegSz, "C:\\db"}, "C:\\db"},
        {{platform::kRegDword, std::string("\x2c\x01\0\0", 4)}, "44"},
        {{platform::kRegExpandSz, "C:\\x"}, "67"},
        {{platform::kRegBinary, "\xff"}, "255"},
        {{platform::kRegBinary, ""}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(mdlRegistry::QueryRegistryValue(c.value), c.text);
    fake::FakeSystem sys;
    EXPECT_EQ(mdlRegistry::InstalledDatabasePath(sys), "");
    sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "DB", "C:\\Prog\\db.xdb");
    EXPECT_EQ(mdlRegistry::InstalledDatabasePath(sys), "C:\\Prog\\db.xdb");
}

// Each call adds one whole group to what wininit.ini holds (in a Windows
// folder at a drive root too), and gives the system's own order.
TEST(ScheduleDeleteOnRestart, AppendsOneCompleteGroupPerCallAndOrdersTheSystem) {
    fake::FakeSystem sys;
    sys.windowsDir = "C:\\";
    sys.putFile("C:\\wininit.ini", "[Old]\r\n");
    for (const char* copy : {"C:\\Atualizador.exe", "C:\\Atualizador0.exe"}) {
        sys.putFile(copy, "MZ");
        Decl::ScheduleDeleteOnRestart(sys, copy);
    }
    EXPECT_EQ(sys.contents("C:\\wininit.ini"),
              "[Old]\r\n\r\n[Rename]\r\nNUL=SHORT:C:\\Atualizador.exe\r\n"
              "\r\n[Rename]\r\nNUL=SHORT:C:\\Atualizador0.exe\r\n");
    EXPECT_EQ(sys.rebootDeletes.size(), 2u);
}

// Windows 10 and 11 set these on ordinary files (a folder kept by a sync
// client, compressed or encrypted, search indexing turned off): counting any
// of them as missing says "Arquivo inexistente" beside a good package, or
// replaces a present database without comparing versions.
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

// The fatal report is Portuguese word for word, the system's number kept.
TEST(SystemErrors, AreDescribedInPortugueseWithTheirNumber) {
    EXPECT_EQ(std::string(platform::SystemError("Não foi possível iniciar X", 2).what()),
              "Não foi possível iniciar X: o arquivo não foi encontrado (erro 2)");
    EXPECT_EQ(platform::DescribeSystemError(112), "não há espaço suficiente no disco");
    EXPECT_EQ(platform::DescribeSystemError(1450), "os recursos do sistema são insuficientes");
    EXPECT_EQ(platform::DescribeSystemError(4242), "erro do sistema");
    const auto describe = [](auto error) {
        return app::DescribeFatal(std::make_exception_ptr(error));
    };
    EXPECT_EQ(describe(platform::SystemError("Não foi possível ler o arquivo", 23)),
              "Não foi possível ler o arquivo: erro de dados no disco (erro 23)");
    // The program's own English texts never reach the user.
    EXPECT_EQ(describe(std::bad_alloc()), "Não há memória suficiente.");
    EXPECT_EQ(describe(std::logic_error("the package is not held")),
              "Erro interno do atualizador.");
}

TEST(PackageSeal, ReadsTheSizeAndHashAReleaseCarriesAndRefusesAnythingElse) {
    const std::string hash = "00ff" + std::string(60, 'a');
    EXPECT_FALSE(app::ParsePackageSeal("").has_value());
    const auto seal = app::ParsePackageSeal("4096 " + hash);
    ASSERT_TRUE(seal.has_value());
    EXPECT_EQ(seal->size, 4096u);
    EXPECT_EQ(seal->sha256[0], 0x00);
    EXPECT_EQ(seal->sha256[1], 0xff);
    EXPECT_EQ(seal->sha256[31], 0xaa);
    for (const std::string& bad :
         {std::string("4096"), "4096 " + hash.substr(1), "4096 " + hash + "0", "-1 " + hash,
          " 4096 " + hash, "4096  " + hash, "4096 " + hash.substr(0, 63) + "g", "x " + hash})
        EXPECT_THROW(app::ParsePackageSeal(bad), std::invalid_argument) << bad;
}

// The copy at the drive root: a protected DACL (nothing inherited from the
// root, which lets every account change what is made there), full control
// for SYSTEM and the Administrators, read and execute for the Users, and
// no entry at all for anyone else.
TEST(AdministratorsOnly, IsAProtectedDaclOfThreeEntries) {
    EXPECT_EQ(std::string(platform::kAdministratorsOnly),
              "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;BU)");
}

}  // namespace
