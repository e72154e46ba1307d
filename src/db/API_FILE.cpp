#include "db/API_FILE.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <stdexcept>

namespace API_FILE {

namespace {

constexpr std::string_view kMarker = "\x1D\x1E\x1F\x1E\x1D";
constexpr char kLengthEnd = '\x1E';
constexpr char kRecordsEnd = '\x1F';
// Header positions are counted in 16 bits: a separator further in than this
// cannot be reached.
constexpr std::size_t kLongestHeader = 32767;

constexpr std::string_view kWebAddress = "http://www.varnel.com.br";

// A number of the header: decimal digits, optionally signed, with spaces
// allowed before and after.
template <class Int>
Int HeaderNumber(std::string_view text, const char* what) {
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    if (first == std::string_view::npos) {
        throw MalformedDatabase(std::string("empty ") + what + " in the database header");
    }
    text = text.substr(first, last - first + 1);
    if (text.front() == '+') text.remove_prefix(1);
    Int value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) {
        throw MalformedDatabase(std::string(what) + " out of range in the database header");
    }
    if (error != std::errc{} || end != text.data() + text.size() || text.empty()) {
        throw MalformedDatabase(std::string(what) + " is not a number in the database header");
    }
    return value;
}

// The position of separator at or after from, within the first
// kLongestHeader characters of header.
std::size_t Separator(std::string_view header, char separator, std::size_t from, const char* what) {
    const std::size_t at = header.find(separator, from);
    if (at == std::string_view::npos) {
        throw MalformedDatabase(std::string("no separator after the ") + what +
                                " in the database header");
    }
    if (at >= kLongestHeader) {
        throw MalformedDatabase(std::string("database header too long before the ") + what +
                                " separator");
    }
    return at;
}

}  // namespace

std::string CorruptedMessage() {
    return "O banco de dados do Varnel foi aparentemente violado, ou corrompido!\r\n"
           "O processo de busca será finalizado.\r\n\r\n"
           "Adquira o banco de dados novamente acessando a página do Varnel: " +
           std::string(kWebAddress);
}

void EndAsCorrupted(platform::UserInterface& ui) {
    ui.messageBox(CorruptedMessage(), platform::mb::Critical, kCorruptedTitle);
    ui.endProgram();
    // endProgram does not return; should an implementation ever do so, no
    // corrupted text may reach the caller.
    throw std::logic_error("the program did not end after a corrupted database");
}

std::uint64_t CheckHeaderLine(const HeaderLine& line, DatabaseSummary& summary,
                              platform::UserInterface& ui) {
    std::string_view header;
    std::uint64_t body = 0;
    if (line.lineEnd) {
        // The line end is the CR and whatever single byte follows it.
        if (*line.lineEnd + 1 == line.totalLength) {
            throw MalformedDatabase("the database text ends in its header's line end");
        }
        header = line.header;
        body = *line.lineEnd + 2;
    }
    // A text longer than any declared length can be fails the check, but its
    // header is still read.
    constexpr auto kMaxLength =
        static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    const bool representable = line.totalLength <= kMaxLength;
    const auto total = static_cast<std::int32_t>(representable ? line.totalLength : 0);
    if (CheckDatabaseHeader(header, total, summary) && representable) return body;
    EndAsCorrupted(ui);
}

std::optional<HeaderLine> ScanHeaderLine(db::PackageSource& source, std::uint64_t size,
                                         const PieceDecipher& decipher, std::size_t firstPiece) {
    HeaderLine line;
    line.totalLength = size;
    // Whether the bytes so far may still be a header the check reads further
    // than its marker; once they cannot, only the first bytes are kept.
    bool keep = true;
    std::size_t piece = std::max<std::size_t>(firstPiece, 1);
    for (std::uint64_t offset = 0; offset < size;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(piece, size - offset));
        std::string bytes = source.read(offset, length);
        // Bytes a read leaves out before the end count as spaces: the text
        // keeps the source's size, which the header check compares.
        bytes.resize(length, ' ');
        if (!decipher(std::span<char>(bytes.data(), bytes.size()))) return std::nullopt;
        const std::size_t cr = bytes.find('\r');
        if (keep) line.header.append(bytes, 0, cr == std::string::npos ? bytes.size() : cr);
        if (cr != std::string::npos) {
            line.lineEnd = offset + cr;
            return line;
        }
        if (keep && line.header.size() >= kMarker.size() && !line.header.starts_with(kMarker)) {
            line.header.resize(kMarker.size());
            keep = false;
        }
        offset += length;
        piece = std::min(piece * 2, kLargestPiece);
    }
    // No CR: the text has no header line.
    line.header.clear();
    return line;
}

bool CheckDatabaseHeader(std::string_view header, std::int32_t totalLength,
                         DatabaseSummary& summary) {
    if (!header.starts_with(kMarker)) return false;
    const std::size_t lengthEnd = Separator(header, kLengthEnd, kMarker.size(), "length");
    const auto declared = HeaderNumber<std::int32_t>(
        header.substr(kMarker.size(), lengthEnd - kMarker.size()), "length");
    const std::size_t recordsEnd = Separator(header, kRecordsEnd, lengthEnd + 1, "record count");
    const auto records = HeaderNumber<std::int16_t>(
        header.substr(lengthEnd + 1, recordsEnd - lengthEnd - 1), "record count");
    summary.DbRecordCount = records;
    summary.DbVersion = std::string(header.substr(recordsEnd + 1));
    return declared == totalLength;
}

}  // namespace API_FILE
