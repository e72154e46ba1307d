#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/HeldFile.h"

// The narrow interface through which the updater's logic reaches the
// operating system. The Win32 implementation lives in win32/; tests use an
// in-memory stand-in. Texts crossing this interface are UTF-8; file contents
// are raw bytes.
namespace platform {

// Predefined registry roots, with their Win32 handle values.
enum class RegistryRoot : std::uint32_t {
    CurrentUser = 0x80000001,
    LocalMachine = 0x80000002,
};

// Registry value types the updater tells apart.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// One registry value as the ANSI query returns it. For REG_SZ the characters
// are converted from the ANSI code page to UTF-8, NUL bytes kept where they
// stand; every other type carries its bytes unchanged.
struct RegistryData {
    std::uint32_t type = 0;
    std::string data;
};

// The show state of a started program's first window (SW_* values).
enum class WindowStyle : int { Hidden = 0, NormalFocus = 1, MinimizedFocus = 2 };

// Whether a system error code says a name is taken (ERROR_FILE_EXISTS,
// ERROR_ALREADY_EXISTS): the next name is to be tried.
constexpr bool IsNameTaken(std::uint32_t error) {
    return error == 80 || error == 183;
}

// Whether a system error code says there is no such file or folder
// (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND).
constexpr bool IsNotFound(std::uint32_t error) {
    return error == 2 || error == 3;
}

// Who may open a file the updater makes.
enum class FileAccess {
    // Whatever the folder gives the files made in it. The product's folder
    // is the administrators' already.
    AsTheFolder,
    // The administrators' alone, from the call that makes it (see
    // kAdministratorsOnly): for shared places such as the root of the
    // system drive, which lets every account change what is made there.
    AdministratorsOnly,
};

// How far a copy has come, reported on the thread that asked for it while
// the copy goes on.
using CopyProgress = std::function<void(std::uint64_t copied, std::uint64_t total)>;

class Platform {
  public:
    virtual ~Platform() = default;

    // Registry, read only. Empty when the key or the value cannot be read.
    virtual std::optional<RegistryData> readRegistry(RegistryRoot root, std::string_view subKey,
                                                     std::string_view valueName) = 0;

    // The Windows directory as the system reports it; empty on failure.
    virtual std::string windowsDirectory() = 0;
    // The short (8.3) form of an existing path; empty when it cannot be formed.
    virtual std::string shortPathName(std::string_view path) = 0;
    // Text of the ANSI code page (file contents, database headers) as UTF-8.
    virtual std::string ansiToUtf8(std::string_view ansi) = 0;

    // The running program: its argument text (without its own path), its
    // folder (no trailing backslash unless a drive root), and its file name
    // without the extension.
    virtual std::string commandArguments() = 0;
    virtual std::string executableFolder() = 0;
    virtual std::string executableTitle() = 0;
    // What a release says of the update package it ships with (see
    // PackageSeal); empty for a program built without one.
    virtual std::string packageSeal() = 0;

    // Whether an ordinary file of that name exists: hidden and system files
    // and folders count as missing (see IsOrdinaryFile).
    virtual bool normalFileExists(std::string_view path) = 0;
    // Whether a program holds the file open so that it cannot be changed:
    // a running program's executable, or a file opened without sharing.
    virtual bool fileInUse(std::string_view path) = 0;

    // Opens a file and holds it (see HeldFile), for reading and, where the
    // system allows, for removal. Null with `error` set when it cannot be
    // opened.
    virtual std::unique_ptr<HeldFile> holdFile(std::string_view path, std::uint32_t& error) = 0;
    // Holds a file with the right to delete it through HeldFile::remove, or
    // not at all: where that right is refused (another program holds the
    // file), null with `error` set.
    virtual std::unique_ptr<HeldFile> holdToRemove(std::string_view path, std::uint32_t& error) = 0;
    // Holds a file for reading only, shared with other readers while held.
    virtual std::unique_ptr<HeldFile> holdForReading(std::string_view path,
                                                     std::uint32_t& error) = 0;
    // Holds the running program's own executable the same way, for reading.
    virtual std::unique_ptr<HeldFile> holdExecutable(std::uint32_t& error) = 0;
    // Whether `file` is the program that is running: what the system loaded
    // to run it, not merely a file at its path. Windows lets a running
    // program's file be renamed and another put at its name before the
    // program holds it.
    virtual bool isRunningProgram(HeldFile& file) = 0;
    // Makes a new file at `path`, which must not exist yet (a taken name,
    // whatever holds it, fails with an error IsNameTaken recognises), open
    // to whom `access` says from its first instant, and fills it with the
    // whole of `source`, read once from its start to its end, flushed to the
    // disk. See NewFile. Null with `error` set on failure.
    //
    // However long the copy takes, the window keeps answering meanwhile:
    // pending events are let through, and `progress` is called now and then
    // on this thread. Whoever calls must be ready for the events.
    virtual std::unique_ptr<NewFile> createCopy(std::string_view path, HeldFile& source,
                                                std::uint32_t& error, FileAccess access,
                                                const CopyProgress& progress = {}) = 0;

    // Appends text, converted to the ANSI code page, creating the file when
    // missing. Throws SystemError.
    virtual void appendAnsiText(std::string_view path, std::string_view utf8Text) = 0;
    // Asks the system to delete a file at its next start; 0, or the system's
    // error code when it refuses (it needs administrator rights).
    virtual std::uint32_t deleteAtReboot(std::string_view path) = 0;

    // Starts a program from a command line without waiting for it. Throws
    // SystemError when nothing could be started.
    virtual void startProgram(std::string_view commandLine, WindowStyle style) = 0;
    // Lets the window system deliver what is pending (paints, input).
    virtual void processPendingEvents() = 0;
    // Asks the system to restart; false when refused.
    virtual bool requestReboot() = 0;
};

}  // namespace platform
