// The cipher filter over a scripted provider: what it shows and leaves in
// its buffers and status on every failure path.
#include "crypto/clsCryptoFilterBox.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>
#include <vector>

#include "FakeSystem.h"
#include "ScriptedProvider.h"

namespace {

using crypto::clsCryptoFilterBox;
using Direction = clsCryptoFilterBox::Direction;
using testing_crypto::ScriptedProvider;
using testing_crypto::Step;
using Texts = std::vector<std::string>;

constexpr std::uint32_t kBadKeyset = 0x80090016;  // shown as -2146893802
constexpr std::uint32_t kNoKey = 0x8009000D;      // shown as -2146893811
const std::string kLoadFailed = "Erro ao carregar a classe descompiladora!";
const std::string kNoContext = "Error -2146893802 during CryptAcquireContext!";

// A filter over a provider scripted before the filter makes its container.
struct Rig {
    explicit Rig(ScriptedProvider p = ScriptedProvider()) : provider(std::move(p)) {}
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter{provider, ui};

    Texts shown() const {
        Texts texts;
        for (const fake::Message& m : ui.messages) texts.push_back(m.text);
        return texts;
    }
};

// Faults: a container's name read past its zero byte; a made one not named.
TEST(FilterInitUser, ShowsWhatMakingTheContainerSaid) {
    ScriptedProvider named(false);
    named.containerName = std::string("bob\0tail", 8);
    EXPECT_EQ(Rig(named).shown(), Texts{"Create key container bob"});
    EXPECT_EQ(Rig().shown(), Texts{});
    EXPECT_EQ(Rig(ScriptedProvider(true, {{Step::Acquire, testing_crypto::kOutOfMemory}})).shown(),
              (Texts{"ErrInitUser Out of memory", kLoadFailed}));
}

// Faults: a failure reported after the handles are released or with status
// set, a handle leaked, a stale result left (Encrypt keeps its own), a text
// of 1 GB accepted though its doubled buffer overflows an int32, or 1 GB - 1
// refused.
TEST(FilterFailures, AreShownWhileRunningAndEndTheOperation) {
    using Op = void (clsCryptoFilterBox::*)();
    const Op decrypt = &clsCryptoFilterBox::Decrypt, sign = &clsCryptoFilterBox::Sign;
    const std::pair<Op, std::string> ops[] = {
        {&clsCryptoFilterBox::Encrypt, "ErrEncrypt Out of memory"},
        {decrypt, "ErrDecrypt \r\nOut of memory\r\nOut of memory\r\n7clsCryptoFilterBox"},
        {sign, "ErrSign Out of memory"},
        {&clsCryptoFilterBox::Validate, "ErrValidate Out of memory"}};
    for (const auto& [op, record] : ops) {
        for (const auto& [step, code, shown, held] :
             {std::tuple{Step::Acquire, kBadKeyset, kNoContext, 0},
              std::tuple{Step::HashData, testing_crypto::kOutOfMemory, record, 2}}) {
            SCOPED_TRACE(shown);
            Rig r;
            r.filter.InBuffer("previous");
            r.filter.Encrypt();
            r.filter.Sign();
            r.provider.failures[step] = code;
            std::vector<std::pair<std::int32_t, int>> during;
            r.ui.onMessage = [&](const fake::Message&) {
                during.emplace_back(r.filter.status(), r.provider.live);
            };
            r.ui.answer(platform::Ok);
            (r.filter.*op)();
            EXPECT_EQ(r.shown(), Texts{shown});
            EXPECT_EQ(during, (std::vector<std::pair<std::int32_t, int>>{{0, held}}));
            EXPECT_EQ(r.provider.live, 0);
            EXPECT_EQ(r.filter.status(), 1);
            EXPECT_EQ(r.filter.OutBuffer().empty(), op == decrypt);
            EXPECT_EQ(r.filter.Signature().empty(), op == sign);
        }
    }
    Rig r;
    EXPECT_FALSE(r.filter.BeginStream(Direction::Decrypt, 1ull << 30));
    EXPECT_FALSE(r.filter.BeginStream(Direction::Encrypt, 1ull << 30));
    EXPECT_TRUE(r.filter.BeginStream(Direction::Decrypt, 1073741823));
    EXPECT_EQ(r.shown(), (Texts{"ErrDecrypt \r\nOverflow\r\nOverflow\r\n6clsCryptoFilterBox",
                                "ErrEncrypt Overflow"}));
}

// A failed call shows the length it left, then the error. Faults: Encrypt
// not handing out the bytes left (padded with spaces), Decrypt handing out
// any, a failed stream showing the text's length for the buffer's or going on.
TEST(FilterCipher, AFailedCallShowsTheLengthItLeftThenTheError) {
    const std::string encrypt = "Error -2146893819 during CryptEncrypt!";
    const std::string decrypt = "Error -2146893819 during CryptDecrypt!";
    const std::tuple<std::string, std::optional<std::uint32_t>, std::string, Texts> cases[] = {
        {"0123456789", 7, "0123456", {"bytes required:7", "bytes required:7"}},
        {"abc", 100, "abc   ", {"bytes required:100", "bytes required:100"}},
        {"abc", {}, "abc", {"bytes required:3", "bytes required:6"}}};
    for (const auto& [input, left, encrypted, required] : cases) {
        Rig r(ScriptedProvider(true, {{Step::Cipher, 0x80090005}}));
        r.provider.lengthLeftOnFailure = left;
        r.filter.InBuffer(input);
        r.filter.Encrypt();
        EXPECT_EQ(r.filter.OutBuffer(), encrypted);
        r.filter.Decrypt();
        EXPECT_EQ(r.filter.OutBuffer(), "");
        EXPECT_EQ(r.shown(), (Texts{required[0], encrypt, required[1], decrypt}));
    }
    for (Direction d : {Direction::Encrypt, Direction::Decrypt}) {
        Rig r(ScriptedProvider(true, {{Step::Cipher, 0x80090005}}));
        ASSERT_TRUE(r.filter.BeginStream(d, 10));
        EXPECT_EQ(r.filter.status(), 0);
        std::string piece = "0123";
        EXPECT_FALSE(r.filter.StreamPiece(piece));
        EXPECT_FALSE(r.filter.StreamPiece(piece));
        EXPECT_EQ(r.shown(), (d == Direction::Encrypt ? Texts{"bytes required:10", encrypt}
                                                      : Texts{"bytes required:20", decrypt}));
        EXPECT_EQ(r.filter.status(), 1);
    }
}

// Faults: a bad signature shown as a failure of the service, a signature
// padded past what the call wrote, a failed one leaving zeros.
TEST(FilterSignature, ValidateTellsABadSignatureFromAFailureOfTheService) {
    for (std::uint32_t code : {0u, crypto::kNteBadSignature, kBadKeyset}) {
        Rig r(ScriptedProvider(true, {{Step::Verify, code}}));
        r.provider.signatureSlack = 3;
        r.filter.InBuffer(std::string("signed\0text", 11));
        r.filter.Sign();
        EXPECT_EQ(r.filter.Signature(), "#" + r.filter.InBuffer());
        r.filter.Validate();
        EXPECT_EQ(r.filter.status(), code == 0 ? 2 : 1);
        EXPECT_EQ(r.shown(), code == kBadKeyset
                                 ? Texts{"Error -2146893802 during CryptVerifySignature!"}
                                 : Texts{});
    }
    Rig r(ScriptedProvider(true, {{Step::Sign, kNoKey}}));
    r.filter.Signature("old");
    r.filter.Sign();
    EXPECT_EQ(r.filter.Signature(), "");
    EXPECT_EQ(r.shown(), Texts{"Error -2146893811 during CryptSignHash"});
}

// No container can be opened or made (another user's session, a temporary
// profile): ciphers run silently through a context of no container, signing
// says it fails; failing that too, all fails as before. Also: Decrypt
// emptying InBuffer.
TEST(FilterWithoutContainer, CiphersRunSilentlyThroughAContextOfNoContainer) {
    Rig reference;
    reference.filter.Password("pw");
    reference.filter.InBuffer("plain text");
    reference.filter.Encrypt();
    const std::string enciphered = reference.filter.OutBuffer();
    for (bool noContainer : {true, false}) {
        SCOPED_TRACE(noContainer);
        ScriptedProvider p(false, {{Step::AcquireNew, kNoKey}});
        if (!noContainer) p.failures[Step::AcquireNoContainer] = kNoKey;
        Rig r(p);
        r.filter.Password("pw");
        r.filter.InBuffer(enciphered);
        r.filter.Decrypt();
        EXPECT_EQ(r.filter.OutBuffer(), noContainer ? "plain text" : "");
        EXPECT_EQ(r.filter.InBuffer(), enciphered);
        r.filter.InBuffer("plain text");
        r.filter.Encrypt();
        EXPECT_EQ(r.filter.OutBuffer(), noContainer ? enciphered : "");
        r.filter.Sign();
        const Texts failed{"Error creating key container! -2146893811", kLoadFailed, kNoContext,
                           kNoContext, kNoContext};
        EXPECT_EQ(r.shown(), noContainer ? Texts{kNoContext} : failed);
    }
}

}  // namespace
