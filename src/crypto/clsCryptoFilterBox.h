#pragma once

#include <cstdint>
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
    // what that step reports.
    clsCryptoFilterBox(Provider& provider, platform::UserInterface& ui);

    const std::string& InBuffer() const { return InBuffer_; }
    void InBuffer(std::string text) { InBuffer_ = std::move(text); }
    const std::string& OutBuffer() const { return OutBuffer_; }
    // Moves the result out, leaving OutBuffer empty.
    std::string TakeOutBuffer() { return std::move(OutBuffer_); }
    const std::string& Signature() const { return Signature_; }
    void Signature(std::string bytes) { Signature_ = std::move(bytes); }
    const std::string& Password() const { return Password_; }
    void Password(std::string text) { Password_ = std::move(text); }

    // 0 while an operation runs, 1 once it has ended, 2 after Validate found
    // the signature valid.
    std::int32_t status() const { return status_; }

    void Sign();
    void Validate();
    // OutBuffer = InBuffer enciphered; InBuffer is kept.
    void Encrypt();
    // OutBuffer = InBuffer deciphered. InBuffer is consumed (deciphered in
    // place to spare a copy of a whole database) and left empty.
    void Decrypt();

  private:
    std::int32_t InitUser();

    Provider& provider_;
    platform::UserInterface& ui_;

    std::string InBuffer_;
    std::string OutBuffer_;
    std::string Password_;
    std::string Signature_;
    std::int32_t status_ = 0;
};

}  // namespace crypto
