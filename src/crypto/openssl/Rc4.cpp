#include "crypto/openssl/Rc4.h"

#include <utility>

namespace crypto {

Rc4::Rc4(std::span<const std::uint8_t> key) {
    for (std::size_t k = 0; k < s_.size(); ++k) s_[k] = static_cast<std::uint8_t>(k);
    std::uint8_t j = 0;
    for (std::size_t k = 0; k < s_.size(); ++k) {
        j = static_cast<std::uint8_t>(j + s_[k] + key[k % key.size()]);
        std::swap(s_[k], s_[j]);
    }
}

void Rc4::apply(std::span<std::uint8_t> data) {
    std::uint8_t i = i_;
    std::uint8_t j = j_;
    for (std::uint8_t& byte : data) {
        i = static_cast<std::uint8_t>(i + 1);
        j = static_cast<std::uint8_t>(j + s_[i]);
        std::swap(s_[i], s_[j]);
        byte ^= s_[static_cast<std::uint8_t>(s_[i] + s_[j])];
    }
    i_ = i;
    j_ = j;
}

}  // namespace crypto
