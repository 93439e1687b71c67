// The machine's parser: the entries the controller and the command sets call,
// on the one AtParser of the current machine.
#pragma once

#include <cstdint>

#include "controller/acu/at_parser.h"

namespace vxctl {

// The machine's parser (MachineState<AtParser>()).
AtParser& acu_parser();

void at_parser_reset();
// A Push onto a full stack changes nothing and raises the assertion hook.
void at_table_op(AtStackOp op, const at_command_entry* table);
void at_parser_begin_line(char* line);
std::uint8_t at_parser_run_next();

// The shared command error flag of the machine's parser.
std::uint8_t& acu_error_flag();

}  // namespace vxctl
