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
using Direction = clsCryptoFilterBox::Direction;
using testing_crypto::ScriptedProvider;
using testing_crypto::Step;
using Texts = std::vector<std::string>;

constexpr std::uint32_t kBadKeyset = 0x80090016;  // shown as -2146893802
constexpr std::uint32_t kNoKey = 0x8009000D;      // shown as -2146893811
constexpr std::uint32_t kBadData = 0x80090005;    // shown as -2146893819
const std::string kLoadFailed = "Erro ao carregar a classe descompiladora!";

// A filter over a provider set up before the filter makes sure of its container.
struct Rig {
    explicit Rig(ScriptedProvider p = {}) : provider(std::move(p)) {}
    ScriptedProvider provider;
    fake::FakeSystem ui;
    clsCryptoFilterBox filter{provider, ui};

    Texts shown() const {
        Texts texts;
        for (const fake::Message& m : ui.messages) texts.push_back(m.text);
        return texts;
    }
    void run(Direction d) { d == Direction::Encrypt ? filter.Encrypt() : filter.Decrypt(); }
};

ScriptedProvider Scripted(bool containerExists, std::map<Step, std::uint32_t> failures = {}) {
    ScriptedProvider p;
    p.containerExists = containerExists;
    p.failures = std::move(failures);
    return p;
}

