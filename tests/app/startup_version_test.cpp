#include <gtest/gtest.h>

#include <string>

#include "app/StartUp.h"
#include "app/VersionCheck.h"

namespace {

using app::StartUp;
using Mode = StartUp::Mode;

TEST(ParseStartUp, ChoosesTheModeAndKeepsThePathAsWritten) {
    struct Case {
        std::string arguments;
        Mode mode;
        std::string path;
    } cases[] = {
        {"", Mode::Wizard, ""},
        {"     ", Mode::Wizard, ""},
        {"/!C:\\Update\\Atualizador.exe", Mode::Cleanup, "C:\\Update\\Atualizador.exe"},
        // Only spaces at the two ends go.
        {"  /!C:\\a b\\x.exe   ", Mode::Cleanup, "C:\\a b\\x.exe"},
        {"/!", Mode::Cleanup, ""},
        {"  /!  ", Mode::Cleanup, ""},
        // A space after "/!" and quotation marks belong to the path.
        {"/! C:\\x.exe", Mode::Cleanup, " C:\\x.exe"},
        {"/!\"C:\\x y.exe\"", Mode::Cleanup, "\"C:\\x y.exe\""},
        // Tabs are not trimmed, so they hide the "/!".
        {"\t/!C:\\x.exe", Mode::Wizard, ""},
        {"/!C:\\x.exe\t", Mode::Cleanup, "C:\\x.exe\t"},
        // "/!" exactly, and first.
        {"/?C:\\x.exe", Mode::Wizard, ""},
        {"!/C:\\x.exe", Mode::Wizard, ""},
        {"/ !C:\\x.exe", Mode::Wizard, ""},
        {"x/!C:\\x.exe", Mode::Wizard, ""},
        {"\\!C:\\x.exe", Mode::Wizard, ""},
    };
    for (const auto& c : cases) {
        const StartUp s = app::ParseStartUp(c.arguments);
        EXPECT_EQ(s.mode, c.mode) << '[' << c.arguments << ']';
        EXPECT_EQ(s.path, c.path) << '[' << c.arguments << ']';
    }
}

TEST(VersionNumber, ReadsTheNumberAfterThePrefix) {
    struct Case {
        const char* text;
        int number;
    } cases[] = {
        {"XDB10", 10},         {"XDB0010", 10},     {"ABC  42  ", 42}, {"XDB+7", 7},
        {"XDB-32768", -32768}, {"XDB32767", 32767}, {"12345", 45},
    };
    for (const auto& c : cases) EXPECT_EQ(app::VersionNumber(c.text), c.number) << c.text;
}

TEST(VersionNumber, RefusesWhatIsNoWholeNumberInRange) {
    for (const char* text :
         {"", "XDB", "XD", "XDB   ", "XDBabc", "XDB1a", "XDB1.5", "XDB1,000", "XDB0x10", "XDB32768",
          "XDB-32769", "XDB99999999999999999999", "XDB+-1", "XDB--1", "XDB+ 1", "XDB1 2", "XDB-"}) {
        EXPECT_THROW(app::VersionNumber(text), app::VersionError) << text;
    }
}

TEST(CompareVersions, ComparesNumbersNotTexts) {
    using app::VersionOrder;
    struct Case {
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
        EXPECT_EQ(app::CompareVersions(c.installed, c.update), c.order)
            << c.installed << " vs " << c.update;
    EXPECT_THROW(app::CompareVersions("XDB32768", "XDB1"), app::VersionError);
    EXPECT_THROW(app::CompareVersions("XDB1", "XDB32768"), app::VersionError);
}

}  // namespace
