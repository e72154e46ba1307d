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
#include "db/VersionText.h"
#include "platform/ConsoleUserInterface.h"

namespace {

using xdbtool::Arguments;
using xdbtool::UsageError;

constexpr const char* kUsage = R"(usage: xdbtool COMMAND [ARGUMENTS]

Database packages (no key container needed):
  pack --version TEXT --records N [-o OUT] [BODY]
                      make a package (default OUT db.xdb) whose body is the
                      file BODY ("-": standard input; none: empty); TEXT is
                      three characters then a whole number from -32768 to
                      32767, as the updater compares versions
  info FILE           check a package's header; print its version and records
  unpack FILE [-o OUT]
                      write the deciphered body of a checked package
                      (default: standard output)

Signatures, with the current user's signature key:
  sign FILE [-o SIG]  sign FILE (default SIG: FILE.sig)
  verify FILE [SIG]   check FILE against SIG (default FILE.sig)
  keygen [--bits N] [--force]
                      make a signature key pair (default 3072 bits); --force
                      replaces an existing one
  export-key [-o OUT] write the key pair as a PRIVATEKEYBLOB (default stdout),
                      readable by its owner alone
  import-key FILE     make a PRIVATEKEYBLOB's key pair the signature key

An output that exists must be a regular file (or a link to one, which stays
a link); it is replaced only once the new content is written in full.
Exit status: 0 done, 1 check failed, 2 bad arguments or files.
)";

constexpr std::uint32_t kDefaultKeyBits = 3072;
// Packages are read and written in pieces of this size.
constexpr std::size_t kPiece = std::size_t{1} << 20;

// The system's provider with every context bound to no key container:
// making and reading packages takes hashes and RC4 keys only, so it never
// opens, makes or needs a key container (on Linux: a key folder under a
// writable home).
class NoContainer : public crypto::Provider {
  public:
    explicit NoContainer(crypto::Provider& system) : system_(system) {}
    crypto::Acquired<crypto::Context> acquireContext(std::uint32_t) override {
        return system_.acquireContext(crypto::kCryptVerifyContext);
    }

  private:
    crypto::Provider& system_;
};

struct Tool {
    std::unique_ptr<crypto::Provider> provider = crypto::MakeSystemProvider();
    NoContainer packages{*provider};
    platform::ConsoleUserInterface ui{"xdbtool"};

    int pack(const Arguments& a) {
        if (!a.has("--version") || !a.has("--records")) {
            throw UsageError("pack needs --version and --records");
        }
        const std::string version = a.option("--version", "");
        try {
            db::VersionNumber(version);
        } catch (const db::VersionTextError& e) {
            throw UsageError(std::string("--version: ") + e.what() +
                             "; the updater compares three characters then a whole number "
                             "from -32768 to 32767");
        }
        const auto records = static_cast<std::int16_t>(
            xdbtool::Number(a.option("--records", ""), -32768, 32767, "--records"));
        // The output first: a place that cannot take it is found before a
        // long body is read.
        xdbtool::OutputFile out(a.option("--output", "db.xdb"));
        std::unique_ptr<xdbtool::InputFile> body;
        if (!a.operands.empty()) body = std::make_unique<xdbtool::InputFile>(a.operands[0]);
        const std::uint64_t bodyLength = body ? body->size() : 0;
        std::string header;
        try {
            header = db::PackageHeaderLine(version, records, bodyLength);
        } catch (const std::invalid_argument& e) {
            throw UsageError(e.what());
        }

        crypto::clsCryptoFilterBox filter(packages, ui);
        filter.Password(std::string(db::kPassword));
        if (!filter.BeginStream(crypto::clsCryptoFilterBox::Direction::Encrypt,
                                header.size() + bodyLength)) {
            return 1;  // the filter said why
        }
        if (!filter.StreamPiece(header)) return 1;
        out.write(header);
        for (std::uint64_t offset = 0; offset < bodyLength;) {
            std::string piece = body->read(offset, kPiece);
            if (!filter.StreamPiece(piece)) return 1;
            out.write(piece);
            offset += piece.size();
        }
        filter.EndStream();
        body.reset();  // closed first: the body may be the file replaced
        out.commit();
        return 0;
    }

    int info(const Arguments& a) {
        xdbtool::InputFile package(a.operands[0]);
        API_FILE::HeaderLine line;
        {
            crypto::clsCryptoFilterBox filter(packages, ui);
            line = db::OpenPackage(filter, &package);
        }
        const std::string reason = whyNot(line);
        if (!reason.empty()) {
            std::cerr << "xdbtool: " << a.operands[0] << ": " << reason << "\n";
            return 1;
        }
        API_FILE::DatabaseSummary summary;
        API_FILE::CheckHeaderLine(line, summary, ui);
        std::cout << "version: " << summary.DbVersion << "\nrecords: " << summary.DbRecordCount
                  << "\n";
        return 0;
    }

