// The cipher filter over the system's provider, held to the vectors made
// with the Windows build's CryptoAPI provider.
#include <gtest/gtest.h>

#include <algorithm>
#include <span>

#include "FakeSystem.h"
#include "Vectors.h"
#include "crypto/clsCryptoFilterBox.h"

namespace {

using crypto::clsCryptoFilterBox;
using Direction = clsCryptoFilterBox::Direction;

class SystemProvider : public ::testing::Test {
  protected:
    std::unique_ptr<crypto::Provider> provider = vectors::MakeProvider();
    fake::FakeSystem ui;
    clsCryptoFilterBox filter{*provider, ui};  // first use makes the container

    void SetUp() override { ui.messages.clear(); }
    void TearDown() override { EXPECT_TRUE(ui.messages.empty()); }
};

// One filter for every vector: each call starts the key stream afresh.
TEST_F(SystemProvider, MatchesTheCheckedInCipherVectorsBothWays) {
    const std::vector<vectors::Cipher> all =
        vectors::ParseCiphers(vectors::ReadVectorFile("rc4.txt"));
    ASSERT_EQ(all.size(), vectors::CipherInputs().size());
    for (const vectors::Cipher& v : all) {
        SCOPED_TRACE("password " + vectors::Hex(v.password) + ", " +
                     std::to_string(v.input.size()) + " bytes");
        filter.Password(v.password);
        filter.InBuffer(v.input);
        filter.Encrypt();
        filter.InBuffer(filter.TakeOutBuffer());
        ASSERT_EQ(filter.InBuffer().size(), v.input.size());
        EXPECT_EQ(vectors::OutputField(filter.InBuffer()), v.output);
        filter.Decrypt();
        EXPECT_TRUE(filter.OutBuffer() == v.input);
    }
}

// PKCS#1 v1.5 signatures are deterministic: the same key and text give the
// same bytes on both providers.
TEST_F(SystemProvider, SignaturesMatchTheOtherProviderAndValidate) {
    const vectors::Signature v = vectors::ParseSignature(vectors::ReadVectorFile("signature.txt"));
    {
        crypto::Acquired<crypto::Context> context = provider->acquireContext(0);
        ASSERT_TRUE(context && context.object->importSignatureKey(v.keyBlob));
    }  // the system stores the key when its context is released
    filter.InBuffer(v.message);
    filter.Sign();
    EXPECT_EQ(vectors::Hex(filter.Signature()), vectors::Hex(v.signature));

    std::string changed = v.message;
    changed[100] = static_cast<char>(changed[100] ^ 1);
    const struct {
        const char* name;
        std::string input;
        std::string signature;
        std::int32_t status;
    } cases[] = {
        {"as signed", v.message, v.signature, 2},
        {"one byte changed", changed, v.signature, 1},
        {"truncated signature", v.message, v.signature.substr(1), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        filter.InBuffer(c.input);
        filter.Signature(c.signature);
        filter.Validate();
        EXPECT_EQ(filter.status(), c.status);
    }
}

// Pieces of any size (Final=FALSE) give the vectors' bytes: the two
// providers give the same stream, piece by piece.
TEST_F(SystemProvider, PiecesGiveTheCheckedInVectorsBytesBothWays) {
    for (const vectors::Cipher& v : vectors::ParseCiphers(vectors::ReadVectorFile("rc4.txt"))) {
        for (std::size_t pieceSize : {std::size_t{1}, std::size_t{7}, std::size_t{4096},
                                      std::size_t{1} << 20, v.input.size() + 1}) {
            if (pieceSize == 1 && v.input.size() > 100000) continue;
            SCOPED_TRACE(std::to_string(v.input.size()) + " bytes in pieces of " +
                         std::to_string(pieceSize));
            std::string text = v.input;
            filter.Password(v.password);
            for (Direction d : {Direction::Encrypt, Direction::Decrypt}) {
                ASSERT_TRUE(filter.BeginStream(d, text.size()));
                EXPECT_EQ(filter.status(), 0);
                // Enciphered in pieces of growing and changing sizes, as the
                // readers hand them over.
                for (std::size_t at = 0, size = pieceSize; at < text.size();) {
                    const std::size_t n = std::min(size, text.size() - at);
                    ASSERT_TRUE(filter.StreamPiece(std::span<char>(text.data() + at, n)));
                    at += n;
                    if (d == Direction::Encrypt && size > 1) size = size % 2 ? size * 2 : size + 1;
                }
                filter.EndStream();
                EXPECT_EQ(filter.status(), 1);
                if (d == Direction::Encrypt) {
                    EXPECT_EQ(vectors::OutputField(text), v.output);
                }
            }
            EXPECT_TRUE(text == v.input);
        }
    }
}

// At the provider: a final call after pieces goes on with the stream, then
// the key starts afresh, as the system's provider does.
TEST_F(SystemProvider, AFinalCallEndsTheStreamOfPieces) {
    const std::string input = vectors::Generated(300, 9);
    filter.Password("pw");
    filter.InBuffer(input);
    filter.Encrypt();
    const std::string whole = filter.OutBuffer();
    crypto::Acquired<crypto::Context> context = provider->acquireContext(0);
    crypto::Acquired<crypto::Hash> hash = context.object->createHash(crypto::kCalgMd5);
    ASSERT_TRUE(hash.object->hashData("pw"));
    crypto::Acquired<crypto::Key> key = context.object->deriveKey(crypto::kCalgRc4, *hash.object);
    std::string first = input.substr(0, 100);
    std::string rest = input.substr(100);
    auto length = static_cast<std::uint32_t>(rest.size());
    ASSERT_TRUE(key.object->encryptPiece(first) && key.object->encrypt(rest, length));
    EXPECT_TRUE(first + rest == whole);
    std::string again = input;
    length = static_cast<std::uint32_t>(again.size());
    ASSERT_TRUE(key.object->encrypt(again, length));
    EXPECT_TRUE(again == whole);
}

}  // namespace
