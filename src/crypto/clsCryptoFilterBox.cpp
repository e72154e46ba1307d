#include "crypto/clsCryptoFilterBox.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>

namespace crypto {

namespace {

constexpr std::size_t kContainerNameBuffer = 1001;

// Codes are shown as the system's signed 32-bit numbers: NTE_BAD_KEYSET
// (0x80090016) reads -2146893802.
std::string Code(std::uint32_t error) {
    return std::to_string(static_cast<std::int32_t>(error));
}

// The error record an unexpected failure carries, in the terms the
// messages use: number, standard message, description and source.
struct ErrorRecord {
    std::int32_t number;
    std::string message;
    std::string description;
};

ErrorRecord RecordOf(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) {
        return {7, "Out of memory", "Out of memory"};
    }
    // Raised by arithmetic, not by anyone with words of their own: the
    // description is the standard message.
    if (dynamic_cast<const std::length_error*>(&e) != nullptr ||
        dynamic_cast<const std::overflow_error*>(&e) != nullptr) {
        return {6, "Overflow", "Overflow"};
    }
    return {5, "Invalid procedure call or argument", e.what()};
}

constexpr std::string_view kErrorSource = "clsCryptoFilterBox";

// The three handles one operation holds. Declared so that they are released
// key first, then hash, then context.
struct Session {
    std::unique_ptr<Context> context;
    std::unique_ptr<Hash> hash;
    std::unique_ptr<Key> key;
};

// The longest text Encrypt and Decrypt take: their work buffer is twice the
// text, its size counted in 32-bit signed arithmetic.
constexpr std::uint64_t kLongestText = std::numeric_limits<std::int32_t>::max() / 2;

void CheckLength(std::uint64_t n) {
    if (n > kLongestText) throw std::overflow_error("Overflow");
}

// The text followed by as many spaces: the buffer both operations work in.
std::string WorkBuffer(std::string text) {
    CheckLength(text.size());
    text.resize(2 * text.size(), ' ');
    return text;
}

}  // namespace

clsCryptoFilterBox::clsCryptoFilterBox(Provider& provider, platform::UserInterface& ui)
    : provider_(provider), ui_(ui) {
    if (InitUser() != -1) {
        ui_.messageBox("Erro ao carregar a classe descompiladora!", platform::mb::Critical, "Erro");
    }
}

std::int32_t clsCryptoFilterBox::InitUser() {
    // Held until after the report of an unexpected failure, as in every
    // operation.
    Acquired<Context> created;
    try {
        if (Acquired<Context> existing = provider_.acquireContext(0)) return -1;

        created = provider_.acquireContext(kCryptNewKeyset);
        if (!created) {
            // An administrator's credentials typed over another user's
            // session, a mandatory or a temporary profile: the user may have
            // no container at all. Ciphers need no key of the user's, so
            // they go on through a context of no container, and there is
            // nothing to tell.
            noContainer_ = static_cast<bool>(provider_.acquireContext(kCryptVerifyContext));
            if (noContainer_) return -1;
            ui_.messageBox("Error creating key container! " + Code(created.error),
                           platform::mb::OkOnly);
            return 0;
        }
        std::string name;
        if (Outcome read = created.object->containerName(name); !read) {
            ui_.messageBox("Error getting user name! " + Code(read.error), platform::mb::OkOnly);
            name.clear();
        }
        name = name.substr(0, std::min(name.find('\0'), kContainerNameBuffer));
        ui_.messageBox("Create key container " + name, platform::mb::OkOnly);
        return -1;
    } catch (const std::exception& e) {
        ui_.messageBox("ErrInitUser " + RecordOf(e).message, platform::mb::OkOnly);
        return 0;
    }
}

