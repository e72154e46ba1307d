#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/UserInterface.h"

namespace fake {

// Thrown by FakeSystem::endProgram, so a test can see that the program ended
// and where. Deliberately not a std::exception: code that traps run-time
// errors must never trap the end of the program.
struct ProgramEnded {};

struct File {
    std::string bytes;
    bool hidden = false;
    bool system = false;
    bool folder = false;
    bool locked = false;         // held open by another program without sharing
    bool readOnly = false;       // the attribute: not deleted or replaced until cleared
    bool readOnlyMedia = false;  // on a disc or share that refuses changes altogether
    bool staged = false;         // written by a NewFile not yet kept or put in place
    int holds = 0;               // HeldFiles open on it
    platform::FileAccess access = platform::FileAccess::AsTheFolder;
};

struct Message {
    std::string text;
    int style = 0;
    std::string title;
};

struct Started {
    std::string commandLine;
    platform::WindowStyle style;
};

// One in-memory stand-in for the whole platform: files with attributes and
// locks, a registry, the program's identity, a log of started programs and
// message boxes with scripted answers. Paths compare without regard to case,
// as on Windows; drive roots and the Windows folder always exist.
class FakeSystem : public platform::Platform, public platform::UserInterface {
  public:
    // --- set-up ---
    void putFile(const std::string& path, std::string bytes, File attributes = {});
    void putFolder(const std::string& path);
    // A REG_SZ under HKEY_LOCAL_MACHINE, with its terminating NUL.
    void setRegistryString(const std::string& key, const std::string& name,
                           const std::string& text);
    // Answers for the next message boxes with more than an OK button, in
    // order; such a box without one fails the test.
    void answer(int button) { answers_.push_back(button); }
    // Runs as each box opens, to change the world while it is open.
    std::function<void(const Message&)> onMessage;
    // Runs when the program lets pending events through, and while a copy
    // is under way: a click delivered meanwhile.
    std::function<void()> onPendingEvents;
    std::function<void()> whileCopying;
    std::string windowsDir = "C:\\WINDOWS";
    std::string exeFolder = "C:\\Update";
    std::string exeTitle = "Atualizador";
    std::string seal;  // what the program says of its package; empty: no release
    // The bytes of the program that runs, put at its path when nothing is.
    std::string image = "MZ the updater";
    bool rebootAccepted = true;
    std::uint32_t deleteAtRebootError = 0;  // non-zero: the system refuses the order
    std::uint32_t failCopiesWith = 0;       // non-zero: every copy fails at once
    std::uint64_t diskSpace = ~0ull;        // bytes a copy may write
    std::uint32_t failStartsWith = 0;       // non-zero: every start fails
    int failStarts = 0;                     // starts that fail (not found) first

    // --- inspection ---
    bool exists(const std::string& path) const { return files_.count(key(path)) != 0; }
    const File* file(const std::string& path) const { return entry(path).get(); }
    std::string contents(const std::string& path) const;
    bool anyStaged() const;
    std::vector<Message> messages;
    std::vector<Started> started;
    std::vector<std::string> rebootDeletes;
    std::vector<std::string> registryReads;
    int reboots = 0;
    int copiesMade = 0;
    int pendingEventsProcessed = 0;
    std::uint64_t bytesRead = 0;  // through held files
    bool ended = false;

    // --- platform::Platform ---
    std::optional<platform::RegistryData> readRegistry(platform::RegistryRoot root,
                                                       std::string_view subKey,
                                                       std::string_view valueName) override;
    std::string windowsDirectory() override { return windowsDir; }
    std::string shortPathName(std::string_view path) override;
    std::string ansiToUtf8(std::string_view ansi) override;
    std::string commandArguments() override { return {}; }
    std::string executableFolder() override { return exeFolder; }
    std::string executableTitle() override { return exeTitle; }
    std::string packageSeal() override { return seal; }
    bool normalFileExists(std::string_view path) override;
    bool fileInUse(std::string_view path) override;
    std::unique_ptr<platform::HeldFile> holdFile(std::string_view path,
                                                 std::uint32_t& error) override;
    std::unique_ptr<platform::HeldFile> holdToRemove(std::string_view path,
                                                     std::uint32_t& error) override;
    std::unique_ptr<platform::HeldFile> holdForReading(std::string_view path,
                                                       std::uint32_t& error) override;
    std::unique_ptr<platform::HeldFile> holdExecutable(std::uint32_t& error) override;
    bool isRunningProgram(platform::HeldFile& file) override;
    std::unique_ptr<platform::NewFile> createCopy(std::string_view path, platform::HeldFile& source,
                                                  std::uint32_t& error, platform::FileAccess access,
                                                  const platform::CopyProgress& progress) override;
    void appendAnsiText(std::string_view path, std::string_view utf8Text) override;
    std::uint32_t deleteAtReboot(std::string_view path) override;
    void startProgram(std::string_view commandLine, platform::WindowStyle style) override;
    void processPendingEvents() override;
    bool requestReboot() override;

    // --- platform::UserInterface ---
    int messageBox(std::string_view text, int style, std::string_view title) override;
    [[noreturn]] void endProgram() override;

  private:
    friend class FakeHeldFile;
    friend class FakeNewFile;
    static std::string key(std::string_view path);
    static std::string folderOf(std::string_view path);
    bool folderExists(std::string_view folder) const;
    // The file at path, or null. A file's object is its identity: a file put
    // at a held file's path is another file.
    std::shared_ptr<File> entry(std::string_view path) const;
    void erase(std::string_view path, const std::shared_ptr<File>& which);

    std::map<std::string, std::shared_ptr<File>> files_;  // by lower-case path
    std::map<std::string, platform::RegistryData> registry_;
    std::deque<int> answers_;
};

}  // namespace fake
