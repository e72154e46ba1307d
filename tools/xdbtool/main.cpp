// xdbtool: the maintainer's tool for database packages.
//
//   xdbtool pack --version TEXT --records N [-o OUT] [BODY]
//   xdbtool info FILE
//   xdbtool unpack FILE [-o OUT]
//   xdbtool sign FILE [-o SIG]
//   xdbtool verify FILE [SIG]
//   xdbtool keygen [--bits N] [--force]
//   xdbtool export-key [-o OUT]
//   xdbtool import-key FILE
//
// Exit status: 0 done; 1 the package or signature did not check, or the
// cryptographic service failed; 2 bad arguments or unreadable/unwritable
// files.
#include <iostream>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif
#include <string>
#include <vector>

#include "Arguments.h"
#include "Files.h"
#include "crypto/clsCryptoFilterBox.h"
#include "db/API_FILE.h"
#include "db/Database.h"
#include "platform/ConsoleUserInterface.h"

namespace {

using xdbtool::Arguments;
using xdbtool::UsageError;

constexpr const char* kUsage = R"(usage: xdbtool COMMAND [ARGUMENTS]

Database packages:
  pack --version TEXT --records N [-o OUT] [BODY]
                      make a package (default OUT db.xdb) whose body is the
                      file BODY ("-": standard input; none: empty)
  info FILE           check a package's header; print its version and records
  unpack FILE [-o OUT]
                      write the deciphered body of a checked package
                      (default: standard output)

Signatures, with the current user's signature key:
  sign FILE [-o SIG]  sign FILE (default SIG: FILE.sig)
  verify FILE [SIG]   check FILE against SIG (default FILE.sig)
  keygen [--bits N] [--force]
                      make a signature key pair (default 1024 bits); --force
                      replaces an existing one
  export-key [-o OUT] write the key pair as a PRIVATEKEYBLOB (default stdout)
  import-key FILE     make a PRIVATEKEYBLOB's key pair the signature key

Exit status: 0 done, 1 check failed, 2 bad arguments or files.
)";

struct Tool {
    std::unique_ptr<crypto::Provider> provider = crypto::MakeSystemProvider();
    platform::ConsoleUserInterface ui{"xdbtool"};

    int pack(const Arguments& a) {
        if (!a.has("--version") || !a.has("--records")) {
            throw UsageError("pack needs --version and --records");
        }
        const auto records = static_cast<std::int16_t>(
            xdbtool::Number(a.option("--records", ""), -32768, 32767, "--records"));
        const std::string body =
            a.operands.empty() ? std::string() : xdbtool::ReadWhole(a.operands[0]);
        std::string package;
        try {
            package = db::BuildPackage(*provider, ui, a.option("--version", ""), records, body);
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }
        xdbtool::WriteWhole(a.option("--output", "db.xdb"), package);
        return 0;
    }

    // The plain text of a package; empty when the filter failed (it said why).
    std::string decipher(std::string package) {
        crypto::clsCryptoFilterBox filter(*provider, ui);
        filter.InBuffer(std::move(package));
        filter.Password(std::string(db::kPassword));
        filter.Decrypt();
        return filter.TakeOutBuffer();
    }

    int info(const Arguments& a) {
        const std::string plain = decipher(xdbtool::ReadWhole(a.operands[0]));
        const std::string reason = whyNot(plain);
        if (!reason.empty()) {
            std::cerr << "xdbtool: " << a.operands[0] << ": " << reason << "\n";
            return 1;
        }
        API_FILE::DatabaseSummary summary;
        API_FILE::ParseDatabase(plain, summary, ui);
        std::cout << "version: " << summary.DbVersion << "\nrecords: " << summary.DbRecordCount
                  << "\n";
        return 0;
    }

    // Why a plain text fails the header check; empty when it passes.
    static std::string whyNot(const std::string& plain) {
        const std::size_t cr = plain.find('\r');
        if (cr == std::string::npos) return "no header line (wrong password or not a package)";
        if (cr + 1 == plain.size()) return "nothing after the header line's CR";
        API_FILE::DatabaseSummary summary;
        const std::string_view header = std::string_view(plain).substr(0, cr);
        try {
            if (plain.size() > 0x7FFFFFFF) return "longer than a header can declare";
            if (API_FILE::CheckDatabaseHeader(header, static_cast<std::int32_t>(plain.size()),
                                              summary)) {
                return {};
            }
        } catch (const API_FILE::MalformedDatabase& e) {
            return e.what();
        }
        if (!header.starts_with("\x1D\x1E\x1F\x1E\x1D")) {
            return "no header marker (wrong password or not a package)";
        }
        return "declared length differs from the deciphered " + std::to_string(plain.size()) +
               " bytes (cut short or extended)";
    }

    int unpack(const Arguments& a) {
        std::string plain = decipher(xdbtool::ReadWhole(a.operands[0]));
        API_FILE::DatabaseSummary summary;
        std::string body;
        try {
            body =
                API_FILE::ParseDatabase(std::move(plain), summary, ui);  // a failed check exits 1
        } catch (const API_FILE::MalformedDatabase& e) {
            std::cerr << "xdbtool: " << a.operands[0] << ": " << e.what() << "\n";
            return 1;
        }
        xdbtool::WriteWhole(a.option("--output", "-"), body);
        return 0;
    }

