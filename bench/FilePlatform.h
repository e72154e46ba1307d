#pragma once

#include "platform/Platform.h"

namespace bench {

// Just enough of the platform to read files, as the updater reads a database;
// everything else is out of the benchmark's reach and throws.
class FilePlatform : public platform::Platform {
  public:
    std::optional<std::string> readFile(std::string_view path) override;

    std::optional<platform::RegistryData> readRegistry(platform::RegistryRoot, std::string_view,
                                                       std::string_view) override;
    std::string windowsDirectory() override;
    std::string shortPathName(std::string_view) override;
    std::string ansiToUtf8(std::string_view) override;
    std::string commandArguments() override;
    std::string executableFolder() override;
    std::string executableTitle() override;
    bool normalFileExists(std::string_view) override;
    platform::DeleteResult deleteFile(std::string_view) override;
    std::unique_ptr<platform::HeldFile> holdFile(std::string_view, std::uint32_t&) override;
    std::unique_ptr<platform::HeldFile> holdExecutable(std::uint32_t&) override;
    std::unique_ptr<platform::NewFile> createCopy(std::string_view, platform::HeldFile&,
                                                  std::uint32_t&) override;
    void appendAnsiText(std::string_view, std::string_view) override;
    bool deleteAtReboot(std::string_view) override;
    void startProgram(std::string_view, platform::WindowStyle) override;
    void processPendingEvents() override;
    bool requestReboot() override;
};

}  // namespace bench
