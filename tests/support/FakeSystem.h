#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/SystemError.h"
#include "platform/UserInterface.h"

namespace fake {

// Thrown by FakeSystem::endProgram. Deliberately not a std::exception: code
// that traps run-time errors must never trap the end of the program.
struct ProgramEnded {};

struct File {
    std::string bytes;
    bool hidden = false;
    bool folder = false;
    bool locked = false;         // held open by another program without sharing
    bool readOnlyMedia = false;  // on a disc or share that refuses changes altogether
    bool staged = false;         // written by a NewFile not yet kept or put in place
    int holds = 0;               // HeldFiles open on it
    platform::FileAccess access = platform::FileAccess::AsTheFolder;
};

inline File With(bool File::*attribute) {
    File f;
    if (attribute) f.*attribute = true;
    return f;
}

struct Message {
    std::string text;
    int style = 0;
    std::string title;
};

// The whole platform in memory: files, a registry, the program's identity,
// started programs and message boxes with scripted answers. Drive roots and
// the Windows folder always exist.
class FakeSystem : public platform::Platform, public platform::UserInterface {
  public:
    // Makes the folders on the way.
    void putFile(const std::string& path, std::string bytes, File attributes = {});
    void putFolder(const std::string& path) { putFile(path, {}, With(&File::folder)); }
    // A REG_SZ under HKEY_LOCAL_MACHINE, with its terminating NUL.
    void setRegistryString(const std::string& key, const std::string& name,
                           const std::string& text) {
        registry_[key + "\\" + name] = {platform::kRegSz, text + std::string(1, '\0')};
    }
    // Answers for the next boxes with more than an OK button; such a box
    // without one fails the test.
    void answer(int button) { answers_.push_back(button); }
    // Run as each box opens, as the program lets pending events through and
    // during a copy: the world changed or a click delivered meanwhile.
    std::function<void(const Message&)> onMessage;
    std::function<void()> onPendingEvents;
    std::function<void()> whileCopying;
    std::string exeFolder = "C:\\Update";
    std::string seal;  // the program's package seal; empty: no release
    // The running program's bytes, put at its path when nothing is.
    std::string image = "MZ the updater";
    bool rebootAccepted = true;
    std::uint32_t deleteAtRebootError = 0;
    std::uint64_t diskSpace = ~0ull;  // bytes a copy may write
    int failStarts = 0;               // starts that fail (not found) first

    bool exists(const std::string& path) const { return files_.count(path) != 0; }
    const File* file(const std::string& path) const { return entry(path).get(); }
    std::string contents(const std::string& path) const {
        return exists(path) ? file(path)->bytes : std::string{};
    }
    bool anyStaged() const;
    std::vector<Message> messages;
    std::vector<std::string> started;  // command lines
    std::vector<std::string> rebootDeletes;
    int reboots = 0;
    int copiesMade = 0;
    bool ended = false;

    std::optional<platform::RegistryData> readRegistry(platform::RegistryRoot root,
                                                       std::string_view subKey,
                                                       std::string_view valueName) override;
    std::string windowsDirectory() override { return "C:\\WINDOWS"; }
    // Not 8.3, but distinct from the long form so that tests tell them apart.
    std::string shortPathName(std::string_view path) override {
        return "SHORT:" + std::string(path);
    }
    std::string ansiToUtf8(std::string_view ansi) override;
    std::string commandArguments() override { return {}; }
    std::string executableFolder() override { return exeFolder; }
    std::string executableTitle() override { return "Atualizador"; }
    std::string packageSeal() override { return seal; }
    bool normalFileExists(std::string_view path) override;
    bool fileInUse(std::string_view path) override {
        const auto f = entry(path);
        return f && (f->locked || f->holds > 0 || f->staged);
    }
    std::unique_ptr<platform::HeldFile> holdFile(std::string_view path,
                                                 std::uint32_t& error) override;
    // Another program's lock refuses the removal, not the hold.
    std::unique_ptr<platform::HeldFile> holdToRemove(std::string_view path,
                                                     std::uint32_t& error) override {
        return holdFile(path, error);
    }
    std::unique_ptr<platform::HeldFile> holdForReading(std::string_view path,
                                                       std::uint32_t& error) override {
        return holdFile(path, error);
    }
    std::unique_ptr<platform::HeldFile> holdExecutable(std::uint32_t& error) override;
    bool isRunningProgram(platform::HeldFile& file) override {
        return file.read(0, file.size()) == image;
    }
    std::unique_ptr<platform::NewFile> createCopy(std::string_view path, platform::HeldFile& source,
                                                  std::uint32_t& error, platform::FileAccess access,
                                                  const platform::CopyProgress& progress) override;
    void appendAnsiText(std::string_view path, std::string_view utf8Text) override;
    std::uint32_t deleteAtReboot(std::string_view path) override {
        if (deleteAtRebootError == 0) rebootDeletes.emplace_back(path);
        return deleteAtRebootError;
    }
    void startProgram(std::string_view commandLine, platform::WindowStyle) override {
        if (failStarts-- > 0) throw platform::SystemError("start", 2);
        started.emplace_back(commandLine);
    }
    void processPendingEvents() override {
        if (onPendingEvents) onPendingEvents();
    }
    bool requestReboot() override {
        ++reboots;
        return rebootAccepted;
    }

    int messageBox(std::string_view text, int style, std::string_view title) override;
    [[noreturn]] void endProgram() override {
        ended = true;
        throw ProgramEnded{};
    }

    static std::string folderOf(std::string_view path);
    bool folderExists(std::string_view folder) const;
    // A file's object is its identity: a file put at a held file's path is
    // another file.
    std::shared_ptr<File> entry(std::string_view path) const {
        const auto it = files_.find(path);
        return it == files_.end() ? nullptr : it->second;
    }
    void erase(std::string_view path, const std::shared_ptr<File>& which) {
        if (which && entry(path) == which) files_.erase(files_.find(path));
    }

    std::map<std::string, std::shared_ptr<File>, std::less<>> files_;
    std::map<std::string, platform::RegistryData> registry_;
    std::deque<int> answers_;
};

}  // namespace fake
