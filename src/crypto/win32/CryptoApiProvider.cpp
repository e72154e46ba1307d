#include "crypto/win32/CryptoApiProvider.h"

// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <algorithm>
#include <utility>

#include "platform/SystemError.h"

namespace crypto {

namespace {

constexpr char kProviderName[] = "Microsoft Base Cryptographic Provider v1.0";
constexpr DWORD kNameBuffer = 1001;

Outcome LastFailure() {
    return Outcome::failure(GetLastError());
}

// Owners of the three kinds of CryptoAPI handles.
class ContextHandle {
  public:
    explicit ContextHandle(HCRYPTPROV h) : h_(h) {}
    ~ContextHandle() {
        if (h_ != 0) CryptReleaseContext(h_, 0);
    }
    ContextHandle(const ContextHandle&) = delete;
    ContextHandle& operator=(const ContextHandle&) = delete;
    HCRYPTPROV get() const { return h_; }

  private:
    HCRYPTPROV h_;
};

class HashHandle {
  public:
    explicit HashHandle(HCRYPTHASH h) : h_(h) {}
    ~HashHandle() {
        if (h_ != 0) CryptDestroyHash(h_);
    }
    HashHandle(const HashHandle&) = delete;
    HashHandle& operator=(const HashHandle&) = delete;
    HCRYPTHASH get() const { return h_; }

