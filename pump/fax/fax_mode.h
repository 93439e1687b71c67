// The fax mode word: from the configuration command's kind and rate code,
// and what it means for the transmitter's symbols.
#pragma once

#include <cstdint>
#include <optional>

#include "pump/fax/fax_area.h"

namespace pump {

// The configuration command's kinds.
enum FaxKind : std::uint8_t {
  kFaxKindNone = 1,
  kFaxKindV21Channel2 = 3,
  kFaxKindV27ter = 10,
  kFaxKindV29 = 11,
  kFaxKindV17Short = 13,
  kFaxKindV17Long = 14,
};

// The mode word of a high-speed kind (10, 11, 13, 14) and rate code; rate
// codes outside the kind's list give its default row. Other kinds have none.
std::optional<std::uint16_t> FaxModeWord(std::uint8_t kind, std::uint8_t rate_code);

// The symbol timing and coding of a mode word.
struct FaxRate {
  FaxModulation modulation;
  int bit_rate;
  int bits_per_symbol;  // data bits (V.17: without the trellis bit)
  int samples_per_symbol;  // at 9600 Hz
  int symbols_per_block;
  bool short_training;
};

FaxRate FaxRateOf(std::uint16_t mode_word);

}  // namespace pump
