// The modem task: the controller's call control between the command
// interpreter and the data pump. Its state is ModemTaskState
// (../modem_task/modem_task_state.h); the step runs on the task thread,
// the 10 ms tick on the timing thread.
#pragma once

#include <cstdint>

namespace vxctl {

// One step: the V.8bis step while V.8bis is active, the state monitor, the
// statistics read-out, the hold sequencer, the overlay records, the fast
// start, then the action of the task state.
void ModemTask_Process();
// Follows the data pump's connection-state code (register 54): acts once
// on each change.
void ModemTask_MonitorDsp();
// The task's 10 ms counters, the first step of the controller's tick.
void ModemTask_Tick10ms();

// Full reset at controller start; `level` receives the link's level.
void ModemTask_Reset(std::uint8_t& level);
// The data pump to idle: relays off, on hook, reset, the front end's kind
// asked, the caller-ID configuration sent.
void ModemTask_DspIdle();
// The command interpreter's return to idle.
void ModemTask_GoIdle();
void ModemTask_Stop();

// Does nothing (the hook entry of a table that needs one).
void ModemTask_NullHook(std::uint8_t flag);
// 1 while the connection-state code is 1 or 2.
std::uint8_t ModemTask_IsDspLinkActive();
// While set, a connection is reported as state 6; a retrain clears it.
void ModemTask_SetState6Flag(std::uint8_t flag);
// No latch is armed: 0, and nothing to clear.
std::uint8_t ModemTask_GetStatus5Latch();
void ModemTask_ClearStatus5Arm();

}  // namespace vxctl
