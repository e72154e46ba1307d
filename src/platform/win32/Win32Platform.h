#pragma once

#include "platform/Platform.h"

// The platform interface over the real Win32 API. It holds no decisions:
// each call is the system call the interface names, its result translated
// to the interface's types.
namespace platform::win32 {

class Win32Platform : public platform::Platform {
  public:
    std::optional<RegistryData> readRegistry(RegistryRoot root, std::string_view subKey,
                                             std::string_view valueName) override;

    std::string windowsDirectory() override;
    std::string shortPathName(std::string_view path) override;
    std::string ansiToUtf8(std::string_view ansi) override;

    std::string commandArguments() override;
    std::string executableFolder() override;
    std::string executableTitle() override;
    std::string packageSeal() override;

    bool normalFileExists(std::string_view path) override;
    bool fileInUse(std::string_view path) override;
    std::unique_ptr<HeldFile> holdFile(std::string_view path, std::uint32_t& error) override;
    std::unique_ptr<HeldFile> holdToRemove(std::string_view path, std::uint32_t& error) override;
    std::unique_ptr<HeldFile> holdForReading(std::string_view path, std::uint32_t& error) override;
    std::unique_ptr<HeldFile> holdExecutable(std::uint32_t& error) override;
    bool isRunningProgram(HeldFile& file) override;
    std::unique_ptr<NewFile> createCopy(std::string_view path, HeldFile& source,
                                        std::uint32_t& error, FileAccess access,
                                        const CopyProgress& progress) override;
    void appendAnsiText(std::string_view path, std::string_view utf8Text) override;
    std::uint32_t deleteAtReboot(std::string_view path) override;

    void startProgram(std::string_view commandLine, WindowStyle style) override;
    void processPendingEvents() override;
    bool requestReboot() override;
};

// The argument text of a command line: what follows the program's own path
// (quoted or not) and the spaces after it; a tab there stays.
// Exposed for the tests; commandArguments() applies it to GetCommandLineW().
std::wstring ArgumentsOf(std::wstring_view commandLine);

}  // namespace platform::win32
