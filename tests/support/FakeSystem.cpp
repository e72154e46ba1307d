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
constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kWriteProtect = 19;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kFileExists = 80;
constexpr std::uint32_t kDiskFull = 112;
}  // namespace

std::string FakeSystem::key(std::string_view path) {
    std::string k(path);
    std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
    return k;
}

std::string FakeSystem::folderOf(std::string_view path) {
    const auto slash = path.rfind('\\');
    if (slash == std::string_view::npos) return {};
    // A drive root keeps its backslash: C:\ is the folder of C:\x.
    return std::string(path.substr(0, slash == 2 ? 3 : slash));
}

bool FakeSystem::folderExists(std::string_view folder) const {
    if (folder.size() <= 3 || key(folder) == key(windowsDir)) return true;
    const auto f = entry(folder);
    return f && f->folder;
}

std::shared_ptr<File> FakeSystem::entry(std::string_view path) const {
    const auto it = files_.find(key(path));
    return it == files_.end() ? nullptr : it->second;
}

void FakeSystem::erase(std::string_view path, const std::shared_ptr<File>& which) {
    const auto it = files_.find(key(path));
    if (it != files_.end() && it->second == which) files_.erase(it);
}

void FakeSystem::putFile(const std::string& path, std::string bytes, File attributes) {
    attributes.bytes = std::move(bytes);
    // The folders on the way, as a test fixture would make them.
    for (auto f = folderOf(path); !folderExists(f); f = folderOf(f)) putFolder(f);
    files_[key(path)] = std::make_shared<File>(std::move(attributes));
}

void FakeSystem::putFolder(const std::string& path) {
    File f;
    f.folder = true;
    files_[key(path)] = std::make_shared<File>(f);
}

void FakeSystem::setRegistryString(const std::string& k, const std::string& name,
                                   const std::string& text) {
    registry_[key(k + "\\" + name)] = {platform::kRegSz, text + std::string(1, '\0')};
}

std::string FakeSystem::contents(const std::string& path) const {
    const File* f = file(path);
    return f ? f->bytes : std::string{};
}

bool FakeSystem::anyStaged() const {
    return std::any_of(files_.begin(), files_.end(),
                       [](const auto& f) { return f.second->staged; });
}

std::optional<platform::RegistryData> FakeSystem::readRegistry(platform::RegistryRoot root,
                                                               std::string_view subKey,
                                                               std::string_view valueName) {
    const std::string name = std::string(subKey) + "\\" + std::string(valueName);
    registryReads.push_back(name);
    const auto it = registry_.find(key(name));
    if (root != platform::RegistryRoot::LocalMachine || it == registry_.end()) return std::nullopt;
    return it->second;
}

std::string FakeSystem::shortPathName(std::string_view path) {
    // Not 8.3, but distinct from the long form so that tests tell them apart.
    return exists(std::string(path)) ? "SHORT:" + std::string(path) : std::string();
}

std::string FakeSystem::ansiToUtf8(std::string_view ansi) {
    // The Western code page is Latin-1 for the letters Portuguese uses.
    std::string out;
    for (unsigned char c : ansi) {
        if (c >= 0x80) out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(c < 0x80 ? c : 0x80 | (c & 0x3F));
    }
    return out;
}

bool FakeSystem::normalFileExists(std::string_view path) {
    const File* f = file(std::string(path));
    namespace a = platform::attribute;
    return f && platform::IsOrdinaryFile((f->hidden ? a::Hidden : 0) | (f->system ? a::System : 0) |
                                         (f->folder ? a::Directory : 0));
}

bool FakeSystem::fileInUse(std::string_view path) {
    const auto f = entry(path);
    return f && (f->locked || f->holds > 0 || f->staged);
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
    std::size_t readInto(std::uint64_t offset, std::span<char> into) override {
        if (!file_) throw platform::SystemError("read of a released file", kInvalidHandle);
        if (offset >= file_->bytes.size()) return 0;
        const std::size_t got = file_->bytes.copy(into.data(), into.size(), offset);
        system_.bytesRead += got;
        return got;
    }
    std::uint32_t remove() override {
        if (!file_) return kInvalidHandle;
        if (file_->readOnlyMedia) return kWriteProtect;
        if (file_->locked) return kSharingViolation;
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
        if (const auto old = system_.entry(target)) {
            if (old->folder) return kAccessDenied;
            if (old->locked || old->holds > 0) return kSharingViolation;
            if (old->readOnlyMedia) return kWriteProtect;
        }
        if (!system_.folderExists(FakeSystem::folderOf(target))) return kPathNotFound;
        system_.erase(path_, file_);
        file_->staged = false;
        system_.files_[FakeSystem::key(target)] = std::move(file_);
        return 0;
    }

    std::unique_ptr<platform::HeldFile> keep(std::uint32_t& error) override {
        error = 0;
        file_->staged = false;
        return std::make_unique<FakeHeldFile>(system_, path_, std::move(file_));
    }

  private:
    FakeSystem& system_;
    std::string path_;
    std::shared_ptr<File> file_;
};

