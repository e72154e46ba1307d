// libFuzzer target: the database header check on any plain text. Whatever
// the bytes, reading ends in one of three ways: a body, the corrupted-database
// end, or MalformedDatabase; and the header-cost reader (the text read in
// pieces only up to its first CR, its length taken from its size) ends as the
// whole-text reader does, whatever its piece size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "WholeText.h"
#include "db/API_FILE.h"

namespace {

struct Ended {};

class QuietUi : public platform::UserInterface {
  public:
    std::string shown;
    int messageBox(std::string_view text, int, std::string_view title) override {
        shown += std::string(title) + ": " + std::string(text) + "\n";
        return platform::Ok;
    }
    [[noreturn]] void endProgram() override { throw Ended{}; }
};

enum class Outcome { Body, Ended, Malformed };

// The whole-text reader, leaving what it showed in shown.
Outcome Parse(const std::string& plain, std::string& body, API_FILE::DatabaseSummary& summary,
              std::string& shown) {
    QuietUi ui;
    Outcome outcome = Outcome::Body;
    try {
        body = whole_text::ParseDatabase(plain, summary, ui);
    } catch (const Ended&) {
        outcome = Outcome::Ended;
    } catch (const API_FILE::MalformedDatabase&) {
        outcome = Outcome::Malformed;
    }
    shown = ui.shown;
    return outcome;
}

// The header-cost reader over the plain text itself (deciphering is the
// identity here; that pieces decipher as the whole does is the providers'
// tests' part). The body is what lies after the returned start.
Outcome ParseHeaderCost(const std::string& plain, std::size_t firstPiece, std::string& body,
                        API_FILE::DatabaseSummary& summary, std::string& shown,
                        std::size_t& furthest) {
    class Counting : public db::MemorySource {
      public:
        using MemorySource::MemorySource;
        std::size_t furthest = 0;
        std::string read(std::uint64_t offset, std::size_t length) override {
            furthest = std::max<std::size_t>(furthest, static_cast<std::size_t>(offset) + length);
            return MemorySource::read(offset, length);
        }
    } source(plain);
    QuietUi ui;
    Outcome outcome = Outcome::Body;
    try {
        const std::optional<API_FILE::HeaderLine> line = API_FILE::ScanHeaderLine(
            source, source.size(), [](std::span<char>) { return true; }, firstPiece);
        if (!line) std::abort();
        body =
            plain.substr(static_cast<std::size_t>(API_FILE::CheckHeaderLine(*line, summary, ui)));
    } catch (const Ended&) {
        outcome = Outcome::Ended;
    } catch (const API_FILE::MalformedDatabase&) {
        outcome = Outcome::Malformed;
    }
    shown = ui.shown;
    furthest = source.furthest;
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string plain(reinterpret_cast<const char*>(data), size);

    std::string body;
    std::string shown;
    API_FILE::DatabaseSummary summary;
    const Outcome outcome = Parse(plain, body, summary, shown);
    if (outcome == Outcome::Body) {
        // A body is what follows the first CR and one more byte, and the
        // header declared exactly the text's length.
        const std::size_t cr = plain.find('\r');
        if (cr == std::string::npos || body != plain.substr(cr + 2)) std::abort();
    }

    // The header-cost reader agrees, with pieces of the usual size and of a
    // size the input picks, and reads no further than the piece holding the
    // first CR.
    const std::size_t cr = plain.find('\r');
    for (std::size_t firstPiece :
         {API_FILE::kFirstPiece, std::size_t{1} + (size > 0 ? data[0] % 13 : 0)}) {
        std::string costBody;
        std::string costShown;
        std::size_t furthest = 0;
        API_FILE::DatabaseSummary costSummary;
        if (ParseHeaderCost(plain, firstPiece, costBody, costSummary, costShown, furthest) !=
                outcome ||
            costShown != shown) {
            std::abort();
        }
        if (outcome == Outcome::Body &&
            (costBody != body || costSummary.DbVersion != summary.DbVersion ||
             costSummary.DbRecordCount != summary.DbRecordCount)) {
            std::abort();
        }
        // Pieces double from firstPiece, so what was read before the piece
        // holding the first CR is at most cr bytes, and that piece at most
        // that plus firstPiece.
        if (cr != std::string::npos && furthest > 2 * cr + firstPiece) std::abort();
    }

    // The header check alone, against lengths near the text's own.
    const std::string_view header = std::string_view(plain).substr(0, plain.find('\r'));
    for (std::int32_t total : {static_cast<std::int32_t>(size), static_cast<std::int32_t>(size) + 1,
                               std::int32_t{-1}, std::int32_t{0x7FFFFFFF}}) {
        try {
            API_FILE::CheckDatabaseHeader(header, total, summary);
        } catch (const API_FILE::MalformedDatabase&) {
        }
    }
    return 0;
}
