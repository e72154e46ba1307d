// The header check and the parser, on plain texts made by hand.
#include "db/API_FILE.h"

#include <gtest/gtest.h>

#include "FakeSystem.h"

namespace {

using API_FILE::CheckDatabaseHeader;
using API_FILE::DatabaseSummary;
using API_FILE::MalformedDatabase;
using API_FILE::ParseDatabase;

const std::string kMarker = "\x1D\x1E\x1F\x1E\x1D";

// A plain text whose header declares its own length plus adjust.
std::string Plain(const std::string& records, const std::string& version, const std::string& body,
                  int adjust = 0, const std::string& lineEnd = "\r\n") {
    const std::string tail = "\x1E" + records + "\x1F" + version + lineEnd + body;
    std::size_t total = kMarker.size() + tail.size() + 1;
    while (kMarker.size() + std::to_string(total).size() + tail.size() != total) ++total;
    return kMarker + std::to_string(static_cast<long long>(total) + adjust) + tail;
}

TEST(DatabaseHeader, AcceptedTextsGiveTheirSummaryAndBody) {
    struct Case {
        const char* name;
        std::string plain;
        std::string version;
        std::int16_t records;
        std::string body;
    };
    const std::vector<Case> cases{
        {"typical", Plain("1234", "VRS0042", "records\r\nmore"), "VRS0042", 1234,
         "records\r\nmore"},
        {"empty version", Plain("0", "", "x"), "", 0, "x"},
        {"CR then a byte other than LF", Plain("7", "ABC1", "body", 0, "\rZ"), "ABC1", 7, "body"},
        {"empty body", Plain("-5", "ABC2", ""), "ABC2", -5, ""},
        {"extremes", Plain("32767", "X\x1E\x1Fy", std::string(3, '\0')), "X\x1E\x1Fy", 32767,
         std::string(3, '\0')},
        {"spaces and sign around numbers", Plain(" +12 ", "V1", "b"), "V1", 12, "b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::FakeSystem ui;
        DatabaseSummary summary{"old", 99};
        EXPECT_EQ(ParseDatabase(c.plain, summary, ui), c.body);
        EXPECT_EQ(summary.DbVersion, c.version);
        EXPECT_EQ(summary.DbRecordCount, c.records);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(DatabaseHeader, LengthMustMatchExactly) {
    const std::string good = Plain("3", "ABC9", "body");
    DatabaseSummary summary;
    const std::string header = good.substr(0, good.find('\r'));
    const auto length = static_cast<std::int32_t>(good.size());
    EXPECT_TRUE(CheckDatabaseHeader(header, length, summary));
    EXPECT_FALSE(CheckDatabaseHeader(header, length + 1, summary));
    EXPECT_FALSE(CheckDatabaseHeader(header, length - 1, summary));
    // Written before the length is compared.
    EXPECT_EQ(summary.DbVersion, "ABC9");
    EXPECT_EQ(summary.DbRecordCount, 3);
}

TEST(DatabaseHeader, RejectedTextsShowTheCorruptedMessageAndEndTheProgram) {
    const std::string good = Plain("3", "ABC9", "body");
    std::string badMarker = good;
    badMarker[2] = 'x';
    const std::vector<std::pair<const char*, std::string>> cases{
        {"one byte added", good + "!"},
        {"one byte removed", good.substr(0, good.size() - 1)},
        {"declared one less", Plain("3", "ABC9", "body", -1)},
        {"empty", ""},
        {"reader's failure text", "ERRO"},
        {"no CR at all", kMarker + "20\x1E"
                                   "1\x1F"
                                   "ABC1"},
        {"marker broken", badMarker},
        {"short marker", "\x1D\x1E\x1F\r\n"},
    };
    for (const auto& [name, plain] : cases) {
        SCOPED_TRACE(name);
        fake::FakeSystem ui;
        DatabaseSummary summary;
        EXPECT_THROW(ParseDatabase(plain, summary, ui), fake::ProgramEnded);
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].title, "Banco de dados corrompido!");
        EXPECT_EQ(ui.messages[0].style, platform::mb::Critical);
        EXPECT_EQ(ui.messages[0].text,
                  "O banco de dados do Varnel foi aparentemente violado, ou corrompido!\r\n"
                  "O processo de busca será finalizado.\r\n\r\n"
                  "Adquira o banco de dados novamente acessando a página do Varnel: "
                  "http://www.varnel.com.br");
        EXPECT_TRUE(ui.ended);
    }
}

TEST(DatabaseHeader, MalformedHeadersRaiseATypedErrorWithoutMessage) {
    const std::string longVersion(40000, 'v');
    const std::vector<std::pair<const char*, std::string>> cases{
        {"no record separator", kMarker + "12\r\n"},
        {"no unit separator", kMarker + "12\x1E"
                                        "5\r\n"},
        {"empty length", kMarker + "\x1E"
                                   "5\x1F"
                                   "V\r\n"},
        {"empty record count", kMarker + "12\x1E\x1F"
                                         "V\r\n"},
        {"length not a number", kMarker + "1x\x1E"
                                          "5\x1F"
                                          "V\r\n"},
        {"record count not a number", kMarker + "12\x1E"
                                                "0x5\x1F"
                                                "V\r\n"},
        {"record count above 32767", Plain("32768", "V", "")},
        {"record count below -32768", Plain("-32769", "V", "")},
        {"length beyond 32 bits", kMarker + "2147483648\x1E"
                                            "5\x1F"
                                            "V\r\n"},
        {"separator past 32767 characters", kMarker + std::string(40000, '1') +
                                                "\x1E"
                                                "5\x1F\r\n"},
        {"first CR is the last byte", kMarker + "12\x1E"
                                                "5\x1F"
                                                "V\r"},
    };
    for (const auto& [name, plain] : cases) {
        SCOPED_TRACE(name);
        fake::FakeSystem ui;
        DatabaseSummary summary{"kept", 1};
        EXPECT_THROW(ParseDatabase(plain, summary, ui), MalformedDatabase);
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_FALSE(ui.ended);
    }
    // A long version text after the separators is fine.
    fake::FakeSystem ui;
    DatabaseSummary summary;
    EXPECT_EQ(ParseDatabase(Plain("1", longVersion, "b"), summary, ui), "b");
    EXPECT_EQ(summary.DbVersion.size(), longVersion.size());
}

TEST(DatabaseFile, ReadsWholeFilesAndSaysERROForMissingOnes) {
    fake::FakeSystem fs;
    fs.putFile("C:\\Update\\db.xdb", std::string("a\0b\r\n", 5));
    EXPECT_EQ(API_FILE::ReadFileToString(fs, "C:\\Update\\db.xdb"), std::string("a\0b\r\n", 5));
    EXPECT_EQ(API_FILE::ReadFileToString(fs, "C:\\Update\\none.xdb"), "ERRO");
}

}  // namespace
