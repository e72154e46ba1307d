#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace crypto {

using Sha256Digest = std::array<std::uint8_t, 32>;

// A SHA-256 hash taken piece by piece, from the system's cryptographic
// service. Both calls throw platform::SystemError when the service fails.
class Sha256 {
  public:
    virtual ~Sha256() = default;
    virtual void update(std::string_view bytes) = 0;
    // The hash of everything given; the object is spent.
    virtual Sha256Digest finish() = 0;
};

}  // namespace crypto
