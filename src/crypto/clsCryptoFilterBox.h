#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>

#include "crypto/Provider.h"
#include "platform/UserInterface.h"

namespace crypto {

// Turns one text buffer into another through the cryptographic service:
// Encrypt/Decrypt with an RC4 key derived from the MD5 hash of Password,
// Sign/Validate with the user's signature key. Each operation is
// self-contained (its own context, hash and key, all released before it
// returns). Failures are never returned: each is shown to the user, and the
// operation ends leaving status 1.
class clsCryptoFilterBox {
  public:
    // Makes sure the user's default key container exists (InitUser), showing
    // what that step reports. When it can be neither opened nor made but a
    // context of no container can be had, shows nothing: Encrypt, Decrypt
    // and BeginStream then fall back on such a context (Sign and Validate
    // still need the container, and say so).
    clsCryptoFilterBox(Provider& provider, platform::UserInterface& ui);

    // Each getter returns a copy of what was stored: what a caller holds
    // never changes under it when the object is used again.
    std::string InBuffer() const { return InBuffer_; }
    void InBuffer(std::string text) { InBuffer_ = std::move(text); }
    std::string OutBuffer() const { return OutBuffer_; }
    // Moves the result out, leaving OutBuffer empty.
    std::string TakeOutBuffer() { return std::move(OutBuffer_); }
    std::string Signature() const { return Signature_; }
    void Signature(std::string bytes) { Signature_ = std::move(bytes); }
    std::string Password() const { return Password_; }
    void Password(std::string text) { Password_ = std::move(text); }

    // 0 while an operation runs, 1 once it has ended, 2 after Validate found
    // the signature valid.
    std::int32_t status() const { return status_; }

    // Signature = InBuffer signed with the user's signature key; empty when
    // it could not be made, rather than bytes that look like a signature.
    void Sign();
    void Validate();
    // OutBuffer = InBuffer enciphered; InBuffer is kept.
    void Encrypt();
    // OutBuffer = InBuffer deciphered; InBuffer is kept, so that a second
    // Decrypt gives the same output.
    void Decrypt();

    // Enciphering or deciphering a text too long to hold, piece by piece
    // (the system's calls with Final=FALSE): handed over in order, the
    // pieces come out exactly as Encrypt or Decrypt gives the whole text.
    // InBuffer and OutBuffer are not used.
    enum class Direction { Encrypt, Decrypt };
    // Sets up the key under Password as Encrypt and Decrypt do, for a text of
    // totalLength bytes, showing the same messages when it fails; a text
    // longer than Encrypt and Decrypt take (1 GB - 1: their work buffer is
    // twice the text, counted in 32 bits signed) is refused with the message
    // they show for it. False when no piece can be processed
    // (where Encrypt would keep the previous OutBuffer and Decrypt leave it
    // empty). Ends a stream still open.
    bool BeginStream(Direction direction, std::uint64_t totalLength);
    // Processes the next piece in place. False, after showing the failure as
    // Encrypt or Decrypt does, when the service failed: the stream is ended
    // and the text is lost as a whole.
    bool StreamPiece(std::span<char> piece);
    // Ends the stream, releasing its key, hash and context.
    void EndStream();

  private:
    std::int32_t InitUser();
    void ShowFailure(const std::exception& e, Direction direction);

    struct Stream;
    struct StreamDeleter {
        void operator()(Stream* stream) const;
    };

    Provider& provider_;
    platform::UserInterface& ui_;

    std::string InBuffer_;
    std::string OutBuffer_;
    std::string Password_;
    std::string Signature_;
    std::int32_t status_ = 0;
    // The user can have no default container here (see the constructor).
    bool noContainer_ = false;
    std::unique_ptr<Stream, StreamDeleter> stream_;
};

}  // namespace crypto
