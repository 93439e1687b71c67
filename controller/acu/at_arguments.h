// Parsing of one command's argument into the 80-byte argument buffer, by the
// entry's argument kind. Elements are written at the element index in the
// argument's width (host byte order); anything whose parsed form would not
// fit the buffer is refused, so nothing is written outside it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "controller/acu/at_command.h"

namespace vxctl {

struct AtArgumentBuffer {
  static constexpr std::size_t kBytes = 80;

  std::array<std::uint8_t, kBytes> bytes{};
  // The next element to write, counted in elements of the argument's width.
  std::uint8_t element = 0;

  // Before each command: element 0 and the first four bytes cleared.
  void Start();
  // Writes `value` as element `element` of width 1, 2 or 4 bytes;
  // false (nothing written) when it would not fit.
  bool Put(unsigned width, std::uint32_t value);
};

// Parses the argument of `kind` from `cursor` (a NUL-terminated, pre-processed
// rest of a line) into `buffer`, and advances `cursor` past what it took.
// False when the argument is refused; the cursor is then unspecified.
bool ParseAtArgument(AtArgumentKind kind, const char*& cursor, AtArgumentBuffer& buffer);

// Kind ToneString on its own: u16 items, at most 40 with the closing zero.
bool ParseAtToneString(const char*& cursor, AtArgumentBuffer& buffer);

}  // namespace vxctl
