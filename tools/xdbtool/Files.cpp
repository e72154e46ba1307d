#include "Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace xdbtool {

namespace {

void BinaryStandardStreams() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

}  // namespace

std::string ReadWhole(const std::string& path) {
    if (path == "-") {
        BinaryStandardStreams();
        std::string bytes(std::istreambuf_iterator<char>(std::cin), {});
        if (std::cin.bad()) throw FileError("cannot read standard input");
        return bytes;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw FileError(path + ": is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError(path + ": cannot open (" + std::strerror(errno) + ")");
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) throw FileError(path + ": cannot read");
    return bytes;
}

void WriteWhole(const std::string& path, std::string_view bytes) {
    if (path == "-") {
        BinaryStandardStreams();
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        if (!std::cout) throw FileError("cannot write standard output");
        return;
    }
    const std::filesystem::path target(path);
    std::filesystem::path temporary = target;
    temporary += ".xdbtool-new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) throw FileError(path + ": cannot create (" + std::strerror(errno) + ")");
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            throw FileError(path + ": cannot write");
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, target, ec);
    if (ec && std::filesystem::exists(target)) {
        // Where renaming cannot replace a file, replace it in two steps.
        std::filesystem::remove(target, ec);
        if (!ec) std::filesystem::rename(temporary, target, ec);
    }
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw FileError(path + ": cannot write (" + ec.message() + ")");
    }
}

}  // namespace xdbtool
