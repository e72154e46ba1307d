#pragma once

#include <filesystem>
#include <string>

#include "crypto/Provider.h"

namespace crypto {

// The portable stand-in for the system's base RSA provider, on OpenSSL's
// libcrypto. It gives the same bytes as the system's provider for the same
// calls: MD5, RC4 keys derived with the base provider's default of 40 bits
// (the first 5 bytes of the hash, then 11 zero bytes of salt), RSA
// PKCS#1 v1.5 signatures over MD5 written little-endian.
//
// Key containers are folders under keyRoot named after the user; a
// container's signature key pair is kept in it as a PRIVATEKEYBLOB, the
// system's own export format, so that a key pair moves between the two
// providers unchanged.
class OpenSslProvider : public Provider {
  public:
    explicit OpenSslProvider(std::filesystem::path keyRoot = DefaultKeyRoot(),
                             std::string containerName = DefaultContainerName());

    Acquired<Context> acquireContext(std::uint32_t flags) override;
    // Names the folder and, when it could not be made, the system's reason.
    std::string containerProblem() const override;
    std::unique_ptr<Sha256> sha256() override;

    // $ATUALIZADOR_KEYS_DIR when set; otherwise $XDG_DATA_HOME/atualizador/keys,
    // or ~/.local/share/atualizador/keys.
    static std::filesystem::path DefaultKeyRoot();
    // The login name, as the system names a user's default container.
    static std::string DefaultContainerName();

  private:
    std::filesystem::path keyRoot_;
    std::string containerName_;
    std::string problem_;
};

}  // namespace crypto
