// The cipher filter over the system's provider (CryptoAPI under Wine, the
// portable one natively), held to the key stream CryptoAPI gives. Natively,
// what only the portable provider has to get right: its key files and RC4.
#include <gtest/gtest.h>

#include <filesystem>

#include "FakeSystem.h"
#include "crypto/clsCryptoFilterBox.h"
#ifndef _WIN32
#include "crypto/openssl/OpenSslProvider.h"
#include "crypto/openssl/Rc4.h"
#endif

namespace {

using crypto::clsCryptoFilterBox;
using Direction = clsCryptoFilterBox::Direction;
namespace fs = std::filesystem;

std::string Hex(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) out += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return out;
}

#ifndef _WIN32
struct TempFolder {
    fs::path path;
    TempFolder() {
        std::string p = (fs::temp_directory_path() / "atualizador-test-XXXXXX").string();
        path = mkdtemp(p.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};
#endif

// Zeros enciphered: the key stream, at its start and 4080 bytes on, under
// passwords whose bytes the 40-bit key hashes as they are (accented, in
// ANSI; holding a zero byte; none). Whole, or in pieces of any size, growing
// or not (Final=FALSE goes on with the stream), both ways.
TEST(SystemProvider, GivesCryptoApisKeyStreamWholeOrInPiecesBothWays) {
#ifdef _WIN32
    const std::unique_ptr<crypto::Provider> provider = crypto::MakeSystemProvider();
#else
    TempFolder keys;
    const auto provider = std::make_unique<crypto::OpenSslProvider>(keys.path, "tester");
#endif
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(*provider, ui);
    ui.messages.clear();  // what making the container said
    const struct {
        std::string password;
        std::size_t at;
        std::string stream;
    } cases[] = {
        {"5d03e7b", 0, "03168fca542ca173226b9e138c85709d"},
        {"5d03e7b", 4080, "016109f31194cda658abceec05ff5099"},
        {"", 0, "02957a220ca614e1e1cf"},
        {"senha\xe7\xe3o", 0, "f5ed9e679c3791000d3c92f9581530bd"},
        {std::string("a\0b", 3), 0, "4545db1b58e693b8f96b27ee8f41e66c"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.password) + " at " + std::to_string(c.at));
        const std::string zeros(c.at + c.stream.size() / 2, '\0');
        filter.Password(c.password);
        filter.InBuffer(zeros);
        filter.Encrypt();
        const std::string whole = filter.TakeOutBuffer();
        EXPECT_EQ(Hex(whole.substr(c.at)), c.stream);
        for (std::size_t first : {1, 7, 4096}) {
            std::string text = zeros;
            for (Direction d : {Direction::Encrypt, Direction::Decrypt}) {
                ASSERT_TRUE(filter.BeginStream(d, text.size()));
                for (std::size_t at = 0, n = first; at < text.size(); at += n, n += n % 3) {
                    n = std::min(n, text.size() - at);
                    ASSERT_TRUE(filter.StreamPiece(std::span<char>(text.data() + at, n)));
                }
                filter.EndStream();
                EXPECT_TRUE(text == (d == Direction::Encrypt ? whole : zeros)) << first;
            }
        }
    }
    EXPECT_TRUE(ui.messages.empty());
}

#ifndef _WIN32
// A key pair is kept as the PRIVATEKEYBLOB it exports (the shell test of
// xdbtool holds it to one the Windows build exported), in a file its owner
// alone can read, with no temporary file left beside it; a malformed blob is
// refused and changes nothing.
TEST(PortableContainers, KeysAreTheOwnersAloneAndMalformedOnesRefused) {
    TempFolder keys;
    crypto::OpenSslProvider provider(keys.path, "maria");
    auto context = provider.acquireContext(crypto::kCryptNewKeyset);
    ASSERT_TRUE(context.object->generateSignatureKey(512));
    const auto exported = [&] {
        std::string blob;
        EXPECT_TRUE(context.object->userKey(crypto::kAtSignature).object->exportPrivateBlob(blob));
        return blob;
    };
    const std::string blob = exported();
    std::string badMagic = blob;
    badMagic[8] = 'X';
    for (const std::string& bad : {std::string(), blob.substr(1), badMagic, blob + "x"}) {
        EXPECT_EQ(context.object->importSignatureKey(bad).error, 0x8009000Au);
    }
    ASSERT_TRUE(context.object->importSignatureKey(blob));
    EXPECT_EQ(Hex(exported()), Hex(blob));
    const fs::path file = keys.path / "maria" / "signature.key";
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1);
}

// The RC4 used where libcrypto has none: the published key stream of the
// 40-bit key 0102030405, at offsets 0 and 16, in two calls.
TEST(PortableRc4, GivesThePublishedKeyStream) {
    const std::uint8_t key[] = {1, 2, 3, 4, 5};
    crypto::Rc4 rc4(key);
    std::uint8_t stream[32] = {};
    rc4.apply(std::span<std::uint8_t>(stream, 10));
    rc4.apply(std::span<std::uint8_t>(stream + 10, 22));
    EXPECT_EQ(Hex(std::string(reinterpret_cast<const char*>(stream), sizeof stream)),
              "b2396305f03dc027ccc3524a0a1118a86982944f18fc82d589c403a47a0d0919");
}
#endif

}  // namespace
