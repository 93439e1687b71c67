#include "pump/fax/fax_mode.h"

namespace pump {

std::optional<std::uint16_t> FaxModeWord(std::uint8_t kind, std::uint8_t rate_code) {
  switch (kind) {
    case kFaxKindV27ter:
      return rate_code == 4 ? 0x01 : 0x00;
    case kFaxKindV29:
      return rate_code == 5 ? 0x12 : rate_code == 6 ? 0x11 : 0x10;
    case kFaxKindV17Short:
    case kFaxKindV17Long: {
      const std::uint16_t training = kind == kFaxKindV17Short ? 0x28 : 0x20;
      const std::uint16_t rate = rate_code >= 5 && rate_code <= 8 ? 9 - rate_code : 0;
      return static_cast<std::uint16_t>(training + rate);
    }
    default:
      return std::nullopt;
  }
}

FaxRate FaxRateOf(std::uint16_t mode_word) {
  const int low = mode_word & 0x0F;
  switch (mode_word & kFaxModulationMask) {
    case kFaxV29: {
      const int bits = low == 2 ? 2 : low == 1 ? 3 : 4;
      return {kFaxV29, 2400 * bits, bits, 4, 24, false};
    }
    case kFaxV17: {
      const int code = low & 7;
      const int bits = code == 0 ? 6 : code == 1 ? 5 : code == 2 ? 4 : 3;
      return {kFaxV17, 2400 * bits, bits, 4, 24, (low & kFaxV17ShortTraining) != 0};
    }
    default:
      return low == 1 ? FaxRate{kFaxV27ter, 2400, 2, 8, 12, false}
                      : FaxRate{kFaxV27ter, 4800, 3, 6, 16, false};
  }
}

}  // namespace pump
