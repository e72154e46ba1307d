// The cipher filter over the system's provider, held to the vectors made
// with the Windows build's CryptoAPI provider.
#include <gtest/gtest.h>

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

}  // namespace