    int sign(const Arguments& a) {
        crypto::clsCryptoFilterBox filter(*provider, ui);
        filter.InBuffer(xdbtool::ReadWhole(a.operands[0]));
        filter.Sign();
        if (filter.Signature().empty()) return 1;  // the filter said why
        xdbtool::WriteWhole(a.option("--output", a.operands[0] + ".sig"), filter.Signature());
        return 0;
    }

    int verify(const Arguments& a) {
        crypto::clsCryptoFilterBox filter(*provider, ui);
        filter.InBuffer(xdbtool::ReadWhole(a.operands[0]));
        filter.Signature(
            xdbtool::ReadWhole(a.operands.size() > 1 ? a.operands[1] : a.operands[0] + ".sig"));
        filter.Validate();
        if (filter.status() == 2) {
            std::cout << "signature valid\n";
            return 0;
        }
        std::cout << "signature NOT valid\n";
        return 1;
    }

    // The user's default container, made when missing (as the filter does).
    crypto::Acquired<crypto::Context> container() {
        crypto::clsCryptoFilterBox filter(*provider, ui);
        crypto::Acquired<crypto::Context> context = provider->acquireContext(0);
        if (!context) failed("opening the key container", context.error);
        return context;
    }

    [[noreturn]] static void failed(const std::string& what, std::uint32_t code) {
        std::cerr << "xdbtool: failed " << what << " (error " << static_cast<std::int32_t>(code)
                  << ")\n";
        std::exit(1);
    }

    int keygen(const Arguments& a) {
        const auto bits = static_cast<std::uint32_t>(
            xdbtool::Number(a.option("--bits", "1024"), 512, 16384, "--bits"));
        if (bits % 16 != 0) throw UsageError("--bits must be a multiple of 16");
        {
            crypto::Acquired<crypto::Context> context = container();
            if (context.object->userKey(crypto::kAtSignature) && !a.has("--force")) {
                std::cerr << "xdbtool: a signature key exists already (--force replaces it)\n";
                return 1;
            }
            if (crypto::Outcome made = context.object->generateSignatureKey(bits); !made) {
                failed("making the key pair", made.error);
            }
        }  // the system stores a new key when its context is released
        std::cerr << "xdbtool: signature key of " << bits << " bits made\n";
        return 0;
    }

    int exportKey(const Arguments& a) {
        std::string blob;
        {
            crypto::Acquired<crypto::Context> context = container();
            crypto::Acquired<crypto::Key> key = context.object->userKey(crypto::kAtSignature);
            if (!key) failed("finding the signature key", key.error);
            if (crypto::Outcome exported = key.object->exportPrivateBlob(blob); !exported) {
                failed("exporting the signature key", exported.error);
            }
        }
        xdbtool::WriteWhole(a.option("--output", "-"), blob);
        return 0;
    }

    int importKey(const Arguments& a) {
        const std::string blob = xdbtool::ReadWhole(a.operands[0]);
        crypto::Acquired<crypto::Context> context = container();
        if (crypto::Outcome imported = context.object->importSignatureKey(blob); !imported) {
            failed("importing the key pair", imported.error);
        }
        return 0;
    }
};

int Run(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0] == "--help" || argv[0] == "-h" || argv[0] == "help") {
        std::cout << kUsage;
        return argv.empty() ? 2 : 0;
    }
    const std::string& command = argv[0];
    Tool tool;
    if (command == "pack") {
        return tool.pack(xdbtool::Parse(argv, {"--version", "--records", "--output"}, {}, 0, 1));
    }
    if (command == "info") return tool.info(xdbtool::Parse(argv, {}, {}, 1, 1));
    if (command == "unpack") return tool.unpack(xdbtool::Parse(argv, {"--output"}, {}, 1, 1));
    if (command == "sign") return tool.sign(xdbtool::Parse(argv, {"--output"}, {}, 1, 1));
    if (command == "verify") return tool.verify(xdbtool::Parse(argv, {}, {}, 1, 2));
    if (command == "keygen")
        return tool.keygen(xdbtool::Parse(argv, {"--bits"}, {"--force"}, 0, 0));
    if (command == "export-key")
        return tool.exportKey(xdbtool::Parse(argv, {"--output"}, {}, 0, 0));
    if (command == "import-key") return tool.importKey(xdbtool::Parse(argv, {}, {}, 1, 1));
    throw UsageError("unknown command '" + command + "'");
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Bytes and LF line ends on standard output, as on other systems.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help") args = {"--help"};  // "xdbtool CMD --help" too
    }
    try {
        return Run(args);
    } catch (const UsageError& e) {
        std::cerr << "xdbtool: " << e.what() << "\n(xdbtool --help for usage)\n";
        return 2;
    } catch (const xdbtool::FileError& e) {
        std::cerr << "xdbtool: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "xdbtool: " << e.what() << "\n";
        return 1;
    }
}
