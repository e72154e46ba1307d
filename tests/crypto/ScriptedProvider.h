#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "crypto/Provider.h"

namespace testing_crypto {

// The calls a ScriptedProvider can be told to fail.
enum class Step {
    Acquire,             // the default container (flags 0)
    AcquireNew,          // making it (kCryptNewKeyset)
    AcquireNoContainer,  // a context of no container (kCryptVerifyContext)
    CreateHash,
    HashData,
    DeriveKey,
    Cipher,  // enciphering or deciphering, whole or a piece
    Sign,    // signing into the buffer
    Verify,
};

// A failure code that throws std::bad_alloc instead.
inline constexpr std::uint32_t kOutOfMemory = 0xFFFFFFFF;

// A provider whose calls succeed unless a step is scripted to fail. Its
// cipher is a stream cipher, as RC4 is: each byte XORed with a key byte that
// depends on the password and on the byte's place in the text. A signature
// is "#" and the bytes hashed.
class ScriptedProvider : public crypto::Provider {
  public:
    explicit ScriptedProvider(bool exists = true, std::map<Step, std::uint32_t> f = {})
        : failures(std::move(f)), containerExists(exists) {}
    std::map<Step, std::uint32_t> failures;
    bool containerExists;
    std::string containerName = "alice";
    // What a failing encrypt/decrypt leaves in its length (none: the one given).
    std::optional<std::uint32_t> lengthLeftOnFailure;
    // Asked for the length, signing asks this much more than it then writes.
    std::uint32_t signatureSlack = 0;
    int live = 0;  // contexts, hashes and keys not yet released

    // The failure scripted for step (0: none).
    std::uint32_t fails(Step step) {
        const auto f = failures.find(step);
        if (f != failures.end() && f->second == kOutOfMemory) throw std::bad_alloc();
        return f == failures.end() ? 0 : f->second;
    }
    crypto::Acquired<crypto::Context> acquireContext(std::uint32_t flags) override;
};

namespace scripted {

using crypto::Outcome;

// One object plays the context, the hash (the bytes hashed) and the key (the
// byte its password gave, and where in the text it is).
struct Fake : crypto::Context, crypto::Hash, crypto::Key {
    explicit Fake(ScriptedProvider& p, char k = 0) : provider(p), key(k) { ++p.live; }
    ~Fake() override { --provider.live; }
    ScriptedProvider& provider;
    char key;
    std::uint8_t at = 0;
    std::string data;

    Outcome result(Step step) {
        const std::uint32_t code = provider.fails(step);
        return code != 0 ? Outcome::failure(code) : Outcome::success();
    }
    template <class T>
    crypto::Acquired<T> make(Step step, char k = 0) {
        if (std::uint32_t code = provider.fails(step)) return {nullptr, code};
        return {std::make_unique<Fake>(provider, k), 0};
    }

    crypto::Acquired<crypto::Hash> createHash(std::uint32_t) override {
        return make<crypto::Hash>(Step::CreateHash);
    }
    crypto::Acquired<crypto::Key> deriveKey(std::uint32_t, crypto::Hash& hash) override {
        char k = 0x5A;
        for (char c : static_cast<Fake&>(hash).data) k = static_cast<char>(k * 31 + c);
        return make<crypto::Key>(Step::DeriveKey, k);
    }
    crypto::Acquired<crypto::Key> userKey(std::uint32_t) override {
        return {std::make_unique<Fake>(provider), 0};
    }
    Outcome containerName(std::string& name) override {
        name = provider.containerName;
        return Outcome::success();
    }
    Outcome generateSignatureKey(std::uint32_t) override { return Outcome::failure(1); }
    Outcome importSignatureKey(std::string_view) override { return Outcome::failure(1); }

    Outcome hashData(std::string_view bytes) override {
        data += bytes;
        return result(Step::HashData);
    }
    Outcome signHash(std::uint32_t, char* signature, std::uint32_t& length) override {
        const std::string made = "#" + data;
        if (signature == nullptr) {
            length = static_cast<std::uint32_t>(made.size() + provider.signatureSlack);
            return Outcome::success();
        }
        made.copy(signature, length);
        length = static_cast<std::uint32_t>(made.size());
        return result(Step::Sign);
    }
    Outcome verifySignature(std::string_view signature, crypto::Key&) override {
        if (Outcome verified = result(Step::Verify); !verified) return verified;
        return signature == "#" + data ? Outcome::success()
                                       : Outcome::failure(crypto::kNteBadSignature);
    }

    // The key stream goes on from piece to piece; a final call (which
    // leaves a length) ends it.
    Outcome run(std::span<char> bytes, std::uint32_t* length = nullptr) {
        if (std::uint32_t code = provider.fails(Step::Cipher)) {
            if (length != nullptr && provider.lengthLeftOnFailure)
                *length = *provider.lengthLeftOnFailure;
            return Outcome::failure(code);
        }
        for (char& c : bytes) c = static_cast<char>(c ^ key ^ at++ * 7);
        if (length != nullptr) at = 0;
        return Outcome::success();
    }
    Outcome encrypt(std::string& b, std::uint32_t& n) override { return run({b.data(), n}, &n); }
    Outcome decrypt(std::string& b, std::uint32_t& n) override { return run({b.data(), n}, &n); }
    Outcome encryptPiece(std::span<char> b) override { return run(b); }
    Outcome decryptPiece(std::span<char> b) override { return run(b); }
    Outcome exportPrivateBlob(std::string&) override { return Outcome::failure(1); }
};

}  // namespace scripted

inline crypto::Acquired<crypto::Context> ScriptedProvider::acquireContext(std::uint32_t flags) {
    const Step step = flags == crypto::kCryptNewKeyset       ? Step::AcquireNew
                      : flags == crypto::kCryptVerifyContext ? Step::AcquireNoContainer
                                                             : Step::Acquire;
    if (std::uint32_t code = fails(step)) return {nullptr, code};
    if (flags == 0 && !containerExists) return {nullptr, crypto::kNteBadKeyset};
    if (flags == crypto::kCryptNewKeyset) {
        if (containerExists) return {nullptr, crypto::kNteExists};
        containerExists = true;
    }
    return {std::make_unique<scripted::Fake>(*this), 0};
}

}  // namespace testing_crypto
