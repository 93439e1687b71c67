#include "pump/dispatch/dispatcher.h"

#include <algorithm>
#include <iterator>

#include "platform/ke/irql.h"
#include "pump/afe_access/afe_requests.h"
#include "pump/commands/answers.h"
#include "pump/commands/command_table.h"
#include "pump/core/host_transfer.h"
#include "pump/dispatch/key_access.h"

namespace pump {
namespace {

constexpr std::uint8_t kResetCommand = 0x60;
constexpr std::int32_t kCallerIdState = 6;

enum PowerState : std::uint8_t {
  kPowerOn = 0xD0,  // the port opened
  kPowerLow1 = 0xD1,
  kPowerLow2 = 0xD2,
  kPowerOff = 0xD3,  // the port closed
};

void Answer(DspContext& context) {
  const std::uint8_t code = context.packet.code;
  if (code >= kFirstCommand && code <= kLastCommand) {
    CpCommandTable[code - kFirstCommand](context);
    return;
  }
  switch (code) {
    case kCpMemoryRead:
      ReadMemoryPacket(context);
      return;
    case kCpMemoryWrite:
      WriteMemoryPacket(context);
      return;
    case kCpParamRead:
    case kCpParamReadHigh:
      ReadParamPacket(context, code == kCpParamReadHigh ? kHighParamSpace : 0);
      return;
    case kCpParamWrite:
    case kCpParamWriteHigh:
      WriteParamPacket(context, code == kCpParamWriteHigh ? kHighParamSpace : 0);
      return;
    default:
      AckPacket(context);
      return;
  }
}

}  // namespace

void ApplyPowerState(DspContext& context) {
  const std::uint8_t state = ReadDspReg(*context.host, kRegPowerControl);
  const std::uint8_t previous = context.previous_power_state;
  if (state == previous || state < kPowerOn || state > kPowerOff) return;
  AfeAccess& afe = *context.afe;
  const bool passive = KeGetCurrentIrql() == PASSIVE_LEVEL;
  if (state == kPowerOn) {
    if (previous == kPowerOff && passive) SoundResume(afe);
  } else {
    if (afe.hook != 0) SetAfeHook(afe, 0);
    if (state == kPowerOff && passive) SoundSuspend(afe);
  }
  SetAfePower(afe, state - kPowerOn);
  context.previous_power_state = state;
}

void DispatchCpPacket(DspContext& context) {
  HostInterface& host = *context.host;
  ApplyPowerState(context);
  // A dial sequence keeps every packet but the reset waiting; BlockTick
  // dispatches it once the sequence ends.
  if (context.dial_call_state != kCallerIdState && context.dialling == 1 &&
      GetCpPacketCode(host) != kResetCommand) {
    return;
  }
  CurrentPacket& packet = context.packet;
  // Bytes past those carried read as 0, never as an earlier packet's.
  std::fill(std::begin(packet.payload), std::end(packet.payload), std::uint8_t{0});
  if (!TakeCpPacket(host, packet.code, packet.length, packet.payload)) return;
  Answer(context);
  if (packet.code != 0) {
    PostDpPacket(host, packet.code, std::span(packet.payload).first(packet.length));
  }
}

}  // namespace pump
