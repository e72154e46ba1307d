#include "Vectors.h"
#include "crypto/win32/CryptoApiProvider.h"

namespace vectors {

// The user's default container of the throwaway Wine prefix.
std::unique_ptr<crypto::Provider> MakeProvider() {
    return std::make_unique<crypto::CryptoApiProvider>();
}

}  // namespace vectors
