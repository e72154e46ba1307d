#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

// Where a package's enciphered bytes come from when it is read at the cost of
// its header: a file the caller opened and holds (the updater its own held
// file, xdbtool a file of its own) or bytes in memory.
namespace db {

// A source that cannot give what it holds. The header-cost reader takes it
// as a file that cannot be opened (see ReadDatabaseHeader).
class SourceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class PackageSource {
  public:
    virtual ~PackageSource() = default;

    // The number of bytes the source holds. Throws SourceError.
    virtual std::uint64_t size() = 0;
    // Up to length bytes from offset: fewer only at the end of the source.
    // Throws SourceError.
    virtual std::string read(std::uint64_t offset, std::size_t length) = 0;
};

// Bytes held in memory.
class MemorySource : public PackageSource {
  public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}

    std::uint64_t size() override { return bytes_.size(); }
    std::string read(std::uint64_t offset, std::size_t length) override {
        if (offset >= bytes_.size()) return {};
        return bytes_.substr(static_cast<std::size_t>(offset), length);
    }

  private:
    std::string bytes_;
};

}  // namespace db
