#include "ConsoleUserInterface.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace xdbtool {

int ConsoleUserInterface::messageBox(std::string_view text, int, std::string_view title) {
    // Message line breaks are CR LF; a terminal wants LF alone.
    std::string line;
    for (char c : text) {
        if (c != '\r') line += c;
    }
    std::cerr << "xdbtool: ";
    if (!title.empty()) std::cerr << title << ": ";
    std::cerr << line << std::endl;
    return platform::Ok;
}

void ConsoleUserInterface::endProgram() {
    std::cout.flush();
    std::exit(1);
}

}  // namespace xdbtool
