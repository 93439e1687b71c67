#include "layer2/corecode/mt/lines/line_banks.h"

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/services/command_interpreter.h"

namespace vxctl {
namespace {

void DriveFromHandler(const std::uint8_t* line, bool level) {
  if (line == nullptr || !dsp_gpio_drive(*line, level)) acu_error_flag() = 1;
}

}  // namespace

bool dsp_gpio_input(std::uint8_t line) {
  if (line >= kLineCount) {
    acu_error_flag() = 1;
    return false;
  }
  const LineBank bank = line_bank(line);
  dsp_reg_clear_bits(bank.direction, bank.bit);
  return (dsp_reg_read(bank.level) & bank.bit) != 0;
}

void gpo_clear_handler(const std::uint8_t* line) { DriveFromHandler(line, false); }
void gpo_set_handler(const std::uint8_t* line) { DriveFromHandler(line, true); }

}  // namespace vxctl
