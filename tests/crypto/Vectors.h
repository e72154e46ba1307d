#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/Provider.h"

// Test vectors shared by the native and the Windows builds, so that both
// providers are held to the same bytes.
namespace vectors {

// Deterministic pseudo-random bytes (xorshift64*), the same on every build.
std::string Generated(std::size_t size, std::uint64_t seed);
// FNV-1a, 64 bits, as 16 lower-case hex digits: a fingerprint of long outputs.
std::string Fingerprint(std::string_view bytes);
std::string Hex(std::string_view bytes);
std::string Unhex(std::string_view hex);

// One cipher vector: password and input, and the enciphered output as hex
// or, for long inputs, as its fingerprint.
struct Cipher {
    std::string password;
    std::string input;
    std::string output;  // "hex:..." or "fnv:..."
};

// The inputs the vectors are made for, with their outputs left empty.
std::vector<Cipher> CipherInputs();
// Writes and reads the vector file: one line per vector,
// "<password hex> <input: hex:.. | gen:SIZE:SEED> <output>".
std::string FormatCiphers(const std::vector<Cipher>& vectors);
std::vector<Cipher> ParseCiphers(std::string_view text);
// The output field for an enciphered text.
std::string OutputField(std::string_view output);

// A signature vector: a key pair as a PRIVATEKEYBLOB, a message and its
// signature as the system writes it.
struct Signature {
    std::string keyBlob;
    std::string message;
    std::string signature;
};
std::string FormatSignature(const Signature& v);
Signature ParseSignature(std::string_view text);

// The folder of the checked-in vector files, and a file read from it.
std::string Folder();
std::string ReadVectorFile(const std::string& name);

// The provider under test: the system's own (CryptoAPI on Windows; the
// portable one natively, with its containers in a fresh temporary folder).
std::unique_ptr<crypto::Provider> MakeProvider();

}  // namespace vectors
