// Taking the data pump's packets and acting on them. Both run in whichever
// thread the data pump calls the controller back from: its block thread
// for what it raises itself, or a controller thread inside a doorbell
// write.
#include <algorithm>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/dsp_wait.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/modem_task/modem_on_hold_state.h"
#include "layer2/corecode/mt/modem_task/modem_task_state.h"
#include "layer2/corecode/mt/modem_task/retrain_state.h"
#include "layer2/corecode/mt/modem_task/v8bis_state.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/services/fax_voice.h"

namespace vxctl {
namespace {

constexpr std::uint16_t kFaxCarrierDone = 9;
constexpr std::uint8_t kV8bisToneFirst = 0x80;
constexpr std::uint8_t kV8bisToneLast = 0x87;
constexpr std::uint8_t kV92QuickConnect = 5;  // value: the quick-connect match count
constexpr std::uint8_t kV92HoldGrant = 6;
constexpr std::uint8_t kV92HoldRequest = 0;
constexpr std::uint8_t kV92StatusBits = 16;

DspTransportState& Transport() { return MachineState<DspTransportState>(); }

DspReply PayloadOf(const pump::DspPacket& packet) {
  DspReply reply{};
  std::copy_n(packet.payload, reply.size(), reply.begin());
  return reply;
}

// Ends the wait in progress when this packet answers it; DP_ACK leaves
// DspReply as it was.
bool EndWait(DspTransportState& t) {
  const pump::DspPacket& packet = t.rx;
  if (t.ending.load(std::memory_order_acquire) != 0 ||
      !Answers(UnpackAwaited(t.awaited.load(std::memory_order_acquire)), packet)) {
    return false;
  }
  if (packet.code != pump::kDpAck) t.reply = PayloadOf(packet);
  t.ending.store(packet.code, std::memory_order_release);
  return true;
}

// A reply or echo: it ends the wait it answers; with no wait open it
// fills DspReply; a wait open for another answer keeps DspReply for it.
void Reply(DspTransportState& t) {
  if (EndWait(t)) return;
  if (UnpackAwaited(t.awaited.load(std::memory_order_acquire)).open) return;
  t.reply = PayloadOf(t.rx);
}

void ToneResult(std::uint8_t result) {
  if (result >= kV8bisToneFirst && result <= kV8bisToneLast) {
    MachineState<V8bisState>().pending_tone_result.store(result - kV8bisToneFirst);
  } else {
    voice_detected_tone().store(result);
  }
}

void V92Info(std::uint8_t value, std::uint8_t type) {
  if (type == kV92QuickConnect) {
    std::atomic<std::uint16_t>& flags = MachineState<ModemTaskState>().call_flags;
    if (value == 6) {
      flags.fetch_or(kCallFlagClearProfile | kCallFlagConnectOption);
    } else if (value > 2) {
      flags.fetch_or(kCallFlagClearProfile);
    }
    flags.fetch_and(static_cast<std::uint16_t>(~kCallFlagAwaitFastStart));
  } else if (type == kV92HoldGrant) {
    acu_moh_grant().store(value);
  } else if (type < kV92StatusBits) {
    ModemOnHoldState& hold = MachineState<ModemOnHoldState>();
    if (type == kV92HoldRequest) hold.request_value.store(value);
    hold.v92_status.fetch_or(static_cast<std::uint16_t>(1u << type));
  }
}

// DP_OVERLAY_DATA: a 0 byte, the length, the bytes.
void OverlayData(DspTransportState& t) {
  std::array<std::uint8_t, 2 + pump::kDspPacketPayload> record{};
  record[1] = t.rx.length;
  std::copy_n(t.rx.payload, t.rx.length, record.begin() + 2);
  t.overlay.Append(std::span(record).first(2 + t.rx.length));
}

}  // namespace

std::uint8_t dsp_packet_take() {
  pump::Comram* page = dsp_page();
  if (page == nullptr) return 0;
  const std::uint8_t code = pump::AcquireMark8(*page, pump::kRegDpPacket);
  if (code == 0) return 0;
  pump::DspPacket& rx = Transport().rx;
  rx = {};
  rx.code = code;
  rx.second = page->reg[pump::kRegDpPacket + 1];
  rx.length = std::min<std::uint8_t>(page->reg[pump::kRegDpPacketLength], pump::kDspPacketPayload);
  rx.fourth = page->reg[pump::kRegDpPacket + 3];
  std::copy_n(&page->reg[pump::kRegDpPacketPayload], rx.length, rx.payload);
  pump::ReleaseMark8(*page, pump::kRegDpPacket, 0);
  return code;
}

void ModemTask_CallProgressEvent() { RING_dsp_event(); }

void dsp_packet_dispatch(std::uint8_t code) {
  DspTransportState& t = Transport();
  const pump::DspPacket& rx = t.rx;
  switch (code) {
    case 0:
      return;
    case pump::kDpAck:
      EndWait(t);
      return;
    case pump::kDpFaxCd:
      fax_carrier_event().store(kFaxCarrierDone);
      return;
    case pump::kDpToneDetectionResults:
      ToneResult(rx.payload[0]);
      return;
    case pump::kDpV21OnFax:
      fax_v21_detected().store(rx.payload[0]);
      return;
    case pump::kDpHandshakeNotification:
    case pump::kDpDebug:
    case pump::kDpDisplay:
      return;
    case pump::kDpCallProgressNotification:
      ModemTask_CallProgressEvent();
      return;
    case pump::kDpV92Info:
      if (rx.length != 0) V92Info(rx.payload[0], rx.payload[1]);
      return;
    case pump::kDpOverlayData:
      OverlayData(t);
      return;
    case pump::kDpOverlayControl:
      t.overlay.Append(std::span(rx.payload).first(rx.length));
      return;
    case pump::kDpModemConnectRate:
      MachineState<RetrainState>().peer_rate_word.store(
          static_cast<std::uint16_t>(rx.payload[0] | rx.payload[1] << 8));
      return;
    default:
      Reply(t);
      return;
  }
}

}  // namespace vxctl
