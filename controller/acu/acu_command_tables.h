// The ten command tables the controller's reset puts on the parser's
// stack. The command sets fill them when they are built; until then each
// holds what its stand-in or nothing, under its final name.
#pragma once

#include "controller/acu/at_command.h"

namespace vxctl {

extern const at_command_entry acu_basic_table1[];
extern const at_command_entry acu_basic_table2[];
extern const at_command_entry v80_table[];
extern const at_command_entry acu_voice_common_table[];
extern const at_command_entry v92_table[];
extern const at_command_entry v250_table[];
extern const at_command_entry fax_common_table[];
extern const at_command_entry fax_class1_table[];
extern const at_command_entry fax_class2_table[];
extern const at_command_entry fax_class20_table[];

}  // namespace vxctl
