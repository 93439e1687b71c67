#include "controller/acu/at_arguments.h"

#include <cstring>

namespace vxctl {
namespace {

constexpr bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

constexpr int HexValue(char c) {
  if (IsDecimalDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr std::uint32_t MaxOfWidth(unsigned width) {
  return width == 1 ? 0xFFu : width == 2 ? 0xFFFFu : 0xFFFFFFFFu;
}

// Decimal digits at the cursor (none is 0). False when the value exceeds `max`.
bool ParseDecimal(const char*& cursor, std::uint32_t max, std::uint32_t& value, bool& any) {
  std::uint64_t accumulated = 0;
  any = false;
  for (; IsDecimalDigit(*cursor); ++cursor) {
    accumulated = accumulated * 10 + static_cast<unsigned>(*cursor - '0');
    if (accumulated > max) return false;
    any = true;
  }
  value = static_cast<std::uint32_t>(accumulated);
  return true;
}

// Upper-case hex digits at the cursor (none is 0); leading zeros do not count
// towards `max_digits`. False when more significant digits follow.
bool ParseHex(const char*& cursor, unsigned max_digits, std::uint32_t& value, bool& any) {
  any = false;
  value = 0;
  unsigned significant = 0;
  for (int digit; (digit = HexValue(*cursor)) >= 0; ++cursor) {
    any = true;
    if (significant == 0 && digit == 0) continue;
    if (++significant > max_digits) return false;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return true;
}

bool ParseNumber(bool hex, unsigned width, const char*& cursor, std::uint32_t& value, bool& any) {
  return hex ? ParseHex(cursor, width * 2, value, any)
             : ParseDecimal(cursor, MaxOfWidth(width), value, any);
}

bool ParseSingle(bool hex, unsigned width, const char*& cursor, AtArgumentBuffer& buffer) {
  std::uint32_t value = 0;
  bool any = false;
  return ParseNumber(hex, width, cursor, value, any) && buffer.Put(width, value) &&
         buffer.Put(width, 0);
}

// Comma-separated sub-parameters: a {position, value} pair for each one
// given, positions from 1; an empty one only advances the position.
bool ParseList(bool hex, unsigned width, const char*& cursor, AtArgumentBuffer& buffer) {
  for (std::uint32_t position = 1;; ++position, ++cursor) {
    if (position > MaxOfWidth(width)) return false;
    std::uint32_t value = 0;
    bool any = false;
    if (!ParseNumber(hex, width, cursor, value, any)) return false;
    if (any && !(buffer.Put(width, position) && buffer.Put(width, value))) return false;
    if (*cursor != ',') break;
  }
  return buffer.Put(width, 0);
}

// Copies characters while `take` accepts them, then the closing NUL.
template <class Take>
bool CopyText(const char*& cursor, AtArgumentBuffer& buffer, Take take) {
  for (; *cursor != '\0' && take(*cursor); ++cursor) {
    if (!buffer.Put(1, static_cast<std::uint8_t>(*cursor))) return false;
  }
  return buffer.Put(1, 0);
}

bool ParseDialText(const char*& cursor, AtArgumentBuffer& buffer) {
  for (; *cursor != '\0'; ++cursor) {
    if (!buffer.Put(1, static_cast<std::uint8_t>(*cursor))) return false;
    if (*cursor == ';') {
      ++cursor;
      break;
    }
  }
  return buffer.Put(1, 0);
}

bool ParseQuoted(const char*& cursor, AtArgumentBuffer& buffer) {
  if (*cursor != '"' || !buffer.Put(1, '"')) return false;
  for (++cursor; *cursor != '"'; ++cursor) {
    if (*cursor == '\0' || !buffer.Put(1, static_cast<std::uint8_t>(*cursor))) return false;
  }
  ++cursor;
  return buffer.Put(1, '"') && buffer.Put(1, 0);
}

bool ParseDecimalText(const char*& cursor, AtArgumentBuffer& buffer) {
  const char* start = cursor;
  if (!CopyText(cursor, buffer, [](char c) { return IsDecimalDigit(c) || c == '.'; })) {
    return false;
  }
  return cursor != start;
}

bool IsKeptDialCharacter(char c) {
  return IsDecimalDigit(c) || (c >= 'A' && c <= 'D') || std::strchr("*#!,;=@PRTW", c) != nullptr;
}

bool ParseDialCharacters(const char*& cursor, AtArgumentBuffer& buffer) {
  for (; *cursor != '\0'; ++cursor) {
    const char c = *cursor;
    if (c == '(' || c == ')' || c == '-') continue;
    if (!IsKeptDialCharacter(c) || !buffer.Put(1, static_cast<std::uint8_t>(c))) return false;
  }
  return buffer.Put(1, 0);
}

bool ParseSignedByte(const char*& cursor, AtArgumentBuffer& buffer) {
  const bool negative = *cursor == '-';
  if (*cursor == '+' || *cursor == '-') ++cursor;
  std::uint32_t magnitude = 0;
  bool any = false;
  if (!ParseDecimal(cursor, 127, magnitude, any)) return false;
  const auto value = static_cast<std::int8_t>(negative ? -static_cast<int>(magnitude)
                                                       : static_cast<int>(magnitude));
  return buffer.Put(1, static_cast<std::uint8_t>(value));
}

}  // namespace

void AtArgumentBuffer::Start() {
  element = 0;
  std::memset(bytes.data(), 0, 4);
}

bool AtArgumentBuffer::Put(unsigned width, std::uint32_t value) {
  const std::size_t at = std::size_t{element} * width;
  if (at + width > kBytes) return false;
  switch (width) {
    case 1: bytes[at] = static_cast<std::uint8_t>(value); break;
    case 2: {
      const auto narrow = static_cast<std::uint16_t>(value);
      std::memcpy(&bytes[at], &narrow, 2);
      break;
    }
    default: std::memcpy(&bytes[at], &value, 4); break;
  }
  ++element;
  return true;
}

bool ParseAtArgument(AtArgumentKind kind, const char*& cursor, AtArgumentBuffer& buffer) {
  using K = AtArgumentKind;
  switch (kind) {
    case K::None: return true;
    case K::Decimal8: return ParseSingle(false, 1, cursor, buffer);
    case K::Decimal16: return ParseSingle(false, 2, cursor, buffer);
    case K::Decimal32: return ParseSingle(false, 4, cursor, buffer);
    case K::DecimalList8: return ParseList(false, 1, cursor, buffer);
    case K::DecimalList16: return ParseList(false, 2, cursor, buffer);
    case K::DecimalList32: return ParseList(false, 4, cursor, buffer);
    case K::Hex8: return ParseSingle(true, 1, cursor, buffer);
    case K::Hex16: return ParseSingle(true, 2, cursor, buffer);
    case K::Hex32: return ParseSingle(true, 4, cursor, buffer);
    case K::HexList8: return ParseList(true, 1, cursor, buffer);
    case K::HexList16: return ParseList(true, 2, cursor, buffer);
    case K::HexList32: return ParseList(true, 4, cursor, buffer);
    case K::DialText: return ParseDialText(cursor, buffer);
    case K::Quoted: return ParseQuoted(cursor, buffer);
    case K::DecimalText: return ParseDecimalText(cursor, buffer);
    case K::RestOfLine: return CopyText(cursor, buffer, [](char) { return true; });
    case K::DialCharacters: return ParseDialCharacters(cursor, buffer);
    case K::ToneString: return ParseAtToneString(cursor, buffer);
    case K::SignedByte: return ParseSignedByte(cursor, buffer);
    case K::TextToSeparator: return CopyText(cursor, buffer, [](char c) { return c != ';'; });
  }
  return false;  // a kind outside 0-20
}

}  // namespace vxctl
