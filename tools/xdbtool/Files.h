#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "db/PackageSource.h"

namespace xdbtool {

// A file that could not be read or written; the tool exits with status 2.
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The whole file; "-" reads standard input. For the small files of the
// signature commands.
std::string ReadWhole(const std::string& path);

// A file read in pieces, whatever its size. A regular file is read where it
// is; standard input ("-") and files that cannot be read at an offset (pipes,
// devices) are first copied into an unnamed temporary file, which the system
// removes however the program ends. A folder is refused. Reads throw
// FileError (not db::SourceError: a file the tool cannot read ends it with
// status 2 rather than being read as "ERRO").
class InputFile : public db::PackageSource {
  public:
    explicit InputFile(const std::string& path);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::uint64_t size() override { return size_; }
    std::string read(std::uint64_t offset, std::size_t length) override;

  private:
    std::string path_;
    int fd_ = -1;
    bool owned_ = false;
    std::uint64_t size_ = 0;
};

// Who may read a written file: as the system's defaults make it, or its
// owner alone (private keys).
enum class Access { Default, OwnerOnly };

// Refuses, with FileError, an output path that names something other than a
// regular file (a folder, a device, a pipe, a socket), after following
// symbolic links; nothing is opened, so a pipe never blocks. "-" (standard
// output), a regular file and a name not taken yet pass.
void CheckOutput(const std::string& path);

// An output file, written beside its final place under a temporary name and
// renamed into place by commit(), so that a failure never leaves half a file
// under its name. The temporary name is created exclusively (never an
// existing file, nor through a symbolic link). Until commit() it is removed
// on every failure: when the object is destroyed, when the program exits,
// and when it is ended by SIGINT, SIGTERM or SIGHUP. A symbolic link stays a
// link: the file it points to (followed to the end) is the one replaced.
// "-" writes standard output directly. Throws FileError.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path, Access access = Access::Default);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    void commit();

  private:
    void discard();

    std::string path_;    // as given
    std::string target_;  // where the file goes (symbolic links followed)
    std::string temporary_;
    int fd_ = -1;
    int slot_ = -1;  // in the list of temporary files removed on signals
    bool standardOutput_ = false;
};

// OutputFile, all at once.
void WriteWhole(const std::string& path, std::string_view bytes, Access access = Access::Default);

// Makes temporary output files go when the program is ended by a signal, and
// a write beyond the file size limit fail (rather than end the program).
void RemoveTemporariesOnSignals();

}  // namespace xdbtool
