// The rows of an AT command table and the operations on the parser's table
// stack. Tables are constant data: an array of entries ending in the empty
// entry (kAtTableEnd).
#pragma once

#include <cstdint>

namespace vxctl {

class AtParser;

// How the characters after a command's name are parsed into the argument
// buffer (see at_arguments.h for what each kind leaves there).
enum class AtArgumentKind : std::uint8_t {
  None = 0,          // no argument; the handler gets a null argument
  Decimal8 = 1,      // decimal number: one u8, then a zero u8
  Decimal16 = 2,     // one u16, then a zero u16
  Decimal32 = 3,     // one u32, then a zero u32
  DecimalList8 = 4,  // comma-separated decimals: {position, value} u8 pairs, then 0
  DecimalList16 = 5,
  DecimalList32 = 6,
  Hex8 = 7,  // at most 2 significant hex digits: one u8, then 0
  Hex16 = 8,  // at most 4
  Hex32 = 9,  // at most 8
  HexList8 = 10,  // comma-separated hex: {position, value} pairs, then 0
  HexList16 = 11,
  HexList32 = 12,
  DialText = 13,        // text up to and including the first ';' (or the line's end)
  Quoted = 14,          // "text" with both quotes
  DecimalText = 15,     // digits and '.', at least one
  RestOfLine = 16,      // every character left
  DialCharacters = 17,  // the dial characters kept; '(', ')', '-' skipped
  ToneString = 18,      // u16 tone items, then a zero item
  SignedByte = 19,      // optional sign, decimals: one signed byte, |value| <= 127
  TextToSeparator = 20,  // text up to (not including) the first ';'
};

// Separator rules applied after the handler has run.
namespace AtEntryFlag {
// A ';' is consumed; any other character but the line's end fails the command.
inline constexpr std::uint8_t RequireSeparator = 1;
// One ';' is consumed when present.
inline constexpr std::uint8_t SkipSeparator = 4;
}  // namespace AtEntryFlag

// The handler gets the parser (for its argument and the error flag) and the
// argument buffer, null for kind None. A handler that refuses its command
// sets the parser's error flag; nothing else of it is looked at.
using AtHandler = void (*)(AtParser& parser, const std::uint8_t* argument);

struct at_command_entry {
  const char* name;  // as typed, upper case; "" ends the table
  AtHandler handler;
  AtArgumentKind kind;
  std::uint8_t flags;  // AtEntryFlag bits
};

inline constexpr at_command_entry kAtTableEnd{"", nullptr, AtArgumentKind::None, 0};

enum class AtStackOp : std::uint8_t { Empty = 0, Save = 1, Restore = 2, Push = 3, Remove = 4 };

}  // namespace vxctl
