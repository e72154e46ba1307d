// sealcopy PROGRAM "SIZE SHA256": puts a package seal into a copy of the
// updater, as a release builds it in (cmake/PackageSeal.cmake), so that
// bench/install_bench.py can measure a sealed installation of a package it
// has just made.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: sealcopy PROGRAM \"SIZE SHA256\"\n", stderr);
        return 2;
    }
    std::string seal;
    for (const wchar_t* c = argv[2]; *c != L'\0'; ++c) seal += static_cast<char>(*c);
    HANDLE update = ::BeginUpdateResourceW(argv[1], FALSE);
    if (update == nullptr ||
        !::UpdateResourceW(update, MAKEINTRESOURCEW(10), L"PACKAGE_SEAL",
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), seal.data(),
                           static_cast<DWORD>(seal.size())) ||
        !::EndUpdateResourceW(update, FALSE)) {
        std::fprintf(stderr, "sealcopy: error %lu\n", ::GetLastError());
        return 1;
    }
    return 0;
}
