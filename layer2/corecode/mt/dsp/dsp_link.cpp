#include "layer2/corecode/mt/dsp/dsp_link.h"

#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/overlay_drain.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"

namespace vxctl {
namespace {

using pump::kRegPowerControl;

constexpr std::uint8_t kLinkControlRestart = 0x01;  // register 246 bit 0
constexpr std::uint8_t kPowerLinkDown = 2;
constexpr std::uint8_t kPowerLinkUp = 1;
constexpr std::uint8_t kCpLengthMark = 1;  // register 66 before a link comes up

DspLinkState& Link() { return MachineState<DspLinkState>(); }

}  // namespace

bool dsp_irq_enabled() {
  return (dsp_reg_read(pump::kRegIrqEnable) & pump::kIrqEnableDpInterrupt) != 0;
}

void dsp_irq_enable() { dsp_reg_write(pump::kRegIrqEnable, pump::kIrqEnableDpInterrupt); }

void dsp_power_control(std::uint8_t value) { dsp_reg_write(kRegPowerControl, value); }

std::uint8_t ModemTask_ReadDspStatus() { return dsp_reg_read(pump::kRegStatus); }

std::uint8_t ModemTask_ReadDspEventType() {
  const std::uint8_t type = dsp_reg_read(pump::kRegEventType);
  MachineState<ModemTaskState>().latest_event_type = type;
  return type;
}

std::uint8_t ModemTask_ReadDspEventValue() { return dsp_reg_read(pump::kRegEventValue); }

void dsp_reg246_set_bit0() { dsp_reg_set_bits(pump::kRegLinkControl, kLinkControlRestart); }

void dsp_link_start() {
  dsp_irq_enable();
  dsp_reg246_set_bit0();
  Link().link_level = kDspLinkLevelStarted;
}

std::uint32_t dsp_link_restart() {
  dsp_power_control(kPowerLinkDown);
  dsp_reg_write(pump::kRegIrqEnable, 0);
  dsp_reg246_set_bit0();
  dsp_reg_write(pump::kRegCpPacketLength, kCpLengthMark);
  dsp_power_control(kPowerLinkUp);
  dsp_stub_zero();
  return 0;
}

void dsp_link_reset() {
  dsp_reg246_set_bit0();
  dsp_overlay_reset();
  dsp_power_control(kPowerLinkDown);
  dsp_reg_write(pump::kRegCpPacketLength, kCpLengthMark);
  dsp_power_control(kPowerLinkUp);
  dsp_stub_zero();
}

std::uint32_t dsp_stub_zero() { return 0; }

void datamode_set_poll_routine(DataPollRoutine routine) {
  Link().poll_routine.store(routine, std::memory_order_release);
}

DataPollRoutine datamode_poll_routine() {
  return Link().poll_routine.load(std::memory_order_acquire);
}

}  // namespace vxctl
