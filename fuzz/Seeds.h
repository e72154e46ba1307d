#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The fuzzer's seeds: packages made by BuildPackage, and plain texts at the
// edges of the header format.
namespace seeds {

struct Package {
    std::string version;
    std::int16_t records;
    std::string body;
};

inline std::vector<Package> Packages() {
    return {
        {"VRS0042", 1234, "records\r\nmore records\r\n"},
        {"", 0, ""},
        {"ABC32767", 32767, std::string(200, '\x1E')},
        {"X\x1E\x1F", -32768, std::string("\0\r\n\0", 4)},
    };
}

inline std::vector<std::string> Edges() {
    return {
        "",
        "ERRO",
        "\x1D\x1E\x1F\x1E\x1D"
        "20\x1E"
        "1\x1F"
        "ABC1\rZ"
        "body",
        "\x1D\x1E\x1F\x1E\x1D"
        "12\x1E"
        "5\x1F"
        "V\r",
        "\x1D\x1E\x1F\x1E\x1D"
        " +17 \x1E -3 \x1F\r\n",
        "\x1D\x1E\x1F\x1E\x1D"
        "2147483648\x1E"
        "5\x1F"
        "V\r\n",
    };
}

}  // namespace seeds
