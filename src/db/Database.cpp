#include "db/Database.h"

#include <limits>
#include <stdexcept>

#include "crypto/clsCryptoFilterBox.h"

namespace db {

std::string ReadDatabase(platform::Platform& platform, crypto::Provider& provider,
                         platform::UserInterface& ui, std::string_view path,
                         API_FILE::DatabaseSummary& summary) {
    return OpenDatabase(provider, ui, API_FILE::ReadFileToString(platform, path), summary);
}

std::string OpenDatabase(crypto::Provider& provider, platform::UserInterface& ui,
                         std::string enciphered, API_FILE::DatabaseSummary& summary) {
    std::string plain;
    {
        crypto::clsCryptoFilterBox filter(provider, ui);
        filter.InBuffer(std::move(enciphered));
        filter.Password(std::string(kPassword));
        filter.Decrypt();
        plain = filter.TakeOutBuffer();
    }
    return API_FILE::ParseDatabase(std::move(plain), summary, ui);
}

namespace {

std::size_t Digits(std::size_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

}  // namespace

std::string BuildPackage(crypto::Provider& provider, platform::UserInterface& ui,
                         std::string_view version, std::int16_t records, std::string_view body) {
    if (version.find('\r') != std::string_view::npos) {
        throw std::invalid_argument("the version text cannot hold a carriage return");
    }
    const std::string tail =
        "\x1E" + std::to_string(records) + "\x1F" + std::string(version) + "\r\n";
    const std::size_t fixed = 5 + tail.size() + body.size();
    // The declared length counts its own digits.
    std::size_t total = fixed + Digits(fixed);
    if (Digits(total) != Digits(fixed)) total = fixed + Digits(total);
    if (total > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw std::invalid_argument("a database cannot be longer than 2147483647 bytes");
    }
    std::string plain;
    plain.reserve(total);
    plain += "\x1D\x1E\x1F\x1E\x1D";
    plain += std::to_string(total);
    plain += tail;
    plain += body;

    crypto::clsCryptoFilterBox filter(provider, ui);
    filter.Password(std::string(kPassword));
    filter.InBuffer(std::move(plain));
    filter.Encrypt();
    if (filter.OutBuffer().size() != total) {
        throw std::runtime_error("the database could not be enciphered");
    }
    return filter.TakeOutBuffer();
}

}  // namespace db
