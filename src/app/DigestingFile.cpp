#include "app/DigestingFile.h"

namespace app {

std::size_t DigestingFile::readInto(std::uint64_t offset, std::span<char> into) {
    if (offset == 0) {
        hash_ = provider_.sha256();
        hashed_ = 0;
    }
    const std::size_t got = file_.readInto(offset, into);
    hash_->update({into.data(), got});
    hashed_ += got;
    return got;
}

bool DigestingFile::matches(const crypto::Sha256Digest& expected) {
    const bool same = hash_ && hashed_ == file_.size() && hash_->finish() == expected;
    hash_.reset();
    return same;
}

}  // namespace app
