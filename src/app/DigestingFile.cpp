#include "app/DigestingFile.h"

#include <utility>

namespace app {

namespace {

// Pieces between the copy and the hash: enough that neither waits on the
// other for an uneven piece, few enough that the memory stays a few pieces.
constexpr std::size_t kPieces = 4;

}  // namespace

std::size_t DigestingFile::readInto(std::uint64_t offset, std::span<char> into) {
    if (offset == 0) {
        stop();
        hash_ = provider_.sha256();
        hashed_ = 0;
        failure_ = nullptr;
        closing_ = false;
        hasher_ = std::thread([this] { hashPieces(); });
    }
    const std::size_t got = file_.readInto(offset, into);
    std::unique_lock lock(mutex_);
    // A new buffer for every piece costs more than the copy itself: they
    // go round.
    changed_.wait(lock, [&] { return !spare_.empty() || buffers_ < kPieces || failure_; });
    rethrowFailure();
    std::string piece;
    if (!spare_.empty()) {
        piece = std::move(spare_.back());
        spare_.pop_back();
    } else {
        ++buffers_;
    }
    piece.assign(into.data(), got);
    queued_.push_back(std::move(piece));
    hashed_ += got;
    changed_.notify_all();
    return got;
}

void DigestingFile::hashPieces() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return !queued_.empty() || closing_; });
        if (queued_.empty()) return;
        std::string piece = std::move(queued_.front());
        queued_.pop_front();
        if (!failure_) {
            lock.unlock();
            std::exception_ptr failure;
            try {
                hash_->update(piece);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (failure) failure_ = failure;
        }
        spare_.push_back(std::move(piece));
        changed_.notify_all();
    }
}

void DigestingFile::stop() {
    if (!hasher_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    hasher_.join();
}

void DigestingFile::rethrowFailure() {
    if (failure_) std::rethrow_exception(failure_);
}

bool DigestingFile::matches(const crypto::Sha256Digest& expected) {
    stop();
    rethrowFailure();
    const bool same = hash_ && hashed_ == file_.size() && hash_->finish() == expected;
    hash_.reset();
    return same;
}

}  // namespace app
