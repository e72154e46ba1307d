#include "app/DigestingFile.h"

namespace app {

std::string DigestingFile::read(std::uint64_t offset, std::size_t length) {
    if (offset == 0) {
        hash_ = provider_.sha256();
        next_ = 0;
        inOrder_ = true;
    }
    std::string bytes = file_.read(offset, length);
    if (offset != next_) inOrder_ = false;
    if (inOrder_) hash_->update(bytes);
    next_ = offset + bytes.size();
    return bytes;
}

bool DigestingFile::matches(const crypto::Sha256Digest& expected) {
    if (!inOrder_ || !hash_ || next_ != file_.size()) return false;
    const bool same = hash_->finish() == expected;
    hash_.reset();
    inOrder_ = false;
    return same;
}

}  // namespace app
