#include "crypto/Provider.h"

#include "platform/SystemError.h"

namespace crypto {

std::unique_ptr<Sha256> Provider::sha256() {
    // ERROR_NOT_SUPPORTED: a provider that only stands in for the cipher.
    throw platform::SystemError("Este serviço criptográfico não calcula resumos SHA-256", 50);
}

}  // namespace crypto