TEST(FilterInitUser, ShowsWhatMakingTheContainerSaidAndFailsOnlyWithoutOne) {
    ScriptedProvider outOfMemory;
    outOfMemory.throws[Step::Acquire] = [] { throw std::bad_alloc(); };
    ScriptedProvider named = Scripted(false);
    named.containerName = std::string("bob\0tail", 8);  // the name ends at its zero byte
    const struct {
        const char* name;
        ScriptedProvider provider;
        Texts expected;
    } cases[] = {
        {"exists", Scripted(true), {}},
        {"made", named, {"Create key container bob"}},
        {"not made, nor a context of no container",
         Scripted(false, {{Step::AcquireNew, kBadKeyset}, {Step::AcquireNoContainer, kNoKey}}),
         {"Error creating key container! -2146893802", kLoadFailed}},
        {"made, name unread",
         Scripted(false, {{Step::ContainerName, kBadKeyset}}),
         {"Error getting user name! -2146893802", "Create key container "}},
        {"out of memory", outOfMemory, {"ErrInitUser Out of memory", kLoadFailed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(c.provider);
        EXPECT_EQ(r.shown(), c.expected);
        if (c.expected.empty()) continue;
        const bool failed = c.expected.back() == kLoadFailed;
        EXPECT_EQ(r.ui.messages.back().style,
                  failed ? platform::mb::Critical : platform::mb::OkOnly);
        EXPECT_EQ(r.ui.messages.back().title, failed ? "Erro" : "");
    }
}

// Each failing step of the key set-up is named; the operation ends with
// status 1, Encrypt keeping its previous result and Decrypt leaving none,
// everything it opened released.
TEST(FilterKeySetUp, EachFailingStepIsNamedAndEndsTheOperation) {
    const struct {
        Step step;
        const char* message;
        int released;
    } steps[] = {
        {Step::Acquire, "Error -2146893802 during CryptAcquireContext!", 0},
        {Step::CreateHash, "Error -2146893802 during CryptCreateHash!", 1},
        {Step::HashData, "Error -2146893802 during CryptHashData!", 2},
        {Step::DeriveKey, "Error -2146893802 during CryptDeriveKey!", 2},
    };
    for (const auto& s : steps) {
        for (Direction d : {Direction::Encrypt, Direction::Decrypt}) {
            SCOPED_TRACE(s.message + std::string(d == Direction::Encrypt ? " (E)" : " (D)"));
            Rig r;
            r.filter.InBuffer("previous");
            r.filter.Encrypt();
            const std::string previous = r.filter.OutBuffer();
            r.provider.failures[s.step] = kBadKeyset;
            r.provider.released = 0;
            r.filter.InBuffer("new input");
            r.run(d);
            EXPECT_EQ(r.shown(), Texts{s.message});
            EXPECT_EQ(r.filter.status(), 1);
            EXPECT_EQ(r.filter.OutBuffer(), d == Direction::Encrypt ? previous : "");
            EXPECT_EQ(r.provider.released, s.released);
        }
    }
}

// The length the failed call left, then the error. A failed Encrypt still
// hands out that many bytes, at most twice its input, spaces past the input;
// a failed piece shows the whole text's length and ends the stream.
TEST(FilterCipher, AFailedCallShowsTheLengthItLeftThenTheError) {
    for (Direction d : {Direction::Encrypt, Direction::Decrypt}) {
        const bool encrypt = d == Direction::Encrypt;
        const std::string error = std::string("Error -2146893819 during ") +
                                  (encrypt ? "CryptEncrypt!" : "CryptDecrypt!");
        const struct {
            std::string input;
            std::uint32_t left;
            std::string encrypted;
        } cases[] = {{"0123456789", 7, "0123456"}, {"abc", 100, "abc   "}};
        for (const auto& c : cases) {
            Rig r(Scripted(true, {{encrypt ? Step::Encrypt : Step::Decrypt, kBadData}}));
            r.provider.lengthLeftOnFailure = c.left;
            r.filter.InBuffer(c.input);
            r.run(d);
            EXPECT_EQ(r.shown(), (Texts{"bytes required:" + std::to_string(c.left), error}));
            EXPECT_EQ(r.filter.OutBuffer(), encrypt ? c.encrypted : "");
            EXPECT_EQ(r.provider.released, 4);  // InitUser's context; context, hash and key
        }
        Rig r(Scripted(true, {{encrypt ? Step::Encrypt : Step::Decrypt, kBadData}}));
        ASSERT_TRUE(r.filter.BeginStream(d, 10));
        std::string piece = "0123";
        EXPECT_FALSE(r.filter.StreamPiece(piece));
        EXPECT_EQ(r.shown(), (Texts{"bytes required:10", error}));
        EXPECT_EQ(r.filter.status(), 1);
        EXPECT_EQ(r.provider.released, 4);
        EXPECT_FALSE(r.filter.StreamPiece(piece));
        EXPECT_EQ(r.ui.messages.size(), 2u);
    }
}

TEST(FilterCipher, UnexpectedFailuresShowTheirRecord) {
    Rig r;
    r.provider.throws[Step::HashData] = [] { throw std::bad_alloc(); };
    r.filter.Encrypt();
    r.filter.Decrypt();
    r.filter.Sign();
    r.filter.Validate();
    EXPECT_EQ(r.filter.status(), 1);
    r.provider.throws.clear();
    // A text longer than one call of the service takes.
    EXPECT_FALSE(r.filter.BeginStream(Direction::Decrypt, 1ull << 32));
    EXPECT_FALSE(r.filter.BeginStream(Direction::Encrypt, 1ull << 32));
    EXPECT_TRUE(r.filter.BeginStream(Direction::Decrypt, 0xFFFFFFFFull));
    EXPECT_EQ(r.shown(),
              (Texts{"ErrEncrypt Out of memory",
                     "ErrDecrypt \r\nOut of memory\r\nOut of memory\r\n7clsCryptoFilterBox",
                     "ErrSign Out of memory", "ErrValidate Out of memory",
                     "ErrDecrypt \r\nOverflow\r\nbuffer too long for the cryptographic "
                     "service\r\n6clsCryptoFilterBox",
                     "ErrEncrypt Overflow"}));
}

// An administrator's credentials over another user's session, a mandatory or
// a temporary profile: the default container can be neither opened nor made.
// Deciphering needs no key of the user's, so it runs through a context of no
// container without a word; signing still needs the container and says so.
// Only when even that context fails does everything fail as it always has,
// with the default container's code.
TEST(FilterWithoutContainer, CiphersRunSilentlyThroughAContextOfNoContainer) {
    Rig reference;
    reference.filter.Password("pw");
    reference.filter.InBuffer("plain text");
    reference.filter.Encrypt();
    const std::string enciphered = reference.filter.OutBuffer();
    const std::string acquire = "Error -2146893802 during CryptAcquireContext!";
    for (bool noContainer : {true, false}) {
        SCOPED_TRACE(noContainer ? "a context of no container" : "not even that");
        ScriptedProvider p = Scripted(false, {{Step::AcquireNew, kNoKey}});
        if (!noContainer) p.failures[Step::AcquireNoContainer] = kNoKey;
        Rig r(p);
        r.filter.Password("pw");
        r.filter.InBuffer(enciphered);
        r.filter.Decrypt();
        EXPECT_EQ(r.filter.OutBuffer(), noContainer ? "plain text" : "");
        r.filter.InBuffer("plain text");
        r.filter.Encrypt();
        EXPECT_EQ(r.filter.OutBuffer(), noContainer ? enciphered : "");
        r.filter.Sign();
        const Texts failed{"Error creating key container! -2146893811", kLoadFailed, acquire,
                           acquire, acquire};
        EXPECT_EQ(r.shown(), noContainer ? Texts{acquire} : failed);
    }
}

TEST(FilterStatus, ZeroWhileRunningOneAfterward) {
    Rig r(Scripted(true, {{Step::Acquire, kBadKeyset}, {Step::AcquireNoContainer, kBadKeyset}}));
    EXPECT_EQ(r.filter.status(), 0);
    std::vector<std::int32_t> during;
    r.ui.onMessage = [&](const fake::Message&) { during.push_back(r.filter.status()); };
    for (auto op : {&clsCryptoFilterBox::Encrypt, &clsCryptoFilterBox::Decrypt,
                    &clsCryptoFilterBox::Sign, &clsCryptoFilterBox::Validate}) {
        r.ui.answer(platform::Ok);
        (r.filter.*op)();
        EXPECT_EQ(r.filter.status(), 1);
    }
    EXPECT_EQ(during, (std::vector<std::int32_t>{0, 0, 0, 0}));
}

// Status 2 only for a valid signature; failures of the service other than a
// bad signature are shown; a failed signing leaves no signature.
TEST(FilterSignature, SignAndValidateOutcomes) {
    const struct {
        Step failing;
        std::uint32_t code;
        std::string shown;
        std::int32_t status;
    } cases[] = {
        {Step::Verify, 0, "", 2},
        {Step::Verify, crypto::kNteBadSignature, "", 1},
        {Step::Verify, kBadKeyset, "Error -2146893802 during CryptVerifySignature!", 1},
        {Step::UserKey, kNoKey, "Error -2146893811 during CryptGetUserKey!", 1},
        {Step::SignHash, kNoKey, "Error -2146893811 during CryptSignHash", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown + " " + std::to_string(c.code));
        Rig r(Scripted(true, {{c.failing, c.code}}));
        r.filter.Signature("old");
        r.filter.InBuffer(std::string("signed\0text", 11));
        r.filter.Sign();
        const bool signs = c.failing != Step::SignHash;
        EXPECT_EQ(r.filter.Signature(), signs ? "#" + r.filter.InBuffer() : "");
        r.filter.Validate();
        EXPECT_EQ(r.shown(), c.shown.empty() ? Texts{} : Texts{c.shown});
        EXPECT_EQ(r.filter.status(), c.status);
    }
}

TEST(FilterBuffers, DecryptKeepsInBufferSoASecondGivesTheSameOutput) {
    Rig r;
    r.filter.InBuffer("enciphered text");
    r.filter.Decrypt();
    const std::string first = r.filter.TakeOutBuffer();
    EXPECT_EQ(first.size(), 15u);
    EXPECT_EQ(r.filter.InBuffer(), "enciphered text");
    r.filter.Decrypt();
    EXPECT_EQ(r.filter.OutBuffer(), first);
}

}  // namespace
