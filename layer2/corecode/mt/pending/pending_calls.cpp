#include "layer2/corecode/mt/pending/pending_calls.h"

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"

namespace vxctl {

namespace {

void Record(std::string_view name, std::initializer_list<std::int64_t> args = {},
            std::string_view text = {}) {
  MachineState<PendingLog>().Record(name, args, text);
}

}  // namespace

void ModemTask_V8OriginateStep() { Record("ModemTask_V8OriginateStep"); }
void ModemTask_V8AnswerStep() { Record("ModemTask_V8AnswerStep"); }
void ModemTask_FastStartStep() { Record("ModemTask_FastStartStep"); }
void ModemTask_SetV92StartOptions(std::uint8_t option) {
  Record("ModemTask_SetV92StartOptions", {option});
}
void ModemTask_RestoreV8DataMode() { Record("ModemTask_RestoreV8DataMode"); }

void ModemTask_ArmCallWaiting(std::uint8_t flags) { Record("ModemTask_ArmCallWaiting", {flags}); }
void acu_report_pmhr(std::uint8_t value) { Record("acu_report_pmhr", {value}); }
void acu_answer_start() { Record("acu_answer_start"); }
void acu_originate_start() { Record("acu_originate_start"); }
void acu_hook_flash() { Record("acu_hook_flash"); }
std::uint8_t acu_pmh_setting() {
  Record("acu_pmh_setting");
  return 0;
}
void ModemTask_CallWaitingStep() { ++MachineState<CallWaitingSteps>().count; }

void ModemTask_V8bisStep() { Record("ModemTask_V8bisStep"); }

std::uint8_t ModemTask_TakeLineFrame(const std::uint8_t*& frame, std::uint16_t& length) {
  MachineState<PendingLog>().Record("ModemTask_TakeLineFrame");
  frame = nullptr;
  length = 0;
  return 0;
}


}  // namespace vxctl
