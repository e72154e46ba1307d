#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <utility>

#include "crypto/Provider.h"

namespace testing_crypto {

using crypto::Acquired;
using crypto::Outcome;

// The calls a ScriptedProvider can be told to fail; the three acquisitions
// are those of flags 0, kCryptNewKeyset and kCryptVerifyContext.
enum class Step { Acquire, AcquireNew, AcquireNoContainer, HashData, Cipher, Sign, Verify };

inline constexpr std::uint32_t kOutOfMemory = 0xFFFFFFFF;  // throws std::bad_alloc

// What the provider was told, and what its objects count.
struct Script {
    std::map<Step, std::uint32_t> failures;
    std::string containerName = "alice";
    std::uint32_t signatureSlack = 0;  // asked for more than signing then writes
    int live = 0;                      // contexts, hashes and keys not yet released

    std::uint32_t fails(Step step) {
        const auto f = failures.find(step);
        if (f != failures.end() && f->second == kOutOfMemory) throw std::bad_alloc();
        return f == failures.end() ? 0 : f->second;
    }
    Outcome result(Step step) {
        const std::uint32_t code = fails(step);
        return code != 0 ? Outcome::failure(code) : Outcome::success();
    }
};

// One object plays the context, the hash (its bytes) and the key. The cipher
// is a stream cipher, as RC4 is (a key byte per place, from the password); a
// signature is "#" and the bytes hashed.
struct Fake : crypto::Context, crypto::Hash, crypto::Key {
    explicit Fake(Script& s, char k = 0) : script(s), key(k) { ++s.live; }
    ~Fake() override { --script.live; }
    Script& script;
    char key;
    std::uint8_t at = 0;
    std::string data;

    template <class T>
    Acquired<T> fresh(char k = 0) {
        return {std::make_unique<Fake>(script, k), 0};
    }
    Acquired<crypto::Hash> createHash(std::uint32_t) override { return fresh<crypto::Hash>(); }
    Acquired<crypto::Key> deriveKey(std::uint32_t, crypto::Hash& hash) override {
        char k = 0x5A;
        for (char c : static_cast<Fake&>(hash).data) k = static_cast<char>(k * 31 + c);
        return fresh<crypto::Key>(k);
    }
    Acquired<crypto::Key> userKey(std::uint32_t) override { return fresh<crypto::Key>(); }
    Outcome containerName(std::string& name) override {
        name = script.containerName;
        return Outcome::success();
    }
    Outcome generateSignatureKey(std::uint32_t) override { return Outcome::failure(1); }
    Outcome importSignatureKey(std::string_view) override { return Outcome::failure(1); }
    Outcome exportPrivateBlob(std::string&) override { return Outcome::failure(1); }

    Outcome hashData(std::string_view bytes) override {
        data += bytes;
        return script.result(Step::HashData);
    }
    Outcome signHash(std::uint32_t, char* signature, std::uint32_t& length) override {
        const std::string made = "#" + data;
        if (signature == nullptr) {
            length = static_cast<std::uint32_t>(made.size() + script.signatureSlack);
            return Outcome::success();
        }
        length = static_cast<std::uint32_t>(made.copy(signature, length));
        return script.result(Step::Sign);
    }
    Outcome verifySignature(std::string_view signature, crypto::Key&) override {
        if (Outcome verified = script.result(Step::Verify); !verified) return verified;
        return signature == "#" + data ? Outcome::success()
                                       : Outcome::failure(crypto::kNteBadSignature);
    }

    // The key stream goes on from piece to piece; a final call ends it.
    Outcome run(std::span<char> bytes, bool final) {
        if (Outcome done = script.result(Step::Cipher); !done) return done;
        for (char& c : bytes) c = static_cast<char>(c ^ key ^ at++ * 7);
        if (final) at = 0;
        return Outcome::success();
    }
    Outcome encrypt(std::string& b, std::uint32_t& n) override { return run({b.data(), n}, true); }
    Outcome decrypt(std::string& b, std::uint32_t& n) override { return run({b.data(), n}, true); }
    Outcome encryptPiece(std::span<char> b) override { return run(b, false); }
    Outcome decryptPiece(std::span<char> b) override { return run(b, false); }
};

// Calls succeed unless scripted to fail; the user's container exists or not.
struct ScriptedProvider : crypto::Provider, Script {
    explicit ScriptedProvider(bool exists = true, std::map<Step, std::uint32_t> f = {})
        : Script{std::move(f)}, containerExists(exists) {}
    bool containerExists;

    Acquired<crypto::Context> acquireContext(std::uint32_t flags) override {
        const Step step = flags == crypto::kCryptNewKeyset       ? Step::AcquireNew
                          : flags == crypto::kCryptVerifyContext ? Step::AcquireNoContainer
                                                                 : Step::Acquire;
        if (std::uint32_t code = fails(step)) return {nullptr, code};
        if (flags == 0 && !containerExists) return {nullptr, crypto::kNteBadKeyset};
        if (flags == crypto::kCryptNewKeyset && std::exchange(containerExists, true))
            return {nullptr, crypto::kNteExists};
        return {std::make_unique<Fake>(*this), 0};
    }
};

}  // namespace testing_crypto