    // Why a package's header line fails the check; empty when it passes.
    static std::string whyNot(const API_FILE::HeaderLine& line) {
        if (!line.lineEnd) return "no header line (wrong password or not a package)";
        if (*line.lineEnd + 1 == line.totalLength) return "nothing after the header line's CR";
        API_FILE::DatabaseSummary summary;
        try {
            if (line.totalLength > 0x7FFFFFFF) return "longer than a header can declare";
            if (API_FILE::CheckDatabaseHeader(
                    line.header, static_cast<std::int32_t>(line.totalLength), summary)) {
                return {};
            }
        } catch (const API_FILE::MalformedDatabase& e) {
            return e.what();
        }
        if (!std::string_view(line.header).starts_with("\x1D\x1E\x1F\x1E\x1D")) {
            return "no header marker (wrong password or not a package)";
        }
        return "declared length differs from the deciphered " + std::to_string(line.totalLength) +
               " bytes (cut short or extended)";
    }

    int unpack(const Arguments& a) {
        const std::string output = a.option("--output", "-");
        xdbtool::CheckOutput(output);
        auto package = std::make_unique<xdbtool::InputFile>(a.operands[0]);
        API_FILE::DatabaseSummary summary;
        db::PackageLayout layout;
        try {
            // A failed check ends the program with status 1.
            layout = db::ReadDatabaseHeader(packages, ui, package.get(), summary);
        } catch (const API_FILE::MalformedDatabase& e) {
            std::cerr << "xdbtool: " << a.operands[0] << ": " << e.what() << "\n";
            return 1;
        }
        // The body, deciphered from the package's start: the key stream runs
        // through the header first.
        xdbtool::OutputFile out(output);
        crypto::clsCryptoFilterBox filter(packages, ui);
        filter.Password(std::string(db::kPassword));
        if (!filter.BeginStream(crypto::clsCryptoFilterBox::Direction::Decrypt,
                                layout.totalLength)) {
            return 1;
        }
        for (std::uint64_t offset = 0; offset < layout.totalLength;) {
            std::string piece = package->read(offset, kPiece);
            if (!filter.StreamPiece(piece)) return 1;
            const std::uint64_t end = offset + piece.size();
            if (end > layout.bodyStart) {
                const auto skip = static_cast<std::size_t>(
                    layout.bodyStart > offset ? layout.bodyStart - offset : 0);
                out.write(std::string_view(piece).substr(skip));
            }
            offset = end;
        }
        filter.EndStream();
        package.reset();  // closed first: the package may be the file replaced
        out.commit();
        return 0;
    }

    int sign(const Arguments& a) {
        const std::string output = a.option("--output", a.operands[0] + ".sig");
        xdbtool::CheckOutput(output);
        container();
        crypto::clsCryptoFilterBox filter(*provider, ui);
        filter.InBuffer(xdbtool::ReadWhole(a.operands[0]));
        filter.Sign();
        const std::string signature = filter.Signature();
        if (signature.empty()) return 1;  // the filter said why
        xdbtool::WriteWhole(output, signature);
        return 0;
    }

    int verify(const Arguments& a) {
        container();
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

    // The user's default container, made when missing (as the filter
    // does); when it can be neither opened nor made, says where and why.
    crypto::Acquired<crypto::Context> container() {
        crypto::Acquired<crypto::Context> context = provider->acquireContext(0);
        if (!context && context.error == crypto::kNteBadKeyset) {
            context = provider->acquireContext(crypto::kCryptNewKeyset);
            // Made by another program meanwhile.
            if (!context && context.error == crypto::kNteExists) {
                context = provider->acquireContext(0);
            }
        }
        if (!context) failed("opening the key container", context.error);
        return context;
    }

    [[noreturn]] void failed(const std::string& what, std::uint32_t code) {
        std::cerr << "xdbtool: failed " << what << " (error " << static_cast<std::int32_t>(code)
                  << ")";
        if (const std::string problem = provider->containerProblem(); !problem.empty()) {
            std::cerr << ": " << problem;
        }
        std::cerr << "\n";
        std::exit(1);
    }

    int keygen(const Arguments& a) {
        const auto bits = static_cast<std::uint32_t>(xdbtool::Number(
            a.option("--bits", std::to_string(kDefaultKeyBits)), 512, 16384, "--bits"));
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
        const std::string output = a.option("--output", "-");
        xdbtool::CheckOutput(output);
        std::string blob;
        {
            crypto::Acquired<crypto::Context> context = container();
            crypto::Acquired<crypto::Key> key = context.object->userKey(crypto::kAtSignature);
            if (!key) failed("finding the signature key", key.error);
            if (crypto::Outcome exported = key.object->exportPrivateBlob(blob); !exported) {
                failed("exporting the signature key", exported.error);
            }
        }
        xdbtool::WriteWhole(output, blob, xdbtool::Access::OwnerOnly);
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
    xdbtool::RemoveTemporariesOnSignals();
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
