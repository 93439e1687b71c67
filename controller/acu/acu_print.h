// The small formatted print of the table dumps: a format with '%'
// directives and an argument block of words, one word per directive.
//
// Directives: '%', an optional width of one or two digits '1'-'9' (minimum
// digits, zero-padded), then 'd' signed decimal, 'x' upper-case hex, 'b'
// binary, 's' the text whose address the word holds, 'c' the word's low
// byte; or "%0x": the word's low 32 bits as 8 hex digits. Any other
// character after '%' drops the directive and formatting goes on after it.
// Numbers use the word's low 32 bits; a word is pointer-sized so that it
// can hold a text's address.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vxctl {

struct AcuPrintResult {
  std::size_t length;  // characters written before the NUL
  bool cut;  // the buffer was full, or a directive had no word left
};

// Formats into `out` (always NUL-terminated when not empty), stopping at its
// end or at a directive with no argument word left.
AcuPrintResult FormatPrint(std::span<char> out, const char* format,
                           std::span<const std::uintptr_t> args);

}  // namespace vxctl
