#include "platform/win32/Win32NewFile.h"

#include <sddl.h>

#include <atomic>
#include <vector>

#include "platform/FileSecurity.h"
#include "platform/SystemError.h"
#include "platform/win32/FileIdentity.h"
#include "platform/win32/Handles.h"
#include "platform/win32/LastError.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32HeldFile.h"
#include "platform/win32/WindowEvents.h"

namespace platform::win32 {

namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FILE_DISPOSITION_INFO_EX, Windows 10 1709 on; the headers name it only
// for programs that require that version.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1, kDispositionOnClose = 0x8;

// Whether the system deletes the file when its last handle closes. Set
// while the file is being written, so that a program that dies half-way
// leaves nothing behind; cleared just before the file takes its place. A
// file made with FILE_FLAG_DELETE_ON_CLOSE (`fromCreation`) has that order
// from its first instant, and only FILE_DISPOSITION_ON_CLOSE changes it: a
// plain disposition has no effect on it.
bool DeleteOnClose(HANDLE file, bool on, bool fromCreation) {
    if (fromCreation) {
        DWORD flags = kDispositionOnClose | (on ? kDispositionDelete : 0);
        return ::SetFileInformationByHandle(file, kFileDispositionInfoEx, &flags, sizeof flags) !=
               FALSE;
    }
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = on ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose) !=
           FALSE;
}

DWORD WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kChunk));
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return LastErrorOr(ERROR_WRITE_FAULT);
        bytes.remove_prefix(written);
    }
    return 0;
}

// Copies `source` into `file` from its start to its end, flushed, counting
// what it wrote in `copied`. Runs on a thread of its own. One buffer serves
// every piece: a new one each time costs more than the copy itself.
DWORD CopyInto(HANDLE file, HeldFile& source, std::uint64_t size,
               std::atomic<std::uint64_t>& copied) {
    std::vector<char> buffer(kChunk);
    try {
        for (std::uint64_t offset = 0; offset < size;) {
            const std::size_t got = source.readInto(offset, buffer);
            if (got == 0) return ERROR_HANDLE_EOF;  // shorter than it said
            if (const DWORD error = WriteAll(file, {buffer.data(), got}); error != 0) return error;
            offset += got;
            copied = offset;
        }
    } catch (const SystemError& e) {
        return e.code();
    }
    return ::FlushFileBuffers(file) ? 0 : LastErrorOr(ERROR_WRITE_FAULT);
}

