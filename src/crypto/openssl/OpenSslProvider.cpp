#include "crypto/openssl/OpenSslProvider.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <pwd.h>
#include <unistd.h>

#include "crypto/openssl/PrivateKeyBlob.h"
#include "crypto/openssl/Rc4.h"
#include "platform/SystemError.h"

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
constexpr std::uint32_t kNtePerm = 0x80090010;
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
    const EVP_MD* sha256() const { return sha256_; }
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
        sha256_ = EVP_MD_fetch(context_, "SHA256", nullptr);
        if (legacyProvider_ != nullptr) rc4_ = EVP_CIPHER_fetch(context_, "RC4", nullptr);
    }
    ~Library() {
        EVP_CIPHER_free(rc4_);
        EVP_MD_free(sha256_);
        EVP_MD_free(md5_);
        if (legacyProvider_ != nullptr) OSSL_PROVIDER_unload(legacyProvider_);
        if (defaultProvider_ != nullptr) OSSL_PROVIDER_unload(defaultProvider_);
        OSSL_LIB_CTX_free(context_);
    }

    OSSL_LIB_CTX* context_ = nullptr;
    OSSL_PROVIDER* defaultProvider_ = nullptr;
    OSSL_PROVIDER* legacyProvider_ = nullptr;
    EVP_MD* md5_ = nullptr;
    EVP_MD* sha256_ = nullptr;
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

// Writes beside the target under a name of its own, created exclusively and
// readable by the owner alone from the start, and renames it into place: a
// key file is never half written, and never readable by others.
bool WriteAtomically(const std::filesystem::path& path, std::string_view bytes) {
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary =
            path.string() + ".new-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool written = true;
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            written = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0) written = false;
    if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
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
        return apply({buffer.data(), dataLength}, true);
    }
    Outcome decrypt(std::string& buffer, std::uint32_t& dataLength) override {
        if (dataLength > buffer.size()) return Outcome::failure(kNteBadData);
        return apply({buffer.data(), dataLength}, true);
    }
    Outcome encryptPiece(std::span<char> piece) override { return applyPiece(piece); }
    Outcome decryptPiece(std::span<char> piece) override { return applyPiece(piece); }
    Outcome exportPrivateBlob(std::string&) override { return Outcome::failure(kNteBadKeyState); }

  private:
    Outcome applyPiece(std::span<char> piece) {
        if (piece.size() > std::numeric_limits<std::uint32_t>::max()) {
            return Outcome::failure(kNteBadData);
        }
        return apply(piece, false);
    }

    // Runs the key stream over bytes, going on from where the last piece
    // left it; a final call then starts the stream afresh, as the system's
    // provider does.
    Outcome apply(std::span<char> bytes, bool final) {
        auto* data = reinterpret_cast<std::uint8_t*>(bytes.data());
        const EVP_CIPHER* cipher = Library::instance().rc4();
        Outcome result = Outcome::success();
        if (cipher == nullptr) {
            if (!fallback_) fallback_.emplace(key_);
            fallback_->apply({data, bytes.size()});
        } else {
            if (!context_) {
                context_.reset(EVP_CIPHER_CTX_new());
                if (!context_ || EVP_EncryptInit_ex2(context_.get(), cipher, key_.data(), nullptr,
                                                     nullptr) != 1) {
                    context_.reset();
                    return Outcome::failure(kNteFail);
                }
            }
            constexpr std::size_t kChunk = std::size_t{1} << 30;
            for (std::size_t done = 0; done < bytes.size();) {
                const std::size_t chunk = std::min(kChunk, bytes.size() - done);
                int produced = 0;
                if (EVP_EncryptUpdate(context_.get(), data + done, &produced, data + done,
                                      static_cast<int>(chunk)) != 1) {
                    result = Outcome::failure(kNteFail);
                    break;
                }
                done += chunk;
            }
        }
        if (final || !result) {
            context_.reset();
            fallback_.reset();
        }
        return result;
    }

    struct CipherContextFree {
        void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
    };

    std::array<std::uint8_t, kRc4KeyBytes + kRc4SaltBytes> key_;
    // The stream in progress: libcrypto's, or our own when it has no RC4.
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context_;
    std::optional<Rc4> fallback_;
};

