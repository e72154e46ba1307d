#pragma once

#include <string>
#include <string_view>

#include "db/API_FILE.h"

// The whole-text reader, the reference the header-cost reader is held to: a
// database read whole and deciphered, its header line cut from the whole
// text at its first CR, then checked by the one rule both readers follow
// (API_FILE::CheckHeaderLine). What the header-cost reader must get right
// on its own is finding that line in pieces, without the rest of the text.
namespace whole_text {

// The body of a deciphered database (what follows its header's line end);
// sets summary. Ends the program with the corrupted-database message when
// the check fails; throws API_FILE::MalformedDatabase for a header it cannot
// read.
inline std::string ParseDatabase(std::string_view plain, API_FILE::DatabaseSummary& summary,
                                 platform::UserInterface& ui) {
    API_FILE::HeaderLine line;
    line.totalLength = plain.size();
    if (const std::size_t cr = plain.find('\r'); cr != std::string_view::npos) {
        line.header = plain.substr(0, cr);
        line.lineEnd = cr;
    }
    const std::uint64_t bodyStart = API_FILE::CheckHeaderLine(line, summary, ui);
    return std::string(plain.substr(static_cast<std::size_t>(bodyStart)));
}

}  // namespace whole_text
