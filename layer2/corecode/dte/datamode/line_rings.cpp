#include "layer2/corecode/dte/datamode/line_rings.h"

#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/critical_section.h"

namespace vxctl {

namespace {

// Stores what fits of `bytes` at the write position (the lock held); the
// number that did not fit.
std::uint32_t StoreHeld(ByteRing<kLineRingSize>& ring, std::span<const std::uint8_t> bytes) {
  std::uint32_t lost = 0;
  for (std::uint8_t c : bytes) {
    if (ring.count >= kLineRingSize) {
      ++lost;
      continue;
    }
    ring.data[ring.write] = c;
    ring.write = (ring.write + 1) % kLineRingSize;
    ++ring.count;
  }
  return lost;
}

void CountLost(std::uint32_t lost) {
  if (lost != 0) MachineState<ModemStatisticsBlock>().tx_bytes_lost.fetch_add(lost);
}

void WakeForTransmit() {
  datamode_poll_now();
  datamode_state().kick_pending = 1;
}

}  // namespace

std::uint32_t line_rx_clear() {
  DataModeState& s = datamode_state();
  {
    auto held = s.rx.Held();
    s.rx.read = s.rx.write = s.rx.count = 0;
    s.flow_stopped = 0;
    v80_rx_overruns() = 0;
  }
  if (s.mode != kModeV80) return kDspSent;
  return dsp_send_packet(DspCommand::Ack(0x8B, {1}).Length(2));
}

namespace {
// One byte from the receive ring (the lock held); an empty ring gives 0 and
// stays as it is.
std::uint8_t TakeHeld(ByteRing<kLineRingSize>& ring) {
  if (ring.count == 0) return 0;
  const std::uint8_t c = ring.data[ring.read];
  ring.read = (ring.read + 1) % kLineRingSize;
  --ring.count;
  return c;
}
}  // namespace

std::uint8_t line_rx_get_char() {
  DataModeState& s = datamode_state();
  auto held = s.rx.Held();
  const std::uint8_t c = TakeHeld(s.rx);
  if (s.flow_stopped != 0 && s.rx.count < kLineFlowResumeMark) s.flow_stopped = 0;
  return c;
}

std::uint8_t line_rx_get_byte() {
  DataModeState& s = datamode_state();
  auto held = s.rx.Held();
  return TakeHeld(s.rx);
}

std::uint32_t line_rx_count() { return datamode_state().rx.Count(); }

void line_rx_ring_info(std::uint16_t& size, std::uint16_t& stop_mark, std::uint16_t& resume_mark,
                       std::uint16_t& count) {
  size = kLineRingSize;
  stop_mark = kLineFlowStopMark;
  resume_mark = kLineFlowResumeMark;
  count = static_cast<std::uint16_t>(line_rx_count());
}

void line_tx_clear() {
  DataModeState& s = datamode_state();
  auto held = s.tx.Held();
  s.tx.read = s.tx.write = s.tx.count = 0;
  s.v80.flags_queued = 0;
}

std::uint32_t line_tx_count() { return datamode_state().tx.Count(); }

std::uint32_t line_tx_free() { return kLineRingSize - line_tx_count(); }

void line_tx_put_char(std::uint8_t c) {
  DataModeState& s = datamode_state();
  bool wake = false;
  std::uint32_t lost = 0;
  {
    auto held = s.tx.Held();
    const bool v80 = s.mode == kModeV80;
    wake = s.tx.count == 0 && s.kick_pending == 0 && !v80;
    lost = StoreHeld(s.tx, {&c, 1});
    if (v80 && s.tx.count >= kV80WakeMark && s.kick_pending == 0) wake = true;
  }
  CountLost(lost);
  if (wake) WakeForTransmit();
}

void line_tx_put_block(std::span<const std::uint8_t> bytes) {
  DataModeState& s = datamode_state();
  bool wake = false;
  std::uint32_t lost = 0;
  {
    auto held = s.tx.Held();
    if (s.mode == kModeV80) {
      const bool escape = bytes.size() >= 2 && (bytes[0] == 0x19 || bytes[0] == 0x99);
      if (s.v80.framed != 0) {
        if (s.tx.count >= kV80WakeMark) {
          wake = true;
          if (s.kick_pending == 0 && s.v80.flags_queued == 0) s.v80.frame_end_awaited = 1;
        }
        if (escape && (bytes[1] == 0xB1 || bytes[1] == 0xB2)) {
          wake = true;
          s.v80.frame_end_awaited = 0;
          if (bytes[1] == 0xB1) ++s.v80.flags_queued;
        }
      } else if ((bytes.size() > 2 && bytes[0] == 0x19 && bytes[1] == 0xB0) ||
                 s.tx.count >= kV80WakeMark) {
        // Transparent: the wake comes first, but what fits is still kept.
        wake = true;
      }
    }
    lost = StoreHeld(s.tx, bytes);
  }
  CountLost(lost);
  if (wake && s.kick_pending == 0 && v80_kick_permit() != 0) {
    WakeForTransmit();
    v80_kick_permit() = 0;
  }
}

void line_tx_kick() {
  DataModeState& s = datamode_state();
  v80_tx_started();
  if (s.kick_pending != 0) return;
  WakeForTransmit();
  v80_kick_permit() = 0;
}

}  // namespace vxctl
