// The front end's general-purpose lines: two banks of bits in registers
// 240-245 that the data pump passes on to the analog front end.
//
//   bank  lines  direction  level  third
//   A     0-7    240        242    243
//   B     8-14   241        244    245   (bit = line - 8)
//
// Driving a line makes it an output (direction bit set), clears its bit of
// the third register, then sets or clears its level bit, in that order.
// Every step is one atomic read-modify-write of its register, so bit 1 of
// 242 (the local phone, which the data pump writes) is never overwritten.
#pragma once

#include <cstdint>

namespace vxctl {

// Lines 0-14 exist; 15 and above are refused.
inline constexpr std::uint8_t kLineCount = 15;

// A line's three registers and its bit in them.
struct LineBank {
  std::uint8_t direction;
  std::uint8_t level;
  std::uint8_t third;
  std::uint8_t bit;
};
// The bank of a line below kLineCount.
LineBank line_bank(std::uint8_t line);

// Drives line `line` (< kLineCount) as an output at `level`; false, with no
// register touched, for a line that does not exist.
bool dsp_gpio_drive(std::uint8_t line, bool level);

// The debug command set's line commands (gpio_commands.cpp, apart because
// they report to the command interpreter).
// "*GPI": makes the line an input and answers whether its level bit is set.
// A line that does not exist sets the command interpreter's error flag,
// touches nothing and answers false.
bool dsp_gpio_input(std::uint8_t line);

// "*GPOCLR" and "*GPOSET": the parsed line number drives the line at level
// 0 or 1; a missing or out-of-range number sets the error flag instead.
void gpo_clear_handler(const std::uint8_t* line);
void gpo_set_handler(const std::uint8_t* line);

}  // namespace vxctl