namespace {

// Opens the default container and hashes bytes with MD5; on a failure shows
// the failed step's message and returns false. With orNone, a context of no
// container stands in for a default container that cannot be opened; the
// failure shown is still the default container's.
bool OpenHash(Provider& provider, platform::UserInterface& ui, Session& s, std::string_view bytes,
              bool orNone = false) {
    Acquired<Context> context = provider.acquireContext(0);
    if (!context && orNone) {
        if (Acquired<Context> none = provider.acquireContext(kCryptVerifyContext)) {
            context = std::move(none);
        }
    }
    if (!context) {
        ui.messageBox("Error " + Code(context.error) + " during CryptAcquireContext!",
                      platform::mb::OkOnly);
        return false;
    }
    s.context = std::move(context.object);
    Acquired<Hash> hash = s.context->createHash(kCalgMd5);
    if (!hash) {
        ui.messageBox("Error " + Code(hash.error) + " during CryptCreateHash!",
                      platform::mb::OkOnly);
        return false;
    }
    s.hash = std::move(hash.object);
    if (Outcome hashed = s.hash->hashData(bytes); !hashed) {
        ui.messageBox("Error " + Code(hashed.error) + " during CryptHashData!",
                      platform::mb::OkOnly);
        return false;
    }
    return true;
}

// The RC4 key of a password, as Encrypt and Decrypt both set it up.
bool SetUpKey(Provider& provider, platform::UserInterface& ui, Session& s,
              std::string_view password, bool orNone) {
    if (!OpenHash(provider, ui, s, password, orNone)) return false;
    Acquired<Key> key = s.context->deriveKey(kCalgRc4, *s.hash);
    if (!key) {
        ui.messageBox("Error " + Code(key.error) + " during CryptDeriveKey!", platform::mb::OkOnly);
        return false;
    }
    s.key = std::move(key.object);
    s.hash.reset();
    return true;
}

}  // namespace

void clsCryptoFilterBox::Encrypt() {
    status_ = 0;
    // The key, hash and context are released after an unexpected failure
    // has been reported, not before.
    Session s;
    try {
        if (SetUpKey(provider_, ui_, s, Password_, noContainer_)) {
            std::string buffer = WorkBuffer(InBuffer_);
            auto length = static_cast<std::uint32_t>(InBuffer_.size());
            if (Outcome done = s.key->encrypt(buffer, length); !done) {
                ui_.messageBox("bytes required:" + Code(length), platform::mb::OkOnly);
                ui_.messageBox("Error " + Code(done.error) + " during CryptEncrypt!",
                               platform::mb::OkOnly);
            }
            // As long as the call said, within the buffer (whose second half
            // is spaces).
            buffer.resize(std::min<std::size_t>(length, buffer.size()));
            OutBuffer_ = std::move(buffer);
        }
    } catch (const std::exception& e) {
        ShowFailure(e, Direction::Encrypt);
    }
    status_ = 1;
}

void clsCryptoFilterBox::Decrypt() {
    status_ = 0;
    OutBuffer_.clear();
    Session s;
    try {
        if (SetUpKey(provider_, ui_, s, Password_, noContainer_)) {
            // The whole buffer is deciphered, its spaces included; the text
            // is its first half.
            std::string buffer = WorkBuffer(InBuffer_);
            auto length = static_cast<std::uint32_t>(buffer.size());
            if (Outcome done = s.key->decrypt(buffer, length); !done) {
                ui_.messageBox("bytes required:" + Code(length), platform::mb::OkOnly);
                ui_.messageBox("Error " + Code(done.error) + " during CryptDecrypt!",
                               platform::mb::OkOnly);
            } else {
                buffer.resize(InBuffer_.size());
                OutBuffer_ = std::move(buffer);
            }
        }
    } catch (const std::exception& e) {
        ShowFailure(e, Direction::Decrypt);
    }
    status_ = 1;
}

void clsCryptoFilterBox::ShowFailure(const std::exception& e, Direction direction) {
    const ErrorRecord r = RecordOf(e);
    if (direction == Direction::Encrypt) {
        ui_.messageBox("ErrEncrypt " + r.message, platform::mb::OkOnly);
        return;
    }
    ui_.messageBox("ErrDecrypt \r\n" + r.message + "\r\n" + r.description + "\r\n" +
                       std::to_string(r.number) + std::string(kErrorSource),
                   platform::mb::OkOnly);
}

struct clsCryptoFilterBox::Stream {
    Direction direction;
    std::uint32_t totalLength;
    Session session;
};

