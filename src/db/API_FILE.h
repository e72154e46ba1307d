#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "db/PackageSource.h"
#include "platform/UserInterface.h"

// Reading a database file's header line (once deciphered), which carries a
// marker, the text's total length, the record count and the version text:
//   1D 1E 1F 1E 1D <length> 1E <records> 1F <version> CR <any byte> <body>
namespace API_FILE {

// What the last header read said. Each read overwrites it.
struct DatabaseSummary {
    std::string DbVersion;
    std::int16_t DbRecordCount = 0;
};

// A header with the right marker whose rest cannot be read: a separator
// missing, a number empty, not a number or out of range, a header line too
// long, or a text ending in its first CR. Carries no message for the user;
// the caller decides.
class MalformedDatabase : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The text shown when a database fails its header check.
inline constexpr std::string_view kCorruptedTitle = "Banco de dados corrompido!";
std::string CorruptedMessage();
// Shows the corrupted-database message and ends the program.
[[noreturn]] void EndAsCorrupted(platform::UserInterface& ui);

// Reading at the cost of the header. RC4 is a stream cipher: the first n
// deciphered bytes of a package are exactly the first n bytes of the whole
// deciphered text, so the header line can be deciphered alone, and the text's
// length is the package's size.

// The first line of a deciphered text, as far as the header check reads it.
struct HeaderLine {
    // The text before the first CR; empty when the text has none. When it
    // does not start with the marker only its first bytes are kept: the
    // check looks no further.
    std::string header;
    // Where the first CR is; none when the text has no CR.
    std::optional<std::uint64_t> lineEnd;
    // The whole text's length.
    std::uint64_t totalLength = 0;
};

// Deciphers one piece of a package in place, going on from the previous
// piece; false when deciphering failed.
using PieceDecipher = std::function<bool(std::span<char>)>;

inline constexpr std::size_t kFirstPiece = 4096;
inline constexpr std::size_t kLargestPiece = std::size_t{1} << 20;

// Reads source (size bytes) from its start in pieces (the first of
// firstPiece bytes, each next one twice as long up to kLargestPiece),
// deciphers each through decipher, and stops at the piece holding the first
// CR: for a package, one piece of kFirstPiece bytes. Bytes a short read
// leaves out count as spaces. None when decipher failed. Throws what
// source.read throws.
std::optional<HeaderLine> ScanHeaderLine(db::PackageSource& source, std::uint64_t size,
                                         const PieceDecipher& decipher,
                                         std::size_t firstPiece = kFirstPiece);

// Checks the header line of a deciphered database and returns where its body
// starts (after the CR and the byte that follows it). Sets summary. When the
// check fails, shows the corrupted-database message and ends the program.
// Throws MalformedDatabase for a header it cannot read.
std::uint64_t CheckHeaderLine(const HeaderLine& line, DatabaseSummary& summary,
                              platform::UserInterface& ui);

// True when header (the text before the first CR) starts with the marker and
// declares totalLength. Sets summary once both separators are found, before
// the length is compared. Throws MalformedDatabase as CheckHeaderLine does.
bool CheckDatabaseHeader(std::string_view header, std::int32_t totalLength,
                         DatabaseSummary& summary);

}  // namespace API_FILE
