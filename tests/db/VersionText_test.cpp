// The one rule for version texts, as the updater compares them and the
// tool refuses to pack what it could not compare.
#include "db/VersionText.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionText, ThreeCharactersThenAWholeNumberIn16Bits) {
    struct Case {
        const char* text;
        int number;
    } cases[] = {
        {"XDB10", 10},         {"XDB0010", 10},     {"ABC  42  ", 42}, {"XDB+7", 7},
        {"XDB-32768", -32768}, {"XDB32767", 32767}, {"12345", 45},
    };
    for (const auto& c : cases) EXPECT_EQ(db::VersionNumber(c.text), c.number) << c.text;
}

TEST(VersionText, RefusesWhatTheUpdaterCannotCompareAndSaysWhy) {
    struct Case {
        const char* text;
        const char* why;
    } cases[] = {
        {"1.0", "version text too short: \"1.0\""},
        {"", "version text too short: \"\""},
        {"XDB   ", "version text without a number: \"XDB   \""},
        {"VRN99999", "version number out of range: \"VRN99999\""},
        {"XDB-32769", "version number out of range: \"XDB-32769\""},
        {"XDB99999999999999999999", "version number out of range: \"XDB99999999999999999999\""},
        {"XDB1.5", "version number is not a number: \"XDB1.5\""},
    };
    for (const auto& c : cases) {
        try {
            db::VersionNumber(c.text);
            ADD_FAILURE() << c.text << " taken";
        } catch (const db::VersionTextError& e) {
            EXPECT_STREQ(e.what(), c.why);
        }
    }
    for (const char* text : {"XD", "XDBabc", "XDB1a", "XDB1,000", "XDB0x10", "XDB+-1", "XDB--1",
                             "XDB+ 1", "XDB1 2", "XDB-"}) {
        EXPECT_THROW(db::VersionNumber(text), db::VersionTextError) << text;
    }
}

}  // namespace