// Clears the read-only attribute of the file at `target` so that it can be
// replaced, and tells whether another program holds it: opening it for
// deletion fails exactly when deleting it would. Returns 0 (also when there
// is nothing at `target`) or the system's error code.
DWORD PrepareTarget(const std::wstring& target, DWORD& restoreAttributes) {
    restoreAttributes = 0;
    UniqueHandle file(::CreateFileW(target.c_str(),
                                    DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = LastErrorOr(ERROR_GEN_FAILURE);
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    return ClearReadOnly(file.get(), restoreAttributes);
}

DWORD RenameOver(HANDLE file, const std::wstring& target) {
    const std::wstring name = NtPathOf(target);
    if (name.empty()) return LastErrorOr(ERROR_INVALID_NAME);
    const std::size_t bytes = name.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(bytes);
    std::copy(name.begin(), name.end(), rename->FileName);
    if (!::SetFileInformationByHandle(file, FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())))
        return LastErrorOr(ERROR_GEN_FAILURE);
    return 0;
}

class Win32NewFile final : public NewFile {
  public:
    Win32NewFile(UniqueHandle file, std::wstring path, bool fromCreation)
        : file_(std::move(file)), path_(std::move(path)), fromCreation_(fromCreation) {}

    std::uint32_t replace(std::string_view target) override {
        if (!file_) return ERROR_INVALID_HANDLE;
        const std::wstring wideTarget = Widen(target);
        DWORD readOnly = 0;
        if (const DWORD error = PrepareTarget(wideTarget, readOnly); error != 0) return error;
        DWORD error =
            DeleteOnClose(file_.get(), false, fromCreation_) ? 0 : LastErrorOr(ERROR_GEN_FAILURE);
        if (error == 0) error = RenameOver(file_.get(), wideTarget);
        if (error != 0) {
            // The target stays as it was, read-only attribute included, and
            // this file goes again when it is let go.
            DeleteOnClose(file_.get(), true, fromCreation_);
            if (readOnly != 0) ::SetFileAttributesW(wideTarget.c_str(), readOnly);
            return error;
        }
        // The data was flushed before the rename; this flush is for the
        // rename itself. The new file is in place whatever it returns.
        ::FlushFileBuffers(file_.get());
        file_.reset();
        return 0;
    }

    std::unique_ptr<HeldFile> keep(std::uint32_t& error) override {
        error = 0;
        // A file open for writing cannot be started as a program, so the
        // writing handle goes. The file is held throughout by handles opened
        // from this one, never again by its name (a link put in its folder's
        // place would lead that elsewhere), and goes should a step fail: a
        // copy left unheld would be left without its deletion order.
        if (!file_ || !DeleteOnClose(file_.get(), false, fromCreation_)) {
            error = LastErrorOr(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        // A reader sharing everything while the writer is still open...
        UniqueHandle reader(::ReOpenFile(file_.get(), GENERIC_READ, kShareAll, 0));
        if (!reader) {
            error = LastErrorOr(ERROR_GEN_FAILURE);
            DeleteOnClose(file_.get(), true, fromCreation_);
            return nullptr;
        }
        file_.reset();
        // ...then the hold, which shares reading alone.
        UniqueHandle held(::ReOpenFile(reader.get(), kHoldAccess, FILE_SHARE_READ, 0));
        if (!held) {
            error = LastErrorOr(ERROR_GEN_FAILURE);
            if (UniqueHandle doomed{::ReOpenFile(reader.get(), DELETE, kShareAll, 0)})
                DeleteOnClose(doomed.get(), true, false);
            return nullptr;
        }
        return HoldOpen(std::move(held), path_);
    }

  private:
    UniqueHandle file_;
    std::wstring path_;
    bool fromCreation_;
};

}  // namespace

std::unique_ptr<NewFile> CreateCopy(const std::wstring& path, HeldFile& source, DWORD& error,
                                    FileAccess access, const CopyProgress& progress) {
    error = 0;
    // The descriptor is the file's from the call that makes it: there is no
    // moment in which another account could open it.
    UniqueLocal descriptor;
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
    if (access == FileAccess::AdministratorsOnly) {
        if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                Widen(kAdministratorsOnly).c_str(), SDDL_REVISION_1,
                reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put()), nullptr)) {
            error = LastErrorOr(ERROR_INVALID_SECURITY_DESCR);
            return nullptr;
        }
        security.lpSecurityDescriptor = descriptor.get();
    }
    // CREATE_NEW never opens what is there, be it a file, a folder or a link.
    // Shared with readers, which change nothing, so that keep() can open
    // the hold from this handle.
    const auto create = [&](DWORD flags) {
        return UniqueHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                          FILE_SHARE_READ, descriptor ? &security : nullptr,
                                          CREATE_NEW, flags, nullptr));
    };
    // The file is the system's to delete from the call that makes it, so
    // that a program killed at any moment leaves nothing beside the
    // database, where the system can take that order back later (Windows
    // 10 1709 on: setting it again tells). Elsewhere, older Windows and
    // Wine, that first file goes as it closes, and the order follows the
    // call that makes the second.
    bool fromCreation = true;
    UniqueHandle file = create(FILE_FLAG_DELETE_ON_CLOSE);
    if (file && !DeleteOnClose(file.get(), true, true)) {
        fromCreation = false;
        file.reset();
        file = create(FILE_ATTRIBUTE_NORMAL);
        if (file && !DeleteOnClose(file.get(), true, false)) {
            // Not expected of a handle with the right to delete; the empty
            // file then stays, since nothing but this handle proves it is ours.
            error = LastErrorOr(ERROR_GEN_FAILURE);
            return nullptr;
        }
    }
    if (!file) {
        error = LastErrorOr(ERROR_GEN_FAILURE);
        return nullptr;
    }
    std::uint64_t size = 0;
    try {
        size = source.size();
    } catch (const SystemError& e) {
        error = e.code();
        return nullptr;
    }
    std::atomic<std::uint64_t> copied{0};
    DWORD copyError = 0;
    RunAnswering([&] { copyError = CopyInto(file.get(), source, size, copied); },
                 [&] {
                     if (progress) progress(copied.load(), size);
                 });
    if (copyError != 0) {
        error = copyError;
        return nullptr;  // the file goes as its handle closes
    }
    return std::make_unique<Win32NewFile>(std::move(file), path, fromCreation);
}

}  // namespace platform::win32
