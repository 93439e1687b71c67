// Number and string formatting for responses. Routines that write into a
// caller's buffer take it as a span and write nothing when the result and
// its NUL would not fit (they then return null, or 0 for acu_fmt_number).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vxctl {

// The fixed-width formatters' shared number buffer (one per machine, in
// AcuOutputState): up to 5 digits and the NUL.
using AcuNumberBuffer = std::array<char, 6>;

// Exactly 3 decimal digits with leading zeros.
const char* FormatDec3(AcuNumberBuffer& number, std::uint8_t value);
// Exactly 2 upper-case hex digits.
const char* FormatHex2(AcuNumberBuffer& number, std::uint8_t value);
// 5 decimal digits; returns the first digit after the leading zeros (at
// least one digit is left).
const char* FormatDec5(AcuNumberBuffer& number, std::uint16_t value);

// `value` right-aligned in a field of `width` padded with spaces (wider when
// it has more digits), NUL-terminated; returns its first digit.
char* acu_fmt_field(std::uint32_t value, std::span<char> buffer, unsigned width);
// Decimal without leading zeros; returns the NUL.
char* acu_fmt_u16(std::uint16_t value, std::span<char> buffer);
// Signed decimal; returns the NUL.
char* acu_fmt_int(std::int32_t value, std::span<char> buffer);
// Digits of "0123456789ABCDEF" in `radix` 2-16; another radix writes
// nothing. Returns the NUL.
char* acu_fmt_radix(std::uint32_t value, std::span<char> buffer, unsigned radix);
// Radix in bits 0-7 (2-16, else nothing is written), minimum digits in
// bits 8-13 (zero padding), '-' only for negative values in radix 10.
// Returns the number of characters written before the NUL.
unsigned acu_fmt_number(std::int32_t value, std::span<char> buffer, std::uint32_t flags);
// 2 / 8 upper-case hex digits; return the NUL.
char* acu_fmt_hex_byte(std::uint8_t value, std::span<char> buffer);
char* acu_fmt_hex_word(std::uint32_t value, std::span<char> buffer);

}  // namespace vxctl