class RsaKey : public Key {
  public:
    explicit RsaKey(Pkey key) : key_(std::move(key)) {}
    EVP_PKEY* get() const { return key_.get(); }

    Outcome encrypt(std::string&, std::uint32_t&) override { return Outcome::failure(kNteBadKey); }
    Outcome decrypt(std::string&, std::uint32_t&) override { return Outcome::failure(kNteBadKey); }
    Outcome encryptPiece(std::span<char>) override { return Outcome::failure(kNteBadKey); }
    Outcome decryptPiece(std::span<char>) override { return Outcome::failure(kNteBadKey); }
    Outcome exportPrivateBlob(std::string& blob) override {
        blob = PrivateBlobOf(key_.get());
        return blob.empty() ? Outcome::failure(kNteBadKeyState) : Outcome::success();
    }

  private:
    Pkey key_;
};

// The signature key pair kept in a container folder, or the failure code.
// A context of no container (kCryptVerifyContext) has no folder and no key.
Acquired<RsaKey> LoadSignatureKey(const std::filesystem::path& container) {
    if (container.empty()) return {nullptr, kNteNoKey};
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
        if (container_.empty()) return Outcome::failure(kNtePerm);
        if (blob.empty()) return Outcome::failure(kNteFail);
        return WriteAtomically(container_ / kSignatureKeyFile, blob) ? Outcome::success()
                                                                     : Outcome::failure(kNteFail);
    }

    std::filesystem::path container_;
    std::string name_;
};

class OpenSslSha256 : public Sha256 {
  public:
    OpenSslSha256() : context_(EVP_MD_CTX_new()) {
        const EVP_MD* sha256 = Library::instance().sha256();
        if (sha256 == nullptr || !context_ ||
            EVP_DigestInit_ex2(context_.get(), sha256, nullptr) != 1)
            Fail();
    }
    void update(std::string_view bytes) override {
        if (EVP_DigestUpdate(context_.get(), bytes.data(), bytes.size()) != 1) Fail();
    }
    Sha256Digest finish() override {
        Sha256Digest digest{};
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(context_.get(), digest.data(), &length) != 1 ||
            length != digest.size())
            Fail();
        return digest;
    }

  private:
    [[noreturn]] static void Fail() {
        throw platform::SystemError("Não foi possível calcular o resumo SHA-256", kNteFail);
    }
    struct Free {
        void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> context_;
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
    problem_.clear();
    if (flags == kCryptVerifyContext) return {std::make_unique<FolderContext>("", ""), 0};
    if (flags != 0 && flags != kCryptNewKeyset) return {nullptr, kNteBadFlags};
    const std::filesystem::path container = keyRoot_ / FolderName(containerName_);
    std::error_code ec;
    const bool exists = std::filesystem::is_directory(container, ec);
    if (flags == 0 && !exists) {
        problem_ = "no key folder " + container.string();
        return {nullptr, kNteBadKeyset};
    }
    if (flags == kCryptNewKeyset) {
        if (exists) {
            problem_ = "the key folder " + container.string() + " exists already";
            return {nullptr, kNteExists};
        }
        std::filesystem::create_directories(container, ec);
        if (ec) {
            problem_ =
                "cannot make the key folder " + container.string() + " (" + ec.message() + ")";
            return {nullptr, kNteFail};
        }
        std::filesystem::permissions(container, std::filesystem::perms::owner_all, ec);
    }
    return {std::make_unique<FolderContext>(container, containerName_), 0};
}

std::unique_ptr<Sha256> OpenSslProvider::sha256() {
    return std::make_unique<OpenSslSha256>();
}

std::string OpenSslProvider::containerProblem() const {
    return problem_;
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
