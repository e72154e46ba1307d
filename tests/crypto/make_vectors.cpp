// Writes the test vectors of the system's provider to standard output:
//   make_vectors cipher      one line per cipher vector (see Vectors.h)
//   make_vectors signature   a new signature key pair of the user's default
//                            container, a message and its signature
// The checked-in vectors come from the Windows build, run under Wine:
//   scripts/wine-run.sh build/windows/tests/crypto/make_vectors.exe cipher |
//       tr -d '\r' > tests/crypto/vectors/rc4.txt
//   (and "signature" > tests/crypto/vectors/signature.txt)
#include <cstdio>
#include <iostream>
#include <string>

#include "Vectors.h"
#include "crypto/clsCryptoFilterBox.h"
#include "platform/ConsoleUserInterface.h"

namespace {

int Ciphers(crypto::Provider& provider, platform::UserInterface& ui) {
    std::vector<vectors::Cipher> all = vectors::CipherInputs();
    for (vectors::Cipher& v : all) {
        crypto::clsCryptoFilterBox filter(provider, ui);
        filter.Password(v.password);
        filter.InBuffer(v.input);
        filter.Encrypt();
        v.output = vectors::OutputField(filter.OutBuffer());
    }
    std::cout << vectors::FormatCiphers(all);
    return 0;
}

int Signature(crypto::Provider& provider, platform::UserInterface& ui) {
    crypto::clsCryptoFilterBox filter(provider, ui);  // makes the container if needed
    vectors::Signature v;
    {
        // A new key reaches the container when its context is released.
        crypto::Acquired<crypto::Context> context = provider.acquireContext(0);
        if (!context || !context.object->generateSignatureKey(1024)) return 1;
    }
    {
        crypto::Acquired<crypto::Context> context = provider.acquireContext(0);
        crypto::Acquired<crypto::Key> key = context ? context.object->userKey(crypto::kAtSignature)
                                                    : crypto::Acquired<crypto::Key>{};
        if (!key || !key.object->exportPrivateBlob(v.keyBlob)) return 1;
    }
    v.message = vectors::Generated(777, 3);
    filter.InBuffer(v.message);
    filter.Sign();
    v.signature = filter.Signature();
    std::cout << vectors::FormatSignature(v);
    return v.signature.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    std::unique_ptr<crypto::Provider> provider = vectors::MakeProvider();
    platform::ConsoleUserInterface ui("make_vectors");
    if (what == "cipher") return Ciphers(*provider, ui);
    if (what == "signature") return Signature(*provider, ui);
    std::cerr << "usage: make_vectors cipher|signature\n";
    return 2;
}
