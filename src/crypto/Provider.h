#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "crypto/Sha256.h"

// The cryptographic service the cipher filter works through: the handful of
// calls it makes on the system's base RSA provider (contexts on the current
// user's default key container, MD5 hashes, RC4 keys derived from a hash, RSA
// signatures), with the same failure codes. Each object owns its system
// handle and releases it when destroyed.
namespace crypto {

// Identifiers, with the values of the system's own.
inline constexpr std::uint32_t kCryptNewKeyset = 8;  // CRYPT_NEWKEYSET
inline constexpr std::uint32_t kCalgMd5 = 0x8003;    // CALG_MD5
inline constexpr std::uint32_t kCalgRc4 = 0x6801;    // CALG_RC4
inline constexpr std::uint32_t kAtSignature = 2;     // AT_SIGNATURE

// A context bound to no key container (CRYPT_VERIFYCONTEXT): hashes and
// session keys only. Nothing is read or made on disk or in the registry.
inline constexpr std::uint32_t kCryptVerifyContext = 0xF0000000;

// Failure codes the filter and the tool tell apart.
inline constexpr std::uint32_t kNteBadSignature = 0x80090006;  // NTE_BAD_SIGNATURE
inline constexpr std::uint32_t kNteNoKey = 0x8009000D;         // NTE_NO_KEY
inline constexpr std::uint32_t kNteBadKeyset = 0x80090016;     // NTE_BAD_KEYSET
inline constexpr std::uint32_t kNteExists = 0x8009000F;        // NTE_EXISTS
inline constexpr std::uint32_t kErrorMoreData = 234;           // ERROR_MORE_DATA

// The result of one call: success, or the system's last-error code.
struct Outcome {
    bool ok = true;
    std::uint32_t error = 0;

    static Outcome success() { return {}; }
    static Outcome failure(std::uint32_t code) { return {false, code}; }
    explicit operator bool() const { return ok; }
};

// An object a call produced, or the code of its failure (object empty).
template <class T>
struct Acquired {
    std::unique_ptr<T> object;
    std::uint32_t error = 0;

    explicit operator bool() const { return object != nullptr; }
};

class Key {
  public:
    virtual ~Key() = default;

    // Enciphers the first dataLength bytes of buffer in place (final block).
    // buffer.size() is the buffer length. dataLength is left holding the
    // produced length, or the length needed when the buffer is too small.
    virtual Outcome encrypt(std::string& buffer, std::uint32_t& dataLength) = 0;
    // Deciphers the first dataLength bytes of buffer in place (final block).
    virtual Outcome decrypt(std::string& buffer, std::uint32_t& dataLength) = 0;
    // One piece of a longer text, enciphered (deciphered) in place as the
    // system does with Final=FALSE: the key stream goes on from where the
    // previous piece left it, so pieces handed over in order give exactly
    // the bytes one call over their concatenation gives. The next final call
    // (encrypt/decrypt above) ends the text: it goes on from there too, then
    // the key starts afresh. A piece is at most 4 GB - 1.
    virtual Outcome encryptPiece(std::span<char> piece) = 0;
    virtual Outcome decryptPiece(std::span<char> piece) = 0;
    // The key pair as a PRIVATEKEYBLOB (only for keys made exportable).
    virtual Outcome exportPrivateBlob(std::string& blob) = 0;
};

class Hash {
  public:
    virtual ~Hash() = default;

    virtual Outcome hashData(std::string_view bytes) = 0;
    // Signs the hash with the container's key of the given specification.
    // With signature == nullptr or a length too small for it, only the
    // needed length is left in length. The signature is little-endian, as
    // the system writes it.
    virtual Outcome signHash(std::uint32_t keySpec, char* signature, std::uint32_t& length) = 0;
    // Succeeds only when signature matches the hash under publicKey.
    virtual Outcome verifySignature(std::string_view signature, Key& publicKey) = 0;
};

class Context {
  public:
    virtual ~Context() = default;

    virtual Acquired<Hash> createHash(std::uint32_t algorithm) = 0;
    // A session key for algorithm, derived from the value of hash (flags 0).
    virtual Acquired<Key> deriveKey(std::uint32_t algorithm, Hash& hash) = 0;
    // The container's key of the given specification.
    virtual Acquired<Key> userKey(std::uint32_t keySpec) = 0;
    // The container's name (PP_CONTAINER).
    virtual Outcome containerName(std::string& name) = 0;

    // Key maintenance, used by the maintainer tool only.
    // Makes a new exportable signature key pair of the given size in bits.
    virtual Outcome generateSignatureKey(std::uint32_t bits) = 0;
    // Stores the key pair of a PRIVATEKEYBLOB as the container's signature key.
    virtual Outcome importSignatureKey(std::string_view privateKeyBlob) = 0;
};

class Provider {
  public:
    virtual ~Provider() = default;

    // Opens the current user's default key container; flags 0 opens an
    // existing one (NTE_BAD_KEYSET when there is none), kCryptNewKeyset
    // creates it, kCryptVerifyContext opens none (see there).
    virtual Acquired<Context> acquireContext(std::uint32_t flags) = 0;

    // After a failed acquireContext: where the container is and why it could
    // not be opened or made, in words, when the provider knows more than its
    // failure code (empty otherwise).
    virtual std::string containerProblem() const { return {}; }

    // A new SHA-256 hash. It needs no key container. Throws
    // platform::SystemError when the service cannot give one.
    virtual std::unique_ptr<Sha256> sha256();
};

// The system's provider: CryptoAPI on Windows, the portable one elsewhere.
std::unique_ptr<Provider> MakeSystemProvider();

}  // namespace crypto
