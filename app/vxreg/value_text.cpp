#include "app/vxreg/value_text.h"

#include <algorithm>
#include <cstdio>

namespace vxreg {
namespace {

constexpr std::size_t kQuotedMax = 40;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Decimal digits, or 0x and 1..8 hex digits, no larger than `max`.
bool ParseNumber(std::string_view text, std::uint32_t max, std::uint32_t* number) {
  std::uint64_t value = 0;
  if (text.size() > 2 && text[0] == '0' && Lower(text[1]) == 'x') {
    text.remove_prefix(2);
    if (text.size() > 8) return false;
    for (const char c : text) {
      const int digit = HexDigit(c);
      if (digit < 0) return false;
      value = value * 16 + static_cast<std::uint64_t>(digit);
    }
  } else {
    if (text.empty() || text.size() > 10) return false;
    for (const char c : text) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
  }
  if (value > max) return false;
  *number = static_cast<std::uint32_t>(value);
  return true;
}

// Pairs of hex digits, spaces between pairs allowed.
bool ParseHexBytes(std::string_view text, std::vector<std::uint8_t>* bytes) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes->push_back(static_cast<std::uint8_t>(high * 16 + low));
    i += 2;
  }
  return true;
}

std::string Hex(const std::vector<UCHAR>& data) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", data[i]);
    text += byte;
  }
  return text;
}

bool IsOneByteSwitch(const vxctl::RegValueInfo& entry) {
  return entry.type == REG_BINARY && entry.size == 1 && entry.exact_size;
}

// The characters of a REG_SZ value up to its terminator, or false when it
// is not whole UTF-16.
bool StringUnits(const std::vector<UCHAR>& data, std::u16string* units) {
  if (data.size() % 2 != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    units->push_back(unit);
  }
  return true;
}

std::string Refusal(const vxctl::RegValueInfo& entry, const std::string& what,
                    std::string_view text) {
  return std::string(entry.name) + " takes " + what + ", not " + Quoted(text);
}

}  // namespace

const vxctl::RegValueInfo* FindEntry(std::string_view name) {
  for (const vxctl::RegValueInfo& entry : vxctl::kRegValues) {
    if (SameName(name, entry.name)) return &entry;
  }
  return nullptr;
}

std::string TypeName(ULONG type) {
  switch (type) {
    case REG_BINARY:
      return "binary";
    case REG_DWORD:
      return "dword";
    case REG_SZ:
      return "sz";
    default:
      return "type(" + std::to_string(type) + ")";
  }
}

std::string SizeText(const vxctl::RegValueInfo& entry) {
  const std::string unit = entry.type == REG_SZ ? " characters" : " bytes";
  const std::string size = std::to_string(entry.size) + (entry.size == 1 ? " byte" : unit);
  return entry.exact_size ? size : "up to " + size;
}

ParsedValue ParseValue(const vxctl::RegValueInfo& entry, std::string_view text) {
  ParsedValue parsed;
  bool typed = false;
  for (const ULONG type : {REG_BINARY, REG_DWORD, REG_SZ}) {
    const std::string prefix = TypeName(type) + ":";
    if (text.substr(0, prefix.size()) != prefix) continue;
    if (type != entry.type) {
      parsed.error = std::string(entry.name) + " is " + TypeName(entry.type) + " of " +
                     SizeText(entry) + ", not " + TypeName(type);
      return parsed;
    }
    text.remove_prefix(prefix.size());
    typed = true;
    break;
  }

  if (entry.type == REG_DWORD || (IsOneByteSwitch(entry) && !typed)) {
    const std::uint32_t max = entry.type == REG_DWORD ? 0xFFFFFFFFu : 0xFFu;
    std::uint32_t number = 0;
    if (!ParseNumber(text, max, &number)) {
      parsed.error = Refusal(
          entry, "a number from 0 to " + std::to_string(max) + " (decimal, or 0x and hex digits)",
          text);
      return parsed;
    }
    for (std::uint32_t i = 0; i < entry.size; ++i) {
      parsed.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    }
    return parsed;
  }

  if (entry.type == REG_SZ) {
    if (text.size() > entry.size) {
      parsed.error = std::string(entry.name) + " takes at most " + std::to_string(entry.size) +
                     " characters, not " + std::to_string(text.size());
      return parsed;
    }
    for (const char c : text) {
      if (c < 0x20 || c > 0x7E) {
        parsed.error = Refusal(entry, "printable ASCII characters", text);
        return parsed;
      }
      parsed.data.push_back(static_cast<std::uint8_t>(c));
      parsed.data.push_back(0);
    }
    parsed.data.push_back(0);
    parsed.data.push_back(0);
    return parsed;
  }

  if (!ParseHexBytes(text, &parsed.data)) {
    parsed.data.clear();
    parsed.error = Refusal(entry, "hex bytes", text);
    return parsed;
  }
  const std::size_t size = parsed.data.size();
  if (entry.exact_size ? size != entry.size : size > entry.size) {
    parsed.error =
        std::string(entry.name) + " takes " + SizeText(entry) + ", not " + std::to_string(size);
    parsed.data.clear();
  }
  return parsed;
}

bool FitsEntry(const vxctl::RegValueInfo& entry, const plat::reg::Value& value) {
  if (value.type != entry.type) return false;
  if (entry.type == REG_SZ) {
    std::u16string units;
    return StringUnits(value.data, &units) && units.size() <= entry.size;
  }
  return entry.exact_size ? value.data.size() == entry.size : value.data.size() <= entry.size;
}

std::string ShowValue(const vxctl::RegValueInfo& entry, const plat::reg::Value& value) {
  if (!FitsEntry(entry, value)) {
    return TypeName(value.type) + ":" + Hex(value.data) + " (not " + TypeName(entry.type) + " of " +
           SizeText(entry) + ": the controller ignores it)";
  }
  if (entry.type == REG_DWORD || IsOneByteSwitch(entry)) {
    std::uint32_t number = 0;
    for (std::size_t i = value.data.size(); i-- > 0;) number = number << 8 | value.data[i];
    return std::to_string(number);
  }
  if (entry.type == REG_SZ) {
    std::u16string units;
    StringUnits(value.data, &units);
    std::string text = "\"";
    char escape[8];
    for (const char16_t unit : units) {
      if (unit >= 0x20 && unit <= 0x7E && unit != '"' && unit != '\\') {
        text += static_cast<char>(unit);
      } else {
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
        text += escape;
      }
    }
    return text + "\"";
  }
  return Hex(value.data);
}

std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text.substr(0, kQuotedMax)) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
  if (text.size() > kQuotedMax) out += "...";
  return out + "'";
}

}  // namespace vxreg
