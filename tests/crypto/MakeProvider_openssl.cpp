#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "Vectors.h"
#include "crypto/openssl/OpenSslProvider.h"

namespace vectors {

namespace {

// Removes the test's key folders when the program ends.
struct Folders {
    std::vector<std::filesystem::path> made;
    ~Folders() {
        std::error_code ec;
        for (const auto& f : made) std::filesystem::remove_all(f, ec);
    }
};

}  // namespace

std::unique_ptr<crypto::Provider> MakeProvider() {
    static Folders folders;
    std::string folder =
        (std::filesystem::temp_directory_path() / "atualizador-keys-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) throw std::runtime_error("no temporary folder");
    folders.made.emplace_back(folder);
    return std::make_unique<crypto::OpenSslProvider>(folder, "tester");
}

}  // namespace vectors
