#include <gtest/gtest.h>

#include "FakeSystem.h"
#include "app/Fatal.h"
#include "platform/Decl.h"
#include "platform/FileAttributes.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "platform/mdlRegistry.h"

namespace {

using platform::RegistryData;

struct RegistryCase {
    const char* name;
    RegistryData value;
    const char* expected;
};

void PrintTo(const RegistryCase& c, std::ostream* os) {
    *os << c.name;
}

class RegistryText : public testing::TestWithParam<RegistryCase> {};

// The text rule decides what the wizard takes for the installed database's
// path; a wrong rule sends it to the wrong file.
TEST_P(RegistryText, FollowsTheValueType) {
    EXPECT_EQ(mdlRegistry::QueryRegistryValue(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryText,
    testing::Values(
        RegistryCase{"SzWithoutItsNul",
                     {platform::kRegSz, std::string("C:\\Prog\\db.xdb\0", 15)},
                     "C:\\Prog\\db.xdb"},
        RegistryCase{"SzStopsAtFirstNul", {platform::kRegSz, std::string("a\0b\0", 4)}, "a"},
        RegistryCase{"EmptySz", {platform::kRegSz, std::string("\0", 1)}, ""},
        RegistryCase{"SzWithoutAnyNulIsTakenWhole", {platform::kRegSz, "C:\\db"}, "C:\\db"},
        RegistryCase{
            "DwordGivesFirstByte", {platform::kRegDword, std::string("\x2c\x01\0\0", 4)}, "44"},
        RegistryCase{"ExpandSzGivesCodeOfFirstChar", {platform::kRegExpandSz, "C:\\x"}, "67"},
        RegistryCase{"HighByteIsUnsigned", {platform::kRegBinary, "\xff"}, "255"},
        RegistryCase{"EmptyBinary", {platform::kRegBinary, ""}, ""}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ReadRegistryValue, MissingKeyOrValueGivesEmptyText) {
    fake::FakeSystem sys;
    EXPECT_EQ(mdlRegistry::InstalledDatabasePath(sys), "");
    sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "Other", "x");
    EXPECT_EQ(mdlRegistry::InstalledDatabasePath(sys), "");
    sys.setRegistryString("SOFTWARE\\Holmcrest\\Varnel R40", "DB", "C:\\Prog\\db.xdb");
    EXPECT_EQ(mdlRegistry::InstalledDatabasePath(sys), "C:\\Prog\\db.xdb");
}

TEST(GetPathFromFile, CutsAfterLastBackslashAndUpdatesTheCaller) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {{"C:\\Prog\\App\\db.xdb", "C:\\Prog\\App\\"},
                 {"db.xdb", "db.xdb"},
                 {"C:\\", "C:\\"},
                 {"", ""}};
    for (const auto& c : cases) {
        std::string path = c.in;
        EXPECT_EQ(paths::GetPathFromFile(path), c.out) << c.in;
        EXPECT_EQ(path, c.out) << c.in;
    }
}

TEST(Join, NeverDoublesTheBackslashOfADriveRoot) {
    EXPECT_EQ(paths::Join("C:\\Update", "db.xdb"), "C:\\Update\\db.xdb");
    EXPECT_EQ(paths::Join("D:\\", "db.xdb"), "D:\\db.xdb");
}

// Each call adds one whole group to what wininit.ini holds (in a Windows
// folder at a drive root too), and asks the system itself as well, whose
// refusal (no administrator rights) is no error.
TEST(ScheduleDeleteOnRestart, AppendsOneCompleteGroupPerCallAndAsksTheSystem) {
    fake::FakeSystem sys;
    sys.windowsDir = "C:\\";
    sys.putFile("C:\\wininit.ini", "[Old]\r\n");
    for (const char* copy : {"C:\\Atualizador.exe", "C:\\Atualizador0.exe"})
        sys.putFile(copy, "MZ");
    Decl::ScheduleDeleteOnRestart(sys, "C:\\Atualizador.exe");
    sys.deleteAtRebootAccepted = false;
    Decl::ScheduleDeleteOnRestart(sys, "C:\\Atualizador0.exe");
    EXPECT_EQ(sys.contents("C:\\wininit.ini"),
              "[Old]\r\n\r\n[Rename]\r\nNUL=SHORT:C:\\Atualizador.exe\r\n"
              "\r\n[Rename]\r\nNUL=SHORT:C:\\Atualizador0.exe\r\n");
    EXPECT_EQ(sys.rebootDeletes, std::vector<std::string>{"C:\\Atualizador.exe"});
}

}  // namespace

namespace {

// Windows 10 and 11 set these on ordinary files: a Downloads or Desktop
// folder kept by a sync client, a compressed or encrypted folder, search
// indexing turned off. Counting any of them as missing made the updater
// say "Arquivo inexistente" beside a good package, and turned a present
// installed database into the reinstall question, which replaces it
// without comparing versions.
TEST(OrdinaryFile, OnlyHiddenSystemAndFoldersCountAsMissing) {
    namespace a = platform::attribute;
    struct {
        const char* name;
        std::uint32_t attributes;
        bool ordinary;
    } cases[] = {
        {"none", 0, true},
        {"normal", a::Normal, true},
        {"read-only", a::ReadOnly, true},
        {"archive", a::Archive, true},
        {"temporary", a::Temporary, true},
        {"sparse", a::SparseFile, true},
        {"reparse point (cloud file, link)", a::ReparsePoint, true},
        {"compressed", a::Compressed, true},
        {"offline", a::Offline, true},
        {"not content-indexed", a::NotContentIndexed, true},
        {"encrypted", a::Encrypted, true},
        {"integrity stream", a::IntegrityStream, true},
        {"no scrub data", a::NoScrubData, true},
        {"pinned", a::Pinned, true},
        {"unpinned", a::Unpinned, true},
        {"recall on open", a::RecallOnOpen, true},
        {"recall on data access", a::RecallOnDataAccess, true},
        {"cloud placeholder as synced",
         a::Archive | a::ReparsePoint | a::Offline | a::NotContentIndexed | a::RecallOnDataAccess,
         true},
        {"hidden", a::Hidden, false},
        {"system", a::System, false},
        {"folder", a::Directory, false},
        {"hidden among others", a::Archive | a::NotContentIndexed | a::Hidden, false},
        {"system among others", a::ReadOnly | a::Compressed | a::System, false},
        {"folder among others", a::Directory | a::ReparsePoint, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::IsOrdinaryFile(c.attributes), c.ordinary) << c.name;
}

}  // namespace

namespace {

// The fatal report is Portuguese word for word, the system's number kept.
TEST(SystemErrors, AreDescribedInPortugueseWithTheirNumber) {
    EXPECT_EQ(
        platform::SystemError("Não foi possível iniciar \"C:\\V\\removedor.exe\" /!", 2).what(),
        std::string("Não foi possível iniciar \"C:\\V\\removedor.exe\" /!: o arquivo não foi "
                    "encontrado (erro 2)"));
    EXPECT_EQ(platform::DescribeSystemError(5), "acesso negado");
    EXPECT_EQ(platform::DescribeSystemError(32), "o arquivo está sendo usado por outro programa");
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

}  // namespace
