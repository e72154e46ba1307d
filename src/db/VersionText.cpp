#include "db/VersionText.h"

#include <charconv>
#include <string>

namespace db {

std::int16_t VersionNumber(std::string_view versionText) {
    if (versionText.size() <= 3)
        throw VersionTextError("version text too short: \"" + std::string(versionText) + "\"");
    std::string_view number = versionText.substr(3);
    const auto first = number.find_first_not_of(' ');
    const auto last = number.find_last_not_of(' ');
    if (first == std::string_view::npos)
        throw VersionTextError("version text without a number: \"" + std::string(versionText) +
                               "\"");
    number = number.substr(first, last - first + 1);

    // A plain whole number only: fractions, digit grouping and hexadecimal
    // forms are refused rather than guessed at.
    bool negative = false;
    if (number.front() == '+' || number.front() == '-') {
        negative = number.front() == '-';
        number.remove_prefix(1);
    }
    long value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || number.front() < '0' || number.front() > '9' ||
        error == std::errc::invalid_argument || end != number.data() + number.size())
        throw VersionTextError("version number is not a number: \"" + std::string(versionText) +
                               "\"");
    if (negative) value = -value;
    if (error == std::errc::result_out_of_range || value < -32768 || value > 32767)
        throw VersionTextError("version number out of range: \"" + std::string(versionText) + "\"");
    return static_cast<std::int16_t>(value);
}

}  // namespace db
