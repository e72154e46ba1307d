// Packages as the updater reads them, at the cost of their header (hand-made
// texts, BuildPackage's, failing sources and filters); the version-text rule.
#include <gtest/gtest.h>

#include <algorithm>

#include "../crypto/ScriptedProvider.h"
#include "FakeSystem.h"
#include "db/Database.h"
#include "db/VersionText.h"

namespace {

using Summary = API_FILE::DatabaseSummary;
using testing_crypto::ScriptedProvider;
using testing_crypto::Step;

// A source whose reads are counted, or fail.
struct TestSource : db::MemorySource {
    using MemorySource::MemorySource;
    std::uint64_t furthest = 0;
    bool failReads = false;

    std::string read(std::uint64_t offset, std::size_t length) override {
        if (failReads) throw db::SourceError("cannot read");
        furthest = std::max(furthest, offset + length);
        return MemorySource::read(offset, length);
    }
};

// text enciphered (or deciphered: a stream cipher) under the package password.
std::string Cipher(ScriptedProvider& provider, const std::string& text) {
    fake::FakeSystem ui;
    crypto::clsCryptoFilterBox filter(provider, ui);
    filter.Password(std::string(db::kPassword));
    filter.InBuffer(text);
    filter.Decrypt();
    return filter.TakeOutBuffer();
}

// All the header-cost reader's caller sees in source, whose text deciphers to
// plain: how it ended (with the body when it passed), summary and messages.
std::string Read(ScriptedProvider& provider, db::PackageSource* source, const std::string& plain) {
    fake::FakeSystem ui;
    Summary summary{"before", 77};
    std::string seen;
    try {
        const db::PackageLayout layout = db::ReadDatabaseHeader(provider, ui, source, summary);
        EXPECT_EQ(layout.totalLength, plain.size());
        seen = "body " + plain.substr(static_cast<std::size_t>(layout.bodyStart));
    } catch (const fake::ProgramEnded&) {
        seen = "ended";
    } catch (const API_FILE::MalformedDatabase&) {
        seen = "malformed";
    }
    seen += "|" + summary.DbVersion + "|" + std::to_string(summary.DbRecordCount);
    for (const fake::Message& m : ui.messages) {
        seen +=
            "\n" + (m.style == 0 ? "" : m.title + " " + std::to_string(m.style) + ": ") + m.text;
    }
    return seen;
}

const std::string kMarker = "\x1D\x1E\x1F\x1E\x1D";
const std::string kMalformed = "malformed|before|77";
const std::string kEnded = "ended|before|77";
const std::string kCorrupted =
    "\nBanco de dados corrompido! 16: O banco de dados do Varnel foi aparentemente violado, ou "
    "corrompido!\r\nO processo de busca será finalizado.\r\n\r\nAdquira o banco de dados "
    "novamente acessando a página do Varnel: http://www.varnel.com.br";

// A header written readably: '|' the separator after the length, '^' the next.
std::string Header(std::string text) {
    for (char& c : text) c = c == '|' ? '\x1E' : c == '^' ? '\x1F' : c;
    return kMarker + text;
}

// A plain text whose header declares its own length.
std::string Plain(const std::string& records, const std::string& version, const std::string& body,
                  const std::string& lineEnd = "\r\n") {
    const std::string tail = "\x1E" + records + "\x1F" + version + lineEnd + body;
    std::size_t total = kMarker.size() + tail.size() + 1;
    while (kMarker.size() + std::to_string(total).size() + tail.size() != total) ++total;
    return kMarker + std::to_string(total) + tail;
}

// A header that checks gives its summary and the body after its line end (CR,
// any byte); one that does not shows the corrupted-database message and ends
// the program, its summary read first; one malformed raises a typed error.
TEST(DatabaseHeader, IsAcceptedRejectedOrMalformed) {
    const std::string good = Plain("3", "ABC9", "body");
    const std::pair<std::string, std::string> cases[] = {
        {Plain(" +32767 ", "X\x1E\x1Fy", "a\r\nb"), "body a\r\nb|X\x1E\x1Fy|32767"},
        {Plain("-5", "", "body", "\rZ"), "body body||-5"},
        {good + "!", "ended|ABC9|3" + kCorrupted},
        {good.substr(0, good.size() - 1), "ended|ABC9|3" + kCorrupted},
        {good.substr(0, 2) + "x" + good.substr(3), kEnded + kCorrupted},  // another marker
        {Header("12\r\n"), kMalformed},                             // no separator after the length
        {Header("|5^V\r\n"), kMalformed},                           // empty length
        {Header("1x|5^V\r\n"), kMalformed},                         // length not a number
        {Plain("32768", "V", ""), kMalformed},                      // record count out of 16 bits
        {Header("12|5^V\r"), kMalformed},                           // the first CR is the last byte
        {Header(std::string(40000, '1') + "|5^\r\n"), kMalformed},  // separator past 32767
    };
    for (const auto& [plain, seen] : cases) {
        ScriptedProvider provider;
        db::MemorySource source(Cipher(provider, plain));
        EXPECT_EQ(Read(provider, &source, plain), seen) << plain.substr(0, 40);
    }
}

// The declared length counts its own digits: bodies around every change in
// their number still check. However long the package, only its header's
// first piece is read; a longer header, up to the piece holding its CR.
TEST(Packages, CheckAtEverySizeReadingNoFurtherThanTheHeader) {
    ScriptedProvider provider;
    fake::FakeSystem ui;
    const auto check = [&](const std::string& version, std::size_t size, std::uint64_t reach) {
        SCOPED_TRACE(size);
        TestSource source(db::BuildPackage(provider, ui, version, -3, std::string(size, 'b')));
        Summary summary;
        const db::PackageLayout layout = db::ReadDatabaseHeader(provider, ui, &source, summary);
        EXPECT_EQ(layout.totalLength - layout.bodyStart, size);
        EXPECT_EQ(summary.DbVersion, version);
        EXPECT_EQ(source.furthest, std::min(reach, source.size()));
    };
    for (std::size_t size : {79u, 80u, 81u, 979u, 980u, 9978u, 99977u}) {
        check("ABC0017", size, API_FILE::kFirstPiece);
    }
    check("L" + std::string(20000, 'v'), 1000000, 4096 + 8192 + 16384);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_THROW(db::BuildPackage(provider, ui, "VRS\r1", 1, ""), std::invalid_argument);
}

// What the cipher filter shows when it fails, then the package reads as
// corrupted, as a missing or unreadable one does. No key container is needed.
TEST(Packages, WhatFailsIsShownThenThePackageIsCorrupted) {
    enum Source { Whole, Missing, Unreadable };
    const std::string decrypt = "\nbytes required:46\nError -2146893802 during CryptDecrypt!";
    const std::tuple<std::vector<Step>, Source, std::string> cases[] = {
        {{Step::Acquire, Step::AcquireNew}, Whole, "body body|VRS0001|5"},
        {{Step::Cipher}, Whole, kEnded + decrypt + kCorrupted},
        {{}, Missing, kEnded + kCorrupted},
        {{}, Unreadable, kEnded + kCorrupted},
    };
    for (const auto& [failing, kind, seen] : cases) {
        SCOPED_TRACE(seen);
        ScriptedProvider provider;
        const std::string plain = db::PackageHeaderLine("VRS0001", 5, 4) + "body";
        TestSource source(Cipher(provider, plain));
        source.failReads = kind == Unreadable;
        for (Step step : failing) provider.failures[step] = 0x80090016;
        EXPECT_EQ(Read(provider, kind == Missing ? nullptr : &source, plain), seen);
    }
}

// Faults: the range or the three characters off by one; forms a parser might
// guess at (hexadecimal, grouping, stray signs) taken.
TEST(VersionText, TakesThreeCharactersThenAWholeNumberIn16BitsAndSaysWhyNot) {
    const auto Version = [](const std::string& text) {
        try {
            return std::to_string(db::VersionNumber(text));
        } catch (const db::VersionTextError& e) {
            return std::string(e.what());
        }
    };
    const std::pair<const char*, int> taken[] = {{"XDB0010", 10},     {"ABC  42  ", 42},
                                                 {"XDB+7", 7},        {"XDB-32768", -32768},
                                                 {"XDB32767", 32767}, {"12345", 45}};
    for (const auto& [text, number] : taken) EXPECT_EQ(Version(text), std::to_string(number));
    const std::pair<std::string, std::vector<std::string>> refused[] = {
        {"version text too short", {"1.0"}},
        {"version text without a number", {"XDB   "}},
        {"version number out of range", {"XDB32768", "XDB-32769", "XDB99999999999999999999"}},
        {"version number is not a number",
         {"XDB1.5", "XDBabc", "XDB1,000", "XDB0x10", "XDB+-1", "XDB+ 1", "XDB1 2", "XDB-"}}};
    for (const auto& [why, texts] : refused) {
        for (const std::string& text : texts) EXPECT_EQ(Version(text), why + ": \"" + text + "\"");
    }
}

}  // namespace
