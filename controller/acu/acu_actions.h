// The action and poll routines of the controller state machine that this
// folder builds: the command state's entry and exit, the idle hand-over,
// the front end's poll, and the report actions with the two DTE mode
// switches. Every action reads the current event (acu_current_event()).
// The actions of calls, connections, tests, fax and voice are in
// controller/pending until they are built.
#pragma once

namespace vxctl {

using AcuAction = void (*)();

// An empty cell.
void acu_nothing();

// Idle and command state.
void acu_idle_poll();
void acu_idle_char();
void acu_command_enter();
void acu_call_command_enter();
void acu_command_switch();
void acu_command_end();
void acu_idle_end();
void acu_call_resume();
// The command-line front end: the poll of the command state.
void acu_command_poll();

// Reports.
void acu_report();
void acu_command_report();
void acu_call_report();
void acu_online_report();
// The DTE interface to command mode (both command rings emptied) and back
// to online data (after pending response text has drained).
void acu_to_command_mode();
void acu_to_online_mode();

}  // namespace vxctl
