// The idle state's hand-over to the command state, and the command
// state's entry and exit actions.
#include "controller/acu/acu_actions.h"
#include "controller/acu/acu_controller.h"
#include "controller/acu/acu_link_fax_voice.h"
#include "controller/acu/acu_run.h"
#include "controller/acu/acu_settings.h"
#include "controller/pending/acu_pending.h"
#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/mt/lines/status_lines.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kEnterRunStoredLine = 6;
constexpr std::uint8_t kEnterVoice = 3;
constexpr std::uint8_t kV8IndicationsReported = 3;
constexpr std::uint8_t kS21DcdOption = 1u << 5;
constexpr std::uint8_t kS21DsrOption = 1u << 6;

bool Originating() { return (acu_settings().s[kSOptions] & kS14Originate) != 0; }

void EnterCommand(AcuControllerState& acu, std::uint8_t variant) {
  acu.phase = WaitAt;
  acu.variants[AcuCommand] = variant;
  if (acu_current_event().parameter == kEnterRunStoredLine) acu.phase = BeginLine;
}

void DrainWhenOnHook(const AcuControllerState& acu) {
  if (acu.on_hook != 0) dte_cmd_to_flush();
}

}  // namespace

void acu_nothing() {}

void acu_idle_poll() {
  AcuControllerState& acu = acu_controller();
  const AcuSettings& settings = acu_settings();
  const std::uint8_t s21 = settings.s[kSDteOptions];
  const std::uint8_t s27 = settings.s[kSModes];
  const bool sync = (s27 & kS27SyncMask) != 0;
  ModemTask_SetDsr((s21 & kS21DsrOption) == 0 && !sync ? 1 : 0);
  ModemTask_SetDcd((s21 & kS21DcdOption) == 0 && !sync && (s27 & kS27Bit3) == 0 ? 1 : 0);
  if (acu.countdowns[kCountRingTimer] == 0) acu_settings().s[1] = 0;
  ModemTask_SetCts(1);
  if (acu.v8_indications >= kV8IndicationsReported) {
    acu.v8_indications = 0;
    acu_report_v8_indication(0);
  }
}

void acu_idle_char() {
  if (dte_cmd_from_count() == 0) return;
  AcuControllerState& acu = acu_controller();
  const std::uint8_t c = dte_cmd_from_char();
  acu.remembered_a = c;
  if ((acu_settings().s[kSOptions] & kS14Echo) != 0) dte_cmd_to_char(c);
  if ((c & 0x7F) == 'A' || (c & 0x7F) == 'a') acu_post_event(EvCommand, 0);
}

void acu_command_enter() {
  AcuControllerState& acu = acu_controller();
  EnterCommand(acu, acu.variants[AcuIdle]);
}

void acu_call_command_enter() {
  AcuControllerState& acu = acu_controller();
  EnterCommand(acu, acu.variants[Originating() ? AcuOriginate : AcuAnswer]);
}

void acu_command_switch() {
  if (acu_current_event().parameter != kEnterVoice) return;
  voice_enter(0);
  voice_set_command_state();
  AcuControllerState& acu = acu_controller();
  acu.variants[AcuIdle] = VarVoice;
  acu.variants[AcuCommand] = VarVoice;
}

void acu_command_end() {
  AcuControllerState& acu = acu_controller();
  const std::uint16_t parameter = acu_current_event().parameter;
  if (parameter >= 2 && parameter <= 5) {
    acu_post_event(EvReport, 0);
  } else if (parameter == kEnterRunStoredLine) {
    DrainWhenOnHook(acu);
  } else {
    acu.variants[AcuIdle] = acu.variants[AcuCommand];
  }
}

void acu_idle_end() {
  if (acu_current_event().parameter == kEnterRunStoredLine) DrainWhenOnHook(acu_controller());
}

void acu_call_resume() { acu_set_state(Originating() ? AcuOriginate : AcuAnswer); }

}  // namespace vxctl
