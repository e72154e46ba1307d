// The header-cost reader (ReadDatabaseHeader) against the whole-file reader
// (ReadDatabase): the same outcome on every checked-in vector, on the
// fuzzer's seeds (and its corpus, when ATUALIZADOR_FUZZ_CORPUS names it), on
// missing and unreadable files and on every failure of the cipher filter;
// and it reads no more than the header's first piece.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>

#include "FakeSystem.h"
#include "PackageTest.h"
#include "ScriptedProvider.h"
#include "Seeds.h"
#include "Vectors.h"
#include "crypto/clsCryptoFilterBox.h"
#include "db/Database.h"

namespace {

using Direction = crypto::clsCryptoFilterBox::Direction;
using Summary = API_FILE::DatabaseSummary;
using testing_crypto::ScriptedProvider;
using testing_crypto::Step;

// What a reader gives when it passes: the body and the text's length.
using Passed = std::pair<std::string, std::uint64_t>;

// Everything read's caller sees, as one text: how it ended (with the body
// and length when it passed), the summary, and the messages shown.
std::string Record(const std::function<Passed(fake::FakeSystem&, Summary&)>& read) {
    fake::FakeSystem ui;
    Summary summary{"before", 77};
    std::string seen;
    try {
        const auto [body, length] = read(ui, summary);
        seen = "body " + vectors::Fingerprint(body) + " of " + std::to_string(length);
    } catch (const fake::ProgramEnded&) {
        seen = "ended";
    } catch (const API_FILE::MalformedDatabase&) {
        seen = "malformed";
    }
    seen += "\n" + summary.DbVersion + "\n" + std::to_string(summary.DbRecordCount);
    for (const fake::Message& m : ui.messages) {
        seen += "\n" + m.title + "|" + std::to_string(m.style) + "|" + m.text;
    }
    return seen;
}

// The whole-file reader over a file holding package (none: missing).
std::string Whole(crypto::Provider& provider, const std::optional<std::string>& package) {
    return Record([&](fake::FakeSystem& fs, Summary& summary) -> Passed {
        if (package) fs.putFile("C:\\db.xdb", *package);
        return {db::ReadDatabase(fs, provider, fs, "C:\\db.xdb", summary),
                package ? package->size() : 4};
    });
}

// The header-cost reader over source; the body is cut from the whole
// deciphered text (plain) where the reader says it starts.
std::string HeaderCostRead(crypto::Provider& provider, db::PackageSource* source,
                           const std::string& plain) {
    return Record([&](fake::FakeSystem& ui, Summary& summary) -> Passed {
        const db::PackageLayout layout = db::ReadDatabaseHeader(provider, ui, source, summary);
        return {plain.substr(static_cast<std::size_t>(layout.bodyStart)), layout.totalLength};
    });
}

// text enciphered or deciphered whole under the package password.
std::string Cipher(crypto::Provider& provider, const std::string& text, Direction direction) {
    fake::FakeSystem ui;
    crypto::clsCryptoFilterBox filter(provider, ui);
    filter.Password(std::string(db::kPassword));
    filter.InBuffer(text);
    direction == Direction::Encrypt ? filter.Encrypt() : filter.Decrypt();
    return filter.TakeOutBuffer();
}

// A source whose reads are counted, or fail, or come back short.
class TestSource : public db::MemorySource {
  public:
    using MemorySource::MemorySource;
    std::uint64_t furthest = 0;
    std::optional<std::uint64_t> failFrom;  // reads reaching here throw SourceError
    bool failSize = false;                  // size() throws SourceError
    std::size_t shortBy = 0;                // each read gives this many bytes fewer

