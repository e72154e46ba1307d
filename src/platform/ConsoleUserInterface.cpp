#include "platform/ConsoleUserInterface.h"

#include <cstdlib>
#include <iostream>

namespace platform {

int ConsoleUserInterface::messageBox(std::string_view text, int, std::string_view title) {
    // Message line breaks are CR LF; a terminal wants LF alone.
    std::string line;
    for (char c : text) {
        if (c != '\r') line += c;
    }
    std::cerr << program_ << ": ";
    if (!title.empty()) std::cerr << title << ": ";
    std::cerr << line << std::endl;
    return Ok;
}

void ConsoleUserInterface::endProgram() {
    std::cout.flush();
    std::exit(1);
}

}  // namespace platform
