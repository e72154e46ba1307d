#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace e2e {

// The enciphered bytes of a database package, made with the system's own
// cipher as the product's tooling would. A message from the cipher other
// than the key container's first-use note fails the test.
std::string Package(std::string_view version, std::int16_t records, std::string_view body);

}  // namespace e2e
