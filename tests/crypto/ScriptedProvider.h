#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "crypto/Provider.h"

namespace testing_crypto {

// The calls a ScriptedProvider can be told to fail.
enum class Step {
    Acquire,
    AcquireNew,
    AcquireNoContainer,
    ContainerName,
    CreateHash,
    HashData,
    DeriveKey,
    Encrypt,
    Decrypt,
    SignHash,
    UserKey,
    Verify,
};

// A provider whose calls succeed (XOR "cipher", signature = the hashed bytes)
// unless a step is scripted to fail with a code, or to throw.
class ScriptedProvider : public crypto::Provider {
  public:
    std::map<Step, std::uint32_t> failures;
    std::map<Step, std::function<void()>> throws;  // runs instead of the call
    bool containerExists = true;
    std::string containerName = "alice";
    std::uint32_t lengthLeftOnFailure = 0;  // what a failing encrypt/decrypt leaves
    int released = 0;                       // contexts, hashes and keys destroyed

    crypto::Acquired<crypto::Context> acquireContext(std::uint32_t flags) override;

    // Runs a scripted throw for step, and returns its scripted failure code (0: none).
    std::uint32_t scripted(Step step);
};

}  // namespace testing_crypto
