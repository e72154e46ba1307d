#include "crypto/openssl/OpenSslProvider.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>

#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <pwd.h>
#include <unistd.h>

#include "crypto/openssl/PrivateKeyBlob.h"
#include "crypto/openssl/Rc4.h"

namespace crypto {

namespace {

// Failure codes of the system's provider that this one reproduces.
constexpr std::uint32_t kNteBadKey = 0x80090003;
constexpr std::uint32_t kNteBadData = 0x80090005;
constexpr std::uint32_t kNteBadAlgid = 0x80090008;
constexpr std::uint32_t kNteBadKeyState = 0x8009000B;
constexpr std::uint32_t kNteBadHashState = 0x8009000C;
constexpr std::uint32_t kNteBadType = 0x8009000A;
constexpr std::uint32_t kNteBadFlags = 0x80090009;
constexpr std::uint32_t kNteFail = 0x80090020;

// The base provider derives 40-bit RC4 keys and fills the rest of the
// 128-bit key with 11 zero bytes of salt.
constexpr std::size_t kRc4KeyBytes = 5;
constexpr std::size_t kRc4SaltBytes = 11;
constexpr std::size_t kMd5Bytes = 16;

constexpr const char* kSignatureKeyFile = "signature.key";

// One library context for the provider, with the legacy algorithms (RC4)
// loaded when libcrypto has them.
class Library {
  public:
    static Library& instance() {
        static Library library;
        return library;
    }
    OSSL_LIB_CTX* context() const { return context_; }
    const EVP_MD* md5() const { return md5_; }
    const EVP_CIPHER* rc4() const { return rc4_; }  // nullptr: use our own

    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

  private:
    Library() {
        context_ = OSSL_LIB_CTX_new();
        if (context_ == nullptr) return;
        defaultProvider_ = OSSL_PROVIDER_load(context_, "default");
        legacyProvider_ = OSSL_PROVIDER_load(context_, "legacy");
        md5_ = EVP_MD_fetch(context_, "MD5", nullptr);
        if (legacyProvider_ != nullptr) rc4_ = EVP_CIPHER_fetch(context_, "RC4", nullptr);
    }
    ~Library() {
        EVP_CIPHER_free(rc4_);
        EVP_MD_free(md5_);
        if (legacyProvider_ != nullptr) OSSL_PROVIDER_unload(legacyProvider_);
        if (defaultProvider_ != nullptr) OSSL_PROVIDER_unload(defaultProvider_);
        OSSL_LIB_CTX_free(context_);
    }

