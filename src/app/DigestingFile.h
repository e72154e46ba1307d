#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crypto/Provider.h"
#include "platform/HeldFile.h"

namespace app {

// A held file read through while it is copied, its SHA-256 taken on the
// way: the copy reads it once, in order from its start to its end, so the
// hash is of the very bytes written, at no second read. Each read from the
// start begins a new hash (a copy tried again reads the file anew).
class DigestingFile final : public platform::HeldFile {
  public:
    DigestingFile(platform::HeldFile& file, crypto::Provider& provider)
        : file_(file), provider_(provider) {}

    std::uint64_t size() override { return file_.size(); }
    std::size_t readInto(std::uint64_t offset, std::span<char> into) override;
    std::uint32_t remove() override { return file_.remove(); }

    // Whether the last reading, from the start, took in the whole file and
    // hashes to `expected`.
    bool matches(const crypto::Sha256Digest& expected);

  private:
    platform::HeldFile& file_;
    crypto::Provider& provider_;
    std::unique_ptr<crypto::Sha256> hash_;
    std::uint64_t hashed_ = 0;  // bytes given to hash_
};

}  // namespace app
