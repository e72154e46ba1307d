// The cipher filter's own logic over a scripted provider: what it shows,
// what it leaves in its buffers and in status, on every failure path.
#include "crypto/clsCryptoFilterBox.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

#include "FakeSystem.h"
#include "ScriptedProvider.h"

namespace {

using crypto::clsCryptoFilterBox;
using testing_crypto::ScriptedProvider;
using testing_crypto::Step;

constexpr std::uint32_t kBadKeyset = 0x80090016;  // shown as -2146893802
constexpr std::uint32_t kNoKey = 0x8009000D;      // shown as -2146893811

std::vector<std::string> Texts(const fake::FakeSystem& ui) {
    std::vector<std::string> texts;
    for (const fake::Message& m : ui.messages) texts.push_back(m.text);
    return texts;
}

using Texts_ = std::vector<std::string>;

TEST(FilterInitUser, ExistingContainerShowsNothing) {
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(filter.status(), 0);
    EXPECT_EQ(provider.released, 1);  // the context it opened
}

TEST(FilterInitUser, MissingContainerIsCreatedAndNamedOnce) {
    ScriptedProvider provider;
    provider.containerExists = false;
    provider.containerName = std::string("bob\0tail", 8);  // the name ends at its zero byte
    fake::FakeSystem ui;
    clsCryptoFilterBox first(provider, ui);
    clsCryptoFilterBox second(provider, ui);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Create key container bob");
    EXPECT_EQ(ui.messages[0].style, platform::mb::OkOnly);
    EXPECT_EQ(ui.messages[0].title, "");
}

TEST(FilterInitUser, FailuresAreShownAndTheObjectStaysUsable) {
    struct Case {
        Step failing;
        Texts_ expected;
    };
    const std::vector<Case> cases{
        {Step::AcquireNew,
         {"Error creating key container! -2146893802",
          "Erro ao carregar a classe descompiladora!"}},
        {Step::ContainerName, {"Error getting user name! -2146893802", "Create key container "}},
    };
    for (const Case& c : cases) {
        ScriptedProvider provider;
        provider.containerExists = false;
        provider.failures[c.failing] = kBadKeyset;
        fake::FakeSystem ui;
        clsCryptoFilterBox filter(provider, ui);
        EXPECT_EQ(Texts(ui), c.expected);
        if (c.failing == Step::AcquireNew) {
            EXPECT_EQ(ui.messages.back().title, "Erro");
            EXPECT_EQ(ui.messages.back().style, platform::mb::Critical);
        }
        filter.InBuffer("abc");
        filter.Decrypt();
        EXPECT_EQ(filter.OutBuffer().size(), c.failing == Step::AcquireNew ? 0u : 3u);
    }
}

TEST(FilterInitUser, UnexpectedFailureIsReportedAndFailsConstruction) {
    ScriptedProvider provider;
    provider.throws[Step::Acquire] = [] { throw std::bad_alloc(); };
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    EXPECT_EQ(Texts(ui),
              (Texts_{"ErrInitUser Out of memory", "Erro ao carregar a classe descompiladora!"}));
}

// Every failure of the key set-up: the step's message, status 1, Encrypt
// keeping the previous result and Decrypt leaving none, everything released.
TEST(FilterKeySetUp, EachFailingStepIsNamedAndEndsTheOperation) {
    const std::vector<std::pair<Step, std::string>> steps{
        {Step::Acquire, "Error -2146893802 during CryptAcquireContext!"},
        {Step::CreateHash, "Error -2146893802 during CryptCreateHash!"},
        {Step::HashData, "Error -2146893802 during CryptHashData!"},
        {Step::DeriveKey, "Error -2146893802 during CryptDeriveKey!"},
    };
    for (const auto& [step, message] : steps) {
        for (bool encrypt : {true, false}) {
            SCOPED_TRACE(message + (encrypt ? " (Encrypt)" : " (Decrypt)"));
            ScriptedProvider provider;
            fake::FakeSystem ui;
            clsCryptoFilterBox filter(provider, ui);
            filter.Password("pw");
            filter.InBuffer("previous");
            filter.Encrypt();
            const std::string previous = filter.OutBuffer();
            provider.failures[step] = kBadKeyset;
            provider.released = 0;
            const int acquiredBefore = provider.acquired;
            filter.InBuffer("new input");
            encrypt ? filter.Encrypt() : filter.Decrypt();
            EXPECT_EQ(Texts(ui), Texts_{message});
            EXPECT_EQ(filter.status(), 1);
            EXPECT_EQ(filter.OutBuffer(), encrypt ? previous : "");
            const int opened = provider.acquired - acquiredBefore;
            EXPECT_EQ(provider.released, opened + (step >= Step::HashData ? 1 : 0));
        }
    }
}

TEST(FilterCipher, FailingCipherCallShowsBytesRequiredThenTheError) {
    for (bool encrypt : {true, false}) {
        ScriptedProvider provider;
        provider.failures[encrypt ? Step::Encrypt : Step::Decrypt] = 0x80090005;
        provider.lengthLeftOnFailure = 7;
        fake::FakeSystem ui;
        clsCryptoFilterBox filter(provider, ui);
        filter.InBuffer("0123456789");
        encrypt ? filter.Encrypt() : filter.Decrypt();
        EXPECT_EQ(Texts(ui),
                  (Texts_{"bytes required:7", std::string("Error -2146893819 during ") +
                                                  (encrypt ? "CryptEncrypt!" : "CryptDecrypt!")}));
        EXPECT_EQ(filter.status(), 1);
        // A failed Encrypt still hands out the first bytes the call reported.
        EXPECT_EQ(filter.OutBuffer(), encrypt ? "0123456" : "");
        EXPECT_EQ(provider.released, 4);  // InitUser's context; context, hash and key
    }
}

TEST(FilterCipher, FailedEncryptReportingMoreThanTheInputPadsWithSpaces) {
    ScriptedProvider provider;
    provider.failures[Step::Encrypt] = 234;
    provider.lengthLeftOnFailure = 100;  // beyond the doubled buffer: cut at 2n
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    filter.InBuffer("abc");
    filter.Encrypt();
    EXPECT_EQ(filter.OutBuffer(), "abc   ");
}

TEST(FilterCipher, UnexpectedFailuresAreReportedWithTheirRecord) {
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    provider.throws[Step::Decrypt] = [] { throw std::bad_alloc(); };
    provider.throws[Step::Encrypt] = [] { throw std::bad_alloc(); };
    filter.InBuffer("x");
    filter.Decrypt();
    filter.Encrypt();
    EXPECT_EQ(Texts(ui),
              (Texts_{"ErrDecrypt \r\nOut of memory\r\nOut of memory\r\n7clsCryptoFilterBox",
                      "ErrEncrypt Out of memory"}));
    EXPECT_EQ(filter.status(), 1);
    EXPECT_EQ(filter.OutBuffer(), "");
}

TEST(FilterStatus, ZeroWhileRunningOneAfterward) {
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    EXPECT_EQ(filter.status(), 0);
    std::vector<std::int32_t> during;
    ui.onMessage = [&](const fake::Message&) { during.push_back(filter.status()); };
    provider.failures[Step::Acquire] = kBadKeyset;
    for (auto op : {&clsCryptoFilterBox::Encrypt, &clsCryptoFilterBox::Decrypt,
                    &clsCryptoFilterBox::Sign, &clsCryptoFilterBox::Validate}) {
        ui.answer(platform::Ok);
        (filter.*op)();
        EXPECT_EQ(filter.status(), 1);
    }
    EXPECT_EQ(during, (std::vector<std::int32_t>{0, 0, 0, 0}));
}

TEST(FilterSignature, SignAndValidateOutcomes) {
    struct Case {
        const char* name;
        Step failing;
        std::uint32_t code;
        bool tamper;
        Texts_ expected;
        std::int32_t status;
    };
    const std::vector<Case> cases{
        {"valid", Step::Encrypt, 0, false, {}, 2},
        {"changed byte", Step::Encrypt, 0, true, {}, 1},
        {"no signature key",
         Step::UserKey,
         kNoKey,
         false,
         {"Error -2146893811 during CryptGetUserKey!"},
         1},
        {"verification error",
         Step::Verify,
         kBadKeyset,
         false,
         {"Error -2146893802 during CryptVerifySignature!"},
         1},
        {"bad signature", Step::Verify, crypto::kNteBadSignature, false, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedProvider provider;
        fake::FakeSystem ui;
        clsCryptoFilterBox filter(provider, ui);
        filter.InBuffer(std::string("signed\0text", 11));
        filter.Sign();
        EXPECT_EQ(filter.status(), 1);
        EXPECT_EQ(filter.Signature(), "#" + filter.InBuffer());
        if (c.tamper) filter.InBuffer(std::string("signed\0texT", 11));
        if (c.code != 0) provider.failures[c.failing] = c.code;
        filter.Validate();
        EXPECT_EQ(Texts(ui), c.expected);
        EXPECT_EQ(filter.status(), c.status);
    }
}

TEST(FilterSignature, SigningFailureShowsItsMessageAndLeavesNoSignature) {
    ScriptedProvider provider;
    provider.failures[Step::SignHash] = kNoKey;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    filter.Signature("old");
    filter.InBuffer("text");
    filter.Sign();
    EXPECT_EQ(Texts(ui), Texts_{"Error -2146893811 during CryptSignHash"});
    EXPECT_EQ(filter.Signature(), "");
    EXPECT_EQ(filter.status(), 1);
}

TEST(FilterSignature, UnexpectedFailures) {
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    provider.throws[Step::HashData] = [] { throw std::bad_alloc(); };
    filter.Sign();
    EXPECT_EQ(filter.status(), 1);
    filter.Validate();
    EXPECT_EQ(filter.status(), 1);
    EXPECT_EQ(Texts(ui), (Texts_{"ErrSign Out of memory", "ErrValidate Out of memory"}));
}

// InBuffer is kept: Decrypt, like Encrypt, leaves it as it was, so a second
// Decrypt gives the same output.
TEST(FilterBuffers, TwoDecryptsGiveTheSameOutput) {
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    filter.Password("pw");
    filter.InBuffer("enciphered text");
    filter.Decrypt();
    const std::string first = filter.OutBuffer();
    EXPECT_EQ(first.size(), 15u);
    EXPECT_EQ(filter.InBuffer(), "enciphered text");
    filter.Decrypt();
    EXPECT_EQ(filter.OutBuffer(), first);
    EXPECT_EQ(filter.TakeOutBuffer(), first);
    filter.Decrypt();
    EXPECT_EQ(filter.OutBuffer(), first);
    EXPECT_TRUE(ui.messages.empty());
}

// What a getter gave is a copy of what was stored: it does not change when
// the object is used again.
TEST(FilterBuffers, GettersReturnACopyOfWhatWasStored) {
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    filter.InBuffer("input");
    filter.Password("password");
    filter.Signature("signature");
    filter.Encrypt();
    const std::string& in = filter.InBuffer();
    const std::string& out = filter.OutBuffer();
    const std::string& password = filter.Password();
    const std::string& signature = filter.Signature();
    const std::string enciphered = out;
    filter.InBuffer("other input");
    filter.Password("other password");
    filter.Signature("other signature");
    filter.Encrypt();
    filter.Sign();
    EXPECT_EQ(in, "input");
    EXPECT_EQ(out, enciphered);
    EXPECT_EQ(password, "password");
    EXPECT_EQ(signature, "signature");
}

// Pieces: the key set up as Encrypt and Decrypt set it up, with their
// messages; pieces handed over in order give the whole's bytes.
TEST(FilterStream, PiecesGiveWhatTheWholeGives) {
    for (auto direction :
         {clsCryptoFilterBox::Direction::Encrypt, clsCryptoFilterBox::Direction::Decrypt}) {
        ScriptedProvider provider;
        fake::FakeSystem ui;
        clsCryptoFilterBox filter(provider, ui);
        filter.Password("pw");
        filter.InBuffer("0123456789");
        direction == clsCryptoFilterBox::Direction::Encrypt ? filter.Encrypt() : filter.Decrypt();
        const std::string whole = filter.OutBuffer();
        std::string text = "0123456789";
        const int releasedBefore = provider.released;
        ASSERT_TRUE(filter.BeginStream(direction, text.size()));
        EXPECT_EQ(filter.status(), 0);
        EXPECT_TRUE(filter.StreamPiece(std::span<char>(text.data(), 3)));
        EXPECT_TRUE(filter.StreamPiece(std::span<char>(text.data() + 3, 7)));
        filter.EndStream();
        EXPECT_EQ(filter.status(), 1);
        EXPECT_EQ(text, whole);
        EXPECT_EQ(filter.OutBuffer(), whole);  // buffers untouched
        EXPECT_EQ(filter.InBuffer(), "0123456789");
        EXPECT_EQ(provider.released - releasedBefore, 3);  // its context, hash and key
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST(FilterStream, FailuresShowWhatEncryptAndDecryptShow) {
    const std::vector<Step> steps{Step::Acquire, Step::CreateHash, Step::HashData, Step::DeriveKey};
    for (Step step : steps) {
        for (auto direction :
             {clsCryptoFilterBox::Direction::Encrypt, clsCryptoFilterBox::Direction::Decrypt}) {
            const bool encrypt = direction == clsCryptoFilterBox::Direction::Encrypt;
            ScriptedProvider whole;
            ScriptedProvider pieces;
            whole.failures[step] = pieces.failures[step] = kBadKeyset;
            fake::FakeSystem wholeUi;
            fake::FakeSystem piecesUi;
            clsCryptoFilterBox a(whole, wholeUi);
            clsCryptoFilterBox b(pieces, piecesUi);
            a.InBuffer("text");
            encrypt ? a.Encrypt() : a.Decrypt();
            EXPECT_FALSE(b.BeginStream(direction, 4));
            EXPECT_EQ(Texts(piecesUi), Texts(wholeUi));
            EXPECT_EQ(b.status(), 1);
            std::string piece = "text";
            EXPECT_FALSE(b.StreamPiece(piece));
            EXPECT_EQ(piece, "text");
        }
    }
    // A failing cipher call: the length a whole-text call leaves, then the
    // error; the stream is over.
    for (bool encrypt : {true, false}) {
        ScriptedProvider provider;
        provider.failures[encrypt ? Step::Encrypt : Step::Decrypt] = 0x80090005;
        fake::FakeSystem ui;
        clsCryptoFilterBox filter(provider, ui);
        ASSERT_TRUE(filter.BeginStream(encrypt ? clsCryptoFilterBox::Direction::Encrypt
                                               : clsCryptoFilterBox::Direction::Decrypt,
                                       10));
        std::string piece = "0123";
        EXPECT_FALSE(filter.StreamPiece(piece));
        EXPECT_EQ(Texts(ui),
                  (Texts_{"bytes required:10", std::string("Error -2146893819 during ") +
                                                   (encrypt ? "CryptEncrypt!" : "CryptDecrypt!")}));
        EXPECT_EQ(filter.status(), 1);
        EXPECT_EQ(provider.released, 4);  // InitUser's context; the stream's context, hash, key
        EXPECT_FALSE(filter.StreamPiece(piece));
        EXPECT_EQ(ui.messages.size(), 2u);
    }
    // A text longer than one call takes: what Encrypt and Decrypt show.
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter(provider, ui);
    EXPECT_FALSE(filter.BeginStream(clsCryptoFilterBox::Direction::Decrypt, 1ull << 32));
    EXPECT_FALSE(filter.BeginStream(clsCryptoFilterBox::Direction::Encrypt, 1ull << 32));
    EXPECT_EQ(Texts(ui), (Texts_{"ErrDecrypt \r\nOverflow\r\nbuffer too long for the cryptographic "
                                 "service\r\n6clsCryptoFilterBox",
                                 "ErrEncrypt Overflow"}));
    EXPECT_TRUE(filter.BeginStream(clsCryptoFilterBox::Direction::Decrypt, 0xFFFFFFFFull));
}

}  // namespace
