#include "controller/line/services/line_posting.h"

#include <array>
#include <span>

#include "controller/acu/acu_settings.h"
#include "controller/line/services/line_services_ops.h"
#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/lines/status_lines.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/services/fax_voice.h"

namespace vxctl {
namespace {

MsgKernel* Kernel() { return &MachineState<LineServicesState>().kernel; }

// Takes a message, fills it and posts it; false when none was free.
bool Post(bool urgent, std::uint8_t msg_class, std::uint8_t code,
          std::span<const std::uint8_t> payload = {}) {
  KernelMessage* message = nullptr;
  if (MK_msg_get(Kernel(), &message) != kMkOk) return false;
  message->urgent = urgent ? 1 : 0;
  message->msg_class = msg_class;
  message->code = code;
  message->payload.fill(0);
  std::copy(payload.begin(), payload.end(), message->payload.begin());
  MK_msg_post(Kernel(), message);
  return true;
}

void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr std::size_t kSRingbackReport = 71;
constexpr std::uint8_t kS71Ringback = 1u << 0;

}  // namespace

void BLK_start_delay_timer_request() { Post(false, kMsgBlackList, kBlkStartDelay); }
void BLK_call_connected() { Post(false, kMsgBlackList, kBlkCallConnected); }
void BLK_call_failed() { Post(false, kMsgBlackList, kBlkCallFailed); }

// Port close and open: the list is saved or restored before they complete.
void BLK_save_request() {
  if (Post(false, kMsgBlackList, kBlkSave)) MK_dispatch(Kernel());
}
void BLK_restore_request() {
  if (Post(false, kMsgBlackList, kBlkRestore)) MK_dispatch(Kernel());
}

void LS_start_line_poll() { Post(false, kMsgLinePoll, kLinePollStart); }

void RING_set_report(std::uint8_t enable, std::uint8_t interval) {
  const std::array<std::uint8_t, 2> payload = {enable, interval};
  Post(false, kMsgRingCadence, kRingSetReport, payload);
}

void CPT_start_detectors() {
  const AcuSettings& settings = acu_settings();
  const bool voice = voice_call_active();
  std::array<std::uint8_t, 5> payload{};
  std::uint8_t count = 0;
  const auto add = [&](std::uint8_t kind) { payload[1 + count++] = kind; };
  if ((settings.s[kSReports] & kS22DialToneDetect) != 0 || voice) add(kDetectDialTone);
  if ((settings.s[kSReports] & kS22BusyDetect) != 0 || voice) {
    add(kDetectBusy);
    add(kDetectSecondBusy);
  }
  const bool ringback_reports = (settings.s[kSRingbackReport] & kS71Ringback) != 0;
  if (reg_settings().features.ringback_detect_enable.load() != 0 && (ringback_reports || voice)) {
    add(kDetectRingback);
  }
  payload[0] = count;
  Post(false, kMsgCallProgress, kCptStart, std::span(payload).first(1 + count));
}

void CPT_stop_detectors() { Post(true, kMsgCallProgress, kCptStop); }

void CPT_start_detector(std::uint8_t kind) {
  if (kind == kDetectRingback) return;
  const std::array<std::uint8_t, 2> payload = {1, kind};
  Post(false, kMsgCallProgress, kCptStart, payload);
}

void DAA_set_hook(std::uint8_t off_hook) {
  const bool off = off_hook == 1;
  if (!Post(true, kMsgDaa, off ? kDaaOffHook : kDaaOnHook)) return;
  ModemTask_SetStatusBit(off ? 1 : 0, kStatusOffHook);
}

std::uint8_t TONE_play_dtmf(std::uint8_t digit, std::uint16_t on_ms, std::uint16_t off_ms) {
  std::array<std::uint8_t, 6> payload = {1, digit};
  PutU16(&payload[2], on_ms);
  PutU16(&payload[4], off_ms);
  return Post(false, kMsgTone, kTonePlay, payload) ? 1 : 0;
}

std::uint8_t TONE_play_dual(std::uint16_t f1, std::uint16_t f2, std::uint16_t duration_ms) {
  std::array<std::uint8_t, 7> payload = {2};
  PutU16(&payload[1], f1);
  PutU16(&payload[3], f2);
  PutU16(&payload[5], duration_ms);
  return Post(false, kMsgTone, kTonePlay, payload) ? 1 : 0;
}

}  // namespace vxctl
