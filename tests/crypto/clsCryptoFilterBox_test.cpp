// The cipher filter over a scripted provider: what it shows and leaves on every
// failure path. (The system's key stream: xdbtool's shell test, against openssl.)
#include "crypto/clsCryptoFilterBox.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "FakeSystem.h"
#include "ScriptedProvider.h"
#ifndef _WIN32
#include "crypto/openssl/Rc4.h"
#endif

namespace {

using crypto::clsCryptoFilterBox;
using Direction = clsCryptoFilterBox::Direction;
using testing_crypto::ScriptedProvider;
using testing_crypto::Step;
using Texts = std::vector<std::string>;

using crypto::kNteBadKeyset;  // shown as -2146893802
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
             {std::tuple{Step::Acquire, kNteBadKeyset, kNoContext, 0},
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

// A failed call shows the length it left (the text's for Encrypt, its doubled
// buffer's for Decrypt), then the error. Faults: Decrypt handing out bytes, a
// failed stream showing the text's length for the buffer's or going on.
TEST(FilterCipher, AFailedCallShowsTheLengthItLeftThenTheError) {
    for (Direction d : {Direction::Encrypt, Direction::Decrypt}) {
        const bool encrypt = d == Direction::Encrypt;
        const std::string error = encrypt ? "Error -2146893819 during CryptEncrypt!"
                                          : "Error -2146893819 during CryptDecrypt!";
        Rig r(ScriptedProvider(true, {{Step::Cipher, 0x80090005}}));
        r.filter.InBuffer("abc");
        encrypt ? r.filter.Encrypt() : r.filter.Decrypt();
        EXPECT_EQ(r.filter.OutBuffer(), encrypt ? "abc" : "");
        ASSERT_TRUE(r.filter.BeginStream(d, 10));
        EXPECT_EQ(r.filter.status(), 0);
        std::string piece = "0123";
        EXPECT_FALSE(r.filter.StreamPiece(piece));
        EXPECT_FALSE(r.filter.StreamPiece(piece));
        EXPECT_EQ(r.shown(),
                  (encrypt ? Texts{"bytes required:3", error, "bytes required:10", error}
                           : Texts{"bytes required:6", error, "bytes required:20", error}));
        EXPECT_EQ(r.filter.status(), 1);
    }
}

// Faults: a bad signature shown as a failure of the service, a signature
// padded past what the call wrote, a failed one leaving zeros.
TEST(FilterSignature, ValidateTellsABadSignatureFromAFailureOfTheService) {
    for (std::uint32_t code : {0u, crypto::kNteBadSignature, kNteBadKeyset}) {
        Rig r(ScriptedProvider(true, {{Step::Verify, code}}));
        r.provider.signatureSlack = 3;
        r.filter.InBuffer(std::string("signed\0text", 11));
        r.filter.Sign();
        EXPECT_EQ(r.filter.Signature(), "#" + r.filter.InBuffer());
        r.filter.Validate();
        EXPECT_EQ(r.filter.status(), code == 0 ? 2 : 1);
        EXPECT_EQ(r.shown(), code == kNteBadKeyset
                                 ? Texts{"Error -2146893802 during CryptVerifySignature!"}
                                 : Texts{});
    }
    Rig r(ScriptedProvider(true, {{Step::Sign, crypto::kNteNoKey}}));
    r.filter.Signature("old");
    r.filter.Sign();
    EXPECT_EQ(r.filter.Signature(), "");
    EXPECT_EQ(r.shown(), Texts{"Error -2146893811 during CryptSignHash"});
}

// No container can be opened or made (another user's session, a temporary
// profile): ciphers run silently through a context of no container, signing
// says it fails. Also: Decrypt emptying InBuffer.
TEST(FilterWithoutContainer, CiphersRunSilentlyThroughAContextOfNoContainer) {
    Rig r(ScriptedProvider(false, {{Step::AcquireNew, crypto::kNteNoKey}}));
    r.filter.InBuffer("plain text");
    r.filter.Encrypt();
    const std::string enciphered = r.filter.OutBuffer();
    r.filter.InBuffer(enciphered);
    r.filter.Decrypt();
    EXPECT_EQ(r.filter.OutBuffer(), "plain text");
    EXPECT_EQ(r.filter.InBuffer(), enciphered);
    r.filter.Sign();
    EXPECT_EQ(r.shown(), Texts{kNoContext});
}

#ifndef _WIN32
// The RC4 used where libcrypto has none: the published key stream of the key
// 0102030405, offsets 0 and 16, in two calls.
TEST(PortableRc4, GivesThePublishedKeyStream) {
    const std::uint8_t key[] = {1, 2, 3, 4, 5};
    crypto::Rc4 rc4(key);
    std::uint8_t stream[32] = {};
    rc4.apply(std::span<std::uint8_t>(stream, 10));
    rc4.apply(std::span<std::uint8_t>(stream + 10, 22));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream), sizeof stream),
              "\xb2\x39\x63\x05\xf0\x3d\xc0\x27\xcc\xc3\x52\x4a\x0a\x11\x18\xa8"
              "\x69\x82\x94\x4f\x18\xfc\x82\xd5\x89\xc4\x03\xa4\x7a\x0d\x09\x19");
}
#endif

}  // namespace