std::unique_ptr<platform::HeldFile> FakeSystem::holdFile(std::string_view path,
                                                         std::uint32_t& error) {
    const auto f = entry(path);
    error = !f          ? (folderExists(folderOf(path)) ? kFileNotFound : kPathNotFound)
            : f->folder ? kAccessDenied
            : f->holds > 0 || f->staged ? kSharingViolation  // a hold shares no deletion
                                        : 0;
    return error ? nullptr : std::make_unique<FakeHeldFile>(*this, std::string(path), f);
}

std::unique_ptr<platform::HeldFile> FakeSystem::holdToRemove(std::string_view path,
                                                             std::uint32_t& error) {
    const auto f = entry(path);
    if (f && f->locked) {
        error = kSharingViolation;
        return nullptr;
    }
    return holdFile(path, error);
}

std::unique_ptr<platform::HeldFile> FakeSystem::holdForReading(std::string_view path,
                                                               std::uint32_t& error) {
    return holdFile(path, error);
}

std::unique_ptr<platform::HeldFile> FakeSystem::holdExecutable(std::uint32_t& error) {
    const std::string self =
        exeFolder + (exeFolder.ends_with('\\') ? "" : "\\") + exeTitle + ".exe";
    // The running program's file is there: it was started from it.
    if (!exists(self)) putFile(self, image);
    return holdFile(self, error);
}

bool FakeSystem::isRunningProgram(platform::HeldFile& file) {
    return file.read(0, file.size()) == image;
}

std::unique_ptr<platform::NewFile> FakeSystem::createCopy(std::string_view path,
                                                          platform::HeldFile& source,
                                                          std::uint32_t& error,
                                                          platform::FileAccess access,
                                                          const platform::CopyProgress& progress) {
    const std::string p(path);
    error = failCopiesWith                            ? failCopiesWith
            : exists(p)                               ? kFileExists
            : p.empty() || !folderExists(folderOf(p)) ? kPathNotFound
                                                      : 0;
    if (error != 0) return nullptr;
    File made;
    made.staged = true;
    made.access = access;
    putFile(p, {}, made);
    // Read once from the start to the end, in pieces, reporting on the way.
    const std::uint64_t size = source.size();
    for (std::uint64_t offset = 0;;) {
        if (progress) progress(offset, size);
        if (whileCopying) whileCopying();
        if (offset >= size) break;
        const std::string piece = source.read(offset, 1 << 20);
        offset += piece.size();
        if (offset > diskSpace) {
            erase(p, entry(p));
            error = kDiskFull;
            return nullptr;
        }
        entry(p)->bytes += piece;
    }
    ++copiesMade;
    return std::make_unique<FakeNewFile>(*this, p, entry(p));
}

void FakeSystem::appendAnsiText(std::string_view path, std::string_view utf8Text) {
    const std::string p(path);
    const auto f = entry(p);
    if (!folderExists(folderOf(p)) || (f && (f->folder || f->readOnly || f->locked)))
        throw platform::SystemError("append " + p, kAccessDenied);
    if (!f) putFile(p, {});
    entry(p)->bytes += utf8Text;
}

std::uint32_t FakeSystem::deleteAtReboot(std::string_view path) {
    if (deleteAtRebootError == 0) rebootDeletes.emplace_back(path);
    return deleteAtRebootError;
}

void FakeSystem::startProgram(std::string_view commandLine, platform::WindowStyle style) {
    if (failStarts > 0 || failStartsWith != 0) {
        const std::uint32_t code = failStarts-- > 0 ? kFileNotFound : failStartsWith;
        throw platform::SystemError("start " + std::string(commandLine), code);
    }
    started.push_back({std::string(commandLine), style});
}

void FakeSystem::processPendingEvents() {
    ++pendingEventsProcessed;
    if (onPendingEvents) onPendingEvents();
}

bool FakeSystem::requestReboot() {
    ++reboots;
    return rebootAccepted;
}

int FakeSystem::messageBox(std::string_view text, int style, std::string_view title) {
    Message m{std::string(text), style, std::string(title)};
    messages.push_back(m);
    if (onMessage) onMessage(m);
    // A box with only an OK button has one answer; any other needs a script.
    if ((style & 0xF) == platform::mb::OkOnly) return platform::Ok;
    if (answers_.empty()) {
        ADD_FAILURE() << "unexpected message box: " << m.title << ": " << m.text;
        return platform::Cancel;
    }
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void FakeSystem::endProgram() {
    ended = true;
    throw ProgramEnded{};
}

}  // namespace fake
