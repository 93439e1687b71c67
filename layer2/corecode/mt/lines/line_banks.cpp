#include "layer2/corecode/mt/lines/line_banks.h"

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "pump/core/comram.h"

namespace vxctl {

LineBank line_bank(std::uint8_t line) {
  if (line < 8) {
    return {pump::kRegLineDirectionA, pump::kRegLineLevelA, pump::kRegLineThirdA,
            static_cast<std::uint8_t>(1u << line)};
  }
  return {pump::kRegLineDirectionB, pump::kRegLineLevelB, pump::kRegLineThirdB,
          static_cast<std::uint8_t>(1u << (line - 8))};
}

bool dsp_gpio_drive(std::uint8_t line, bool level) {
  if (line >= kLineCount) return false;
  const LineBank bank = line_bank(line);
  dsp_reg_set_bits(bank.direction, bank.bit);
  dsp_reg_clear_bits(bank.third, bank.bit);
  if (level) {
    dsp_reg_set_bits(bank.level, bank.bit);
  } else {
    dsp_reg_clear_bits(bank.level, bank.bit);
  }
  return true;
}

}  // namespace vxctl
