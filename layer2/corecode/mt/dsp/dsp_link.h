// The controller's access to the data pump's register page (COMRAM): the
// only road to the data pump. Every controller part that touches a
// register goes through these operations; none keeps a page pointer of
// its own.
//
// Binding: after the start handshake the driver frame hands the link the
// page (dsp_set_comram, inside the data pump's host interface) and the
// DspContext that the data pump's wake entry takes (dsp_set_dsp_context).
// Before that, reads give 0 and writes are dropped; with a page but no
// context a doorbell write only stores.
//
// A write of register 252 or 254 runs the data pump's dispatcher in the
// writer's thread before the write returns; the dispatcher may call the
// controller back (the packet dispatch), so a writer holds no lock that
// the callback takes.
#pragma once

#include <atomic>
#include <cstdint>

#include "pump/core/comram.h"
#include "pump/core/host_interface.h"

namespace vxctl {

using DataPollRoutine = void (*)();

// Power states of register 252, which the data pump acts on.
enum DspPowerState : std::uint8_t {
  kDspPowerOn = 0xD0,  // the port opened
  kDspPowerLow1 = 0xD1,
  kDspPowerLow2 = 0xD2,
  kDspPowerOff = 0xD3,  // the port closed
};

// DspLinkLevel after dsp_link_start.
inline constexpr std::uint8_t kDspLinkLevelStarted = 2;

struct DspLinkState {
  std::atomic<pump::Comram*> page{nullptr};
  std::atomic<pump::HostInterface*> host{nullptr};  // the object holding the page
  std::atomic<pump::DspContext*> context{nullptr};  // the wake entry's argument
  std::uint8_t link_level = 0;                      // DspLinkLevel
  std::atomic<DataPollRoutine> poll_routine{nullptr};
};

// Binding. Null forgets.
void dsp_set_comram(pump::Comram* page);
void dsp_set_dsp_context(pump::DspContext* context);
// The bound page, null before binding.
pump::Comram* dsp_page();

// Registers 0-255; others read 0 and are not written.
std::uint8_t dsp_reg_read(std::uint16_t reg);
// Stores the byte; 252 and 254 then call the data pump's wake entry.
void dsp_reg_write(std::uint16_t reg, std::uint8_t value);
// Atomic read-modify-writes of the line banks (240-246) that keep the bits
// the data pump writes there; no doorbell.
void dsp_reg_set_bits(std::uint8_t reg, std::uint8_t bits);
void dsp_reg_clear_bits(std::uint8_t reg, std::uint8_t bits);

// Register 247: bit 1 lets the data pump's writes of register 255 call back.
bool dsp_irq_enabled();
void dsp_irq_enable();
// Register 252 (rings the data pump).
void dsp_power_control(std::uint8_t value);

// Registers 54, 56 (also kept as the modem task's latest event type) and 57.
std::uint8_t ModemTask_ReadDspStatus();
std::uint8_t ModemTask_ReadDspEventType();
std::uint8_t ModemTask_ReadDspEventValue();

// The register sequences that start, restart and reset the link.
void dsp_link_start();
std::uint32_t dsp_link_restart();
void dsp_link_reset();
void dsp_reg246_set_bit0();
// The empty hook at the end of the restarts and of a memory download.
std::uint32_t dsp_stub_zero();

// The data-channel poll that the driver frame runs after every
// notification from the data pump; null for none.
void datamode_set_poll_routine(DataPollRoutine routine);
DataPollRoutine datamode_poll_routine();

// The power-state command of "*ACPI=": states 6 to 9; others do nothing.
// Sends commands, so it runs at PASSIVE_LEVEL.
void ModemTask_SetPowerState(std::uint16_t state);

}  // namespace vxctl