  private:
    HCRYPTHASH h_;
};

class KeyHandle {
  public:
    explicit KeyHandle(HCRYPTKEY h) : h_(h) {}
    ~KeyHandle() {
        if (h_ != 0) CryptDestroyKey(h_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HCRYPTKEY get() const { return h_; }

  private:
    HCRYPTKEY h_;
};

BYTE* Bytes(std::string& s) {
    return reinterpret_cast<BYTE*>(s.data());
}
const BYTE* Bytes(std::string_view s) {
    return reinterpret_cast<const BYTE*>(s.data());
}

class ApiKey : public Key {
  public:
    explicit ApiKey(HCRYPTKEY h) : key_(h) {}
    HCRYPTKEY get() const { return key_.get(); }

    Outcome encrypt(std::string& buffer, std::uint32_t& dataLength) override {
        DWORD length = dataLength;
        const BOOL ok = CryptEncrypt(key_.get(), 0, TRUE, 0, Bytes(buffer), &length,
                                     static_cast<DWORD>(buffer.size()));
        const Outcome result = ok ? Outcome::success() : LastFailure();
        dataLength = length;
        return result;
    }
    Outcome decrypt(std::string& buffer, std::uint32_t& dataLength) override {
        if (dataLength > buffer.size())
            return Outcome::failure(static_cast<std::uint32_t>(NTE_BAD_DATA));
        DWORD length = dataLength;
        const BOOL ok = CryptDecrypt(key_.get(), 0, TRUE, 0, Bytes(buffer), &length);
        const Outcome result = ok ? Outcome::success() : LastFailure();
        dataLength = length;
        return result;
    }
    Outcome encryptPiece(std::span<char> piece) override {
        if (piece.size() > MAXDWORD)
            return Outcome::failure(static_cast<std::uint32_t>(NTE_BAD_LEN));
        DWORD length = static_cast<DWORD>(piece.size());
        return CryptEncrypt(key_.get(), 0, FALSE, 0, reinterpret_cast<BYTE*>(piece.data()), &length,
                            length)
                   ? Outcome::success()
                   : LastFailure();
    }
    Outcome decryptPiece(std::span<char> piece) override {
        if (piece.size() > MAXDWORD)
            return Outcome::failure(static_cast<std::uint32_t>(NTE_BAD_LEN));
        DWORD length = static_cast<DWORD>(piece.size());
        return CryptDecrypt(key_.get(), 0, FALSE, 0, reinterpret_cast<BYTE*>(piece.data()), &length)
                   ? Outcome::success()
                   : LastFailure();
    }
    Outcome exportPrivateBlob(std::string& blob) override {
        DWORD length = 0;
        if (!CryptExportKey(key_.get(), 0, PRIVATEKEYBLOB, 0, nullptr, &length))
            return LastFailure();
        blob.assign(length, '\0');
        if (!CryptExportKey(key_.get(), 0, PRIVATEKEYBLOB, 0, Bytes(blob), &length)) {
            return LastFailure();
        }
        blob.resize(length);
        return Outcome::success();
    }

  private:
    KeyHandle key_;
};

class ApiHash : public Hash {
  public:
    explicit ApiHash(HCRYPTHASH h) : hash_(h) {}
    HCRYPTHASH get() const { return hash_.get(); }

    Outcome hashData(std::string_view bytes) override {
        if (bytes.size() > MAXDWORD)
            return Outcome::failure(static_cast<std::uint32_t>(NTE_BAD_LEN));
        return CryptHashData(hash_.get(), Bytes(bytes), static_cast<DWORD>(bytes.size()), 0)
                   ? Outcome::success()
                   : LastFailure();
    }
    Outcome signHash(std::uint32_t keySpec, char* signature, std::uint32_t& length) override {
        DWORD size = length;
        const BOOL ok =
            CryptSignHashA(hash_.get(), keySpec, "", 0, reinterpret_cast<BYTE*>(signature), &size);
        const Outcome result = ok ? Outcome::success() : LastFailure();
        length = size;
        return result;
    }
    Outcome verifySignature(std::string_view signature, Key& publicKey) override {
        auto* key = dynamic_cast<ApiKey*>(&publicKey);
        if (key == nullptr) return Outcome::failure(static_cast<std::uint32_t>(NTE_BAD_KEY));
        return CryptVerifySignatureA(hash_.get(), Bytes(signature),
                                     static_cast<DWORD>(signature.size()), key->get(), nullptr, 0)
                   ? Outcome::success()
                   : LastFailure();
    }

  private:
    HashHandle hash_;
};

class ApiContext : public Context {
  public:
    explicit ApiContext(HCRYPTPROV h) : context_(h) {}

    Acquired<Hash> createHash(std::uint32_t algorithm) override {
        HCRYPTHASH h = 0;
        if (!CryptCreateHash(context_.get(), algorithm, 0, 0, &h)) return {nullptr, GetLastError()};
        return {std::make_unique<ApiHash>(h), 0};
    }
    Acquired<Key> deriveKey(std::uint32_t algorithm, Hash& hash) override {
        auto* apiHash = dynamic_cast<ApiHash*>(&hash);
        if (apiHash == nullptr) return {nullptr, static_cast<std::uint32_t>(NTE_BAD_HASH)};
        HCRYPTKEY h = 0;
        if (!CryptDeriveKey(context_.get(), algorithm, apiHash->get(), 0, &h)) {
            return {nullptr, GetLastError()};
        }
        return {std::make_unique<ApiKey>(h), 0};
    }
    Acquired<Key> userKey(std::uint32_t keySpec) override {
        HCRYPTKEY h = 0;
        if (!CryptGetUserKey(context_.get(), keySpec, &h)) return {nullptr, GetLastError()};
        return {std::make_unique<ApiKey>(h), 0};
    }
    Outcome containerName(std::string& name) override {
        std::string buffer(kNameBuffer, '\0');
        DWORD length = kNameBuffer;
        if (!CryptGetProvParam(context_.get(), PP_CONTAINER, Bytes(buffer), &length, 0)) {
            return LastFailure();
        }
        name = std::move(buffer);
        return Outcome::success();
    }
    Outcome generateSignatureKey(std::uint32_t bits) override {
        HCRYPTKEY h = 0;
        if (!CryptGenKey(context_.get(), AT_SIGNATURE, (bits << 16) | CRYPT_EXPORTABLE, &h)) {
            return LastFailure();
        }
        KeyHandle owner(h);
        return Outcome::success();
    }
    Outcome importSignatureKey(std::string_view privateKeyBlob) override {
        HCRYPTKEY h = 0;
        if (!CryptImportKey(context_.get(), Bytes(privateKeyBlob),
                            static_cast<DWORD>(privateKeyBlob.size()), 0, CRYPT_EXPORTABLE, &h)) {
            return LastFailure();
        }
        KeyHandle owner(h);
        return Outcome::success();
    }

  private:
    ContextHandle context_;
};

// SHA-256 from the system's AES provider (the base provider has none), in
// a context of no key container.
class ApiSha256 : public Sha256 {
  public:
    ApiSha256() : context_(AesContext()), hash_(NewHash(context_.get())) {}

    void update(std::string_view bytes) override {
        while (!bytes.empty()) {
            const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
            if (!CryptHashData(hash_.get(), Bytes(bytes), piece, 0)) Fail();
            bytes.remove_prefix(piece);
        }
    }

    Sha256Digest finish() override {
        Sha256Digest digest{};
        DWORD length = static_cast<DWORD>(digest.size());
        if (!CryptGetHashParam(hash_.get(), HP_HASHVAL, digest.data(), &length, 0) ||
            length != digest.size())
            Fail();
        return digest;
    }

  private:
    [[noreturn]] static void Fail() {
        throw platform::SystemError("Não foi possível calcular o resumo SHA-256", GetLastError());
    }
    static HCRYPTPROV AesContext() {
        HCRYPTPROV context = 0;
        if (!CryptAcquireContextW(&context, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                  CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            Fail();
        return context;
    }
    // On a failure the context still goes: its owner is made already.
    static HCRYPTHASH NewHash(HCRYPTPROV context) {
        HCRYPTHASH hash = 0;
        if (!CryptCreateHash(context, CALG_SHA_256, 0, 0, &hash)) Fail();
        return hash;
    }

    // Declared in this order, the hash is destroyed before its context.
    ContextHandle context_;
    HashHandle hash_;
};

}  // namespace

std::unique_ptr<Sha256> CryptoApiProvider::sha256() {
    return std::make_unique<ApiSha256>();
}

Acquired<Context> CryptoApiProvider::acquireContext(std::uint32_t flags) {
    HCRYPTPROV h = 0;
    // A context of no container names none.
    const char* container = (flags & CRYPT_VERIFYCONTEXT) != 0 ? nullptr : "";
    if (!CryptAcquireContextA(&h, container, kProviderName, PROV_RSA_FULL, flags)) {
        return {nullptr, GetLastError()};
    }
    return {std::make_unique<ApiContext>(h), 0};
}

std::unique_ptr<Provider> MakeSystemProvider() {
    return std::make_unique<CryptoApiProvider>();
}

}  // namespace crypto
