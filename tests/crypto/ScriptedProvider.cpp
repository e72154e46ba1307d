#include "ScriptedProvider.h"

namespace testing_crypto {

using crypto::Acquired;
using crypto::Outcome;

namespace {

// Counts its own destruction, so tests can see that everything was released.
struct Released {
    explicit Released(ScriptedProvider& p) : provider(p) {}
    ~Released() { ++provider.released; }
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;
    ScriptedProvider& provider;
};

class FakeKey : public crypto::Key, Released {
  public:
    FakeKey(ScriptedProvider& p, char mask) : Released(p), mask_(mask) {}
    Outcome encrypt(std::string& buffer, std::uint32_t& length) override {
        return apply(Step::Encrypt, buffer, length);
    }
    Outcome decrypt(std::string& buffer, std::uint32_t& length) override {
        return apply(Step::Decrypt, buffer, length);
    }
    Outcome encryptPiece(std::span<char> piece) override {
        return applyPiece(Step::Encrypt, piece);
    }
    Outcome decryptPiece(std::span<char> piece) override {
        return applyPiece(Step::Decrypt, piece);
    }
    Outcome exportPrivateBlob(std::string&) override { return Outcome::failure(1); }

  private:
    Outcome applyPiece(Step step, std::span<char> piece) {
        if (std::uint32_t code = provider.scripted(step)) return Outcome::failure(code);
        for (char& c : piece) c ^= mask_;
        return Outcome::success();
    }
    Outcome apply(Step step, std::string& buffer, std::uint32_t& length) {
        if (std::uint32_t code = provider.scripted(step)) {
            length = provider.lengthLeftOnFailure;
            return Outcome::failure(code);
        }
        for (std::uint32_t k = 0; k < length; ++k) buffer[k] ^= mask_;
        return Outcome::success();
    }
    char mask_;
};

class FakeHash : public crypto::Hash, Released {
  public:
    using Released::Released;
    std::string data;

    Outcome hashData(std::string_view bytes) override {
        if (std::uint32_t code = provider.scripted(Step::HashData)) return Outcome::failure(code);
        data += bytes;
        return Outcome::success();
    }
    Outcome signHash(std::uint32_t, char* signature, std::uint32_t& length) override {
        // Asking for the length always works; signing may be scripted to fail.
        const auto needed = static_cast<std::uint32_t>(data.size() + 1);
        if (signature == nullptr) {
            length = needed;
            return Outcome::success();
        }
        if (std::uint32_t code = provider.scripted(Step::SignHash)) return Outcome::failure(code);
        ("#" + data).copy(signature, needed);
        return Outcome::success();
    }
    Outcome verifySignature(std::string_view signature, crypto::Key&) override {
        if (std::uint32_t code = provider.scripted(Step::Verify)) return Outcome::failure(code);
        return signature == "#" + data ? Outcome::success()
                                       : Outcome::failure(crypto::kNteBadSignature);
    }
};

class FakeContext : public crypto::Context, Released {
  public:
    using Released::Released;

    Acquired<crypto::Hash> createHash(std::uint32_t) override {
        if (std::uint32_t code = provider.scripted(Step::CreateHash)) return {nullptr, code};
        return {std::make_unique<FakeHash>(provider), 0};
    }
    Acquired<crypto::Key> deriveKey(std::uint32_t, crypto::Hash& hash) override {
        if (std::uint32_t code = provider.scripted(Step::DeriveKey)) return {nullptr, code};
        char mask = 0x5A;
        for (char c : static_cast<FakeHash&>(hash).data) mask = static_cast<char>(mask ^ c);
        return {std::make_unique<FakeKey>(provider, mask), 0};
    }
    Acquired<crypto::Key> userKey(std::uint32_t) override {
        if (std::uint32_t code = provider.scripted(Step::UserKey)) return {nullptr, code};
        return {std::make_unique<FakeKey>(provider, 0), 0};
    }
    Outcome containerName(std::string& name) override {
        if (std::uint32_t code = provider.scripted(Step::ContainerName)) {
            name = "garbage";
            return Outcome::failure(code);
        }
        name = provider.containerName;
        return Outcome::success();
    }
    Outcome generateSignatureKey(std::uint32_t) override { return Outcome::failure(1); }
    Outcome importSignatureKey(std::string_view) override { return Outcome::failure(1); }
};

}  // namespace

std::uint32_t ScriptedProvider::scripted(Step step) {
    if (auto t = throws.find(step); t != throws.end()) t->second();
    auto f = failures.find(step);
    return f == failures.end() ? 0 : f->second;
}

Acquired<crypto::Context> ScriptedProvider::acquireContext(std::uint32_t flags) {
    const Step step = flags == crypto::kCryptNewKeyset       ? Step::AcquireNew
                      : flags == crypto::kCryptVerifyContext ? Step::AcquireNoContainer
                                                             : Step::Acquire;
    if (std::uint32_t code = scripted(step)) return {nullptr, code};
    if (flags == 0 && !containerExists) return {nullptr, crypto::kNteBadKeyset};
    if (flags == crypto::kCryptNewKeyset) {
        if (containerExists) return {nullptr, crypto::kNteExists};
        containerExists = true;
    }
    return {std::make_unique<FakeContext>(*this), 0};
}

}  // namespace testing_crypto
