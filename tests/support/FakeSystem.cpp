#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "platform/FileAttributes.h"
#include "platform/SystemError.h"

namespace fake {

namespace {
// Win32 error codes the fake reports, as Windows does.
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kFileExists = 80;
constexpr std::uint32_t kDiskFull = 112;

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
    const auto f = entry(folder);
    return f && f->folder;
}

std::shared_ptr<File> FakeSystem::entry(std::string_view path) const {
    const auto it = files_.find(key(path));
    return it == files_.end() ? nullptr : it->second;
}

void FakeSystem::erase(std::string_view path, const std::shared_ptr<File>& which) {
    const auto it = files_.find(key(path));
    if (it == files_.end() || it->second != which) return;
    files_.erase(it);
    names_.erase(key(path));
}

void FakeSystem::putFile(const std::string& path, std::string bytes, File attributes) {
    attributes.bytes = std::move(bytes);
    // Make the folders on the way, like a test fixture would.
    for (auto f = folderOf(path); f.size() > 3 && !folderExists(f); f = folderOf(f)) putFolder(f);
    files_[key(path)] = std::make_shared<File>(std::move(attributes));
    names_[key(path)] = path;
}

void FakeSystem::putFolder(const std::string& path) {
    File f;
    f.folder = true;
    files_[key(path)] = std::make_shared<File>(f);
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

bool FakeSystem::exists(const std::string& path) const {
    return files_.count(key(path)) != 0;
}

const File* FakeSystem::file(const std::string& path) const {
    return entry(path).get();
}

bool FakeSystem::anyStaged() const {
    return std::any_of(files_.begin(), files_.end(),
                       [](const auto& f) { return f.second->staged; });
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
    if (!f) return false;
    using namespace platform::attribute;
    return platform::IsOrdinaryFile((f->hidden ? Hidden : 0) | (f->system ? System : 0) |
                                    (f->folder ? Directory : 0) | (f->readOnly ? ReadOnly : 0));
}

platform::DeleteResult FakeSystem::deleteFile(std::string_view path) {
    const auto f = entry(path);
    if (!f) {
        const bool folderMissing = !folderExists(folderOf(std::string(path)));
        return {platform::DeleteOutcome::NotFound, folderMissing ? kPathNotFound : kFileNotFound};
    }
    if (f->folder || f->readOnly) return {platform::DeleteOutcome::Failed, kAccessDenied};
    if (f->locked || f->holds > 0 || f->staged)
        return {platform::DeleteOutcome::Failed, kSharingViolation};
    erase(path, f);
    return {platform::DeleteOutcome::Deleted, 0};
}

// A held file: keeps its bytes whatever is put at its path later, as an
// open handle does.
class FakeHeldFile final : public platform::HeldFile {
  public:
    FakeHeldFile(FakeSystem& system, std::string path, std::shared_ptr<File> file)
        : system_(system), path_(std::move(path)), file_(std::move(file)) {
        ++file_->holds;
    }
    ~FakeHeldFile() override { release(); }

    std::uint64_t size() override { return file_ ? file_->bytes.size() : 0; }
    std::string read(std::uint64_t offset, std::size_t length) override {
        if (!file_) throw platform::SystemError("read of a released file", 6);
        if (offset >= file_->bytes.size()) return {};
        std::string bytes = file_->bytes.substr(static_cast<std::size_t>(offset), length);
        system_.bytesRead += bytes.size();
        return bytes;
    }
    std::uint32_t remove() override {
        if (!file_) return 6;                 // ERROR_INVALID_HANDLE
        if (file_->readOnlyMedia) return 19;  // ERROR_WRITE_PROTECT
        if (file_->locked) return kSharingViolation;
        file_->readOnly = false;
        system_.erase(path_, file_);
        release();
        return 0;
    }

  private:
    void release() {
        if (file_) --file_->holds;
        file_.reset();
    }

    FakeSystem& system_;
    std::string path_;
    std::shared_ptr<File> file_;
};

// A file being written: in its folder under its name while it lives, gone
// when it is let go unless kept or put in place.
class FakeNewFile final : public platform::NewFile {
  public:
    FakeNewFile(FakeSystem& system, std::string path, std::shared_ptr<File> file)
        : system_(system), path_(std::move(path)), file_(std::move(file)) {}
    ~FakeNewFile() override {
        if (file_) system_.erase(path_, file_);
    }

    std::uint32_t replace(std::string_view target) override {
        if (!file_) return 6;
        if (const auto old = system_.entry(target)) {
            if (old->folder) return kAccessDenied;
            if (old->locked || old->holds > 0) return kSharingViolation;
            if (old->readOnlyMedia) return 19;
        }
        if (!system_.folderExists(FakeSystem::folderOf(std::string(target)))) return kPathNotFound;
        system_.erase(path_, file_);
        file_->staged = false;
        system_.files_[FakeSystem::key(target)] = file_;
        system_.names_[FakeSystem::key(target)] = std::string(target);
        ++system_.replacements;
        file_.reset();
        return 0;
    }

    std::unique_ptr<platform::HeldFile> keep(std::uint32_t& error) override {
        error = 0;
        if (!file_) {
            error = 6;
            return nullptr;
        }
        file_->staged = false;
        auto held = std::make_unique<FakeHeldFile>(system_, path_, file_);
        file_.reset();
        return held;
    }

  private:
    FakeSystem& system_;
    std::string path_;
    std::shared_ptr<File> file_;
};

std::unique_ptr<platform::HeldFile> FakeSystem::holdFile(std::string_view path,
                                                         std::uint32_t& error) {
    error = 0;
    const auto f = entry(path);
    if (!f) {
        error = folderExists(folderOf(std::string(path))) ? kFileNotFound : kPathNotFound;
        return nullptr;
    }
    if (f->folder) {
        error = kAccessDenied;
        return nullptr;
    }
    // A second hold would have to share the first one's right to delete.
    if (f->holds > 0 || f->staged) {
        error = kSharingViolation;
        return nullptr;
    }
    return std::make_unique<FakeHeldFile>(*this, std::string(path), f);
}

std::unique_ptr<platform::HeldFile> FakeSystem::holdForReading(std::string_view path,
                                                               std::uint32_t& error) {
    const auto f = entry(path);
    // Reading is refused where a reader could not open it: held by another
    // program that shares nothing, or by the updater itself.
    if (f && (f->holds > 0 || f->staged)) {
        error = kSharingViolation;
        return nullptr;
    }
    return holdFile(path, error);
}

std::unique_ptr<platform::HeldFile> FakeSystem::holdExecutable(std::uint32_t& error) {
    const std::string self =
        exeFolder + (exeFolder.ends_with('\\') ? "" : "\\") + exeTitle + ".exe";
    // The running program's file is there: it was started from it.
    if (!exists(self)) putFile(self, executableBytes);
    return holdFile(self, error);
}

std::unique_ptr<platform::NewFile> FakeSystem::createCopy(std::string_view path,
                                                          platform::HeldFile& source,
                                                          std::uint32_t& error) {
    error = 0;
    const std::string p(path);
    if (failCopiesWith != 0)
        error = failCopiesWith;
    else if (exists(p))
        error = kFileExists;
    else if (p.empty() || !folderExists(folderOf(p)))
        error = kPathNotFound;
    else if (source.size() > diskSpace)
        error = kDiskFull;
    if (error != 0) return nullptr;
    File made;
    made.staged = true;
    putFile(p, source.read(0, static_cast<std::size_t>(source.size())), made);
    ++copiesMade;
    return std::make_unique<FakeNewFile>(*this, p, entry(p));
}

void FakeSystem::appendAnsiText(std::string_view path, std::string_view utf8Text) {
    const std::string p(path);
    if (!folderExists(folderOf(p))) throw platform::SystemError("append " + p, kPathNotFound);
    const auto f = entry(p);
    if (f && (f->folder || f->readOnly || f->locked))
        throw platform::SystemError("append " + p, kAccessDenied);
    if (!f) putFile(p, {});
    entry(p)->bytes += utf8Text;
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