    OSSL_LIB_CTX* context_ = nullptr;
    OSSL_PROVIDER* defaultProvider_ = nullptr;
    OSSL_PROVIDER* legacyProvider_ = nullptr;
    EVP_MD* md5_ = nullptr;
    EVP_CIPHER* rc4_ = nullptr;
};

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
struct PkeyCtxFree {
    void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxFree>;

std::optional<std::string> ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes beside the target and renames, so a key file is never half written.
bool WriteAtomically(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return false;
        out.close();
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::permissions(
        temporary, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, ec);
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

class Rc4Key : public Key {
  public:
    explicit Rc4Key(const std::array<std::uint8_t, kRc4KeyBytes + kRc4SaltBytes>& key)
        : key_(key) {}

    Outcome encrypt(std::string& buffer, std::uint32_t& dataLength) override {
        if (dataLength > buffer.size()) return Outcome::failure(kErrorMoreData);
        return apply(buffer, dataLength);
    }
    Outcome decrypt(std::string& buffer, std::uint32_t& dataLength) override {
        if (dataLength > buffer.size()) return Outcome::failure(kNteBadData);
        return apply(buffer, dataLength);
    }
    Outcome exportPrivateBlob(std::string&) override { return Outcome::failure(kNteBadKeyState); }

  private:
    // Every call is a final one: the key stream starts afresh each time.
    Outcome apply(std::string& buffer, std::uint32_t length) {
        auto* data = reinterpret_cast<std::uint8_t*>(buffer.data());
        const EVP_CIPHER* cipher = Library::instance().rc4();
        if (cipher == nullptr) {
            Rc4 rc4(key_);
            rc4.apply({data, length});
            return Outcome::success();
        }
        std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(
            EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
        if (!context ||
            EVP_EncryptInit_ex2(context.get(), cipher, key_.data(), nullptr, nullptr) != 1) {
            return Outcome::failure(kNteFail);
        }
        constexpr std::uint32_t kChunk = 1u << 30;
        for (std::uint32_t done = 0; done < length;) {
            const std::uint32_t chunk = std::min(kChunk, length - done);
            int produced = 0;
            if (EVP_EncryptUpdate(context.get(), data + done, &produced, data + done,
                                  static_cast<int>(chunk)) != 1) {
                return Outcome::failure(kNteFail);
            }
            done += chunk;
        }
        return Outcome::success();
    }

    std::array<std::uint8_t, kRc4KeyBytes + kRc4SaltBytes> key_;
};

class RsaKey : public Key {
  public:
    explicit RsaKey(Pkey key) : key_(std::move(key)) {}
    EVP_PKEY* get() const { return key_.get(); }

    Outcome encrypt(std::string&, std::uint32_t&) override { return Outcome::failure(kNteBadKey); }
    Outcome decrypt(std::string&, std::uint32_t&) override { return Outcome::failure(kNteBadKey); }
    Outcome exportPrivateBlob(std::string& blob) override {
        blob = PrivateBlobOf(key_.get());
        return blob.empty() ? Outcome::failure(kNteBadKeyState) : Outcome::success();
    }

  private:
    Pkey key_;
};

// The signature key pair kept in a container folder, or the failure code.
Acquired<RsaKey> LoadSignatureKey(const std::filesystem::path& container) {
    std::optional<std::string> blob = ReadWhole(container / kSignatureKeyFile);
    if (!blob) return {nullptr, kNteNoKey};
    Pkey key(KeyFromPrivateBlob(Library::instance().context(), *blob));
    if (!key) return {nullptr, kNteBadKey};
    return {std::make_unique<RsaKey>(std::move(key)), 0};
}

class Md5Hash : public Hash {
  public:
    Md5Hash(EVP_MD_CTX* context, std::filesystem::path container)
        : context_(context), container_(std::move(container)) {}
    ~Md5Hash() override { EVP_MD_CTX_free(context_); }
    Md5Hash(const Md5Hash&) = delete;
    Md5Hash& operator=(const Md5Hash&) = delete;

    Outcome hashData(std::string_view bytes) override {
        if (finished_) return Outcome::failure(kNteBadHashState);
        if (EVP_DigestUpdate(context_, bytes.data(), bytes.size()) != 1) {
            return Outcome::failure(kNteFail);
        }
        return Outcome::success();
    }

    Outcome signHash(std::uint32_t keySpec, char* signature, std::uint32_t& length) override {
        if (keySpec != kAtSignature) return Outcome::failure(kNteNoKey);
        Acquired<RsaKey> key = LoadSignatureKey(container_);
        if (!key) return Outcome::failure(key.error);
        const auto size = static_cast<std::uint32_t>(EVP_PKEY_get_size(key.object->get()));
        if (signature == nullptr) {
            length = size;
            return Outcome::success();
        }
        if (length < size) {
            length = size;
            return Outcome::failure(kErrorMoreData);
        }
        PkeyCtx context(
            EVP_PKEY_CTX_new_from_pkey(Library::instance().context(), key.object->get(), nullptr));
        const std::array<std::uint8_t, kMd5Bytes>& digest = value();
        std::size_t produced = size;
        auto* out = reinterpret_cast<unsigned char*>(signature);
        if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
            EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
            EVP_PKEY_CTX_set_signature_md(context.get(), Library::instance().md5()) != 1 ||
            EVP_PKEY_sign(context.get(), out, &produced, digest.data(), digest.size()) != 1) {
            return Outcome::failure(kNteFail);
        }
        std::reverse(out, out + produced);  // the system writes it little-endian
        length = static_cast<std::uint32_t>(produced);
        return Outcome::success();
    }

    Outcome verifySignature(std::string_view signature, Key& publicKey) override {
        auto* rsa = dynamic_cast<RsaKey*>(&publicKey);
        if (rsa == nullptr) return Outcome::failure(kNteBadKey);
        if (signature.size() != static_cast<std::size_t>(EVP_PKEY_get_size(rsa->get()))) {
            return Outcome::failure(kNteBadSignature);
        }
        std::string bigEndian(signature.rbegin(), signature.rend());
        PkeyCtx context(
            EVP_PKEY_CTX_new_from_pkey(Library::instance().context(), rsa->get(), nullptr));
        const std::array<std::uint8_t, kMd5Bytes>& digest = value();
        if (!context || EVP_PKEY_verify_init(context.get()) != 1 ||
            EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) != 1 ||
            EVP_PKEY_CTX_set_signature_md(context.get(), Library::instance().md5()) != 1) {
            return Outcome::failure(kNteFail);
        }
        if (EVP_PKEY_verify(context.get(), reinterpret_cast<const unsigned char*>(bigEndian.data()),
                            bigEndian.size(), digest.data(), digest.size()) != 1) {
            return Outcome::failure(kNteBadSignature);
        }
        return Outcome::success();
    }

    // The hash value; once taken, no more data can be added.
    const std::array<std::uint8_t, kMd5Bytes>& value() {
        if (!finished_) {
            unsigned int size = 0;
            EVP_DigestFinal_ex(context_, value_.data(), &size);
            finished_ = true;
        }
        return value_;
    }

  private:
    EVP_MD_CTX* context_;
    std::filesystem::path container_;
    bool finished_ = false;
    std::array<std::uint8_t, kMd5Bytes> value_{};
};

class FolderContext : public Context {
  public:
    FolderContext(std::filesystem::path container, std::string name)
        : container_(std::move(container)), name_(std::move(name)) {}

