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

}  // namespace
