// Opens database packages of 1, 64 and 512 MB with xdbtool and compares each
// with a bare pass over the same file: `openssl enc -d -rc4` with the key the
// provider derives from the package password (the first 5 bytes of its MD5
// hash, then 11 zero bytes, as the Windows base provider derives 40-bit RC4
// keys). Before timing, the bytes openssl deciphers are compared with the
// header and the body `xdbtool unpack` writes, which proves the key.
//
// Per size it prints, for `xdbtool info` (goal: the same few milliseconds at
// every size) and `xdbtool unpack` (goal: time <= 1.25 x openssl's, peak
// resident size <= 64 MB), the wall time, the peak resident size and the
// time as a ratio to openssl's. Every measurement is a child process of its
// own, so the peak the system reports is that program's alone; each is the
// best of a few runs after one to warm the file cache, all output going to
// /dev/null.
//   package_bench [FOLDER [XDBTOOL [OPENSSL]]]
//     FOLDER: where the packages are written (default /tmp), removed after.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "db/Database.h"

namespace {

struct Measure {
    double seconds;
    double peakMegabytes;
};

[[noreturn]] void Fail(const std::string& what) {
    std::cerr << "package_bench: " << what << "\n";
    std::exit(1);
}

// Runs argv as a child with standard output going to out (default
// /dev/null); its wall time and peak resident size.
Measure Run(const std::vector<std::string>& argv, const std::string& out = "/dev/null") {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) Fail("cannot fork");
    if (child == 0) {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) Fail("lost a child");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string line;
        for (const std::string& a : argv) line += a + " ";
        Fail("failed (status " + std::to_string(status) + "): " + line);
    }
    return {seconds, static_cast<double>(usage.ru_maxrss) / 1024.0};
}

// The best time of a few runs after a warming one, and the largest peak.
Measure Best(const std::vector<std::string>& argv, int runs) {
    Run(argv);
    Measure best{1e99, 0};
    for (int i = 0; i < runs; ++i) {
        const Measure m = Run(argv);
        best.seconds = std::min(best.seconds, m.seconds);
        best.peakMegabytes = std::max(best.peakMegabytes, m.peakMegabytes);
    }
    return best;
}

// The RC4 key the provider derives from the package password, in hex.
std::string PackageKeyHex() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(db::kPassword.data(), db::kPassword.size(), digest.data(), &length, EVP_md5(),
                   nullptr) != 1) {
        Fail("no MD5");
    }
    std::string hex;
    char two[3];
    for (std::size_t i = 0; i < 16; ++i) {
        std::snprintf(two, sizeof two, "%02x", i < 5 ? digest[i] : 0);
        hex += two;
    }
    return hex;
}

// Writes size pseudo-random bytes in pieces.
void WriteBody(const std::string& path, std::uint64_t size, std::uint64_t seed) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937_64 random(seed);
    std::string piece(std::size_t{1} << 20, '\0');
    for (std::uint64_t done = 0; done < size;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size - done));
        for (std::size_t i = 0; i + 8 <= n; i += 8) {
            const std::uint64_t r = random();
            std::copy_n(reinterpret_cast<const char*>(&r), 8, piece.data() + i);
        }
        out.write(piece.data(), static_cast<std::streamsize>(n));
        done += n;
    }
    if (!out) Fail("cannot write " + path);
}

// True when file a, from offset skip on, holds exactly file b.
bool SameFrom(const std::string& a, std::uint64_t skip, const std::string& b) {
    std::ifstream x(a, std::ios::binary);
    std::ifstream y(b, std::ios::binary);
    x.seekg(static_cast<std::streamoff>(skip));
    std::string p(std::size_t{1} << 20, '\0');
    std::string q(p.size(), '\0');
    for (;;) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount()) return false;
        if (x.gcount() == 0) return true;
        if (p.compare(0, static_cast<std::size_t>(x.gcount()), q, 0,
                      static_cast<std::size_t>(y.gcount())) != 0) {
            return false;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : "/tmp";
    const std::string xdbtool = argc > 2 ? argv[2] : XDBTOOL_PATH;
    const std::string openssl = argc > 3 ? argv[3] : "openssl";
    const std::string key = PackageKeyHex();
    std::printf("xdbtool: %s\nopenssl: enc -d -rc4 -K %s (MD5(\"%s\")[0..4], 11 zero bytes)\n\n",
                xdbtool.c_str(), key.c_str(), std::string(db::kPassword).c_str());
    std::printf("%6s | %9s %8s | %9s %8s %9s | %9s %8s %9s\n", "size", "openssl s", "peak MB",
                "info ms", "peak MB", "/openssl", "unpack s", "peak MB", "/openssl");
    std::printf("%s\n", std::string(96, '-').c_str());
    const std::string base = (folder / ("package-bench-" + std::to_string(getpid()))).string();
    const std::string body = base + ".body";
    const std::string package = base + ".xdb";
    const std::string plain = base + ".plain";
    const std::string unpacked = base + ".out";
    bool goals = true;
    double firstInfo = 0;
    for (std::uint64_t megabytes : {1u, 64u, 512u}) {
        const std::uint64_t size = megabytes << 20;
        // A package of exactly size bytes.
        const std::size_t header = db::PackageHeaderLine("BCH0001", 1, size - 40).size();
        WriteBody(body, size - header, megabytes);
        Run({xdbtool, "pack", "--version", "BCH0001", "--records", "1", "-o", package, body});
        if (std::filesystem::file_size(package) != size) Fail("package of another size");

        // The key is right: openssl's plain text is the header and the body.
        const std::vector<std::string> bare{
            openssl,   "enc", "-d", "-rc4", "-provider", "legacy", "-provider",
            "default", "-K",  key,  "-in",  package,     "-out",   "/dev/null"};
        std::vector<std::string> toFile = bare;
        toFile.back() = plain;
        Run(toFile);
        Run({xdbtool, "unpack", package, "-o", unpacked});
        if (!SameFrom(plain, header, unpacked) || !SameFrom(unpacked, 0, body)) {
            Fail("openssl and xdbtool unpack give different bytes");
        }
        std::filesystem::remove(plain);
        std::filesystem::remove(unpacked);
        std::filesystem::remove(body);

        const int runs = megabytes >= 512 ? 3 : 5;
        const Measure o = Best(bare, runs);
        const Measure info = Best({xdbtool, "info", package}, runs);
        const Measure unpack = Best({xdbtool, "unpack", package}, runs);
        std::printf("%4lluMB | %9.4f %8.1f | %9.2f %8.1f %9.3f | %9.4f %8.1f %9.3f\n",
                    static_cast<unsigned long long>(megabytes), o.seconds, o.peakMegabytes,
                    info.seconds * 1000, info.peakMegabytes, info.seconds / o.seconds,
                    unpack.seconds, unpack.peakMegabytes, unpack.seconds / o.seconds);
        std::fflush(stdout);
        if (firstInfo == 0) firstInfo = info.seconds;
        if (unpack.peakMegabytes > 64 || info.peakMegabytes > 64) goals = false;
        if (unpack.seconds > 1.25 * o.seconds) goals = false;
        if (info.seconds > 2 * firstInfo + 0.005) goals = false;
        std::filesystem::remove(package);
    }
    std::printf("\ngoals (info flat, unpack <= 1.25 x openssl, peaks <= 64 MB): %s\n",
                goals ? "met" : "NOT met");
    return 0;
}
