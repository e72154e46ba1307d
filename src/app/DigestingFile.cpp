#include "app/DigestingFile.h"

namespace app {

std::string DigestingFile::read(std::uint64_t offset, std::size_t length) {
    if (offset == 0) {
        hash_ = provider_.sha256();
        hashed_ = 0;
    }
    std::string bytes = file_.read(offset, length);
    hash_->update(bytes);
    hashed_ += bytes.size();
    return bytes;
}

bool DigestingFile::matches(const crypto::Sha256Digest& expected) {
    const bool same = hash_ && hashed_ == file_.size() && hash_->finish() == expected;
    hash_.reset();
    return same;
}

}  // namespace app
