#include "platform/win32/RunningImage.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>

namespace platform::win32 {

namespace {

struct Range {
    std::uint64_t begin = 0, end = 0;  // relative virtual addresses
};

// The loader's base relocations falling inside `at`, applied to `bytes`
// (the file's bytes for that range): what the loader did to the same bytes
// when it put the image at `delta` from the base the file asks for. False
// for a kind of relocation this program's images never carry.
bool Relocate(const unsigned char* base, const IMAGE_DATA_DIRECTORY& table, Range at,
              std::uint64_t delta, std::string& bytes) {
    if (delta == 0) return true;
    for (std::uint32_t offset = 0; offset + sizeof(IMAGE_BASE_RELOCATION) <= table.Size;) {
        IMAGE_BASE_RELOCATION block;
        std::memcpy(&block, base + table.VirtualAddress + offset, sizeof block);
        if (block.SizeOfBlock < sizeof block) return false;
        const auto* entry = base + table.VirtualAddress + offset + sizeof block;
        for (std::uint32_t i = 0; i < (block.SizeOfBlock - sizeof block) / 2; ++i) {
            WORD word;
            std::memcpy(&word, entry + 2 * i, sizeof word);
            const int type = word >> 12;
            if (type == IMAGE_REL_BASED_ABSOLUTE) continue;
            const std::size_t width = type == IMAGE_REL_BASED_DIR64     ? 8
                                      : type == IMAGE_REL_BASED_HIGHLOW ? 4
                                                                        : 0;
            if (width == 0) return false;
            const std::uint64_t rva = block.VirtualAddress + (word & 0xFFF);
            if (rva + width <= at.begin || rva >= at.end) continue;
            if (rva < at.begin || rva + width > at.end) return false;  // astride a boundary
            std::uint64_t value = 0;
            std::memcpy(&value, bytes.data() + (rva - at.begin), width);
            value += delta;
            std::memcpy(bytes.data() + (rva - at.begin), &value, width);
        }
        offset += block.SizeOfBlock;
    }
    return true;
}

// Gives `bytes` (the file's bytes for `at`) the memory's bytes where they
// overlap `skip`.
void TakeFromMemory(const unsigned char* base, Range at, Range skip, std::string& bytes) {
    const std::uint64_t from = std::max(at.begin, skip.begin), to = std::min(at.end, skip.end);
    if (from < to) std::memcpy(bytes.data() + (from - at.begin), base + from, to - from);
}

}  // namespace

// Windows lets a running program's file be renamed and another file be put
// at its name, so the file at the program's path, even held, may be another
// program. What runs is the image the system mapped from the original file:
// the held file is the program when its headers and the sections it
// contains are, byte for byte, that image, once the file's bytes are given
// the base relocations the loader applied (the image may be loaded
// elsewhere than at its preferred base). Two parts of the image differ from
// the file by design and are left out: the import address table, which the
// loader fills (and an application-compatibility shim may patch), and the
// sections the program writes while it runs (".data", and those without
// bytes in the file); so is the file's base field, which the system may
// update in the mapped headers. Everything else the loader maps is
// compared: the code, the constants, the import directory and its names,
// the initialiser tables, the resources. Another program is never taken for
// this one, nor this one made to import another DLL or to call other
// initialisers; what stays unproven is the initial value of ".data".
// Nothing here rests on Wine: it is the PE format as Windows' loader maps
// it, and an unelevated program cannot write an elevated one's memory.
bool IsRunningImage(HeldFile& file) {
    try {
        const auto* base = reinterpret_cast<const unsigned char*>(::GetModuleHandleW(nullptr));
        if (!base) return false;
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_OPTIONAL_HEADER& optional = nt->OptionalHeader;
        const IMAGE_DATA_DIRECTORY& relocations =
            optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
        const IMAGE_DATA_DIRECTORY& iat = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
        const Range addressTable{iat.VirtualAddress, std::uint64_t{iat.VirtualAddress} + iat.Size};

        std::string headers = file.read(0, optional.SizeOfHeaders);
        if (headers.size() != optional.SizeOfHeaders) return false;
        const std::size_t baseField =
            reinterpret_cast<const unsigned char*>(&optional.ImageBase) - base;
        decltype(optional.ImageBase) preferred = 0;
        std::memcpy(&preferred, headers.data() + baseField, sizeof preferred);
        std::memcpy(headers.data() + baseField, &optional.ImageBase, sizeof preferred);
        if (std::memcmp(headers.data(), base, headers.size()) != 0) return false;
        const std::uint64_t delta = reinterpret_cast<std::uintptr_t>(base) - preferred;

        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
            const bool written =
                (section->Characteristics & IMAGE_SCN_MEM_WRITE) &&
                std::strncmp(reinterpret_cast<const char*>(section->Name), ".data", 8) == 0;
            const DWORD length = section->Misc.VirtualSize == 0
                                     ? section->SizeOfRawData
                                     : std::min(section->SizeOfRawData, section->Misc.VirtualSize);
            if (written || length == 0) continue;
            const Range at{section->VirtualAddress,
                           std::uint64_t{section->VirtualAddress} + length};
            std::string bytes = file.read(section->PointerToRawData, length);
            if (bytes.size() != length || !Relocate(base, relocations, at, delta, bytes))
                return false;
            TakeFromMemory(base, at, addressTable, bytes);
            if (std::memcmp(bytes.data(), base + at.begin, length) != 0) return false;
        }
        return true;
    } catch (const std::exception&) {
        return false;  // a file that cannot be read proves nothing
    }
}

}  // namespace platform::win32
