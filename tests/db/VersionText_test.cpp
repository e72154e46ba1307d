// The one rule for version texts, as the updater compares them and the
// tool refuses to pack what it could not compare.
#include "db/VersionText.h"

#include <gtest/gtest.h>

namespace {

// The number read, or why the text was refused.
std::string Read(const char* text) {
    try {
        return std::to_string(db::VersionNumber(text));
    } catch (const db::VersionTextError& e) {
        return e.what();
    }
}

TEST(VersionText, TakesThreeCharactersThenAWholeNumberIn16BitsAndSaysWhyNot) {
    const std::pair<const char*, int> taken[] = {
        {"XDB10", 10},         {"XDB0010", 10},     {"ABC  42  ", 42}, {"XDB+7", 7},
        {"XDB-32768", -32768}, {"XDB32767", 32767}, {"12345", 45}};
    for (const auto& [text, number] : taken) EXPECT_EQ(Read(text), std::to_string(number));
    const std::pair<const char*, const char*> refused[] = {
        {"1.0", "version text too short: \"1.0\""},
        {"XDB   ", "version text without a number: \"XDB   \""},
        {"XDB32768", "version number out of range: \"XDB32768\""},
        {"XDB-32769", "version number out of range: \"XDB-32769\""},
        {"XDB99999999999999999999", "version number out of range: \"XDB99999999999999999999\""},
        {"XDB1.5", "version number is not a number: \"XDB1.5\""}};
    for (const auto& [text, why] : refused) EXPECT_EQ(Read(text), why);
    for (const char* text : {"", "XD", "XDBabc", "XDB1a", "XDB1,000", "XDB0x10", "XDB+-1", "XDB--1",
                             "XDB+ 1", "XDB1 2", "XDB-"}) {
        EXPECT_THROW(db::VersionNumber(text), db::VersionTextError) << text;
    }
}

}  // namespace