    std::uint64_t size() override {
        if (failSize) throw db::SourceError("cannot tell the size");
        return MemorySource::size();
    }
    std::string read(std::uint64_t offset, std::size_t length) override {
        furthest = std::max(furthest, offset + length);
        if (failFrom && offset + length > *failFrom) throw db::SourceError("cannot read");
        std::string bytes = MemorySource::read(offset, length);
        bytes.resize(bytes.size() - std::min(shortBy, bytes.size()));
        return bytes;
    }
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class HeaderCost : public PackageTest {
  protected:
    std::string Build(const std::string& version, std::int16_t records, const std::string& body) {
        return db::BuildPackage(*provider, ui, version, records, body);
    }
    std::string Encipher(const std::string& plain) {
        return Cipher(*provider, plain, Direction::Encrypt);
    }

    // Both readers over the file holding package; the header-cost reader
    // with its pieces starting at 4 KB, and at one byte to meet every border.
    void Agree(const std::string& package) {
        const std::string whole = Whole(*provider, package);
        const std::string plain = Cipher(*provider, package, Direction::Decrypt);
        db::MemorySource source(package);
        EXPECT_EQ(whole, HeaderCostRead(*provider, &source, plain));
        EXPECT_EQ(whole, Record([&](fake::FakeSystem& lineUi, Summary& summary) -> Passed {
                      fake::FakeSystem filterUi;  // the filter's messages are not the check's
                      crypto::clsCryptoFilterBox filter(*provider, filterUi);
                      filter.Password(std::string(db::kPassword));
                      EXPECT_TRUE(filter.BeginStream(Direction::Decrypt, package.size()));
                      const API_FILE::HeaderLine line =
                          API_FILE::ScanHeaderLine(
                              source, package.size(),
                              [&](std::span<char> piece) { return filter.StreamPiece(piece); }, 1)
                              .value();
                      const std::uint64_t start = API_FILE::CheckHeaderLine(line, summary, lineUi);
                      return {plain.substr(static_cast<std::size_t>(start)), line.totalLength};
                  }));
    }
};

// Each cipher vector's input and output as package files (texts under the
// package password and under others, plain texts, a 6 MB text), the
// signature vector's parts, and the package the Windows build made.
TEST_F(HeaderCost, AgreesOnEveryCheckedInVector) {
    int n = 0;
    for (const vectors::Cipher& v : vectors::ParseCiphers(vectors::ReadVectorFile("rc4.txt"))) {
        SCOPED_TRACE("cipher vector " + std::to_string(n++));
        Agree(v.input);
        Agree(Encipher(v.input));
    }
    ASSERT_GT(n, 0);
    const vectors::Signature s = vectors::ParseSignature(vectors::ReadVectorFile("signature.txt"));
    for (const std::string& bytes : {s.keyBlob, s.message, s.signature}) Agree(bytes);
    const std::string testData =
#ifdef _WIN32
        "Z:"  // the source tree as Wine sees it
#endif
        XDBTOOL_TESTDATA "/";
    for (const char* name : {"win32.xdb", "win32.body", "win32.key", "win32.xdb.sig"}) {
        SCOPED_TRACE(name);
        const std::string bytes = ReadFile(testData + name);
        ASSERT_FALSE(bytes.empty());
        Agree(bytes);
    }
    const std::string win32 = Whole(*provider, ReadFile(testData + "win32.xdb"));
    EXPECT_TRUE(win32.starts_with("body ") && win32.find("\nWIN0007\n") != std::string::npos);
}

TEST_F(HeaderCost, AgreesOnTheFuzzSeedsAndCorpus) {
    for (const seeds::Package& p : seeds::Packages()) {
        SCOPED_TRACE("seed package " + p.version);
        const std::string package = Build(p.version, p.records, p.body);
        Agree(package);
        Agree(Cipher(*provider, package, Direction::Decrypt));
    }
    for (const std::string& edge : seeds::Edges()) {
        SCOPED_TRACE("edge " + vectors::Hex(edge));
        Agree(Encipher(edge));
        Agree(edge);
    }
    // The corpus the fuzzer grew (scripts/test.sh passes it), plain texts.
    const char* corpus = std::getenv("ATUALIZADOR_FUZZ_CORPUS");
    if (corpus == nullptr || *corpus == '\0') return;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().string());
        Agree(Encipher(ReadFile(entry.path())));
        ++files;
    }
    std::cout << "[          ] fuzz corpus: " << files << " inputs agree\n";
}

TEST_F(HeaderCost, AgreesAroundTheHeaderAndItsLengths) {
    const std::string good = Build("VRS0001", 5, "body\r\nrecords");
    const std::string plain = Cipher(*provider, good, Direction::Decrypt);
    const std::size_t cr = plain.find('\r');
    const std::string marker = "\x1D\x1E\x1F\x1E\x1D";
    std::vector<std::string> packages{
        good,
        good + "x",
        good.substr(0, good.size() - 1),
        good.substr(0, cr + 1),  // ends in the header's CR
        good.substr(0, cr),      // no CR at all
        good.substr(0, 3),       // shorter than the marker
        Encipher(plain.substr(0, cr) + "\r"),
        Encipher(std::string(9000, 'v') + "\r\n"),  // a long line, no marker
        Encipher(plain.substr(0, cr) + std::string(10000, 'V') + "\r\nbody"),  // long version
        Encipher(marker + std::string(40000, '1') + "\x1E" + "1\x1F\r\n"),
        Encipher(std::string(20000, 'x')),
        Encipher(marker + std::string(20000, 'x')),
    };
    // Every number of digits of the declared length; a 3 MB body.
    for (std::size_t size : {79u, 980u, 9977u, 99976u, 3000000u}) {
        packages.push_back(Build("ABC0017", -3, vectors::Generated(size, size)));
    }
    for (std::size_t n = 0; n < packages.size(); ++n) {
        SCOPED_TRACE("package " + std::to_string(n));
        Agree(packages[n]);
    }
}

