// The controller's values as text: what `vxreg set` accepts for a value of
// the table and how `vxreg list` and `get` show a stored value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "layer2/corecode/mt/registry/value_table.h"
#include "platform/reg/hive.h"

namespace vxreg {

// The table's entry of `name`, whatever its case (registry names ignore
// case), or null.
const vxctl::RegValueInfo* FindEntry(std::string_view name);

struct ParsedValue {
  std::vector<std::uint8_t> data;  // the value's bytes as they are stored
  std::string error;               // empty when `data` holds the value
};

// `text` may begin with a type as the hive text writes it ("dword:",
// "binary:", "sz:"); a type other than the entry's is refused. A DWORD,
// and a one-byte switch without "binary:", take a number (decimal digits,
// or 0x and hex digits); other binaries take hex bytes ("01 02 ff" or
// "0102ff"); a string takes printable ASCII characters. The size must be
// the entry's (or within its largest).
ParsedValue ParseValue(const vxctl::RegValueInfo& entry, std::string_view text);

// "binary", "dword", "sz", or "type(N)".
std::string TypeName(ULONG type);
// "285 bytes", "up to 4096 bytes", "up to 100 characters".
std::string SizeText(const vxctl::RegValueInfo& entry);
// Whether the controller takes the stored value: the entry's type and size.
bool FitsEntry(const vxctl::RegValueInfo& entry, const plat::reg::Value& value);
// A stored value: numbers in decimal, strings quoted, binaries as hex
// bytes; a value that does not fit the entry with its type and a note that
// the controller ignores it.
std::string ShowValue(const vxctl::RegValueInfo& entry, const plat::reg::Value& value);

// User text quoted in a message: at most 40 bytes, control bytes as '?'.
std::string Quoted(std::string_view text);

}  // namespace vxreg
