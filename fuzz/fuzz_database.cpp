// libFuzzer target: the database header check and parser on any plain text.
// Whatever the bytes, parsing ends in one of three ways: a body, the
// corrupted-database end, or MalformedDatabase; and both forms of the parser
// agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "db/API_FILE.h"

namespace {

struct Ended {};

class QuietUi : public platform::UserInterface {
  public:
    int messageBox(std::string_view, int, std::string_view) override { return platform::Ok; }
    [[noreturn]] void endProgram() override { throw Ended{}; }
};

enum class Outcome { Body, Ended, Malformed };

Outcome Parse(const std::string& plain, bool reuse, std::string& body,
              API_FILE::DatabaseSummary& summary) {
    QuietUi ui;
    try {
        body = reuse ? API_FILE::ParseDatabase(std::string(plain), summary, ui)
                     : API_FILE::ParseDatabase(std::string_view(plain), summary, ui);
        return Outcome::Body;
    } catch (const Ended&) {
        return Outcome::Ended;
    } catch (const API_FILE::MalformedDatabase&) {
        return Outcome::Malformed;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string plain(reinterpret_cast<const char*>(data), size);

    std::string body;
    std::string reused;
    API_FILE::DatabaseSummary summary;
    API_FILE::DatabaseSummary reusedSummary;
    const Outcome outcome = Parse(plain, false, body, summary);
    if (Parse(plain, true, reused, reusedSummary) != outcome) std::abort();
    if (outcome == Outcome::Body) {
        // A body is what follows the first CR and one more byte, and the
        // header declared exactly the text's length.
        const std::size_t cr = plain.find('\r');
        if (cr == std::string::npos || body != plain.substr(cr + 2) || reused != body) std::abort();
        if (summary.DbVersion != reusedSummary.DbVersion ||
            summary.DbRecordCount != reusedSummary.DbRecordCount) {
            std::abort();
        }
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
