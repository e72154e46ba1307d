// The cipher filter's own logic over a scripted provider: what it shows,
// what it leaves in its buffers and in status, on every failure path.
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

// A failure is shown while status is 0 and the handles had are still held
// (released after the report); the operation ends with status 1, Encrypt
// keeping its previous result, Decrypt and Sign leaving none. A context that
// cannot be had is named (every step of the key set-up is, in the database
// tests); an unexpected failure shows its record.
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
    // A text of 1 GB or more: its work buffer, twice as long, overflows a
    // 32-bit signed size; the record is the overflow's own.
    Rig r;
    EXPECT_FALSE(r.filter.BeginStream(Direction::Decrypt, 1ull << 30));
    EXPECT_FALSE(r.filter.BeginStream(Direction::Encrypt, 1ull << 30));
    EXPECT_TRUE(r.filter.BeginStream(Direction::Decrypt, 1073741823));
    EXPECT_EQ(r.shown(), (Texts{"ErrDecrypt \r\nOverflow\r\nOverflow\r\n6clsCryptoFilterBox",
                                "ErrEncrypt Overflow"}));
}

// The length the failed call left, then the error. Encrypt's call is given
// the text's length, in a buffer twice as long, and a failed one still hands
// out as many bytes as it left, spaces past the text; Decrypt's is given the
// whole buffer, and a failed one hands out none. A failed piece shows what
// the call over the whole text would, and ends the stream.
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

// Status 2 only for a valid signature of the whole text; a bad signature is
// no failure of the service, any other failure is shown. The signature is
// what the call wrote, however much it first asked for; one that could not
// be made leaves none, not a buffer of zeros that looks like one.
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
