// The configuration command's kind of a high-speed mode word, for tests
// that configure the transmitter directly.
#pragma once

#include <cstdint>

#include "pump/fax/fax_mode.h"

namespace pump::testing {

inline std::uint32_t FaxKindOf(std::uint16_t mode_word) {
  switch (mode_word & kFaxModulationMask) {
    case kFaxV17:
      return (mode_word & kFaxV17ShortTraining) != 0 ? kFaxKindV17Short : kFaxKindV17Long;
    case kFaxV29:
      return kFaxKindV29;
    default:
      return kFaxKindV27ter;
  }
}

}  // namespace pump::testing
