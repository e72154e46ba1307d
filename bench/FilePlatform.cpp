#include "FilePlatform.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace bench {

namespace {

[[noreturn]] void Unused() {
    throw std::logic_error("not available in the benchmark");
}

}  // namespace

std::optional<std::string> FilePlatform::readFile(std::string_view path) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> file(
        std::fopen(std::string(path).c_str(), "rb"), &std::fclose);
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) return std::nullopt;
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size), ' ');
    const std::size_t read = std::fread(bytes.data(), 1, bytes.size(), file.get());
    (void)read;  // as on Windows: unread bytes stay spaces
    return bytes;
}

std::optional<platform::RegistryData> FilePlatform::readRegistry(platform::RegistryRoot,
                                                                 std::string_view,
                                                                 std::string_view) {
    Unused();
}
std::string FilePlatform::windowsDirectory() {
    Unused();
}
std::string FilePlatform::shortPathName(std::string_view) {
    Unused();
}
std::string FilePlatform::ansiToUtf8(std::string_view) {
    Unused();
}
std::string FilePlatform::commandArguments() {
    Unused();
}
std::string FilePlatform::executableFolder() {
    Unused();
}
std::string FilePlatform::executableTitle() {
    Unused();
}
bool FilePlatform::normalFileExists(std::string_view) {
    Unused();
}
platform::DeleteResult FilePlatform::deleteFile(std::string_view) {
    Unused();
}
std::unique_ptr<platform::HeldFile> FilePlatform::holdFile(std::string_view, std::uint32_t&) {
    Unused();
}
std::unique_ptr<platform::HeldFile> FilePlatform::holdExecutable(std::uint32_t&) {
    Unused();
}
std::unique_ptr<platform::NewFile> FilePlatform::createCopy(std::string_view, platform::HeldFile&,
                                                            std::uint32_t&) {
    Unused();
}
void FilePlatform::appendAnsiText(std::string_view, std::string_view) {
    Unused();
}
bool FilePlatform::deleteAtReboot(std::string_view) {
    Unused();
}
void FilePlatform::startProgram(std::string_view, platform::WindowStyle) {
    Unused();
}
void FilePlatform::processPendingEvents() {
    Unused();
}
bool FilePlatform::requestReboot() {
    Unused();
}

}  // namespace bench