void clsCryptoFilterBox::StreamDeleter::operator()(Stream* stream) const {
    delete stream;
}

bool clsCryptoFilterBox::BeginStream(Direction direction, std::uint64_t totalLength) {
    EndStream();
    status_ = 0;
    std::unique_ptr<Stream, StreamDeleter> stream;
    try {
        stream.reset(new Stream{direction, 0, {}});
        if (SetUpKey(provider_, ui_, stream->session, Password_, noContainer_)) {
            // The length check Encrypt and Decrypt make on their buffer.
            CheckLength(totalLength);
            stream->totalLength = static_cast<std::uint32_t>(totalLength);
            stream_ = std::move(stream);
            return true;
        }
    } catch (const std::exception& e) {
        ShowFailure(e, direction);
    }
    status_ = 1;
    return false;
}

bool clsCryptoFilterBox::StreamPiece(std::span<char> piece) {
    if (!stream_) return false;
    const Direction direction = stream_->direction;
    try {
        Key& key = *stream_->session.key;
        const Outcome done =
            direction == Direction::Encrypt ? key.encryptPiece(piece) : key.decryptPiece(piece);
        if (done) return true;
        // The length a failed call over the whole text leaves: the data
        // length it was given, the text's for Encrypt, its buffer's for
        // Decrypt.
        const std::uint32_t n = stream_->totalLength;
        ui_.messageBox("bytes required:" + Code(direction == Direction::Encrypt ? n : 2 * n),
                       platform::mb::OkOnly);
        ui_.messageBox("Error " + Code(done.error) + " during " +
                           (direction == Direction::Encrypt ? "CryptEncrypt!" : "CryptDecrypt!"),
                       platform::mb::OkOnly);
    } catch (const std::exception& e) {
        ShowFailure(e, direction);
    }
    EndStream();
    return false;
}

void clsCryptoFilterBox::EndStream() {
    if (!stream_) return;
    stream_.reset();
    status_ = 1;
}

void clsCryptoFilterBox::Sign() {
    status_ = 0;
    Signature_.clear();
    Session s;
    try {
        if (OpenHash(provider_, ui_, s, InBuffer_)) {
            // First ask for the length, then sign into a buffer of that size.
            std::uint32_t length = 0;
            (void)s.hash->signHash(kAtSignature, nullptr, length);
            Signature_.assign(length, '\0');
            if (Outcome signed_ = s.hash->signHash(kAtSignature, Signature_.data(), length);
                !signed_) {
                ui_.messageBox("Error " + Code(signed_.error) + " during CryptSignHash",
                               platform::mb::OkOnly);
                // No signature rather than a buffer of zeros that looks like one.
                Signature_.clear();
            } else {
                // As long as the signature the call wrote, not the length it
                // first asked for: bytes it did not write are no part of it.
                Signature_.resize(std::min<std::size_t>(length, Signature_.size()));
            }
        }
    } catch (const std::exception& e) {
        ui_.messageBox("ErrSign " + RecordOf(e).message, platform::mb::OkOnly);
    }
    status_ = 1;
}

void clsCryptoFilterBox::Validate() {
    status_ = 0;
    bool valid = true;
    Session s;
    try {
        if (!OpenHash(provider_, ui_, s, InBuffer_)) {
            valid = false;
        } else if (Acquired<Key> key = s.context->userKey(kAtSignature); !key) {
            valid = false;
            ui_.messageBox("Error " + Code(key.error) + " during CryptGetUserKey!",
                           platform::mb::OkOnly);
        } else {
            s.key = std::move(key.object);
            if (Outcome verified = s.hash->verifySignature(Signature_, *s.key); !verified) {
                valid = false;
                if (verified.error != kNteBadSignature) {
                    ui_.messageBox(
                        "Error " + Code(verified.error) + " during CryptVerifySignature!",
                        platform::mb::OkOnly);
                }
            }
        }
    } catch (const std::exception& e) {
        valid = false;
        ui_.messageBox("ErrValidate " + RecordOf(e).message, platform::mb::OkOnly);
    }
    status_ = valid ? 2 : 1;
}

}  // namespace crypto
