#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "crypto/Sha256.h"

namespace app {

// What a release says of the update package it ships: its size and its
// SHA-256. scripts/release.sh puts it into the program, as the text
// "<size in decimal> <64 hex digits>", before the program is signed, so that
// the signature vouches for the package too and an updater installs no
// other package than its own.
struct PackageSeal {
    std::uint64_t size = 0;
    crypto::Sha256Digest sha256{};
};

// The seal a program carries: none for an empty text (a development or
// test build). Throws std::invalid_argument for any other text that is not
// a seal: a release that cannot say which package it vouches for installs
// none.
std::optional<PackageSeal> ParsePackageSeal(std::string_view text);

}  // namespace app
