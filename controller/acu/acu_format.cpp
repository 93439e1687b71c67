#include "controller/acu/acu_format.h"

#include <algorithm>
#include <cstring>

namespace vxctl {
namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

// Digits of `value` in `radix`, at least `min_digits` (zero-padded), least
// significant last, into `out`; returns their count (at most 64).
unsigned Digits(std::uint32_t value, unsigned radix, unsigned min_digits, char (&out)[64]) {
  char reversed[64];
  unsigned count = 0;
  do {
    reversed[count++] = kDigits[value % radix];
    value /= radix;
  } while (value != 0);
  while (count < min_digits && count < sizeof(reversed)) reversed[count++] = '0';
  std::reverse_copy(reversed, reversed + count, out);
  return count;
}

// Writes `sign` (when not NUL) and the digits; null when they and the NUL
// do not fit.
char* Put(std::span<char> buffer, char sign, const char* digits, unsigned count) {
  const std::size_t length = count + (sign != '\0' ? 1 : 0);
  if (length + 1 > buffer.size()) return nullptr;
  char* out = buffer.data();
  if (sign != '\0') *out++ = sign;
  std::memcpy(out, digits, count);
  out[count] = '\0';
  return out + count;
}

char* Unsigned(std::uint32_t value, std::span<char> buffer, unsigned radix, unsigned min_digits) {
  char digits[64];
  const unsigned count = Digits(value, radix, min_digits, digits);
  return Put(buffer, '\0', digits, count);
}

std::uint32_t Magnitude(std::int32_t value) {
  return value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
}

}  // namespace

const char* FormatDec3(AcuNumberBuffer& number, std::uint8_t value) {
  Unsigned(value, number, 10, 3);
  return number.data();
}

const char* FormatHex2(AcuNumberBuffer& number, std::uint8_t value) {
  Unsigned(value, number, 16, 2);
  return number.data();
}

const char* FormatDec5(AcuNumberBuffer& number, std::uint16_t value) {
  Unsigned(value, number, 10, 5);
  const char* first = number.data();
  while (*first == '0' && first[1] != '\0') ++first;
  return first;
}

char* acu_fmt_field(std::uint32_t value, std::span<char> buffer, unsigned width) {
  char digits[64];
  const unsigned count = Digits(value, 10, 1, digits);
  const unsigned padding = width > count ? width - count : 0;
  if (padding + count + 1 > buffer.size()) return nullptr;
  std::memset(buffer.data(), ' ', padding);
  Put(buffer.subspan(padding), '\0', digits, count);
  return buffer.data() + padding;
}

char* acu_fmt_u16(std::uint16_t value, std::span<char> buffer) {
  return Unsigned(value, buffer, 10, 1);
}

char* acu_fmt_int(std::int32_t value, std::span<char> buffer) {
  char digits[64];
  const unsigned count = Digits(Magnitude(value), 10, 1, digits);
  return Put(buffer, value < 0 ? '-' : '\0', digits, count);
}

char* acu_fmt_radix(std::uint32_t value, std::span<char> buffer, unsigned radix) {
  if (radix < 2 || radix > 16) return nullptr;
  return Unsigned(value, buffer, radix, 1);
}

unsigned acu_fmt_number(std::int32_t value, std::span<char> buffer, std::uint32_t flags) {
  const unsigned radix = flags & 0xFF;
  const unsigned min_digits = (flags >> 8) & 0x3F;
  if (radix < 2 || radix > 16) return 0;
  const bool negative = radix == 10 && value < 0;
  char digits[64];
  const unsigned count = Digits(negative ? Magnitude(value) : static_cast<std::uint32_t>(value),
                                radix, min_digits, digits);
  char* end = Put(buffer, negative ? '-' : '\0', digits, count);
  return end == nullptr ? 0 : static_cast<unsigned>(end - buffer.data());
}

char* acu_fmt_hex_byte(std::uint8_t value, std::span<char> buffer) {
  return Unsigned(value, buffer, 16, 2);
}

char* acu_fmt_hex_word(std::uint32_t value, std::span<char> buffer) {
  return Unsigned(value, buffer, 16, 8);
}

}  // namespace vxctl
