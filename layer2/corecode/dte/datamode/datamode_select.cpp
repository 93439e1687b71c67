#include "layer2/corecode/dte/datamode/datamode_select.h"

#include <array>

#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/line_rings.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/fax_voice.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/critical_section.h"

namespace vxctl {

namespace {

constexpr std::uint8_t kFormatRegister = 60;
constexpr std::uint8_t kFormatHdlcBit = 0x08;
constexpr std::uint16_t kFrameLimitMnp = 266;
constexpr std::uint16_t kFrameLimitLapm = 134;
// Framer kind per FormatKind.
constexpr std::array<std::uint8_t, 4> kFramerOfKind = {0, 2, 1, 4};

// What a mode change leaves to do after the critical section.
struct AfterSection {
  std::uint8_t format = kFormatAsync;
  bool clear_rx = false;
};

void ClearRing(ByteRing<kLineRingSize>& ring) {
  auto held = ring.Held();
  ring.read = ring.write = ring.count = 0;
}

void ClearBothRings(DataModeState& s) {
  s.kick_pending = 0;
  ClearRing(s.rx);
  ClearRing(s.tx);
  s.flow_stopped = 0;
}

void ResetHdlcFrames(DataModeState& s) {
  s.tx_remaining = 0;
  s.tx_frame = s.tx_data = nullptr;
  s.rx_buffer = s.rx_data = nullptr;
  s.rx_length = 0;
  s.strip_fcs = 1;
}

// The part of datamode_set inside the critical section, the poll disabled.
AfterSection SelectInSection(std::uint8_t m) {
  DataModeState& s = datamode_state();
  mbox_guards_reset();
  s.rx_status = 0;
  s.rx_count = 0;
  s.rx_pending = 0;
  s.deferred_restarts = 0;
  s.detection_pending = 0;
  s.tx_remaining = 0;
  s.rx_length = 0;
  s.rx_error = 0;
  s.fax_tx_wait = 0;
  switch (m) {
    case 0:
      ec_set_link_flag(0);
      s.mode = kModeMnpAsync;
      async_tx_reset();
      return {kFormatAsync};
    case 1:
      ec_set_link_flag(1);
      s.mode = kModeMnpHdlc;
      ResetHdlcFrames(s);
      s.frame_limit = kFrameLimitMnp;
      s.frame_source = FrameSource::kMnp;
      return {kFormatHdlc};
    case 3:
      ec_set_link_flag(1);
      s.mode = kModeLapm;
      ResetHdlcFrames(s);
      s.frame_limit = kFrameLimitLapm;
      return {kFormatHdlc};
    case 4:
      s.mode = kModeV80;
      s.kick_pending = 0;
      ClearRing(s.tx);
      s.v80.framed = 0;
      return {kFormatSync, true};
    case 7:
      ec_set_link_flag(0);
      s.mode = kModeCallerId;
      ClearBothRings(s);
      return {kFormatSync, true};
    default:  // 2, 5, 6
      ec_set_link_flag(0);
      s.mode = m;
      ClearBothRings(s);
      return {kFormatAsync};
  }
}

void EnableAndWakePoll() {
  mbox_poll_enable();
  datamode_poll_now();
}

void FinishSelect(const AfterSection& after) {
  if (after.clear_rx) line_rx_clear();
  datamode_send_format(after.format);
  EnableAndWakePoll();
}

struct RingPosition {
  std::uint32_t read = 0, write = 0, count = 0;
};

RingPosition PositionOf(ByteRing<kLineRingSize>& ring) {
  auto held = ring.Held();
  return {ring.read, ring.write, ring.count};
}

// Direct mode with line_rx_ring at `kept` (what it held before, read
// position included, so the bytes come out as they went in); then error
// control falls back.
void SwitchDirectKeeping(const RingPosition& kept) {
  DataModeState& s = datamode_state();
  ntdrv_critical_enter();
  mbox_poll_disable();
  const AfterSection after = SelectInSection(kModeDirect);
  {
    auto held = s.rx.Held();
    s.rx.read = kept.read;
    s.rx.write = kept.write;
    s.rx.count = kept.count;
  }
  ntdrv_critical_leave();
  FinishSelect(after);
  ec_fallback(0);
}

}  // namespace

void datamode_set(std::uint8_t m) {
  if (m > kModeV8Frames) return;
  ntdrv_critical_enter();
  mbox_poll_disable();
  const AfterSection after = SelectInSection(m);
  ntdrv_critical_leave();
  FinishSelect(after);
}

void datamode_set_direct() { datamode_set(kModeDirect); }

void datamode_select_raw(std::uint8_t m) {
  std::uint8_t format = kFormatAsync;
  if (m == kModeV8Frames) {
    format = kFormatSync;
  } else if (m == kModeFaxHdlc) {
    format = kFormatHdlc;
  } else if (m != kModeMnpAsync) {
    return;
  }
  ntdrv_critical_enter();
  mbox_poll_disable();
  mbox_guards_reset();
  datamode_state().mode = m;
  ntdrv_critical_leave();
  datamode_send_format(format);
  EnableAndWakePoll();
}

std::uint32_t datamode_send_format(std::uint8_t k) {
  if (k >= kFramerOfKind.size()) return kDspRefused;
  DataModeState& s = datamode_state();
  ModemStatisticsBlock& stats = MachineState<ModemStatisticsBlock>();
  std::array<std::uint8_t, 4> payload = {kFramerOfKind[k], 0, 0, 0};
  std::size_t length = 1;
  if (k == kFormatAsync) stats.v80_mode = 0;
  if (k == kFormatHdlc) s.hdlc_skip_to_end = 0;
  if (s.mode == kModeV80 && (k == kFormatHdlc || k == kFormatSync)) {
    const V80TransmitState& v = s.v80;
    const std::uint8_t code = v.option_code == 2 ? 3 : v.option_code == 1 ? 2 : 1;
    payload[1] = static_cast<std::uint8_t>((v.option_bit != 0 ? 4 : 0) + code);
    if (v.framed != 0) {
      payload[2] = v.idle_ff != 0 ? 0xFF : 0x7E;
      s.v80.flags_queued = 0;
      stats.v80_mode = 2;
    } else {
      payload[2] = v.idle_char;
      stats.v80_mode = 1;
    }
    payload[3] = v.last_option;
    length = 4;
  }
  const std::uint32_t sent = dsp_send_packet(
      DspCommand::Ack(0x61, std::span<const std::uint8_t>(payload.data(), length)));
  std::uint8_t reg = dsp_reg_read(kFormatRegister);
  reg = k == kFormatHdlc ? (reg | kFormatHdlcBit) : (reg & ~kFormatHdlcBit);
  dsp_reg_write(kFormatRegister, reg);
  return sent;
}

void datamode_fax_start(std::uint8_t kind, std::uint8_t direction, std::uint16_t) {
  DataModeState& s = datamode_state();
  fax_direction() = direction;
  std::uint8_t format = kFormatSync;
  ntdrv_critical_enter();
  if (kind == 1) {
    s.mode = kModeFaxHdlc;
    ResetHdlcFrames(s);
    s.strip_fcs = 0;
    s.frame_limit = kFrameLimitMnp;
    s.frame_source = FrameSource::kFax;
    s.rx_error = 0;
    format = kFormatHdlc;
  } else {
    s.mode = kModeFaxPage;
    ClearRing(s.rx);
    ClearRing(s.tx);
    s.fax_rx_overruns = 0;
    s.kick_pending = 0;
  }
  s.fax_tx_wait = 0;
  mbox_poll_enable();
  ntdrv_critical_leave();
  // Classes 2 and 2.0 poll the data channel themselves.
  if (const std::uint8_t fax = fax_class(); fax != 2 && fax != 20) datamode_poll_now();
  datamode_send_format(format);
}

void datamode_fax_stop() {
  ntdrv_critical_enter();
  datamode_state().mode = kModeMnpAsync;
  ntdrv_critical_leave();
}

void datamode_resend_format() {
  const std::uint32_t mode = datamode_state().mode;
  std::uint8_t format = kFormatAsync;
  if (mode == kModeV80) {
    format = kFormatSync;
  } else if (mode == kModeMnpHdlc || mode == kModeLapm) {
    format = kFormatHdlc;
  }
  datamode_send_format(format);
  ntdrv_critical_enter();
  mbox_poll_enable();
  ntdrv_critical_leave();
  datamode_poll_now();
}

std::uint32_t datamode_set_flow_chars(std::uint8_t, std::uint8_t, std::uint8_t pass_through,
                                      std::uint8_t enable) {
  DataModeState& s = datamode_state();
  ntdrv_critical_enter();
  s.flow_pass_through = pass_through;
  s.flow_enabled = enable;
  s.xon = 17;
  s.xoff = 19;
  ntdrv_critical_leave();
  return dsp_send_packet(
      DspCommand::Ack(0x79, {static_cast<std::uint8_t>(enable != 0 ? 1 : 0), s.xon, s.xoff}));
}

void datamode_fall_back_direct() {
  SwitchDirectKeeping(PositionOf(datamode_state().rx));
}

void datamode_rx_poll() {
  DataModeState& s = datamode_state();
  s.rx_pending = 0;
  if (s.deferred_restarts != 0) {
    --s.deferred_restarts;
    const RingPosition kept = PositionOf(s.rx);
    async_rx_reset();
    SwitchDirectKeeping(kept);
  }
  if (s.detection_pending != 0) {
    ec_set_detection_result(s.detection_result[0], s.detection_result[1]);
    s.detection_pending = 0;
    datamode_resend_format();
  }
}

}  // namespace vxctl
