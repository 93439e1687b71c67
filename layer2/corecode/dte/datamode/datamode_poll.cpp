#include "layer2/corecode/dte/datamode/datamode_poll.h"

#include <algorithm>

#include "layer2/corecode/dte/datamode/datamode_state.h"
#include "layer2/corecode/dte/datamode/hdlc.h"
#include "layer2/corecode/dte/datamode/v8_frames.h"
#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/link_protocols.h"
#include "layer2/corecode/mt/stats/statistics_block.h"
#include "layer2/corecode/mt/task/critical_section.h"
#include "pump/core/comram.h"

namespace vxctl {

namespace {

constexpr std::uint8_t kStatusTailByte = 5;
// V.80's mode-change report: only V.80's receive handler reads it.
constexpr std::uint8_t kStatusV80ModeChange = 7;
constexpr std::uint8_t kTxStatusData = 0;
// Direct mode keeps two bytes of the receive ring free.
constexpr std::uint32_t kDirectRxLimit = kLineRingSize - 2;

ModemStatisticsBlock& Stats() { return MachineState<ModemStatisticsBlock>(); }

// Copies up to n bytes of line_tx_ring into the transmit block (the ring's
// lock held); the number copied.
std::uint8_t CopyOutHeld(ByteRing<kLineRingSize>& ring, std::uint8_t n) {
  const std::uint32_t take = std::min<std::uint32_t>(n, ring.count);
  const std::uint32_t first = std::min(take, kLineRingSize - ring.read);
  mbox_tx_write(std::span(ring.data).subspan(ring.read, first),
                std::span(ring.data).first(take - first));
  ring.read = (ring.read + take) % kLineRingSize;
  ring.count -= take;
  return static_cast<std::uint8_t>(take);
}

// Copies n receive block bytes into line_rx_ring (the caller limited n to
// the free space).
void CopyIn(ByteRing<kLineRingSize>& ring, std::uint8_t n) {
  auto held = ring.Held();
  const std::uint32_t first = std::min<std::uint32_t>(n, kLineRingSize - ring.write);
  mbox_rx_read(std::span(ring.data).subspan(ring.write, first),
               std::span(ring.data).first(n - first));
  ring.write = (ring.write + n) % kLineRingSize;
  ring.count += n;
}

// The transmit side of direct, voice and fax page modes: up to 32 bytes of
// line_tx_ring into the block, or nothing to send. The bytes sent.
std::uint8_t SendFromRing(bool clears_kick) {
  if (mbox_tx_open() != kMboxOpen) return 0;
  DataModeState& s = datamode_state();
  auto held = s.tx.Held();
  if (s.tx.count == 0) {
    if (clears_kick) s.kick_pending = 0;
    mbox_tx_commit(kMboxNothingToSend, 0);
    return 0;
  }
  const std::uint8_t n = CopyOutHeld(s.tx, kMailboxBytes);
  mbox_tx_commit(kTxStatusData, n);
  return n;
}

void ReleaseUnread() {
  std::uint8_t status = 0, count = 0;
  if (mbox_rx_open(status, count) == kMboxOpen) mbox_rx_release();
}

void direct_tx() { SendFromRing(true); }

void voice_tx() { Stats().bytes_from_dte.fetch_add(SendFromRing(true)); }

void faxpage_tx() {
  DataModeState& s = datamode_state();
  if (s.tx.Count() == 0) s.fax_run_dry = 1;
  Stats().bytes_from_dte.fetch_add(SendFromRing(false));
}

// Byte-wise receive of direct and voice modes. `filter` drops the line's
// XON/XOFF characters while flow is on without pass-through; voice counts
// what it takes and sets the flow mark whatever the flow setting.
void ReceiveBytes(std::uint8_t n, bool filter, bool voice) {
  DataModeState& s = datamode_state();
  for (std::uint8_t i = 0; i < n; ++i) {
    const std::uint8_t c = mbox_rx_byte(i);
    auto held = s.rx.Held();
    if (filter && s.flow_enabled != 0 && s.flow_pass_through == 0 && (c == s.xon || c == s.xoff)) {
      continue;
    }
    if (s.rx.count >= kDirectRxLimit) {
      Stats().rx_bytes_lost.fetch_add(1);
      continue;
    }
    s.rx.data[s.rx.write] = c;
    s.rx.write = (s.rx.write + 1) % kLineRingSize;
    ++s.rx.count;
    if (voice) Stats().bytes_to_dte.fetch_add(1);
    if (s.rx.count == kLineFlowStopMark && (voice || s.flow_enabled != 0)) s.flow_stopped = 1;
  }
}

void direct_rx() {
  std::uint8_t status = 0, count = 0;
  if (mbox_rx_open(status, count) != kMboxOpen) return;
  std::uint8_t n = rx_data_count(count);
  if (status == kStatusTailByte && n != 0) {
    --n;
    ec_set_tail_byte(mbox_rx_byte(n));
  }
  ReceiveBytes(n, true, false);
  mbox_rx_release();
}

void voice_rx() {
  std::uint8_t status = 0, count = 0;
  if (mbox_rx_open(status, count) != kMboxOpen) return;
  ReceiveBytes(rx_data_count(count), false, true);
  mbox_rx_release();
}

void faxpage_rx() {
  std::uint8_t status = 0, count = 0;
  if (mbox_rx_open(status, count) != kMboxOpen) return;
  DataModeState& s = datamode_state();
  const std::uint8_t given = rx_data_count(count);
  const std::uint8_t n =
      static_cast<std::uint8_t>(std::min<std::uint32_t>(given, kLineRingSize - s.rx.Count()));
  CopyIn(s.rx, n);
  Stats().bytes_to_dte.fetch_add(n);
  if (const std::uint8_t dropped = given - n; dropped != 0) {
    s.fax_rx_overruns.fetch_add(dropped);
    Stats().rx_bytes_lost.fetch_add(dropped);
  }
  mbox_rx_release();
}

}  // namespace

std::uint8_t rx_data_count(std::uint8_t count) {
  if (count == pump::kMailboxReportOnly) return 0;
  if (count > kMailboxBytes) {
    datamode_state().rx_count_errors.fetch_add(1);
    return 0;
  }
  return count;
}

bool dsp_tx_pending() { return (dsp_reg_read(kDspStatusRegister) & kTxDrainedBit) == 0; }

void datamode_poll() {
  if (!mbox_poll_enabled()) return;
  DataModeState& s = datamode_state();
  mbox_rx_state(s.rx_status, s.rx_count);
  if (s.rx_status != 0 || s.rx_count != 0) datamode_rx();
  std::uint8_t status = 0, count = 0;
  mbox_tx_state(status, count);
  if (status == 0 && count == 0) datamode_tx();
}

void datamode_tx() {
  switch (datamode_state().mode) {
    case kModeMnpAsync:
      async_tx();
      return;
    case kModeMnpHdlc:
    case kModeLapm:
    case kModeFaxHdlc:
      hdlc_tx();
      return;
    case kModeDirect:
      direct_tx();
      return;
    case kModeV80:
      v80_tx();
      return;
    case kModeVoice:
      voice_tx();
      return;
    case kModeV8Frames:
      param_tx();
      return;
    case kModeFaxPage:
      faxpage_tx();
      return;
    case kModeV42Detect:
      v42det_tx();
      return;
    default:  // caller-ID receive sends nothing
      return;
  }
}

void datamode_rx() {
  DataModeState& s = datamode_state();
  const std::uint32_t mode = s.mode;
  if (s.rx_status == kStatusV80ModeChange && mode != kModeV80) {
    ReleaseUnread();
    return;
  }
  switch (mode) {
    case kModeMnpAsync:
      async_rx();
      return;
    case kModeMnpHdlc:
    case kModeLapm:
    case kModeFaxHdlc:
      hdlc_rx();
      return;
    case kModeDirect:
      direct_rx();
      return;
    case kModeV80:
      v80_rx();
      return;
    case kModeVoice:
    case kModeCallerId:
      voice_rx();
      return;
    case kModeV8Frames:
      param_rx();
      return;
    case kModeFaxPage:
      faxpage_rx();
      return;
    case kModeV42Detect:
      v42det_rx();
      return;
    default:
      return;
  }
}

std::uint16_t line_rx_overruns() { return datamode_state().fax_rx_overruns; }

std::uint32_t line_tx_busy() {
  if (const std::uint32_t count = datamode_state().tx.Count(); count != 0) return count;
  return dsp_tx_pending() ? 1 : 0;
}

void line_tx_put_byte(std::uint8_t c) {
  DataModeState& s = datamode_state();
  if (!s.tx.Put(c)) Stats().tx_bytes_lost.fetch_add(1);
  if (s.fax_run_dry.exchange(0) != 0) datamode_poll_now();
}

void dsp_reg_read_block(std::uint8_t first, std::span<std::uint8_t> buffer) {
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    buffer[i] = dsp_reg_read(static_cast<std::uint16_t>(first + i));
  }
}

}  // namespace vxctl
