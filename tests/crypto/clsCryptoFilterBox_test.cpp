// The cipher filter's own logic over a scripted provider: what it shows,
// what it leaves in its buffers and in status, on every failure path.
#include "crypto/clsCryptoFilterBox.h"

#include <gtest/gtest.h>

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

// A filter over a provider set up before the filter makes sure of its container.
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

// A container made is named, up to the zero byte its name ends at. (Neither
// the container nor a context of no container: see FilterWithoutContainer.)
TEST(FilterInitUser, ShowsWhatMakingTheContainerSaid) {
    ScriptedProvider named(false);
    named.containerName = std::string("bob\0tail", 8);
    EXPECT_EQ(Rig(named).shown(), Texts{"Create key container bob"});
    EXPECT_EQ(Rig().shown(), Texts{});
    EXPECT_EQ(Rig(ScriptedProvider(true, {{Step::Acquire, testing_crypto::kOutOfMemory}})).shown(),
              (Texts{"ErrInitUser Out of memory", kLoadFailed}));
}

// A failure is shown while status is 0; the operation ends with status 1,
// Encrypt keeping its previous result, Decrypt and Sign leaving none. A
// context that cannot be had is named (every step of the key set-up is, in
// the database tests); an unexpected failure shows its record.
TEST(FilterFailures, AreShownWhileRunningAndEndTheOperation) {
    using Op = void (clsCryptoFilterBox::*)();
    const Op decrypt = &clsCryptoFilterBox::Decrypt, sign = &clsCryptoFilterBox::Sign;
    const std::pair<Op, std::string> ops[] = {
        {&clsCryptoFilterBox::Encrypt, "ErrEncrypt Out of memory"},
        {decrypt, "ErrDecrypt \r\nOut of memory\r\nOut of memory\r\n7clsCryptoFilterBox"},
        {sign, "ErrSign Out of memory"},
        {&clsCryptoFilterBox::Validate, "ErrValidate Out of memory"}};
    for (const auto& [op, record] : ops) {
        for (const auto& [step, code, shown] :
             {std::tuple{Step::Acquire, kBadKeyset, kNoContext},
              std::tuple{Step::HashData, testing_crypto::kOutOfMemory, record}}) {
            SCOPED_TRACE(shown);
            Rig r;
            r.filter.InBuffer("previous");
            r.filter.Encrypt();
            r.filter.Sign();
            r.provider.failures[step] = code;
            std::vector<std::int32_t> during;
            r.ui.onMessage = [&](const fake::Message&) { during.push_back(r.filter.status()); };
            r.ui.answer(platform::Ok);
            (r.filter.*op)();
            EXPECT_EQ(r.shown(), Texts{shown});
            EXPECT_EQ(during, std::vector<std::int32_t>{0});
            EXPECT_EQ(r.filter.status(), 1);
            EXPECT_EQ(r.filter.OutBuffer().empty(), op == decrypt);
            EXPECT_EQ(r.filter.Signature().empty(), op == sign);
        }
    }
    // A text longer than one call of the service takes.
    Rig r;
    EXPECT_FALSE(r.filter.BeginStream(Direction::Decrypt, 1ull << 32));
    EXPECT_FALSE(r.filter.BeginStream(Direction::Encrypt, 1ull << 32));
    EXPECT_TRUE(r.filter.BeginStream(Direction::Decrypt, 0xFFFFFFFFull));
    EXPECT_EQ(r.shown(), (Texts{"ErrDecrypt \r\nOverflow\r\nbuffer too long for the "
                                "cryptographic service\r\n6clsCryptoFilterBox",
                                "ErrEncrypt Overflow"}));
}

// The length the failed call left, then the error. A failed Encrypt still
// hands out that many bytes, at most twice its input, spaces past the input;
// a failed Decrypt, none. A failed piece shows the whole text's length and
// ends the stream.
TEST(FilterCipher, AFailedCallShowsTheLengthItLeftThenTheError) {
    const std::string encrypt = "Error -2146893819 during CryptEncrypt!";
    const std::string decrypt = "Error -2146893819 during CryptDecrypt!";
    const std::tuple<std::string, std::uint32_t, std::string> cases[] = {
        {"0123456789", 7, "0123456"}, {"abc", 100, "abc   "}};
    for (const auto& [input, left, encrypted] : cases) {
        Rig r(ScriptedProvider(true, {{Step::Cipher, 0x80090005}}));
        r.provider.lengthLeftOnFailure = left;
        r.filter.InBuffer(input);
        r.filter.Encrypt();
        EXPECT_EQ(r.filter.OutBuffer(), encrypted);
        r.filter.Decrypt();
        EXPECT_EQ(r.filter.OutBuffer(), "");
        const std::string required = "bytes required:" + std::to_string(left);
        EXPECT_EQ(r.shown(), (Texts{required, encrypt, required, decrypt}));
    }
    for (Direction d : {Direction::Encrypt, Direction::Decrypt}) {
        Rig r(ScriptedProvider(true, {{Step::Cipher, 0x80090005}}));
        ASSERT_TRUE(r.filter.BeginStream(d, 10));
        EXPECT_EQ(r.filter.status(), 0);
        std::string piece = "0123";
        EXPECT_FALSE(r.filter.StreamPiece(piece));
        EXPECT_FALSE(r.filter.StreamPiece(piece));
        EXPECT_EQ(r.shown(),
                  (Texts{"bytes required:10", d == Direction::Encrypt ? encrypt : decrypt}));
        EXPECT_EQ(r.filter.status(), 1);
    }
}

// Status 2 only for a valid signature of the whole text; a bad signature is
// no failure of the service, any other failure is shown.
TEST(FilterSignature, ValidateTellsABadSignatureFromAFailureOfTheService) {
    for (std::uint32_t code : {0u, crypto::kNteBadSignature, kBadKeyset}) {
        Rig r(ScriptedProvider(true, {{Step::Verify, code}}));
        r.filter.InBuffer(std::string("signed\0text", 11));
        r.filter.Sign();
        EXPECT_EQ(r.filter.Signature(), "#" + r.filter.InBuffer());
        r.filter.Validate();
        EXPECT_EQ(r.filter.status(), code == 0 ? 2 : 1);
        EXPECT_EQ(r.shown(), code == kBadKeyset
                                 ? Texts{"Error -2146893802 during CryptVerifySignature!"}
                                 : Texts{});
    }
}

// An administrator's credentials over another user's session, a mandatory or
// a temporary profile: the default container can be neither opened nor made.
// Ciphers need no key of the user's, so they run through a context of no
// container without a word; signing still needs the container and says so.
// Only when even that context fails does everything fail as it always has,
// with the default container's code.
TEST(FilterWithoutContainer, CiphersRunSilentlyThroughAContextOfNoContainer) {
    Rig reference;
    reference.filter.Password("pw");
    reference.filter.InBuffer("plain text");
    reference.filter.Encrypt();
    const std::string enciphered = reference.filter.OutBuffer();
    for (bool noContainer : {true, false}) {
        SCOPED_TRACE(noContainer ? "a context of no container" : "not even that");
        ScriptedProvider p(false, {{Step::AcquireNew, kNoKey}});
        if (!noContainer) p.failures[Step::AcquireNoContainer] = kNoKey;
        Rig r(p);
        r.filter.Password("pw");
        r.filter.InBuffer(enciphered);
        r.filter.Decrypt();
        EXPECT_EQ(r.filter.OutBuffer(), noContainer ? "plain text" : "");
        EXPECT_EQ(r.filter.InBuffer(), enciphered);  // kept: a second Decrypt gives the same
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
