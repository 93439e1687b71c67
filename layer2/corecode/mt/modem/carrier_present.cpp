// Whether the carrier counts as present: the data pump's carrier bit for
// fax and loopback, held through short drops below V.32 by the
// loss-of-carrier setting, and for the faster modulations present while
// the call lasts unless a bad line outlasts its timer with no way to
// recover.
#include "controller/acu/acu_settings.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem/retrain.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/services/call_settings.h"
#include "layer2/corecode/mt/services/fax_voice.h"

namespace vxctl {
namespace {

constexpr std::uint16_t kStatusRegister = 54;
constexpr std::uint8_t kCarrierBit = 1u << 4;
constexpr std::uint8_t kIgnoreCarrierLoss = 255;
constexpr std::uint8_t kTicksPerTenth = 10;

// "&T" 1, 3 and 8 run a loopback test: the carrier bit decides.
bool LoopbackTest() {
  const std::uint8_t t = acu_call_settings().test_mode;
  return t == 1 || t == 3 || t == 8;
}

}  // namespace

bool ModemTask_CarrierPresent() {
  ModemTaskState& task = MachineState<ModemTaskState>();
  RetrainState& retrain = MachineState<RetrainState>();
  const bool carrier = (dsp_reg_read(kStatusRegister) & kCarrierBit) != 0;
  const std::uint8_t code = task.code.load();
  if (fax_class().load() != 0 || code == kCodeLoopback) return carrier;
  if (task.carrier_loss_delay == kIgnoreCarrierLoss || code == kCodeHandshake) return true;
  if (task.state.load() == kTaskIdle || code == kCodeIdle) return false;
  if (code == kCodeRetraining || code == kCodeRenegotiating) return true;
  if (task.modulation <= kModulationV22bis) {
    if (LoopbackTest()) return carrier;
    if (carrier) {
      retrain.carrier_hold_off = static_cast<std::uint16_t>(task.carrier_loss_delay * kTicksPerTenth);
      return true;
    }
    return retrain.carrier_hold_off.load() != 0;
  }
  if (task.modulation == kModulationV90) return true;
  const bool no_recovery =
      (acu_call_settings().auto_retrain == 0 && retrain.reneg_permitted == 0) ||
      acu_call().link_kind == kLinkV80;
  if (!no_recovery || code != kCodeConnected) return true;
  if (LoopbackTest()) return true;
  if (retrain.last_quality == kQualityBad) {
    if (retrain.bad_line_timer.load() == 0) retrain.bad_line_timer = kBadLineTicks;
    return retrain.bad_line_timer.load() != 1;
  }
  retrain.carrier_hold_off = 0;
  return true;
}

}  // namespace vxctl
