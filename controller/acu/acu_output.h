// The machine's response output state and the entries that use it: the
// fixed-width formatters' shared number buffer and the formatted print.
// Sending into the DTE interface's to-DTE command ring: acu_response.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "controller/acu/acu_format.h"

namespace vxctl {

struct AcuOutputState {
  static constexpr std::size_t kPrintBytes = 224;
  static constexpr std::size_t kPrintWords = 16;

  AcuNumberBuffer number{};
  std::array<char, kPrintBytes> print{};
  // The argument block of acu_dte_format, which the caller fills first.
  std::array<std::uintptr_t, kPrintWords> print_args{};
  // Set by every response; cleared once the to-DTE ring has drained.
  std::uint8_t response_started = 0;
};

AcuOutputState& acu_output();

// On the machine's shared number buffer (valid until the next call).
const char* acu_fmt_dec3(std::uint8_t value);
const char* acu_fmt_hex2(std::uint8_t value);
const char* acu_fmt_dec5(std::uint16_t value);

// Formats `format` with the machine's argument block into its print buffer
// and returns the length. A result that does not fit (or runs out of
// argument words) stops at that point, is terminated, and raises the
// assertion hook.
std::size_t acu_dte_format(const char* format);

}  // namespace vxctl
