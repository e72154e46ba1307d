#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// A file the updater holds open from the moment it reads it for a decision
// until it is done with it. While it is held nobody else may write, rename
// or delete it, so whatever is read or copied from it later are the bytes
// that were checked. Letting the object go closes the file.
class HeldFile {
  public:
    virtual ~HeldFile() = default;

    virtual std::uint64_t size() = 0;
    // Up to `into.size()` bytes from `offset`, into `into`; fewer only at
    // the end of the file. Returns how many. Throws SystemError when the
    // system cannot read.
    virtual std::size_t readInto(std::uint64_t offset, std::span<char> into) = 0;
    // The same, as a string of its own.
    std::string read(std::uint64_t offset, std::size_t length) {
        std::string bytes(length, '\0');
        bytes.resize(readInto(offset, bytes));
        return bytes;
    }
    // Deletes the file through the open handle, clearing a read-only
    // attribute first, and lets it go; 0, or the system's error code with the
    // file still held.
    virtual std::uint32_t remove() = 0;
};

// A file this run is writing. Until it is kept or put in place it is not
// the updater's result: letting the object go deletes it, and so does the
// system should the program die first, so that a crash leaves nothing
// half-written behind.
class NewFile {
  public:
    virtual ~NewFile() = default;

    // Puts the file at `target` in one step, replacing whatever is there
    // (a read-only attribute included), written through to the disk: at no
    // moment is `target` missing or partial. The file is let go on success;
    // on failure (the target is held by another program, say) it stays, and
    // `target` is as it was. 0 or the system's error code.
    virtual std::uint32_t replace(std::string_view target) = 0;

    // Keeps the file at the name it was made under, flushed, and holds it
    // (see HeldFile) for whatever comes next. Null with `error` set when the
    // file could not be kept.
    virtual std::unique_ptr<HeldFile> keep(std::uint32_t& error) = 0;
};

}  // namespace platform
