// Writes the fuzzer's seed corpus: the plain texts of packages made by
// BuildPackage (deciphered again, as the updater would see them), and a few
// texts at the edges of the header format.
//   make_seeds FOLDER
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Seeds.h"
#include "crypto/Provider.h"
#include "crypto/clsCryptoFilterBox.h"
#include "db/Database.h"
#include "platform/ConsoleUserInterface.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_seeds FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    platform::ConsoleUserInterface ui("fuzz_make_seeds");
    std::unique_ptr<crypto::Provider> provider = crypto::MakeSystemProvider();

    int n = 0;
    for (const seeds::Package& p : seeds::Packages()) {
        crypto::clsCryptoFilterBox filter(*provider, ui);
        filter.InBuffer(db::BuildPackage(*provider, ui, p.version, p.records, p.body));
        filter.Password(std::string(db::kPassword));
        filter.Decrypt();
        std::ofstream(folder / ("package-" + std::to_string(n++)), std::ios::binary)
            << filter.TakeOutBuffer();
    }
    for (const std::string& text : seeds::Edges()) {
        std::ofstream(folder / ("edge-" + std::to_string(n++)), std::ios::binary) << text;
    }
    return 0;
}
