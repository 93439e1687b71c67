#include "controller/acu/acu_output.h"

#include "controller/acu/acu_print.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/debug_assert.h"

namespace vxctl {

AcuOutputState& acu_output() { return MachineState<AcuOutputState>(); }

const char* acu_fmt_dec3(std::uint8_t value) { return FormatDec3(acu_output().number, value); }

const char* acu_fmt_hex2(std::uint8_t value) { return FormatHex2(acu_output().number, value); }

const char* acu_fmt_dec5(std::uint16_t value) { return FormatDec5(acu_output().number, value); }

std::size_t acu_dte_format(const char* format) {
  AcuOutputState& output = acu_output();
  const AcuPrintResult result = FormatPrint(output.print, format, output.print_args);
  if (result.cut) dbg_assert("acu_output", __LINE__);
  return result.length;
}

}  // namespace vxctl
