#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace xdbtool {

// A file that could not be read or written; the tool exits with status 2.
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The whole file; "-" reads standard input.
std::string ReadWhole(const std::string& path);

// Writes beside path and renames into place, so that a failure never leaves
// a half-written file under path. "-" writes standard output.
void WriteWhole(const std::string& path, std::string_view bytes);

}  // namespace xdbtool
