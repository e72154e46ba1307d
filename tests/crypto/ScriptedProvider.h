#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>

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
    Sign,
    Verify,
};

inline constexpr std::uint32_t kOutOfMemory = 0xFFFFFFFF;  // throws std::bad_alloc

// Calls succeed unless scripted to fail. The cipher is a stream cipher, as
// RC4 is (a key byte per place, from the password); a signature is "#" and
// the bytes hashed.
class ScriptedProvider : public crypto::Provider {
  public:
    explicit ScriptedProvider(bool exists = true, std::map<Step, std::uint32_t> f = {})
        : failures(std::move(f)), containerExists(exists) {}
    std::map<Step, std::uint32_t> failures;
    bool containerExists;
    std::string containerName = "alice";
    std::optional<std::uint32_t> lengthLeftOnFailure;  // by a failed cipher (none: as given)
    std::uint32_t signatureSlack = 0;                  // asked for more than signing then writes
    int live = 0;                                      // contexts, hashes and keys not yet released

    std::uint32_t fails(Step step) {
        const auto f = failures.find(step);
        if (f != failures.end() && f->second == kOutOfMemory) throw std::bad_alloc();
        return f == failures.end() ? 0 : f->second;
    }
    crypto::Acquired<crypto::Context> acquireContext(std::uint32_t flags) override;
};

namespace scripted {

using crypto::Outcome;

// One object plays the context, the hash (its bytes) and the key.
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
    Outcome exportPrivateBlob(std::string&) override { return Outcome::failure(1); }

    Outcome hashData(std::string_view bytes) override {
        data += bytes;
        return result(Step::HashData);
    }
    Outcome signHash(std::uint32_t, char* signature, std::uint32_t& length) override {
        const std::string made = "#" + data;
        if (signature != nullptr) made.copy(signature, length);
        length =
            static_cast<std::uint32_t>(made.size() + (signature ? 0 : provider.signatureSlack));
        return signature ? result(Step::Sign) : Outcome::success();
    }
    Outcome verifySignature(std::string_view signature, crypto::Key&) override {
        if (Outcome verified = result(Step::Verify); !verified) return verified;
        return signature == "#" + data ? Outcome::success()
                                       : Outcome::failure(crypto::kNteBadSignature);
    }

    // The key stream goes on from piece to piece; a final call (one with a
    // length) ends it.
    Outcome run(std::span<char> bytes, std::uint32_t* length = nullptr) {
        if (std::uint32_t code = provider.fails(Step::Cipher)) {
            if (length && provider.lengthLeftOnFailure) *length = *provider.lengthLeftOnFailure;
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
};

}  // namespace scripted

inline crypto::Acquired<crypto::Context> ScriptedProvider::acquireContext(std::uint32_t flags) {
    const Step step = flags == crypto::kCryptNewKeyset       ? Step::AcquireNew
                      : flags == crypto::kCryptVerifyContext ? Step::AcquireNoContainer
                                                             : Step::Acquire;
    if (std::uint32_t code = fails(step)) return {nullptr, code};
    if (flags == 0 && !containerExists) return {nullptr, crypto::kNteBadKeyset};
    if (flags == crypto::kCryptNewKeyset && std::exchange(containerExists, true))
        return {nullptr, crypto::kNteExists};
    return {std::make_unique<scripted::Fake>(*this), 0};
}

}  // namespace testing_crypto
