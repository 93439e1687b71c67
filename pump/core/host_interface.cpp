#include "pump/core/host_interface.h"

#include <algorithm>
#include <new>

#include "platform/ex/expool.h"

namespace pump {
namespace {

constexpr ULONG kPoolTag = plat::ex::PoolTag("Ddk ");

}  // namespace

HostInterface* AllocHostInterface() {
  void* block = ExAllocatePoolWithTag(NonPagedPool, sizeof(HostInterface), kPoolTag);
  if (block == nullptr) return nullptr;
  return new (block) HostInterface{};
}

void FreeHostInterface(HostInterface* host) {
  if (host == nullptr) return;
  host->~HostInterface();
  ExFreePool(host);
}

void InitHostInterface(HostInterface& host, ControllerCallback controller, WakeCallback wake) {
  std::fill(std::begin(host.comram.reg), std::end(host.comram.reg), std::uint8_t{0});
  host.param_key_count = 0;
  host.mem_key_count = 0;
  host.controller_callback = controller;
  host.wake_callback = wake;
  host.param_keys = host.param_key_table;
  host.mem_keys = host.mem_key_table;
  WriteDspReg(host, kRegLineLevelA,
              static_cast<std::uint8_t>(ReadDspReg(host, kRegLineLevelA) | kLineHookRelay));
}

void WriteDspReg(HostInterface& host, std::uint8_t reg, std::uint8_t value) {
  if (reg == kRegDpInterrupt && (host.comram.reg[kRegIrqEnable] & kIrqEnableDpInterrupt) != 0) {
    if (host.controller_callback != nullptr) host.controller_callback(&host);
    return;
  }
  host.comram.reg[reg] = value;
}

std::uint8_t ReadDspReg(const HostInterface& host, std::uint8_t reg) {
  if (reg == kRegCpDoorbell || reg == kRegDpInterrupt) return 0;
  return host.comram.reg[reg];
}

void SetDspReg(HostInterface& host, std::uint8_t reg, std::uint8_t value) {
  host.comram.reg[reg] = value;
}

std::uint8_t GetDspReg(const HostInterface& host, std::uint8_t reg) { return host.comram.reg[reg]; }

void SetDspRegWord(HostInterface& host, int index, std::int16_t value) {
  if (index < 0 || index >= kReportWordCount) return;
  const auto word = static_cast<std::uint16_t>(value);
  const auto reg = kRegReportWords + 2 * index;
  host.comram.reg[reg] = static_cast<std::uint8_t>(word);
  host.comram.reg[reg + 1] = static_cast<std::uint8_t>(word >> 8);
}

std::uint8_t ReadDspReg126(const HostInterface& host, std::uint8_t reg) {
  return reg == kRegToneMonitorControl ? host.comram.reg[kRegToneMonitorControl] : 0;
}

void SetLocalPhoneBit(HostInterface& host, bool off_hook) {
  const std::uint8_t lines = ReadDspReg(host, kRegLineLevelA);
  WriteDspReg(
      host, kRegLineLevelA,
      static_cast<std::uint8_t>(off_hook ? lines & ~kLineLocalPhone : lines | kLineLocalPhone));
}

}  // namespace pump
