#include "layer2/corecode/mt/modem/fax_class1.h"

#include <algorithm>

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "platform/ke/ke.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kFaxMaxBitRateCode = 5;

void EndTransmit(FaxClass1State& fax) {
  dsp_send_packet(DspCommand::Ack(kCmdFaxTransmitEnd));
  fax.state.store(kFaxModulationNone);
}

}  // namespace

const FaxModulation& fax_modulation(std::uint8_t code) {
  const auto* entry = std::find_if(kFaxModulations.begin(), kFaxModulations.end(),
                                   [code](const FaxModulation& m) { return m.code == code; });
  return entry != kFaxModulations.end() ? *entry : kFaxModulationOther;
}

FaxClass1State& fax_class1_state() { return MachineState<FaxClass1State>(); }

void ModemTask_FaxStartModulation(std::uint8_t code, std::uint8_t transmit) {
  if (transmit > 1) {
    DbgPrint("ModemTask_FaxStartModulation: direction %u refused\n", transmit);
    return;
  }
  FaxClass1State& fax = fax_class1_state();
  if (fax.state.load() == kFaxModulationTransmit) EndTransmit(fax);

  const FaxModulation& modulation = fax_modulation(code);
  fax.pump_code = modulation.pump_code;
  fax.training_delay.store(modulation.training);
  MachineState<ModemTaskState>().rx_rate = modulation.rate;

  std::uint8_t flags = kFaxFlagAlways;
  if (transmit == 0) flags |= kFaxFlagReceive;
  if (modulation.long_train != 0) flags |= kFaxFlagLongTrain;
  dsp_send_packet(DspCommand::Ack(kCmdFaxConfigure, {modulation.pump_code, flags}));

  if (transmit != 0) {
    dsp_send_packet(DspCommand::Ack(kCmdFaxTransmitStart));
    fax.state.store(kFaxModulationTransmit);
  } else {
    fax.state.store(kFaxModulationReceive);
  }
  ModemTask_SendCmd86(kFaxControlStart);
}

void ModemTask_FaxEndModulation() {
  FaxClass1State& fax = fax_class1_state();
  if (fax.state.load() == kFaxModulationTransmit) EndTransmit(fax);
}

bool ModemTask_FaxTrainDone() { return fax_class1_state().training_delay.load() == 0; }

std::uint8_t ModemTask_FaxMaxBitRate() { return kFaxMaxBitRateCode; }

void ModemTask_SendCmd86(std::uint16_t value) {
  dsp_send_packet(DspCommand::Ack(kCmdFaxControl, {static_cast<std::uint8_t>(value),
                                                  static_cast<std::uint8_t>(value >> 8)}));
}

}  // namespace vxctl
