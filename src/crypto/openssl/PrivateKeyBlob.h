#pragma once

#include <string>
#include <string_view>

#include <openssl/types.h>

namespace crypto {

// RSA key pairs in the system's PRIVATEKEYBLOB layout: BLOBHEADER (type 7,
// version 2, CALG_RSA_SIGN), RSAPUBKEY ("RSA2", bit length, public
// exponent), then modulus, prime1, prime2, exponent1, exponent2,
// coefficient and private exponent, each little-endian.

// The key pair of a blob, or nullptr when the blob is not a well-formed RSA
// private key blob. The caller frees it.
EVP_PKEY* KeyFromPrivateBlob(OSSL_LIB_CTX* library, std::string_view blob);

// The blob of a key pair; empty when the key is not a full RSA key pair.
std::string PrivateBlobOf(const EVP_PKEY* key);

}  // namespace crypto
