// The cipher filter over the system's provider (CryptoAPI under Wine, the
// portable one natively), held to the key stream CryptoAPI gives; natively
// also the RC4 the portable provider falls back on. (Its key files: the
// shell test of xdbtool.)
#include <gtest/gtest.h>

#include <filesystem>

#include "FakeSystem.h"
#include "crypto/clsCryptoFilterBox.h"
#include "db/Database.h"
#ifndef _WIN32
#include "crypto/openssl/OpenSslProvider.h"
#include "crypto/openssl/Rc4.h"
#endif

namespace {

using Direction = crypto::clsCryptoFilterBox::Direction;

std::string Hex(std::string_view bytes) {
    std::string out;
    for (unsigned char b : bytes) out += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return out;
}

// Zeros enciphered under the package password: the key stream at its start
// and 4080 bytes on (a wrong key, salt or key length shows in either).
// Whole, or in pieces of any size, growing or not (Final=FALSE goes on with
// the stream, as pack and unpack use it), both ways.
TEST(SystemProvider, GivesCryptoApisKeyStreamWholeOrInPiecesBothWays) {
#ifdef _WIN32
    const std::unique_ptr<crypto::Provider> provider = crypto::MakeSystemProvider();
#else
    const struct Folder {
        std::string path = (std::filesystem::temp_directory_path() / "provider-XXXXXX").string();
        Folder() { mkdtemp(path.data()); }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } keys;
    const auto provider = std::make_unique<crypto::OpenSslProvider>(keys.path, "tester");
#endif
    fake::FakeSystem ui;
    crypto::clsCryptoFilterBox filter(*provider, ui);
    ui.messages.clear();  // what making the container said
    const std::string zeros(4096, '\0');
    filter.Password(std::string(db::kPassword));
    filter.InBuffer(zeros);
    filter.Encrypt();
    const std::string whole = filter.TakeOutBuffer();
    EXPECT_EQ(Hex(whole.substr(0, 16)), "03168fca542ca173226b9e138c85709d");
    EXPECT_EQ(Hex(whole.substr(4080)), "016109f31194cda658abceec05ff5099");
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
    EXPECT_TRUE(ui.messages.empty());
}

#ifndef _WIN32
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