    Acquired<Hash> createHash(std::uint32_t algorithm) override {
        if (algorithm != kCalgMd5) return {nullptr, kNteBadAlgid};
        const EVP_MD* md5 = Library::instance().md5();
        EVP_MD_CTX* context = EVP_MD_CTX_new();
        if (md5 == nullptr || context == nullptr ||
            EVP_DigestInit_ex2(context, md5, nullptr) != 1) {
            EVP_MD_CTX_free(context);
            return {nullptr, kNteFail};
        }
        return {std::make_unique<Md5Hash>(context, container_), 0};
    }

    Acquired<Key> deriveKey(std::uint32_t algorithm, Hash& hash) override {
        if (algorithm != kCalgRc4) return {nullptr, kNteBadAlgid};
        auto* md5 = dynamic_cast<Md5Hash*>(&hash);
        if (md5 == nullptr) return {nullptr, kNteBadHashState};
        std::array<std::uint8_t, kRc4KeyBytes + kRc4SaltBytes> key{};
        std::copy_n(md5->value().begin(), kRc4KeyBytes, key.begin());
        return {std::make_unique<Rc4Key>(key), 0};
    }

    Acquired<Key> userKey(std::uint32_t keySpec) override {
        if (keySpec != kAtSignature) return {nullptr, kNteNoKey};
        Acquired<RsaKey> key = LoadSignatureKey(container_);
        return {std::move(key.object), key.error};
    }

    Outcome containerName(std::string& name) override {
        name = name_;
        return Outcome::success();
    }

    Outcome generateSignatureKey(std::uint32_t bits) override {
        if (bits < 512 || bits > 16384 || bits % 16 != 0) return Outcome::failure(kNteBadFlags);
        PkeyCtx context(EVP_PKEY_CTX_new_from_name(Library::instance().context(), "RSA", nullptr));
        EVP_PKEY* raw = nullptr;
        if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
            EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), static_cast<int>(bits)) != 1 ||
            EVP_PKEY_keygen(context.get(), &raw) != 1) {
            return Outcome::failure(kNteFail);
        }
        Pkey key(raw);
        return store(PrivateBlobOf(key.get()));
    }

    Outcome importSignatureKey(std::string_view privateKeyBlob) override {
        Pkey key(KeyFromPrivateBlob(Library::instance().context(), privateKeyBlob));
        if (!key) return Outcome::failure(kNteBadType);
        return store(privateKeyBlob);
    }

  private:
    Outcome store(std::string_view blob) {
        if (blob.empty()) return Outcome::failure(kNteFail);
        return WriteAtomically(container_ / kSignatureKeyFile, blob) ? Outcome::success()
                                                                     : Outcome::failure(kNteFail);
    }

    std::filesystem::path container_;
    std::string name_;
};

// A container name made safe as a single folder name.
std::string FolderName(std::string name) {
    for (char& c : name) {
        if (c == '/' || c == '\0') c = '_';
    }
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    return name;
}

}  // namespace

OpenSslProvider::OpenSslProvider(std::filesystem::path keyRoot, std::string containerName)
    : keyRoot_(std::move(keyRoot)), containerName_(std::move(containerName)) {}

Acquired<Context> OpenSslProvider::acquireContext(std::uint32_t flags) {
    if (flags != 0 && flags != kCryptNewKeyset) return {nullptr, kNteBadFlags};
    const std::filesystem::path container = keyRoot_ / FolderName(containerName_);
    std::error_code ec;
    const bool exists = std::filesystem::is_directory(container, ec);
    if (flags == 0 && !exists) return {nullptr, kNteBadKeyset};
    if (flags == kCryptNewKeyset) {
        if (exists) return {nullptr, kNteExists};
        std::filesystem::create_directories(container, ec);
        if (ec) return {nullptr, kNteFail};
        std::filesystem::permissions(container, std::filesystem::perms::owner_all, ec);
    }
    return {std::make_unique<FolderContext>(container, containerName_), 0};
}

std::filesystem::path OpenSslProvider::DefaultKeyRoot() {
    if (const char* keys = std::getenv("ATUALIZADOR_KEYS_DIR"); keys != nullptr && *keys != '\0') {
        return keys;
    }
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
        return std::filesystem::path(data) / "atualizador" / "keys";
    }
    std::filesystem::path home;
    if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
        home = h;
    } else if (const passwd* pw = getpwuid(getuid()); pw != nullptr) {
        home = pw->pw_dir;
    }
    return home / ".local" / "share" / "atualizador" / "keys";
}

std::string OpenSslProvider::DefaultContainerName() {
    if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_name != nullptr) {
        return pw->pw_name;
    }
    if (const char* user = std::getenv("USER"); user != nullptr) return user;
    return "default";
}

std::unique_ptr<Provider> MakeSystemProvider() {
    return std::make_unique<OpenSslProvider>();
}

}  // namespace crypto
