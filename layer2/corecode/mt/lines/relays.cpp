#include "layer2/corecode/mt/lines/relays.h"

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/hardware_kind.h"
#include "layer2/corecode/mt/lines/line_banks.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/line_services.h"
#include "layer2/corecode/mt/task/task_thread.h"
#include "pump/core/comram.h"

namespace vxctl {
namespace {

// Burst modes the hook relay chooses.
constexpr std::uint8_t kBurstOffHookData = 3;
constexpr std::uint8_t kBurstOffHookFaxVoice = 4;
constexpr std::uint8_t kBurstOnHook = 2;

// The class without a caller-ID relay.
constexpr LineInterfaceClass kClassWithoutCidRelay = 2;

// The relays' lines of bank A (their bits of register 242).
constexpr std::uint8_t kHookRelayLine = 2;
constexpr std::uint8_t kSpeakerRelayLine = 4;
constexpr std::uint8_t kVoiceRelayLine = 6;
constexpr std::uint8_t kCallerIdRelayLine = 7;
static_assert(1u << kHookRelayLine == pump::kLineHookRelay);
static_assert(1u << kSpeakerRelayLine == pump::kLineSpeakerRelay);
static_assert(1u << kVoiceRelayLine == pump::kLineVoiceRelay);
static_assert(1u << kCallerIdRelayLine == pump::kLineCallerIdRelay);

// A relay is on at level 0.
void DriveRelay(std::uint8_t line, std::uint8_t on) { dsp_gpio_drive(line, on != 1); }

bool RelayOn(std::uint8_t bit) { return (dsp_reg_read(pump::kRegLineLevelA) & bit) == 0; }

}  // namespace

void daa_set_hook_relay(std::uint8_t on) {
  if (on == 1) {
    const std::uint8_t fclass = acu_fclass().load();
    if (fclass == 0) {
      task_burst_set(kBurstOffHookData);
    } else if (fclass == 1 || fclass == 8) {
      task_burst_set(kBurstOffHookFaxVoice);
    }
  } else {
    task_burst_set(kBurstOnHook);
  }
  DriveRelay(kHookRelayLine, on);
  ModemTask_SetStatusBit(on == 1 ? 1 : 0, kStatusOffHook);
}

void daa_set_voice_relay(std::uint8_t on) { DriveRelay(kVoiceRelayLine, on); }

void daa_set_cid_relay(std::uint8_t on) {
  if (MachineState<HardwareKindState>().line_interface_class == kClassWithoutCidRelay) return;
  DriveRelay(kCallerIdRelayLine, on);
}

void daa_set_spk_hs_relay(std::uint8_t on) { DriveRelay(kSpeakerRelayLine, on); }

bool daa_voice_relay_on() { return RelayOn(pump::kLineVoiceRelay); }
bool daa_cid_relay_on() { return RelayOn(pump::kLineCallerIdRelay); }
bool daa_spk_hs_relay_on() { return RelayOn(pump::kLineSpeakerRelay); }

bool daa_local_phone_off_hook() {
  return reg_settings().features.gpio_lpohd.load() != 0 && RelayOn(pump::kLineLocalPhone);
}

bool daa_is_off_hook() { return DAA_line_status_ok(); }

void ModemTask_SetHook(bool off_hook) { DAA_set_hook(off_hook ? 1 : 0); }

}  // namespace vxctl
