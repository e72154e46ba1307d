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

class SystemProvider : public ::testing::Test {
  protected:
    std::unique_ptr<crypto::Provider> provider = vectors::MakeProvider();
    fake::FakeSystem ui;

    std::string Run(void (clsCryptoFilterBox::*op)(), std::string password, std::string input) {
        clsCryptoFilterBox filter(*provider, ui);
        filter.Password(std::move(password));
        filter.InBuffer(std::move(input));
        (filter.*op)();
        EXPECT_EQ(filter.status(), 1);
        return filter.TakeOutBuffer();
    }
    void SetUp() override {
        clsCryptoFilterBox(*provider, ui);
        ui.messages.clear();
    }
};

TEST_F(SystemProvider, MatchesTheCheckedInCipherVectorsBothWays) {
    const std::vector<vectors::Cipher> all =
        vectors::ParseCiphers(vectors::ReadVectorFile("rc4.txt"));
    ASSERT_EQ(all.size(), vectors::CipherInputs().size());
    for (const vectors::Cipher& v : all) {
        SCOPED_TRACE("password " + vectors::Hex(v.password) + ", " +
                     std::to_string(v.input.size()) + " bytes");
        const std::string enciphered = Run(&clsCryptoFilterBox::Encrypt, v.password, v.input);
        ASSERT_EQ(enciphered.size(), v.input.size());
        EXPECT_EQ(vectors::OutputField(enciphered), v.output);
        EXPECT_TRUE(Run(&clsCryptoFilterBox::Decrypt, v.password, enciphered) == v.input);
    }
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SystemProvider, EveryCallStartsTheKeyStreamAfresh) {
    const std::string input = vectors::Generated(1000, 11);
    const std::string once = Run(&clsCryptoFilterBox::Encrypt, "pw", input);
    clsCryptoFilterBox filter(*provider, ui);
    filter.Password("pw");
    for (int i = 0; i < 2; ++i) {
        filter.InBuffer(input);
        filter.Encrypt();
        EXPECT_TRUE(filter.OutBuffer() == once);
    }
}

TEST_F(SystemProvider, WrongPasswordGivesSameLengthAndNoMessage) {
    const std::string input = vectors::Generated(5000, 5);
    const std::string enciphered = Run(&clsCryptoFilterBox::Encrypt, "5d03e7b", input);
    const std::string wrong = Run(&clsCryptoFilterBox::Decrypt, "5d03e7c", enciphered);
    EXPECT_EQ(wrong.size(), input.size());
    EXPECT_FALSE(wrong == input);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SystemProvider, SignaturesMatchTheOtherProviderAndValidate) {
    const vectors::Signature v = vectors::ParseSignature(vectors::ReadVectorFile("signature.txt"));
    {
        crypto::Acquired<crypto::Context> context = provider->acquireContext(0);
        ASSERT_TRUE(context);
        ASSERT_TRUE(context.object->importSignatureKey(v.keyBlob));
    }
    clsCryptoFilterBox filter(*provider, ui);
    filter.InBuffer(v.message);
    filter.Password("ignored");
    filter.Sign();
    EXPECT_EQ(filter.status(), 1);
    // PKCS#1 v1.5 signatures are deterministic: the same key and text give
    // the same bytes on both providers.
    EXPECT_EQ(vectors::Hex(filter.Signature()), vectors::Hex(v.signature));

    struct Case {
        const char* name;
        std::string input;
        std::string signature;
        std::int32_t status;
    };
    std::string changed = v.message;
    changed[100] = static_cast<char>(changed[100] ^ 1);
    const std::vector<Case> cases{
        {"as signed", v.message, v.signature, 2},
        {"one byte changed", changed, v.signature, 1},
        {"empty signature", v.message, "", 1},
        {"truncated signature", v.message, v.signature.substr(1), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        filter.InBuffer(c.input);
        filter.Signature(c.signature);
        filter.Validate();
        EXPECT_EQ(filter.status(), c.status);
    }
    EXPECT_TRUE(ui.messages.empty());
}

// Pieces of any size (CryptEncrypt/CryptDecrypt with Final=FALSE) give the
// vectors' bytes: the two providers give the same stream, piece by piece.
TEST_F(SystemProvider, PiecesGiveTheCheckedInVectorsBytesBothWays) {
    const std::vector<vectors::Cipher> all =
        vectors::ParseCiphers(vectors::ReadVectorFile("rc4.txt"));
    for (const vectors::Cipher& v : all) {
        for (std::size_t pieceSize : {std::size_t{1}, std::size_t{7}, std::size_t{4096},
                                      std::size_t{1} << 20, v.input.size() + 1}) {
            if (pieceSize == 1 && v.input.size() > 100000) continue;
            SCOPED_TRACE(std::to_string(v.input.size()) + " bytes in pieces of " +
                         std::to_string(pieceSize));
            std::string text = v.input;
            clsCryptoFilterBox filter(*provider, ui);
            filter.Password(v.password);
            ASSERT_TRUE(filter.BeginStream(clsCryptoFilterBox::Direction::Encrypt, text.size()));
            // Pieces of growing and changing sizes, as the readers hand them over.
            for (std::size_t at = 0, size = pieceSize; at < text.size();) {
                const std::size_t n = std::min(size, text.size() - at);
                ASSERT_TRUE(filter.StreamPiece(std::span<char>(text.data() + at, n)));
                at += n;
                size = size == 1 ? 1 : (size % 2 == 0 ? size + 1 : size * 2);
            }
            filter.EndStream();
            EXPECT_EQ(vectors::OutputField(text), v.output);
            ASSERT_TRUE(filter.BeginStream(clsCryptoFilterBox::Direction::Decrypt, text.size()));
            for (std::size_t at = 0; at < text.size(); at += pieceSize) {
                const std::size_t n = std::min(pieceSize, text.size() - at);
                ASSERT_TRUE(filter.StreamPiece(std::span<char>(text.data() + at, n)));
            }
            filter.EndStream();
            EXPECT_TRUE(text == v.input);
        }
    }
    EXPECT_TRUE(ui.messages.empty());
}

// At the provider: a final call after pieces goes on with the stream, then
// the key starts afresh, as the system's provider does.
TEST_F(SystemProvider, AFinalCallEndsTheStreamOfPieces) {
    const std::string input = vectors::Generated(300, 9);
    const std::string whole = Run(&clsCryptoFilterBox::Encrypt, "pw", input);
    crypto::Acquired<crypto::Context> context = provider->acquireContext(0);
    ASSERT_TRUE(context);
    crypto::Acquired<crypto::Hash> hash = context.object->createHash(crypto::kCalgMd5);
    ASSERT_TRUE(hash);
    ASSERT_TRUE(hash.object->hashData("pw"));
    crypto::Acquired<crypto::Key> key = context.object->deriveKey(crypto::kCalgRc4, *hash.object);
    ASSERT_TRUE(key);
    std::string first = input.substr(0, 100);
    std::string rest = input.substr(100);
    ASSERT_TRUE(key.object->encryptPiece(first));
    std::uint32_t length = static_cast<std::uint32_t>(rest.size());
    ASSERT_TRUE(key.object->encrypt(rest, length));
    EXPECT_TRUE(first + rest == whole);
    std::string again = input;
    length = static_cast<std::uint32_t>(again.size());
    ASSERT_TRUE(key.object->encrypt(again, length));
    EXPECT_TRUE(again == whole);
}

}  // namespace
