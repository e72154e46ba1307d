#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace xdbtool {

namespace {

#ifdef _WIN32
int Close(int fd) {
    return _close(fd);
}
int Unlink(const char* path) {
    return _unlink(path);
}
long long WriteSome(int fd, const char* data, std::size_t size) {
    return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
long long ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
    if (_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) < 0) return -1;
    return _read(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
long long ReadSome(int fd, char* data, std::size_t size) {
    return _read(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
int OpenForReading(const std::string& path) {
    return _open(path.c_str(), _O_RDONLY | _O_BINARY);
}
#else
int Close(int fd) {
    return close(fd);
}
int Unlink(const char* path) {
    return unlink(path);
}
long long WriteSome(int fd, const char* data, std::size_t size) {
    return write(fd, data, size);
}
long long ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
    return pread(fd, data, size, static_cast<off_t>(offset));
}
long long ReadSome(int fd, char* data, std::size_t size) {
    return read(fd, data, size);
}
int OpenForReading(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
#endif

std::string Reason(int error) {
    return std::strerror(error);
}

void BinaryStandardStreams() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

// Writes all of bytes; false (errno set) on failure.
bool WriteAll(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const long long n = WriteSome(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The temporary files to remove when the program ends by a signal or by
// exit(): fixed storage, read by a signal handler.
constexpr int kSlots = 8;
constexpr std::size_t kLongestPath = 4096;
char g_temporaries[kSlots][kLongestPath];
volatile std::sig_atomic_t g_live[kSlots];

int Remember(const std::string& path) {
    if (path.size() >= kLongestPath) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (g_live[i] == 0) {
            std::memcpy(g_temporaries[i], path.c_str(), path.size() + 1);
            g_live[i] = 1;
            return i;
        }
    }
    return -1;
}

void Forget(int slot) {
    if (slot >= 0) g_live[slot] = 0;
}

void RemoveRemembered() {
    for (int i = 0; i < kSlots; ++i) {
        if (g_live[i] != 0) {
            Unlink(g_temporaries[i]);
            g_live[i] = 0;
        }
    }
}

extern "C" void OnEndingSignal(int signal) {
    RemoveRemembered();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A name for a temporary file beside base, not taken when tried.
std::string TemporaryName(const std::string& base) {
    static std::mt19937_64 random{std::random_device{}() ^
                                  static_cast<std::uint64_t>(std::time(nullptr))};
    static const char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = base + ".xdbtool-";
    for (int i = 0; i < 8; ++i) name += kDigits[random() % (sizeof kDigits - 1)];
    return name;
}

// Creates a file that did not exist; -1 (errno set) otherwise.
int CreateExclusively(const std::string& path, Access access) {
#ifdef _WIN32
    (void)access;
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                access == Access::OwnerOnly ? 0600 : 0666);
#endif
}

// What a path names when it is not a regular file, in words; empty for a
// regular file or a name not taken.
std::string NotRegular(const std::string& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return {};
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "a folder";
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    const DWORD type = GetFileType(h);
    CloseHandle(h);
    if (type != FILE_TYPE_DISK) return "a device or a pipe";
    return {};
#else
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return {};
    if (S_ISREG(st.st_mode)) return {};
    if (S_ISDIR(st.st_mode)) return "a folder";
    if (S_ISFIFO(st.st_mode)) return "a named pipe";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    return "not a regular file";
#endif
}

// The file a path finally names: symbolic links followed, each relative one
// from its own folder. The last name need not exist.
std::string FollowLinks(const std::string& path) {
#ifdef _WIN32
    return path;
#else
    std::filesystem::path at = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at.string();
        std::error_code ec;
        const std::filesystem::path to = std::filesystem::read_symlink(at, ec);
        if (ec) throw FileError(path + ": cannot follow the link (" + ec.message() + ")");
        at = to.is_absolute() ? to : at.parent_path() / to;
    }
    throw FileError(path + ": too many levels of symbolic links");
#endif
}

}  // namespace

std::string ReadWhole(const std::string& path) {
    if (path == "-") {
        BinaryStandardStreams();
        std::string bytes(std::istreambuf_iterator<char>(std::cin), {});
        if (std::cin.bad()) throw FileError("cannot read standard input");
        return bytes;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw FileError(path + ": is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError(path + ": cannot open (" + std::strerror(errno) + ")");
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) throw FileError(path + ": cannot read");
    return bytes;
}

InputFile::InputFile(const std::string& path) : path_(path == "-" ? "standard input" : path) {
    int fd = -1;
    if (path == "-") {
        BinaryStandardStreams();
        fd = 0;
    } else {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) throw FileError(path + ": is a folder");
        fd = OpenForReading(path);
        if (fd < 0) throw FileError(path + ": cannot open (" + Reason(errno) + ")");
        owned_ = true;
    }
    fd_ = fd;
#ifdef _WIN32
    struct _stati64 st {};
    const bool known = _fstati64(fd, &st) == 0;
    const bool regular = known && (st.st_mode & _S_IFMT) == _S_IFREG;
#else
    struct stat st {};
    const bool known = fstat(fd, &st) == 0;
    if (known && S_ISDIR(st.st_mode)) throw FileError(path_ + ": is a folder");
    const bool regular = known && S_ISREG(st.st_mode);
#endif
    if (regular) {
        size_ = static_cast<std::uint64_t>(st.st_size);
        return;
    }
    // Copied into a temporary file of no name, so it can be read anywhere.
    const std::string folder = std::filesystem::temp_directory_path().string();
    int copy = -1;
    for (int attempt = 0; attempt < 100 && copy < 0; ++attempt) {
        const std::string name = TemporaryName((std::filesystem::path(folder) / "input").string());
#ifdef _WIN32
        copy = _open(name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_TEMPORARY,
                     _S_IREAD | _S_IWRITE);
#else
        copy = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (copy >= 0) unlink(name.c_str());
#endif
        if (copy < 0 && errno != EEXIST) break;
    }
    if (copy < 0) {
        throw FileError(path_ + ": cannot make a temporary copy in " + folder + " (" +
                        Reason(errno) + ")");
    }
    const bool closeSource = owned_;
    fd_ = copy;
    owned_ = true;
    std::string buffer(std::size_t{1} << 20, '\0');
    for (;;) {
        const long long n = ReadSome(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError(path_ + ": cannot read (" + Reason(errno) + ")");
        if (n == 0) break;
        if (!WriteAll(copy, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
            throw FileError(path_ + ": cannot make a temporary copy in " + folder + " (" +
                            Reason(errno) + ")");
        }
        size_ += static_cast<std::uint64_t>(n);
    }
    if (closeSource) Close(fd);
}

InputFile::~InputFile() {
    if (owned_ && fd_ >= 0) Close(fd_);
}

std::string InputFile::read(std::uint64_t offset, std::size_t length) {
    if (offset >= size_) return {};
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, size_ - offset));
    std::string bytes(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const long long n = ReadAt(fd_, bytes.data() + done, length - done, offset + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError(path_ + ": cannot read (" + Reason(errno) + ")");
        if (n == 0) throw FileError(path_ + ": cut short while being read");
        done += static_cast<std::size_t>(n);
    }
    return bytes;
}

void CheckOutput(const std::string& path) {
    if (path == "-") return;
    const std::string target = FollowLinks(path);
    if (const std::string what = NotRegular(target); !what.empty()) {
        throw FileError(path + ": is " + what + ", not a regular file; nothing written");
    }
}

OutputFile::OutputFile(const std::string& path, Access access) : path_(path) {
    if (path == "-") {
        BinaryStandardStreams();
        standardOutput_ = true;
        return;
    }
    CheckOutput(path);
    target_ = FollowLinks(path);
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ = TemporaryName(target_);
        fd_ = CreateExclusively(temporary_, access);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) throw FileError(path + ": cannot create (" + Reason(errno) + ")");
    slot_ = Remember(temporary_);
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() {
    if (fd_ >= 0) {
        Close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        Unlink(temporary_.c_str());
        temporary_.clear();
    }
    Forget(slot_);
    slot_ = -1;
}

void OutputFile::write(std::string_view bytes) {
    if (standardOutput_) {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!std::cout) throw FileError("cannot write standard output");
        return;
    }
    if (fd_ < 0) throw FileError(path_ + ": cannot write (already closed)");
    if (!WriteAll(fd_, bytes)) {
        const int error = errno;
        discard();
        throw FileError(path_ + ": cannot write (" + Reason(error) + ")");
    }
}

void OutputFile::commit() {
    if (standardOutput_) {
        std::cout.flush();
        if (!std::cout) throw FileError("cannot write standard output");
        return;
    }
    if (fd_ < 0) throw FileError(path_ + ": cannot write (already closed)");
    const int closed = Close(fd_);
    fd_ = -1;
    if (closed != 0) {
        const int error = errno;
        discard();
        throw FileError(path_ + ": cannot write (" + Reason(error) + ")");
    }
    // What took the name meanwhile is not replaced either.
    if (const std::string what = NotRegular(target_); !what.empty()) {
        discard();
        throw FileError(path_ + ": is " + what + ", not a regular file; nothing written");
    }
#ifdef _WIN32
    const bool moved = MoveFileExA(temporary_.c_str(), target_.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    const std::string why = moved ? "" : "system error " + std::to_string(GetLastError());
#else
    const bool moved = std::rename(temporary_.c_str(), target_.c_str()) == 0;
    const std::string why = moved ? "" : Reason(errno);
#endif
    if (!moved) {
        discard();
        throw FileError(path_ + ": cannot write (" + why + ")");
    }
    temporary_.clear();
    Forget(slot_);
    slot_ = -1;
}

void WriteWhole(const std::string& path, std::string_view bytes, Access access) {
    OutputFile out(path, access);
    out.write(bytes);
    out.commit();
}

void RemoveTemporariesOnSignals() {
    std::atexit(RemoveRemembered);
    for (int signal : {SIGINT, SIGTERM}) std::signal(signal, OnEndingSignal);
#ifndef _WIN32
    std::signal(SIGHUP, OnEndingSignal);
    // A write past the file size limit fails with EFBIG instead.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace xdbtool
