// The controller's start-up and reset: acu_init (declared with the core's
// entries), the reset of the command state, the V.92 table and the fax
// tables' reset.
#pragma once

#include <cstdint>

namespace vxctl {

// The whole command state at its power-up values, the parser's stack with
// the six tables below the fax tables.
void acu_reset_state();
// Pushes the V.92 command table.
void acu_v92_table();
// The fax class and its flags reset (how 0, 1 or 2), then the fax common,
// class 1, class 2 and class 2.0 tables pushed.
void acu_fax_tables_reset(std::uint8_t how);

}  // namespace vxctl
