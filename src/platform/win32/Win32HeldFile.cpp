#include "platform/win32/Win32HeldFile.h"

#include <algorithm>
#include <limits>

#include "platform/SystemError.h"
#include "platform/win32/FileIdentity.h"
#include "platform/win32/Handles.h"
#include "platform/win32/LastError.h"

namespace platform::win32 {

namespace {

UniqueHandle Open(const std::wstring& path, DWORD access) {
    return UniqueHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
}

class Win32HeldFile final : public HeldFile {
  public:
    Win32HeldFile(UniqueHandle file, std::wstring path, bool canDelete, DWORD deleteError)
        : file_(std::move(file)),
          path_(std::move(path)),
          canDelete_(canDelete),
          deleteError_(deleteError) {}

    std::uint64_t size() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file_.get(), &size))
            throw SystemError("Não foi possível obter o tamanho do arquivo", ::GetLastError());
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    std::size_t readInto(std::uint64_t offset, std::span<char> into) override {
        std::size_t done = 0;
        while (done < into.size()) {
            // Positioned reads: the handle's own file pointer plays no part.
            OVERLAPPED at{};
            const std::uint64_t position = offset + done;
            at.Offset = static_cast<DWORD>(position);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            const DWORD chunk = static_cast<DWORD>(
                std::min<std::size_t>(into.size() - done, std::numeric_limits<DWORD>::max() / 2));
            DWORD got = 0;
            if (!::ReadFile(file_.get(), into.data() + done, chunk, &got, &at)) {
                const DWORD error = ::GetLastError();
                if (error == ERROR_HANDLE_EOF) break;
                throw SystemError("Não foi possível ler o arquivo", error);
            }
            if (got == 0) break;
            done += got;
        }
        return done;
    }

    std::uint32_t remove() override {
        if (!file_) return ERROR_INVALID_HANDLE;
        if (!canDelete_) {
            if (const DWORD error = reopenForRemoval(); error != 0) return error;
        }
        DWORD readOnly = 0;
        if (const DWORD error = ClearReadOnly(file_.get(), readOnly); error != 0) return error;
        FILE_DISPOSITION_INFO dispose{};
        dispose.DeleteFile = TRUE;
        if (!::SetFileInformationByHandle(file_.get(), FileDispositionInfo, &dispose,
                                          sizeof dispose))
            return LastErrorOr(ERROR_GEN_FAILURE);
        // The system deletes the file as this last handle closes.
        file_.reset();
        return 0;
    }

  private:
    // The file was opened without the right to delete it. Ask for it again
    // on the same file: the hold must be let go for that, so whatever is at
    // the path afterwards is removed only when it is still the file held.
    DWORD reopenForRemoval() {
        const auto held = IdentityOf(file_.get());
        if (!held) return LastErrorOr(ERROR_GEN_FAILURE);
        file_.reset();
        UniqueHandle again = Open(path_, kHoldAccess);
        if (!again) {
            const DWORD error = LastErrorOr(deleteError_);
            file_ = Open(path_, GENERIC_READ);
            if (file_ && IdentityOf(file_.get()) != held) file_.reset();
            return error;
        }
        if (IdentityOf(again.get()) != held) return ERROR_FILE_INVALID;
        file_ = std::move(again);
        canDelete_ = true;
        return 0;
    }

    UniqueHandle file_;
    std::wstring path_;
    bool canDelete_;
    DWORD deleteError_;
};

}  // namespace

std::unique_ptr<HeldFile> HoldOpen(UniqueHandle file, std::wstring path) {
    return std::make_unique<Win32HeldFile>(std::move(file), std::move(path), true, 0);
}

std::unique_ptr<HeldFile> Hold(const std::wstring& path, HoldFor use, DWORD& error) {
    error = 0;
    DWORD deleteError = ERROR_ACCESS_DENIED;
    if (use != HoldFor::Reading) {
        if (UniqueHandle file = Open(path, kHoldAccess)) return HoldOpen(std::move(file), path);
        deleteError = LastErrorOr(ERROR_ACCESS_DENIED);
        // A missing file stays missing however it is opened.
        if (use == HoldFor::RemovalOnly || deleteError == ERROR_FILE_NOT_FOUND ||
            deleteError == ERROR_PATH_NOT_FOUND) {
            error = deleteError;
            return nullptr;
        }
    }
    UniqueHandle file = Open(path, GENERIC_READ);
    if (!file) {
        error = LastErrorOr(ERROR_GEN_FAILURE);
        return nullptr;
    }
    return std::make_unique<Win32HeldFile>(std::move(file), path, false, deleteError);
}

}  // namespace platform::win32
