#include "FakeSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/FileAttributes.h"
#include "platform/SystemError.h"

namespace fake {

// The Win32 error codes Windows reports for the same failures.
constexpr std::uint32_t kFileNotFound = 2, kPathNotFound = 3, kAccessDenied = 5, kInvalidHandle = 6,
                        kWriteProtect = 19, kSharingViolation = 32, kFileExists = 80,
                        kDiskFull = 112;

std::string FakeSystem::folderOf(std::string_view path) {
    const auto slash = path.rfind('\\');
    if (slash == std::string_view::npos) return {};
    // A drive root keeps its backslash: C:\ is the folder of C:\x.
    return std::string(path.substr(0, slash == 2 ? 3 : slash));
}

bool FakeSystem::folderExists(std::string_view folder) const {
    if (folder.size() <= 3 || folder == "C:\\WINDOWS") return true;
    const auto f = entry(folder);
    return f && f->folder;
}

void FakeSystem::putFile(const std::string& path, std::string bytes, File attributes) {
    attributes.bytes = std::move(bytes);
    for (auto f = folderOf(path); !folderExists(f); f = folderOf(f)) putFolder(f);
    files_[path] = std::make_shared<File>(std::move(attributes));
}

bool FakeSystem::anyStaged() const {
    return std::any_of(files_.begin(), files_.end(),
                       [](const auto& f) { return f.second->staged; });
}

std::optional<platform::RegistryData> FakeSystem::readRegistry(platform::RegistryRoot root,
                                                               std::string_view subKey,
                                                               std::string_view valueName) {
    const std::string name = std::string(subKey) + "\\" + std::string(valueName);
    const auto it = registry_.find(name);
    if (root != platform::RegistryRoot::LocalMachine || it == registry_.end()) return std::nullopt;
    return it->second;
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
    return f &&
           platform::IsOrdinaryFile((f->hidden ? a::Hidden : 0) | (f->folder ? a::Directory : 0));
}

// A held file: keeps its bytes whatever is put at its path later, as an
// open handle does.
struct FakeHeldFile final : platform::HeldFile {
    FakeHeldFile(FakeSystem& system, std::string path, std::shared_ptr<File> file)
        : system_(system), path_(std::move(path)), file_(std::move(file)) {
        ++file_->holds;
    }
    ~FakeHeldFile() override {
        if (file_) --file_->holds;
    }

    std::uint64_t size() override { return file_ ? file_->bytes.size() : 0; }
    std::size_t readInto(std::uint64_t offset, std::span<char> into) override {
        if (!file_ || offset >= file_->bytes.size()) return 0;
        return file_->bytes.copy(into.data(), into.size(), offset);
    }
    std::uint32_t remove() override {
        if (!file_) return kInvalidHandle;
        if (file_->readOnlyMedia) return kWriteProtect;
        if (file_->locked) return kSharingViolation;
        system_.erase(path_, file_);
        --file_->holds;
        file_.reset();
        return 0;
    }

    FakeSystem& system_;
    std::string path_;
    std::shared_ptr<File> file_;
};

// A file being written: in its folder under its name while it lives, gone
// when it is let go unless kept or put in place.
struct FakeNewFile final : platform::NewFile {
    FakeNewFile(FakeSystem& system, std::string path, std::shared_ptr<File> file)
        : system_(system), path_(std::move(path)), file_(std::move(file)) {}
    ~FakeNewFile() override {
        if (file_) system_.erase(path_, file_);
    }

    std::uint32_t replace(std::string_view target) override {
        const auto old = system_.entry(target);
        if (old && (old->locked || old->holds > 0)) return kSharingViolation;
        system_.erase(path_, file_);
        file_->staged = false;
        system_.files_[std::string(target)] = std::move(file_);
        return 0;
    }

    std::unique_ptr<platform::HeldFile> keep(std::uint32_t& error) override {
        error = 0;
        file_->staged = false;
        return std::make_unique<FakeHeldFile>(system_, path_, std::move(file_));
    }

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

std::unique_ptr<platform::HeldFile> FakeSystem::holdExecutable(std::uint32_t& error) {
    const std::string self = exeFolder + "\\Atualizador.exe";
    if (!exists(self)) putFile(self, image);
    return holdFile(self, error);
}

std::unique_ptr<platform::NewFile> FakeSystem::createCopy(std::string_view path,
                                                          platform::HeldFile& source,
                                                          std::uint32_t& error,
                                                          platform::FileAccess access,
                                                          const platform::CopyProgress& progress) {
    const std::string p(path);
    error = exists(p) ? kFileExists : !folderExists(folderOf(p)) ? kPathNotFound : 0;
    if (error != 0) return nullptr;
    File made;
    made.staged = true;
    made.access = access;
    putFile(p, {}, made);
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
    const auto f = entry(path);
    if (f && f->locked) throw platform::SystemError("append", kAccessDenied);
    if (!f) putFile(std::string(path), {});
    entry(path)->bytes += utf8Text;
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

}  // namespace fake
