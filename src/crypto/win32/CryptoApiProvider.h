#pragma once

#include "crypto/Provider.h"

namespace crypto {

// The system's base RSA provider ("Microsoft Base Cryptographic Provider
// v1.0", PROV_RSA_FULL) in the current user's default key container,
// through CryptoAPI.
class CryptoApiProvider : public Provider {
  public:
    Acquired<Context> acquireContext(std::uint32_t flags) override;
    std::unique_ptr<Sha256> sha256() override;
};

}  // namespace crypto