TEST_F(HeaderCost, MissingOrUnreadableFilesReadAsTheWholeFileReaderReadsThem) {
    const std::string missing = Whole(*provider, std::nullopt);
    EXPECT_TRUE(missing.starts_with("ended"));
    EXPECT_EQ(missing, HeaderCostRead(*provider, nullptr, ""));
    TestSource noSize(Build("VRS0001", 5, "body"));
    noSize.failSize = true;
    EXPECT_EQ(missing, HeaderCostRead(*provider, &noSize, ""));
    TestSource unreadable(Build("VRS0001", 5, "body"));
    unreadable.failFrom = 10;
    EXPECT_EQ(missing, HeaderCostRead(*provider, &unreadable, ""));
}

TEST_F(HeaderCost, BytesAShortReadLeavesOutAreSpacesAsInTheWholeFileRead) {
    const std::string package = Build("VRS0001", 5, vectors::Generated(3000, 1));
    TestSource source(package);
    source.shortBy = package.size() - 10;  // the first read gives 10 bytes
    const std::string spaced = package.substr(0, 10) + std::string(package.size() - 10, ' ');
    EXPECT_EQ(Whole(*provider, spaced),
              HeaderCostRead(*provider, &source, Cipher(*provider, spaced, Direction::Decrypt)));
}

TEST_F(HeaderCost, ReadsOnlyTheHeadersFirstPieceWhateverTheSize) {
    const std::string package = Build("BIG0001", 9, vectors::Generated(8000000, 3));
    TestSource source(package);
    Summary summary;
    const db::PackageLayout layout = db::ReadDatabaseHeader(*provider, ui, &source, summary);
    EXPECT_EQ(summary.DbVersion, "BIG0001");
    EXPECT_EQ(layout.totalLength, package.size());
    EXPECT_EQ(source.furthest, API_FILE::kFirstPiece);
    // A header longer than a piece: read up to the piece holding its CR.
    TestSource longSource(Build("L" + std::string(20000, 'v'), 9, vectors::Generated(1000000, 4)));
    db::ReadDatabaseHeader(*provider, ui, &longSource, summary);
    EXPECT_EQ(summary.DbVersion.size(), 20001u);
    EXPECT_EQ(longSource.furthest, 4096u + 8192u + 16384u);  // three pieces
    EXPECT_TRUE(ui.messages.empty());
}

// Every failure of the cipher filter shows the same messages in the same
// order, and ends the same way.
TEST(HeaderCostFilter, FailuresOfTheFilterEndAsTheWholeFileReaderEnds) {
    const struct {
        const char* name;
        Step failing;
        bool containerExists;
    } cases[] = {
        {"no container yet", Step::Verify, false},
        {"container cannot be made", Step::AcquireNew, false},
        {"context", Step::Acquire, true},
        {"hash", Step::CreateHash, true},
        {"hash data", Step::HashData, true},
        {"key", Step::DeriveKey, true},
        {"deciphering", Step::Decrypt, true},
        {"nothing fails", Step::Verify, true},
    };
    ScriptedProvider maker;
    fake::FakeSystem makerUi;
    const std::string package = db::BuildPackage(maker, makerUi, "VRS0001", 5, "body");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedProvider forWhole;
        ScriptedProvider forCost;
        for (ScriptedProvider* p : {&forWhole, &forCost}) {
            p->containerExists = c.containerExists;
            if (c.failing != Step::Verify) p->failures[c.failing] = 0x80090016;
            // What a failed call over the whole text leaves: its length.
            p->lengthLeftOnFailure = static_cast<std::uint32_t>(package.size());
        }
        const std::string whole = Whole(forWhole, package);
        db::MemorySource source(package);
        EXPECT_EQ(whole,
                  HeaderCostRead(forCost, &source, Cipher(maker, package, Direction::Decrypt)));
    }
}

}  // namespace
