#include "controller/acu/at_parser_machine.h"

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/task/debug_assert.h"

namespace vxctl {

AtParser& acu_parser() { return MachineState<AtParser>(); }

void at_parser_reset() { acu_parser().Reset(); }

void at_table_op(AtStackOp op, const at_command_entry* table) {
  if (!acu_parser().TableOp(op, table)) dbg_assert("at_parser", __LINE__);
}

void at_parser_begin_line(char* line) { acu_parser().BeginLine(line); }

std::uint8_t at_parser_run_next() { return acu_parser().RunNext(); }

std::uint8_t& acu_error_flag() { return acu_parser().error_flag; }

}  // namespace vxctl
