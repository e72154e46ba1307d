// sha256file FILE [cng]: the SHA-256 of a file read in pieces of 1 MB, by
// the system provider the updater uses (with "cng", by CNG instead, to see
// whether it would be faster), and how many milliseconds that took: the
// bare cost of the hash that bench/install_bench.py compares a sealed
// installation with.
#include <windows.h>
// clang-format off
#include <bcrypt.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "crypto/Provider.h"
#include "platform/win32/Handles.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: sha256file FILE [cng]\n", stderr);
        return 2;
    }
    const bool cng = argc > 2 && std::wstring_view(argv[2]) == L"cng";
    const auto start = std::chrono::steady_clock::now();
    platform::win32::UniqueHandle source(::CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ,
                                                       nullptr, OPEN_EXISTING,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE cngHash = nullptr;
    if (!source || (cng && (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM,
                                                        nullptr, 0) != 0 ||
                            BCryptCreateHash(algorithm, &cngHash, nullptr, 0, nullptr, 0, 0) != 0)))
        return 1;
    const auto hash = crypto::MakeSystemProvider()->sha256();
    std::string buffer(1 << 20, '\0');
    DWORD got = 0;
    while (
        ::ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
        got > 0) {
        if (cng)
            BCryptHashData(cngHash, reinterpret_cast<PUCHAR>(buffer.data()), got, 0);
        else
            hash->update({buffer.data(), got});
    }
    crypto::Sha256Digest digest{};
    if (cng)
        BCryptFinishHash(cngHash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    else
        digest = hash->finish();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf("%lld\n", static_cast<long long>(ms.count()));
    return 0;
}
