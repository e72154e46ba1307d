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

    struct Package {
        std::string version;
        std::int16_t records;
        std::string body;
    };
    const std::vector<Package> packages{
        {"VRS0042", 1234, "records\r\nmore records\r\n"},
        {"", 0, ""},
        {"ABC32767", 32767, std::string(200, '\x1E')},
        {"X\x1E\x1F", -32768, std::string("\0\r\n\0", 4)},
    };
    int n = 0;
    for (const Package& p : packages) {
        crypto::clsCryptoFilterBox filter(*provider, ui);
        filter.InBuffer(db::BuildPackage(*provider, ui, p.version, p.records, p.body));
        filter.Password(std::string(db::kPassword));
        filter.Decrypt();
        std::ofstream(folder / ("package-" + std::to_string(n++)), std::ios::binary)
            << filter.OutBuffer();
    }
    const std::vector<std::string> edges{
        "",
        "ERRO",
        "\x1D\x1E\x1F\x1E\x1D"
        "20\x1E"
        "1\x1F"
        "ABC1\rZ"
        "body",
        "\x1D\x1E\x1F\x1E\x1D"
        "12\x1E"
        "5\x1F"
        "V\r",
        "\x1D\x1E\x1F\x1E\x1D"
        " +17 \x1E -3 \x1F\r\n",
        "\x1D\x1E\x1F\x1E\x1D"
        "2147483648\x1E"
        "5\x1F"
        "V\r\n",
    };
    for (const std::string& text : edges) {
        std::ofstream(folder / ("edge-" + std::to_string(n++)), std::ios::binary) << text;
    }
    return 0;
}
