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

void ModemTask_MohStep() { Record("ModemTask_MohStep"); }
void ModemTask_MohReset() { Record("ModemTask_MohReset"); }
void ModemTask_ArmCallWaiting(std::uint8_t flags) { Record("ModemTask_ArmCallWaiting", {flags}); }

void ModemTask_V8bisStep() { Record("ModemTask_V8bisStep"); }

std::uint8_t ModemTask_TakeLineFrame(const std::uint8_t*& frame, std::uint16_t& length) {
  MachineState<PendingLog>().Record("ModemTask_TakeLineFrame");
  frame = nullptr;
  length = 0;
  return 0;
}


}  // namespace vxctl
