#include "app/PackageSeal.h"

#include <charconv>
#include <stdexcept>

namespace app {

std::optional<PackageSeal> ParsePackageSeal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    const auto malformed = [] { return std::invalid_argument("malformed package seal"); };
    PackageSeal seal;
    const char* end = text.data() + text.size();
    const auto [afterSize, error] = std::from_chars(text.data(), end, seal.size);
    if (error != std::errc{} || afterSize == text.data() || afterSize == end || *afterSize != ' ')
        throw malformed();
    const std::string_view hex(afterSize + 1, static_cast<std::size_t>(end - afterSize - 1));
    if (hex.size() != 2 * seal.sha256.size()) throw malformed();
    for (std::size_t i = 0; i < seal.sha256.size(); ++i) {
        const char* digit = hex.data() + 2 * i;
        const auto [next, digitError] = std::from_chars(digit, digit + 2, seal.sha256[i], 16);
        if (digitError != std::errc{} || next != digit + 2) throw malformed();
    }
    return seal;
}

}  // namespace app
