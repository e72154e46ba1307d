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
    bool locked = false;         // held open by another process without delete sharing
    bool readOnly = false;       // the attribute: cannot be deleted or overwritten until cleared
    bool readOnlyMedia = false;  // on a disc or share that refuses changes altogether
    bool staged = false;         // written by a NewFile not yet kept or put in place
    int holds = 0;               // HeldFiles open on it
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
// as on Windows.
class FakeSystem : public platform::Platform, public platform::UserInterface {
  public:
    // --- set-up ---
    void putFile(const std::string& path, std::string bytes, File attributes = {});
    void putFolder(const std::string& path);
    void setRegistry(platform::RegistryRoot root, const std::string& key, const std::string& name,
                     platform::RegistryData value);
    void setRegistryString(const std::string& key, const std::string& name,
                           const std::string& text);
    // Answers for the next message boxes, in order. A box with only an OK
    // button needs none; any other box without a scripted answer fails the
    // test.
    void answer(int button) { answers_.push_back(button); }
    // Runs before a box returns, to change the world while it is open.
    std::function<void(const Message&)> onMessage;
    // Runs when the program lets pending events through (a click queued meanwhile).
    std::function<void()> onPendingEvents;
    std::string windowsDir = "C:\\WINDOWS";
    std::string arguments;
    std::string exeFolder = "C:\\Update";
    std::string exeTitle = "Atualizador";
    std::string executableBytes = "MZ the updater";  // its own file, when a test puts none
    bool rebootAccepted = true;
    bool deleteAtRebootAccepted = true;
    std::uint32_t failCopiesWith = 0;  // non-zero: every copy fails with this code
    std::uint64_t diskSpace = ~0ull;   // bytes a copy may still write
    std::uint32_t failStartsWith = 0;  // non-zero: every start fails with this code
    int failStarts = 0;                // how many starts fail before they succeed

    // --- inspection ---
    bool exists(const std::string& path) const;
    const File* file(const std::string& path) const;
    std::string contents(const std::string& path) const;
    // Whether a file being written is left anywhere (one not kept or put in place).
    bool anyStaged() const;
    std::vector<Message> messages;
    std::vector<Started> started;
    std::vector<std::string> rebootDeletes;
    std::vector<std::string> registryReads;
    int reboots = 0;
    int copiesMade = 0;           // files made by createCopy
    std::uint64_t bytesRead = 0;  // through held files
    int replacements = 0;         // NewFiles put in place
    int pendingEventsProcessed = 0;
    bool ended = false;

    // --- platform::Platform ---
    std::optional<platform::RegistryData> readRegistry(platform::RegistryRoot root,
                                                       std::string_view subKey,
                                                       std::string_view valueName) override;
    std::string windowsDirectory() override { return windowsDir; }
    std::string shortPathName(std::string_view path) override;
    std::string ansiToUtf8(std::string_view ansi) override;
    std::string commandArguments() override { return arguments; }
    std::string executableFolder() override { return exeFolder; }
    std::string executableTitle() override { return exeTitle; }
    bool normalFileExists(std::string_view path) override;
    platform::DeleteResult deleteFile(std::string_view path) override;
    std::unique_ptr<platform::HeldFile> holdFile(std::string_view path,
                                                 std::uint32_t& error) override;
    std::unique_ptr<platform::HeldFile> holdForReading(std::string_view path,
                                                       std::uint32_t& error) override;
    std::unique_ptr<platform::HeldFile> holdExecutable(std::uint32_t& error) override;
    std::unique_ptr<platform::NewFile> createCopy(std::string_view path, platform::HeldFile& source,
                                                  std::uint32_t& error) override;
    void appendAnsiText(std::string_view path, std::string_view utf8Text) override;
    bool deleteAtReboot(std::string_view path) override;
    void startProgram(std::string_view commandLine, platform::WindowStyle style) override;
    void processPendingEvents() override {
        ++pendingEventsProcessed;
        if (onPendingEvents) onPendingEvents();
    }
    bool requestReboot() override;

    // --- platform::UserInterface ---
    int messageBox(std::string_view text, int style, std::string_view title) override;
    [[noreturn]] void endProgram() override;

  private:
    friend class FakeHeldFile;
    friend class FakeNewFile;
    static std::string key(std::string_view path);
    static std::string folderOf(const std::string& path);
    bool folderExists(const std::string& folder) const;
    // The file at path, or null; a file's object is its identity: a file put
    // at a held file's path is another file.
    std::shared_ptr<File> entry(std::string_view path) const;
    void erase(std::string_view path, const std::shared_ptr<File>& which);

    std::map<std::string, std::shared_ptr<File>> files_;  // by lower-case path
    std::map<std::string, std::string> names_;            // lower-case path -> path as written
    std::map<std::string, platform::RegistryData> registry_;
    std::deque<int> answers_;
};

}  // namespace fake
