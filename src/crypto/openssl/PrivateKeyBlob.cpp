#include "crypto/openssl/PrivateKeyBlob.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

namespace crypto {

namespace {

constexpr std::uint8_t kPrivateKeyBlob = 7;
constexpr std::uint8_t kBlobVersion = 2;
constexpr std::uint32_t kCalgRsaSign = 0x2400;
constexpr std::uint32_t kCalgRsaKeyx = 0xA400;
constexpr std::uint32_t kRsa2 = 0x32415352;  // "RSA2"
constexpr std::size_t kHeaderSize = 20;      // BLOBHEADER + RSAPUBKEY

struct BnFree {
    void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;

std::uint32_t ReadU32(std::string_view bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + k])) << (8 * k);
    }
    return v;
}

void WriteU32(std::string& out, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

// The parts of the key after the header: name and size in bytes for a key
// of the given bit length.
struct Part {
    const char* name;
    bool full;  // bitlen/8 bytes; the others are bitlen/16
};
constexpr std::array<Part, 7> kParts{{
    {OSSL_PKEY_PARAM_RSA_N, true},
    {OSSL_PKEY_PARAM_RSA_FACTOR1, false},
    {OSSL_PKEY_PARAM_RSA_FACTOR2, false},
    {OSSL_PKEY_PARAM_RSA_EXPONENT1, false},
    {OSSL_PKEY_PARAM_RSA_EXPONENT2, false},
    {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, false},
    {OSSL_PKEY_PARAM_RSA_D, true},
}};

}  // namespace

EVP_PKEY* KeyFromPrivateBlob(OSSL_LIB_CTX* library, std::string_view blob) {
    if (blob.size() < kHeaderSize) return nullptr;
    const auto type = static_cast<std::uint8_t>(blob[0]);
    const auto version = static_cast<std::uint8_t>(blob[1]);
    const std::uint32_t algorithm = ReadU32(blob, 4);
    const std::uint32_t magic = ReadU32(blob, 8);
    const std::uint32_t bits = ReadU32(blob, 12);
    const std::uint32_t exponent = ReadU32(blob, 16);
    if (type != kPrivateKeyBlob || version != kBlobVersion ||
        (algorithm != kCalgRsaSign && algorithm != kCalgRsaKeyx) || magic != kRsa2 || bits == 0 ||
        bits % 16 != 0 || bits > 16384) {
        return nullptr;
    }
    const std::size_t full = bits / 8;
    const std::size_t half = bits / 16;
    if (blob.size() != kHeaderSize + 2 * full + 5 * half) return nullptr;

    std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> build(OSSL_PARAM_BLD_new(),
                                                                          &OSSL_PARAM_BLD_free);
    std::vector<Bn> numbers;
    Bn e(BN_new());
    if (!build || !e || BN_set_word(e.get(), exponent) != 1 ||
        OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
        return nullptr;
    }
    std::size_t at = kHeaderSize;
    for (const Part& part : kParts) {
        const std::size_t size = part.full ? full : half;
        Bn n(BN_lebin2bn(reinterpret_cast<const unsigned char*>(blob.data() + at),
                         static_cast<int>(size), nullptr));
        if (!n || OSSL_PARAM_BLD_push_BN(build.get(), part.name, n.get()) != 1) return nullptr;
        numbers.push_back(std::move(n));
        at += size;
    }
    std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> params(
        OSSL_PARAM_BLD_to_param(build.get()), &OSSL_PARAM_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
        EVP_PKEY_CTX_new_from_name(library, "RSA", nullptr), &EVP_PKEY_CTX_free);
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_KEYPAIR, params.get()) != 1) {
        return nullptr;
    }
    return key;
}

std::string PrivateBlobOf(const EVP_PKEY* key) {
    const int bits = EVP_PKEY_get_bits(key);
    if (bits <= 0 || bits % 16 != 0) return {};
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &raw) != 1) return {};
    Bn e(raw);
    if (BN_num_bits(e.get()) > 32) return {};

    std::string out;
    out.push_back(static_cast<char>(kPrivateKeyBlob));
    out.push_back(static_cast<char>(kBlobVersion));
    out.append(2, '\0');
    WriteU32(out, kCalgRsaSign);
    WriteU32(out, kRsa2);
    WriteU32(out, static_cast<std::uint32_t>(bits));
    WriteU32(out, static_cast<std::uint32_t>(BN_get_word(e.get())));
    for (const Part& part : kParts) {
        raw = nullptr;
        if (EVP_PKEY_get_bn_param(key, part.name, &raw) != 1) return {};
        Bn n(raw);
        const int size = part.full ? bits / 8 : bits / 16;
        std::string bytes(static_cast<std::size_t>(size), '\0');
        if (BN_bn2lebinpad(n.get(), reinterpret_cast<unsigned char*>(bytes.data()), size) != size) {
            return {};
        }
        out += bytes;
    }
    return out;
}

}  // namespace crypto
