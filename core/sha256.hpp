#pragma once
// SHA-256 of a message text: one byte per UTF-16 unit (its low byte), hashed
// as FIPS 180-4 specifies, returned as 64 lowercase hexadecimal digits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

std::array<uint8_t, 32> Sha256Bytes(const uint8_t* data, size_t size);
std::string Sha256Hex(const uint8_t* data, size_t size);

class CSHA256 {
public:
    std::string SHA256(std::u16string_view text) const;
};

// A digest as the windows show it: in upper case.
std::u16string UpperHex(std::string_view hex);

}  // namespace corvane
