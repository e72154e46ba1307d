// Opens database packages of 1, 64 and 512 MB as the updater does (read
// whole, decipher, check the header) and compares each with a bare pass over
// the same file: read it and run RC4 over it with libcrypto. Prints, per
// size, the time as a ratio to the bare pass (target <= 1.25) and the peak
// memory as a ratio to the file size (target <= 2.1, plus 16 MB).
//
// Each measurement runs in a child process of its own, so that the peak
// resident size the system reports belongs to that measurement alone.
//   package_bench [FOLDER]   (packages are written to FOLDER, default /tmp)
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdlib.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include "FilePlatform.h"
#include "crypto/Provider.h"
#include "db/Database.h"

namespace {

class SilentUi : public platform::UserInterface {
  public:
    int messageBox(std::string_view text, int, std::string_view) override {
        std::cerr << "message: " << text << "\n";
        return platform::Ok;
    }
    [[noreturn]] void endProgram() override { std::_Exit(3); }
};

// The bare pass: the file read whole and RC4 run over it in place.
void BarePass(const std::string& path) {
    bench::FilePlatform files;
    std::string bytes = *files.readFile(path);
    static OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    static OSSL_PROVIDER* standard = OSSL_PROVIDER_load(nullptr, "default");
    (void)legacy;
    (void)standard;
    EVP_CIPHER* rc4 = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    const unsigned char key[16] = {1, 2, 3, 4, 5};
    EVP_EncryptInit_ex2(context, rc4, key, nullptr, nullptr);
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    int produced = 0;
    EVP_EncryptUpdate(context, data, &produced, data, static_cast<int>(bytes.size()));
    EVP_CIPHER_CTX_free(context);
    EVP_CIPHER_free(rc4);
    if (bytes.size() > 1 && bytes[bytes.size() / 2] == 'q') std::cerr << "";  // keep the work
}

void UpdaterPass(const std::string& path) {
    bench::FilePlatform files;
    SilentUi ui;
    std::unique_ptr<crypto::Provider> provider = crypto::MakeSystemProvider();
    API_FILE::DatabaseSummary summary;
    const std::string body = db::ReadDatabase(files, *provider, ui, path, summary);
    if (summary.DbVersion != "BCH0001") std::_Exit(4);
}

struct Measure {
    double seconds;
    double peakBytes;
};

// Runs pass in a child; its wall time and peak resident size.
Measure InChild(void (*pass)(const std::string&), const std::string& path) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) std::exit(1);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const auto start = std::chrono::steady_clock::now();
        pass(path);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (write(pipeFds[1], &seconds, sizeof seconds) != sizeof seconds) std::_Exit(1);
        std::_Exit(0);
    }
    close(pipeFds[1]);
    double seconds = 0;
    if (read(pipeFds[0], &seconds, sizeof seconds) != sizeof seconds) seconds = -1;
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || seconds < 0) {
        std::cerr << "measurement failed for " << path << "\n";
        std::exit(1);
    }
    return {seconds, static_cast<double>(usage.ru_maxrss) * 1024.0};
}

// The best of a few runs: the least disturbed by the machine's other work.
Measure Best(void (*pass)(const std::string&), const std::string& path, int runs) {
    Measure best{1e99, 0};
    for (int i = 0; i < runs; ++i) {
        const Measure m = InChild(pass, path);
        best.seconds = std::min(best.seconds, m.seconds);
        best.peakBytes = std::max(best.peakBytes, m.peakBytes);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder = argc > 1 ? argv[1] : "/tmp";
    // A key container of the benchmark's own, not the user's.
    const std::filesystem::path keys = folder / "package-bench-keys";
    setenv("ATUALIZADOR_KEYS_DIR", keys.c_str(), 1);
    std::printf("%8s %12s %12s %12s %14s %12s\n", "size", "updater s", "bare s", "time ratio",
                "peak / size", "peak MB");
    for (std::size_t megabytes : {1u, 64u, 512u}) {
        const std::size_t size = megabytes << 20;
        const std::string path =
            (folder / ("bench-" + std::to_string(megabytes) + ".xdb")).string();
        {
            std::string body(size - 40, '\0');
            std::mt19937_64 random(megabytes);
            for (std::size_t i = 0; i + 8 <= body.size(); i += 8) {
                const std::uint64_t r = random();
                std::copy_n(reinterpret_cast<const char*>(&r), 8, body.data() + i);
            }
            SilentUi ui;
            std::unique_ptr<crypto::Provider> provider = crypto::MakeSystemProvider();
            const std::string package = db::BuildPackage(*provider, ui, "BCH0001", 1, body);
            std::ofstream(path, std::ios::binary)
                .write(package.data(), static_cast<std::streamsize>(package.size()));
        }
        const int runs = megabytes >= 512 ? 3 : 5;
        const Measure bare = Best(BarePass, path, runs);
        const Measure updater = Best(UpdaterPass, path, runs);
        const double fileSize = static_cast<double>(std::filesystem::file_size(path));
        std::printf("%6zuMB %12.4f %12.4f %12.3f %14.3f %12.1f\n", megabytes, updater.seconds,
                    bare.seconds, updater.seconds / bare.seconds, updater.peakBytes / fileSize,
                    updater.peakBytes / 1048576.0);
        std::filesystem::remove(path);
    }
    std::filesystem::remove_all(keys);
    return 0;
}
