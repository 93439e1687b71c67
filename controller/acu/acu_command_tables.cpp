// The command tables of the command sets not built yet: empty, under their
// final names. (The first basic table and the four fax tables are the
// stand-ins', controller/standin.)
#include "controller/acu/acu_command_tables.h"

namespace vxctl {

constexpr at_command_entry acu_basic_table2[] = {kAtTableEnd};
constexpr at_command_entry v80_table[] = {kAtTableEnd};
constexpr at_command_entry acu_voice_common_table[] = {kAtTableEnd};
constexpr at_command_entry v92_table[] = {kAtTableEnd};
constexpr at_command_entry v250_table[] = {kAtTableEnd};

}  // namespace vxctl
