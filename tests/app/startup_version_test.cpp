#include <gtest/gtest.h>

#include <string>

#include "app/StartUp.h"
#include "app/VersionCheck.h"
#include "db/VersionText.h"

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
    EXPECT_THROW(app::CompareVersions("XDB32768", "XDB1"), db::VersionTextError);
    EXPECT_THROW(app::CompareVersions("XDB1", "XDB32768"), db::VersionTextError);
}

}  // namespace
