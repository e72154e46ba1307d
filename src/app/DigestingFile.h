#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "crypto/Provider.h"
#include "platform/HeldFile.h"

namespace app {

// A held file read through while it is copied, its SHA-256 taken on the
// way: the copy reads it once, in order from its start to its end, so the
// hash is of the very bytes written, at no second read. The hash runs on a
// thread of its own, fed a copy of each piece read, so that it overlaps the
// copy's reads and writes instead of adding to them. Each read from the
// start begins a new hash (a copy tried again reads the file anew).
class DigestingFile final : public platform::HeldFile {
  public:
    DigestingFile(platform::HeldFile& file, crypto::Provider& provider)
        : file_(file), provider_(provider) {}
    ~DigestingFile() override { stop(); }
    DigestingFile(const DigestingFile&) = delete;
    DigestingFile& operator=(const DigestingFile&) = delete;

    std::uint64_t size() override { return file_.size(); }
    // Throws the hash's SystemError, as well as the file's.
    std::size_t readInto(std::uint64_t offset, std::span<char> into) override;
    std::uint32_t remove() override { return file_.remove(); }

    // Whether the last reading, from the start, took in the whole file and
    // hashes to `expected`. Throws the hash's SystemError.
    bool matches(const crypto::Sha256Digest& expected);

  private:
    void hashPieces();
    // Ends the hashing thread once it has hashed what it was given.
    void stop();
    void rethrowFailure();

    platform::HeldFile& file_;
    crypto::Provider& provider_;
    std::unique_ptr<crypto::Sha256> hash_;
    std::uint64_t hashed_ = 0;  // bytes given to hash_

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queued_;  // pieces read, in order, not hashed yet
    std::vector<std::string> spare_;  // hashed, kept to be filled again
    std::size_t buffers_ = 0;         // how many pieces are in use or spare
    bool closing_ = false;
    std::exception_ptr failure_;
    std::thread hasher_;
};

}  // namespace app
