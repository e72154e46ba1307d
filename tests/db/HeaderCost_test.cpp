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
#include <iterator>
#include <optional>

#include "FakeSystem.h"
#include "ScriptedProvider.h"
#include "Seeds.h"
#include "Vectors.h"
#include "crypto/clsCryptoFilterBox.h"
#include "db/Database.h"

namespace {

using testing_crypto::ScriptedProvider;
using testing_crypto::Step;

enum class Kind { Body, Ended, Malformed };

// Everything a reader's caller can see.
struct Reading {
    Kind kind = Kind::Body;
    std::string body;
    std::string version;
    std::int16_t records = 0;
    std::string shown;  // the messages, title and text, in order
    std::uint64_t totalLength = 0;
};

std::string Shown(const fake::FakeSystem& ui) {
    std::string shown;
    for (const fake::Message& m : ui.messages) {
        shown += m.title + "|" + std::to_string(m.style) + "|" + m.text + "\n";
    }
    return shown;
}

const char* Name(Kind kind) {
    return kind == Kind::Body ? "body" : kind == Kind::Ended ? "ended" : "malformed";
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

// The whole-file reader over a file holding package (none: missing).
Reading Whole(crypto::Provider& provider, const std::optional<std::string>& package) {
    fake::FakeSystem fs;
    if (package) fs.putFile("C:\\Update\\db.xdb", *package);
    API_FILE::DatabaseSummary summary{"before", 77};
    Reading r;
    try {
        r.body = db::ReadDatabase(fs, provider, fs, "C:\\Update\\db.xdb", summary);
    } catch (const fake::ProgramEnded&) {
        r.kind = Kind::Ended;
    } catch (const API_FILE::MalformedDatabase&) {
        r.kind = Kind::Malformed;
    }
    r.version = summary.DbVersion;
    r.records = summary.DbRecordCount;
    r.shown = Shown(fs);
    r.totalLength = package ? package->size() : 4;
    return r;
}

// The header-cost reader over source; the body is cut from the whole
// deciphered text (bodyText) at the start it returns.
Reading HeaderCostRead(crypto::Provider& provider, db::PackageSource* source,
                       const std::string& bodyText) {
    fake::FakeSystem ui;
    API_FILE::DatabaseSummary summary{"before", 77};
    Reading r;
    try {
        const db::PackageLayout layout = db::ReadDatabaseHeader(provider, ui, source, summary);
        r.body = bodyText.substr(static_cast<std::size_t>(layout.bodyStart));
        r.totalLength = layout.totalLength;
    } catch (const fake::ProgramEnded&) {
        r.kind = Kind::Ended;
    } catch (const API_FILE::MalformedDatabase&) {
        r.kind = Kind::Malformed;
    }
    r.version = summary.DbVersion;
    r.records = summary.DbRecordCount;
    r.shown = Shown(ui);
    return r;
}

std::string Decipher(crypto::Provider& provider, const std::string& package) {
    fake::FakeSystem ui;
    crypto::clsCryptoFilterBox filter(provider, ui);
    filter.Password(std::string(db::kPassword));
    filter.InBuffer(package);
    filter.Decrypt();
    return filter.TakeOutBuffer();
}

void ExpectSame(const Reading& whole, const Reading& cost) {
    EXPECT_EQ(Name(cost.kind), Name(whole.kind));
    EXPECT_EQ(cost.version, whole.version);
    EXPECT_EQ(cost.records, whole.records);
    EXPECT_EQ(cost.shown, whole.shown);
    if (whole.kind == Kind::Body) {
        EXPECT_TRUE(cost.body == whole.body) << "bodies differ";
        EXPECT_EQ(cost.totalLength, whole.totalLength);
    }
}

class HeaderCost : public ::testing::Test {
  protected:
    std::unique_ptr<crypto::Provider> provider = vectors::MakeProvider();

    void SetUp() override {
        fake::FakeSystem ui;
        crypto::clsCryptoFilterBox container(*provider, ui);  // first use makes the container
    }

    // Both readers over the file holding package; the header-cost reader
    // with its pieces starting at 4 KB, and at single bytes.
    void Agree(const std::string& package) {
        const Reading whole = Whole(*provider, package);
        const std::string plain = Decipher(*provider, package);
        db::MemorySource source(package);
        ExpectSame(whole, HeaderCostRead(*provider, &source, plain));
        // The same scan with one-byte first pieces meets every piece border.
        fake::FakeSystem ui;
        crypto::clsCryptoFilterBox filter(*provider, ui);
        filter.Password(std::string(db::kPassword));
        ASSERT_TRUE(
            filter.BeginStream(crypto::clsCryptoFilterBox::Direction::Decrypt, package.size()));
        const std::optional<API_FILE::HeaderLine> line = API_FILE::ScanHeaderLine(
            source, package.size(),
            [&filter](std::span<char> piece) { return filter.StreamPiece(piece); }, 1);
        ASSERT_TRUE(line.has_value());
        API_FILE::DatabaseSummary summary{"before", 77};
        fake::FakeSystem lineUi;
        Reading small;
        try {
            small.body = plain.substr(
                static_cast<std::size_t>(API_FILE::CheckHeaderLine(*line, summary, lineUi)));
            small.totalLength = line->totalLength;
        } catch (const fake::ProgramEnded&) {
            small.kind = Kind::Ended;
        } catch (const API_FILE::MalformedDatabase&) {
            small.kind = Kind::Malformed;
        }
        small.version = summary.DbVersion;
        small.records = summary.DbRecordCount;
        // The filter's own messages are not part of CheckHeaderLine's.
        small.shown = Shown(lineUi);
        ExpectSame(whole, small);
    }

    std::string Encipher(const std::string& plain) {
        fake::FakeSystem ui;
        crypto::clsCryptoFilterBox filter(*provider, ui);
        filter.Password(std::string(db::kPassword));
        filter.InBuffer(plain);
        filter.Encrypt();
        return filter.TakeOutBuffer();
    }
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string TestData(const std::string& name) {
#ifdef _WIN32
    return ReadFile(std::string("Z:") + XDBTOOL_TESTDATA + "/" + name);
#else
    return ReadFile(std::string(XDBTOOL_TESTDATA) + "/" + name);
#endif
}

TEST_F(HeaderCost, AgreesOnEveryCheckedInVector) {
    // Each cipher vector's input and output, as package files: texts under
    // the package password and under others, plain texts, a 6 MB text.
    const std::vector<vectors::Cipher> all =
        vectors::ParseCiphers(vectors::ReadVectorFile("rc4.txt"));
    ASSERT_FALSE(all.empty());
    int n = 0;
    for (const vectors::Cipher& v : all) {
        SCOPED_TRACE("cipher vector " + std::to_string(n++));
        Agree(v.input);
        Agree(Encipher(v.input));
    }
    const vectors::Signature s = vectors::ParseSignature(vectors::ReadVectorFile("signature.txt"));
    for (const std::string& bytes : {s.keyBlob, s.message, s.signature}) Agree(bytes);
    // The package the Windows build made, its body, key and signature.
    for (const char* name : {"win32.xdb", "win32.body", "win32.key", "win32.xdb.sig"}) {
        SCOPED_TRACE(name);
        const std::string bytes = TestData(name);
        ASSERT_FALSE(bytes.empty());
        Agree(bytes);
    }
    EXPECT_EQ(Whole(*provider, TestData("win32.xdb")).version, "WIN0007");
}

TEST_F(HeaderCost, AgreesOnTheFuzzSeedsAndCorpus) {
    fake::FakeSystem ui;
    for (const seeds::Package& p : seeds::Packages()) {
        SCOPED_TRACE("seed package " + p.version);
        const std::string package = db::BuildPackage(*provider, ui, p.version, p.records, p.body);
        Agree(package);
        Agree(Decipher(*provider, package));
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
    fake::FakeSystem ui;
    const std::string good = db::BuildPackage(*provider, ui, "VRS0001", 5, "body\r\nrecords");
    const std::string plain = Decipher(*provider, good);
    const std::size_t cr = plain.find('\r');
    std::vector<std::string> packages{
        good,
        good + "x",                                 // one byte more
        good.substr(0, good.size() - 1),            // one byte less
        good.substr(0, cr + 1),                     // ends in the header's CR
        good.substr(0, cr),                         // no CR at all
        good.substr(0, 3),                          // shorter than the marker
        "",                                         // empty
        Encipher(plain.substr(0, cr) + "\r"),       // the CR is the last byte
        Encipher(std::string(9000, 'v') + "\r\n"),  // long line, no marker
        Encipher(plain.substr(0, cr) + std::string(10000, 'V') + "\r\nbody"),  // long version
        Encipher("\x1D\x1E\x1F\x1E\x1D" + std::string(40000, '1') +
                 "\x1E"
                 "1\x1F\r\n"),
        Encipher(std::string(20000, 'x')),                           // no CR, no marker
        Encipher("\x1D\x1E\x1F\x1E\x1D" + std::string(20000, 'x')),  // marker, no CR
    };
    // Long packages: every length of the header's digits, a 3 MB body.
    for (std::size_t size : {79u, 980u, 9977u, 99976u, 3000000u}) {
        packages.push_back(
            db::BuildPackage(*provider, ui, "ABC0017", -3, vectors::Generated(size, size)));
    }
    int n = 0;
    for (const std::string& package : packages) {
        SCOPED_TRACE("package " + std::to_string(n++));
        Agree(package);
    }
}

TEST_F(HeaderCost, MissingOrUnreadableFilesReadAsTheWholeFileReaderReadsThem) {
    const Reading missing = Whole(*provider, std::nullopt);
    EXPECT_EQ(Name(missing.kind), Name(Kind::Ended));
    ExpectSame(missing, HeaderCostRead(*provider, nullptr, ""));
    // A source that cannot tell its size, or cannot be read.
    fake::FakeSystem ui;
    const std::string package = db::BuildPackage(*provider, ui, "VRS0001", 5, "body");
    TestSource noSize(package);
    noSize.failSize = true;
    ExpectSame(missing, HeaderCostRead(*provider, &noSize, ""));
    TestSource unreadable(package);
    unreadable.failFrom = 10;
    ExpectSame(missing, HeaderCostRead(*provider, &unreadable, ""));
}

TEST_F(HeaderCost, BytesAShortReadLeavesOutAreSpacesAsInTheWholeFileRead) {
    fake::FakeSystem ui;
    const std::string package =
        db::BuildPackage(*provider, ui, "VRS0001", 5, vectors::Generated(3000, 1));
    TestSource source(package);
    source.shortBy = package.size() - 10;  // the first read gives 10 bytes
    const std::string spaced = package.substr(0, 10) + std::string(package.size() - 10, ' ');
    ExpectSame(Whole(*provider, spaced),
               HeaderCostRead(*provider, &source, Decipher(*provider, spaced)));
}

TEST_F(HeaderCost, ReadsOnlyTheHeadersFirstPieceWhateverTheSize) {
    fake::FakeSystem ui;
    const std::string package =
        db::BuildPackage(*provider, ui, "BIG0001", 9, vectors::Generated(8000000, 3));
    TestSource source(package);
    API_FILE::DatabaseSummary summary;
    const db::PackageLayout layout = db::ReadDatabaseHeader(*provider, ui, &source, summary);
    EXPECT_EQ(summary.DbVersion, "BIG0001");
    EXPECT_EQ(layout.totalLength, package.size());
    EXPECT_EQ(source.furthest, API_FILE::kFirstPiece);
    EXPECT_TRUE(ui.messages.empty());
    // A header longer than a piece: read up to the piece holding its CR.
    const std::string longHeader = db::BuildPackage(*provider, ui, "L" + std::string(20000, 'v'), 9,
                                                    vectors::Generated(1000000, 4));
    TestSource longSource(longHeader);
    db::ReadDatabaseHeader(*provider, ui, &longSource, summary);
    EXPECT_EQ(summary.DbVersion.size(), 20001u);
    EXPECT_EQ(longSource.furthest, 4096u + 8192u + 16384u);  // three pieces
}

// Every failure of the cipher filter shows the same messages in the same
// order, and ends the same way.
TEST(HeaderCostFilter, FailuresOfTheFilterEndAsTheWholeFileReaderEnds) {
    struct Case {
        const char* name;
        Step failing;
        bool containerExists;
    };
    const std::vector<Case> cases{
        {"no container yet", Step::Verify, false},
        {"container cannot be made", Step::AcquireNew, false},
        {"context", Step::Acquire, true},
        {"hash", Step::CreateHash, true},
        {"hash data", Step::HashData, true},
        {"key", Step::DeriveKey, true},
        {"nothing fails", Step::Verify, true},
    };
    ScriptedProvider maker;
    fake::FakeSystem makerUi;
    const std::string package = db::BuildPackage(maker, makerUi, "VRS0001", 5, "body");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedProvider forWhole;
        ScriptedProvider forCost;
        for (ScriptedProvider* p : {&forWhole, &forCost}) {
            p->containerExists = c.containerExists;
            if (c.failing != Step::Verify) p->failures[c.failing] = 0x80090016;
        }
        const Reading whole = Whole(forWhole, package);
        db::MemorySource source(package);
        ExpectSame(whole, HeaderCostRead(forCost, &source, Decipher(maker, package)));
    }
}

TEST(HeaderCostFilter, AFailedDecipheringShowsWhatDecryptShowsThenTheCorruptedEnd) {
    ScriptedProvider maker;
    fake::FakeSystem makerUi;
    const std::string package = db::BuildPackage(maker, makerUi, "VRS0001", 5, "body");
    ScriptedProvider forWhole;
    forWhole.failures[Step::Decrypt] = 0x80090005;
    forWhole.lengthLeftOnFailure = static_cast<std::uint32_t>(package.size());
    ScriptedProvider forCost;
    forCost.failures[Step::Decrypt] = 0x80090005;
    db::MemorySource source(package);
    const Reading whole = Whole(forWhole, package);
    EXPECT_EQ(Name(whole.kind), Name(Kind::Ended));
    ExpectSame(whole, HeaderCostRead(forCost, &source, ""));
}

}  // namespace
