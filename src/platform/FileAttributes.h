#pragma once

#include <cstdint>

namespace platform {

// File attribute bits, with the values Windows uses.
namespace attribute {
inline constexpr std::uint32_t ReadOnly = 0x1;
inline constexpr std::uint32_t Hidden = 0x2;
inline constexpr std::uint32_t System = 0x4;
inline constexpr std::uint32_t Directory = 0x10;
inline constexpr std::uint32_t Archive = 0x20;
inline constexpr std::uint32_t Normal = 0x80;
inline constexpr std::uint32_t Temporary = 0x100;
inline constexpr std::uint32_t SparseFile = 0x200;
inline constexpr std::uint32_t ReparsePoint = 0x400;
inline constexpr std::uint32_t Compressed = 0x800;
inline constexpr std::uint32_t Offline = 0x1000;
inline constexpr std::uint32_t NotContentIndexed = 0x2000;
inline constexpr std::uint32_t Encrypted = 0x4000;
inline constexpr std::uint32_t IntegrityStream = 0x8000;
inline constexpr std::uint32_t NoScrubData = 0x20000;
inline constexpr std::uint32_t Pinned = 0x80000;
inline constexpr std::uint32_t Unpinned = 0x100000;
inline constexpr std::uint32_t RecallOnOpen = 0x40000;
inline constexpr std::uint32_t RecallOnDataAccess = 0x400000;
}  // namespace attribute

// Whether a directory entry with these attributes is a file the updater
// sees. Only a hidden or system file, or a folder, counts as missing: every
// other attribute is one Windows sets on ordinary files (compressed or
// encrypted folders, search indexing turned off, files kept by a cloud sync
// client, which are reparse points and may be offline until opened).
constexpr bool IsOrdinaryFile(std::uint32_t attributes) {
    return (attributes & (attribute::Hidden | attribute::System | attribute::Directory)) == 0;
}

}  // namespace platform
