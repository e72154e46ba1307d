#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "platform/SystemError.h"

namespace fake {

namespace {
// Win32 error codes the fake reports, as Windows does.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kFileExists = 80;

std::string registryKey(platform::RegistryRoot root, std::string_view key, std::string_view name) {
    std::string k = std::to_string(static_cast<std::uint32_t>(root)) + "\\" + std::string(key) +
                    "\\\\" + std::string(name);
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
    return k;
}
}  // namespace

std::string FakeSystem::key(std::string_view path) {
    std::string k(path);
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
    return k;
}

std::string FakeSystem::folderOf(const std::string& path) {
    const auto slash = path.rfind('\\');
    if (slash == std::string::npos) return {};
    // A drive root keeps its backslash: C:\ is the folder of C:\x.
    return path.substr(0, slash == 2 ? 3 : slash);
}

bool FakeSystem::folderExists(const std::string& folder) const {
    if (folder.size() <= 3) return true;  // drive roots always exist
    if (key(folder) == key(windowsDir)) return true;
    const auto it = files_.find(key(folder));
    return it != files_.end() && it->second.folder;
}

void FakeSystem::putFile(const std::string& path, std::string bytes, File attributes) {
    attributes.bytes = std::move(bytes);
    // Make the folders on the way, like a test fixture would.
    for (auto f = folderOf(path); f.size() > 3 && !folderExists(f); f = folderOf(f)) putFolder(f);
    files_[key(path)] = std::move(attributes);
    names_[key(path)] = path;
}

void FakeSystem::putFolder(const std::string& path) {
    File f;
    f.folder = true;
    files_[key(path)] = f;
    names_[key(path)] = path;
}

void FakeSystem::setRegistry(platform::RegistryRoot root, const std::string& k,
                             const std::string& name, platform::RegistryData value) {
    registry_[registryKey(root, k, name)] = std::move(value);
}

void FakeSystem::setRegistryString(const std::string& k, const std::string& name,
                                   const std::string& text) {
    setRegistry(platform::RegistryRoot::LocalMachine, k, name,
                {platform::kRegSz, text + std::string(1, '\0')});
}

bool FakeSystem::exists(const std::string& path) const { return files_.count(key(path)) != 0; }

const File* FakeSystem::file(const std::string& path) const {
    const auto it = files_.find(key(path));
    return it == files_.end() ? nullptr : &it->second;
}

std::string FakeSystem::contents(const std::string& path) const {
    const File* f = file(path);
    return f ? f->bytes : std::string{};
}

std::optional<platform::RegistryData> FakeSystem::readRegistry(platform::RegistryRoot root,
                                                               std::string_view subKey,
                                                               std::string_view valueName) {
    registryReads.push_back(std::string(subKey) + "\\" + std::string(valueName));
    const auto it = registry_.find(registryKey(root, subKey, valueName));
    if (it == registry_.end()) return std::nullopt;
    return it->second;
}

std::string FakeSystem::shortPathName(std::string_view path) {
    if (!exists(std::string(path))) return {};
    // Not 8.3, but distinct from the long form so tests can tell them apart.
    return "SHORT:" + std::string(path);
}

std::string FakeSystem::ansiToUtf8(std::string_view ansi) {
    // Latin-1 to UTF-8 is what the Western code page does for the letters
    // Portuguese uses.
    std::string out;
    for (unsigned char c : ansi) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool FakeSystem::normalFileExists(std::string_view path) {
    const File* f = file(std::string(path));
    return f && !f->folder && !f->hidden && !f->system;
}

platform::DeleteResult FakeSystem::deleteFile(std::string_view path) {
    const auto it = files_.find(key(path));
    if (it == files_.end()) {
        const bool folderMissing = !folderExists(folderOf(std::string(path)));
        return {platform::DeleteOutcome::NotFound, folderMissing ? kPathNotFound : kFileNotFound};
    }
    if (it->second.folder || it->second.readOnly) return {platform::DeleteOutcome::Failed, kAccessDenied};
    if (it->second.locked) return {platform::DeleteOutcome::Failed, kSharingViolation};
    files_.erase(it);
    names_.erase(key(path));
    return {platform::DeleteOutcome::Deleted, 0};
}

std::uint32_t FakeSystem::copyFileNoOverwrite(std::string_view from, std::string_view to) {
    if (failCopiesWith != 0) return failCopiesWith;
    const File* source = file(std::string(from));
    if (!source || source->folder) return kFileNotFound;
    if (exists(std::string(to))) return kFileExists;
    if (std::string(to).empty() || !folderExists(folderOf(std::string(to)))) return kPathNotFound;
    File copy = *source;
    copy.locked = false;
    copy.hidden = copy.system = false;
    putFile(std::string(to), copy.bytes, copy);
    return 0;
}

std::uint32_t FakeSystem::renameNoOverwrite(std::string_view from, std::string_view to) {
    const auto it = files_.find(key(from));
    if (it == files_.end()) return kFileNotFound;
    if (exists(std::string(to))) return kFileExists;
    if (!folderExists(folderOf(std::string(to)))) return kPathNotFound;
    if (it->second.locked) return kSharingViolation;
    File moved = it->second;
    files_.erase(it);
    names_.erase(key(from));
    putFile(std::string(to), moved.bytes, moved);
    return 0;
}

std::optional<std::string> FakeSystem::readFile(std::string_view path) {
    const File* f = file(std::string(path));
    if (!f || f->folder) return std::nullopt;
    return f->bytes;
}

void FakeSystem::appendAnsiText(std::string_view path, std::string_view utf8Text) {
    const std::string p(path);
    if (!folderExists(folderOf(p))) throw platform::SystemError("append " + p, kPathNotFound);
    File* f = files_.count(key(p)) ? &files_[key(p)] : nullptr;
    if (f && (f->folder || f->readOnly || f->locked))
        throw platform::SystemError("append " + p, kAccessDenied);
    if (!f) putFile(p, {});
    files_[key(p)].bytes += utf8Text;
}

bool FakeSystem::deleteAtReboot(std::string_view path) {
    if (!deleteAtRebootAccepted) return false;
    rebootDeletes.emplace_back(path);
    return true;
}

void FakeSystem::startProgram(std::string_view commandLine, platform::WindowStyle style) {
    if (failStarts > 0) {
        --failStarts;
        throw platform::SystemError("start " + std::string(commandLine), kFileNotFound);
    }
    if (failStartsWith != 0)
        throw platform::SystemError("start " + std::string(commandLine), failStartsWith);
    started.push_back({std::string(commandLine), style});
}

bool FakeSystem::requestReboot() {
    ++reboots;
    return rebootAccepted;
}

int FakeSystem::messageBox(std::string_view text, int style, std::string_view title) {
    Message m{std::string(text), style, std::string(title)};
    messages.push_back(m);
    if (answers_.empty()) {
        if ((style & 0xF) == platform::mb::OkOnly) return platform::Ok;
        ADD_FAILURE() << "unexpected message box: " << m.title << ": " << m.text;
        return platform::Ok;
    }
    if (onMessage) onMessage(m);
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void FakeSystem::endProgram() {
    ended = true;
    throw ProgramEnded{};
}

}  // namespace fake
