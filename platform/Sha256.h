#pragma once
// SHA-256 (FIPS 180-4), for values that are compared by their digest.

#include <array>
#include <cstddef>
#include <string>

namespace gw {

std::array<unsigned char, 32> sha256(const unsigned char* data, std::size_t size);

// The digest in lower-case hexadecimal, 64 digits.
std::string sha256Hex(const unsigned char* data, std::size_t size);

} // namespace gw
