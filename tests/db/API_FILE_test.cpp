// The header check and the parser, on plain texts made by hand.
#include "db/API_FILE.h"

#include <gtest/gtest.h>

#include "FakeSystem.h"

namespace {

using API_FILE::DatabaseSummary;
using API_FILE::ParseDatabase;

const std::string kMarker = "\x1D\x1E\x1F\x1E\x1D";

// A header written readably: '|' stands for the separator after the length,
// '^' for the one after the record count; the marker goes before it.
std::string Header(std::string text) {
    for (char& c : text) c = c == '|' ? '\x1E' : c == '^' ? '\x1F' : c;
    return kMarker + text;
}

// A plain text whose header declares its own length plus adjust.
std::string Plain(const std::string& records, const std::string& version, const std::string& body,
                  int adjust = 0, const std::string& lineEnd = "\r\n") {
    const std::string tail = "\x1E" + records + "\x1F" + version + lineEnd + body;
    std::size_t total = kMarker.size() + tail.size() + 1;
    while (kMarker.size() + std::to_string(total).size() + tail.size() != total) ++total;
    return kMarker + std::to_string(static_cast<long long>(total) + adjust) + tail;
}

TEST(DatabaseHeader, AcceptedTextsGiveTheirSummaryAndBody) {
    const struct {
        std::string plain;
        std::string version;
        std::int16_t records;
        std::string body;
    } cases[] = {
        {Plain("1234", "VRS0042", "records\r\nmore"), "VRS0042", 1234, "records\r\nmore"},
        {Plain("0", "", "x"), "", 0, "x"},
        {Plain("7", "ABC1", "body", 0, "\rZ"), "ABC1", 7, "body"},  // CR, then any byte
        {Plain("-5", "ABC2", ""), "ABC2", -5, ""},
        {Plain("32767", "X\x1E\x1Fy", std::string(3, '\0')), "X\x1E\x1Fy", 32767,
         std::string(3, '\0')},
        {Plain(" +12 ", "V1", "b"), "V1", 12, "b"},
        {Plain("1", std::string(40000, 'v'), "b"), std::string(40000, 'v'), 1, "b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain.substr(0, 40));
        fake::FakeSystem ui;
        DatabaseSummary summary{"old", 99};
        EXPECT_EQ(ParseDatabase(c.plain, summary, ui), c.body);
        EXPECT_EQ(summary.DbVersion, c.version);
        EXPECT_EQ(summary.DbRecordCount, c.records);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(DatabaseHeader, RejectedTextsShowTheCorruptedMessageAndEndTheProgram) {
    const std::string good = Plain("3", "ABC9", "body");
    std::string badMarker = good;
    badMarker[2] = 'x';
    for (const std::string& plain :
         {good + "!", good.substr(0, good.size() - 1), std::string(), std::string("ERRO"),
          Header("20|1^ABC1"), badMarker, std::string("\x1D\x1E\x1F\r\n")}) {
        SCOPED_TRACE(plain);
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
    }
    // The summary is written before the length is compared.
    DatabaseSummary summary;
    EXPECT_FALSE(API_FILE::CheckDatabaseHeader(good.substr(0, good.find('\r')), 99, summary));
    EXPECT_EQ(summary.DbVersion, "ABC9");
    EXPECT_EQ(summary.DbRecordCount, 3);
}

TEST(DatabaseHeader, MalformedHeadersRaiseATypedErrorWithoutMessage) {
    for (const std::string& plain : {
             Header("12\r\n"),                             // no separator after the length
             Header("12|5\r\n"),                           // none after the record count
             Header("|5^V\r\n"),                           // empty length
             Header("12|^V\r\n"),                          // empty record count
             Header("1x|5^V\r\n"),                         // length not a number
             Header("12|0x5^V\r\n"),                       // record count not a number
             Plain("32768", "V", ""),                      // record count out of 16 bits
             Plain("-32769", "V", ""),                     // and below
             Header("2147483648|5^V\r\n"),                 // length out of 32 bits
             Header("12|5^V\r"),                           // the first CR is the last byte
             Header(std::string(40000, '1') + "|5^\r\n"),  // separator past 32767 characters
         }) {
        SCOPED_TRACE(plain.substr(0, 40));
        fake::FakeSystem ui;
        DatabaseSummary summary;
        EXPECT_THROW(ParseDatabase(plain, summary, ui), API_FILE::MalformedDatabase);
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_FALSE(ui.ended);
    }
}

TEST(DatabaseFile, ReadsWholeFilesAndSaysERROForMissingOnes) {
    fake::FakeSystem fs;
    fs.putFile("C:\\Update\\db.xdb", std::string("a\0b\r\n", 5));
    EXPECT_EQ(API_FILE::ReadFileToString(fs, "C:\\Update\\db.xdb"), std::string("a\0b\r\n", 5));
    EXPECT_EQ(API_FILE::ReadFileToString(fs, "C:\\Update\\none.xdb"), "ERRO");
}

}  // namespace
