#include "Vectors.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace vectors {

std::string Generated(std::size_t size, std::uint64_t seed) {
    std::string out(size, '\0');
    std::uint64_t x = seed | 1;
    for (std::size_t i = 0; i < size; ++i) {
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        out[i] = static_cast<char>((x * 0x2545F4914F6CDD1DULL) >> 56);
    }
    return out;
}

std::string Fingerprint(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (char c : bytes) {
        h ^= static_cast<std::uint8_t>(c);
        h *= 0x100000001b3ULL;
    }
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, h >>= 4)
        out[static_cast<std::size_t>(i)] = "0123456789abcdef"[h & 15];
    return out;
}

std::string Hex(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        out += "0123456789abcdef"[b >> 4];
        out += "0123456789abcdef"[b & 15];
    }
    return out;
}

std::string Unhex(std::string_view hex) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        throw std::invalid_argument("bad hex digit");
    };
    if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length");
    std::string out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        out += static_cast<char>(nibble(hex[i]) * 16 + nibble(hex[i + 1]));
    }
    return out;
}

namespace {

constexpr std::size_t kLongSize = 6 * 1024 * 1024 + 13;
constexpr std::uint64_t kLongSeed = 20261207;

std::string InputField(const std::string& input) {
    if (input.size() == kLongSize) {
        return "gen:" + std::to_string(kLongSize) + ":" + std::to_string(kLongSeed);
    }
    return "hex:" + Hex(input);
}

std::string ParseInput(const std::string& field) {
    if (field.rfind("hex:", 0) == 0) return Unhex(field.substr(4));
    if (field.rfind("gen:", 0) == 0) {
        const std::size_t colon = field.find(':', 4);
        return Generated(std::stoull(field.substr(4, colon - 4)),
                         std::stoull(field.substr(colon + 1)));
    }
    throw std::invalid_argument("bad input field " + field);
}

std::string Field(const std::string& hex) {
    return hex.empty() ? "-" : hex;
}
std::string Unfield(const std::string& field) {
    return field == "-" ? "" : field;
}

}  // namespace

std::vector<Cipher> CipherInputs() {
    return {
        {"5d03e7b", "", ""},
        {"5d03e7b", "A", ""},
        {"5d03e7b", std::string(4096, '\0'), ""},
        {"5d03e7b", Generated(300, 7), ""},
        {"", "plain text", ""},
        {"senha\xe7\xe3o", "accented password, ANSI bytes", ""},
        {std::string("a\0b", 3), "password holding a zero byte", ""},
        {"5d03e7b", Generated(kLongSize, kLongSeed), ""},
    };
}

std::string OutputField(std::string_view output) {
    return output.size() > 4096 ? "fnv:" + Fingerprint(output) : "hex:" + Hex(output);
}

std::string FormatCiphers(const std::vector<Cipher>& vectors) {
    std::string out;
    for (const Cipher& v : vectors) {
        out += Field(Hex(v.password)) + " " + InputField(v.input) + " " + v.output + "\n";
    }
    return out;
}

std::vector<Cipher> ParseCiphers(std::string_view text) {
    std::vector<Cipher> out;
    std::istringstream in{std::string(text)};
    std::string password;
    std::string input;
    std::string output;
    while (in >> password >> input >> output) {
        out.push_back({Unhex(Unfield(password)), ParseInput(input), output});
    }
    return out;
}

std::string FormatSignature(const Signature& v) {
    return "key " + Hex(v.keyBlob) + "\nmessage " + Field(Hex(v.message)) + "\nsignature " +
           Hex(v.signature) + "\n";
}

Signature ParseSignature(std::string_view text) {
    std::istringstream in{std::string(text)};
    std::string name;
    std::string value;
    Signature v;
    while (in >> name >> value) {
        if (name == "key") v.keyBlob = Unhex(value);
        if (name == "message") v.message = Unhex(Unfield(value));
        if (name == "signature") v.signature = Unhex(value);
    }
    return v;
}

std::string Folder() {
#ifdef _WIN32
    return std::string("Z:") + VECTORS_DIR;  // the build tree as Wine sees it
#else
    return VECTORS_DIR;
#endif
}

std::string ReadVectorFile(const std::string& name) {
    std::ifstream in(Folder() + "/" + name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read vector file " + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vectors
