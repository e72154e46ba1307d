#include "db/Database.h"

#include <limits>
#include <optional>
#include <stdexcept>

#include "crypto/clsCryptoFilterBox.h"

namespace db {

PackageLayout ReadDatabaseHeader(crypto::Provider& provider, platform::UserInterface& ui,
                                 PackageSource* source, API_FILE::DatabaseSummary& summary) {
    API_FILE::HeaderLine line;
    {
        crypto::clsCryptoFilterBox filter(provider, ui);
        line = OpenPackage(filter, source);
    }
    const std::uint64_t bodyStart = API_FILE::CheckHeaderLine(line, summary, ui);
    return {bodyStart, line.totalLength};
}

API_FILE::HeaderLine OpenPackage(crypto::clsCryptoFilterBox& filter, PackageSource* source) {
    using Direction = crypto::clsCryptoFilterBox::Direction;
    filter.Password(std::string(kPassword));
    MemorySource unreadable("ERRO");
    PackageSource* from = source != nullptr ? source : &unreadable;
    for (;;) {
        try {
            const std::uint64_t size = from->size();
            std::optional<API_FILE::HeaderLine> line;
            if (filter.BeginStream(Direction::Decrypt, size)) {
                line = API_FILE::ScanHeaderLine(*from, size, [&filter](std::span<char> piece) {
                    return filter.StreamPiece(piece);
                });
            }
            filter.EndStream();
            // Not deciphered: the empty text Decrypt leaves.
            return line ? std::move(*line) : API_FILE::HeaderLine{};
        } catch (const SourceError&) {
            filter.EndStream();
            if (from == &unreadable) throw;
            from = &unreadable;
        }
    }
}

namespace {

std::size_t Digits(std::uint64_t n) {
    std::size_t digits = 1;
    while (n >= 10) {
        n /= 10;
        ++digits;
    }
    return digits;
}

}  // namespace

std::string PackageHeaderLine(std::string_view version, std::int16_t records,
                              std::uint64_t bodyLength) {
    if (version.find('\r') != std::string_view::npos) {
        throw std::invalid_argument("the version text cannot hold a carriage return");
    }
    constexpr auto kMaxLength =
        static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    const std::string tail =
        "\x1E" + std::to_string(records) + "\x1F" + std::string(version) + "\r\n";
    if (bodyLength > kMaxLength) {
        throw std::invalid_argument("a database cannot be longer than 2147483647 bytes");
    }
    const std::uint64_t fixed = 5 + tail.size() + bodyLength;
    // The declared length counts its own digits.
    std::uint64_t total = fixed + Digits(fixed);
    if (Digits(total) != Digits(fixed)) total = fixed + Digits(total);
    if (total > kMaxLength) {
        throw std::invalid_argument("a database cannot be longer than 2147483647 bytes");
    }
    return "\x1D\x1E\x1F\x1E\x1D" + std::to_string(total) + tail;
}

std::string BuildPackage(crypto::Provider& provider, platform::UserInterface& ui,
                         std::string_view version, std::int16_t records, std::string_view body) {
    std::string plain = PackageHeaderLine(version, records, body.size());
    plain += body;
    const std::size_t total = plain.size();

    crypto::clsCryptoFilterBox filter(provider, ui);
    filter.Password(std::string(kPassword));
    filter.InBuffer(std::move(plain));
    filter.Encrypt();
    std::string package = filter.TakeOutBuffer();
    if (package.size() != total) {
        throw std::runtime_error("the database could not be enciphered");
    }
    return package;
}

}  // namespace db
