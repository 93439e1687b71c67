// Calls from the built controller into parts that are not built yet. Each
// is a no-op that records its name and arguments in the machine's pending
// log (pending_log.h) and returns a neutral answer. The issue that builds
// the part declares the entry in the part's own header, deletes it here,
// and points its callers' includes there.
#pragma once

#include <cstdint>

namespace vxctl {

// The V.8 exchange and the fast start: the per-call steps, the V.92
// start options, and the DataMode saved before the exchange restored.
void ModemTask_V8OriginateStep();
void ModemTask_V8AnswerStep();
void ModemTask_FastStartStep();
void ModemTask_SetV92StartOptions(std::uint8_t option);
void ModemTask_RestoreV8DataMode();
// Call waiting.
void ModemTask_ArmCallWaiting(std::uint8_t flags);
// One step of the call-waiting and modem-on-hold sequencer; the line poll
// runs it on every dispatch, so it only counts itself
// (MachineState<CallWaitingSteps>()) and leaves the log to what tests
// look for.
struct CallWaitingSteps {
  std::uint64_t count = 0;
};
void ModemTask_CallWaitingStep();
// What the hold sequencer asks of the command interpreter: a "+PMHR"
// report of `value`, the call started again answering or originating, a
// hook flash; and the "+PMH" hold-time setting (0 here).
void acu_report_pmhr(std::uint8_t value);
void acu_answer_start();
void acu_originate_start();
void acu_hook_flash();
std::uint8_t acu_pmh_setting();
// V.8bis: one step of the exchange.
void ModemTask_V8bisStep();
// The V.8 exchange's pending DataMode 7 frame for the transmit block: 1
// with its bytes and length (marked sent), or 0 with null and 0.
std::uint8_t ModemTask_TakeLineFrame(const std::uint8_t*& frame, std::uint16_t& length);

}  // namespace vxctl
