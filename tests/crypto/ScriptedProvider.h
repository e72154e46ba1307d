#pragma once

#include <map>
#include <new>
#include <utility>

#include "crypto/Provider.h"

namespace testing_crypto {

using crypto::Acquired;
using crypto::Outcome;

// The calls a ScriptedProvider can be told to fail; the three acquisitions
// are those of flags 0, kCryptNewKeyset and kCryptVerifyContext.
enum class Step { Acquire, AcquireNew, AcquireNoContainer, HashData, Cipher, Sign, Verify };

inline constexpr std::uint32_t kOutOfMemory = 0xFFFFFFFF;  // throws std::bad_alloc

struct Script {
    std::map<Step, std::uint32_t> failures;
    std::string containerName = "alice";
    std::uint32_t signatureSlack = 0;  // asked for more than signing then writes
    int live = 0;                      // contexts, hashes and keys not yet released

    Outcome result(Step step) {
        const auto f = failures.find(step);
        if (f == failures.end() || f->second == 0) return Outcome::success();
        if (f->second == kOutOfMemory) throw std::bad_alloc();
        return Outcome::failure(f->second);
    }
};

// One object plays the context, the hash (its bytes) and the key. The cipher
// is a stream cipher, as RC4 is; a signature is "#" and the bytes hashed.
struct Fake : crypto::Context, crypto::Hash, crypto::Key {
    explicit Fake(Script& s) : script(s) { ++s.live; }
    ~Fake() override { --script.live; }
    Script& script;
    std::uint8_t at = 0;
    std::string data;

    std::unique_ptr<Fake> fresh() { return std::make_unique<Fake>(script); }
    Acquired<crypto::Hash> createHash(std::uint32_t) override { return {fresh(), 0}; }
    Acquired<crypto::Key> deriveKey(std::uint32_t, crypto::Hash&) override { return {fresh(), 0}; }
    Acquired<crypto::Key> userKey(std::uint32_t) override { return {fresh(), 0}; }
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
        for (char& c : bytes) c = static_cast<char>(c ^ 0x5A ^ at++ * 7);
        if (final) at = 0;
        return Outcome::success();
    }
    Outcome encrypt(std::string& b, std::uint32_t& n) override { return run({b.data(), n}, true); }
    Outcome decrypt(std::string& b, std::uint32_t& n) override { return run({b.data(), n}, true); }
    Outcome encryptPiece(std::span<char> b) override { return run(b, false); }
    Outcome decryptPiece(std::span<char> b) override { return run(b, false); }
};

struct ScriptedProvider : crypto::Provider, Script {
    explicit ScriptedProvider(bool exists = true, std::map<Step, std::uint32_t> f = {})
        : Script{std::move(f)}, containerExists(exists) {}
    bool containerExists;

    Acquired<crypto::Context> acquireContext(std::uint32_t flags) override {
        const Step step = flags == crypto::kCryptNewKeyset       ? Step::AcquireNew
                          : flags == crypto::kCryptVerifyContext ? Step::AcquireNoContainer
                                                                 : Step::Acquire;
        if (Outcome r = result(step); !r) return {nullptr, r.error};
        if (flags == 0 && !containerExists) return {nullptr, crypto::kNteBadKeyset};
        if (flags == crypto::kCryptNewKeyset && std::exchange(containerExists, true))
            return {nullptr, crypto::kNteExists};
        return {std::make_unique<Fake>(*this), 0};
    }
};

}  // namespace testing_crypto
