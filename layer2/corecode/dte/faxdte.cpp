// The fax DTE path: fax mode, its receive with the application's XON as an
// event, block access to the two online rings, and the bounded drain.
#include "layer2/corecode/dte/faxdte.h"

#include <algorithm>

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_internal.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_calls.h"
#include "layer2/corecode/mt/task/task_timer.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {
namespace {

constexpr unsigned kDrainAssertLine = 409;
constexpr std::uint32_t kTaskPollMs = 10;

bool OutputEmpty() { return dte_state().to.Count() == 0; }

// The port's purge of the DTE side: every DTE ring emptied.
void EmptyAllRings() {
  DteInterfaceState& dte = dte_state();
  dte.to.Clear();
  dte.from.Clear();
  dte.cmd_to.Clear();
  dte.cmd_from.Clear();
}

// Contiguous free bytes at the write position (the lock held).
std::uint32_t ToSpace(const OnlineRing& ring) {
  if (ring.write < ring.read) return ring.read - ring.write;
  return ring.count == OnlineRing::kSize ? 0 : OnlineRing::kSize - ring.write;
}

// Contiguous bytes at the read position (the lock held).
std::uint32_t FromCount(const OnlineRing& ring) {
  if (ring.write > ring.read) return ring.write - ring.read;
  return ring.count != 0 ? OnlineRing::kSize - ring.read : 0;
}

}  // namespace

void faxdte_start(std::uint8_t from_kind, std::uint8_t to_kind) {
  DteInterfaceState& dte = dte_state();
  task_poll_period_set(kTaskPollMs);
  dte_flow_defaults(from_kind, to_kind);
  dte.state.store(kDteFax);
  dte.fax_mode.store(1);
  dte.fax_xon_received.store(0);
  dte.mask.store(0xFF);
  if ((from_kind & kFlowKindLines) != 0 && uart_line_get(kLineRts) == 0) faxdte_hold();
}

void faxdte_stop() {
  DteInterfaceState& dte = dte_state();
  dte.state.store(kDteCommand);
  dte.fax_mode.store(0);
}

bool faxdte_rx_char(std::uint8_t c) {
  DteInterfaceState& dte = dte_state();
  DteFlowState& flow = dte.flow;
  if ((flow.from_kind.load() & kFlowKindXonXoff) != 0) {
    if (c == flow.from_xon.load()) {
      faxdte_resume();
      return false;
    }
    if (c == flow.from_xoff.load()) {
      faxdte_hold();
      return false;
    }
  }
  std::uint32_t count = 0;
  {
    auto held = dte.from.Held();
    if (dte.from.count == OnlineRing::kSize) return true;
    dte.from.data[dte.from.write] = c;
    dte.from.write = (dte.from.write + 1) % OnlineRing::kSize;
    count = ++dte.from.count;
  }
  if (count >= flow.off_mark.load() && flow.to_kind.load() != 0 && flow.dte_stopped.load() == 0) {
    dte_flow_off();
  }
  return false;
}

void faxdte_hold() {
  DteInterfaceState& dte = dte_state();
  dte.fax_xon_received.store(0);
  dte.flow.output_held.store(1);
}

void faxdte_resume() {
  DteInterfaceState& dte = dte_state();
  dte.fax_xon_received.store(1);
  dte.flow.output_held.store(0);
  dte.flow.output_started.store(1);
}

bool faxdte_xon_received() { return dte_state().fax_xon_received.exchange(0) != 0; }

void faxdte_drain() {
  dte_wait_drained(OutputEmpty, dte_to_push, "faxdte", kDrainAssertLine, EmptyAllRings);
}

void dte_ring_status(std::uint16_t* to_size, std::uint16_t* to_count, std::uint16_t* from_size,
                     std::uint16_t* from_count) {
  DteInterfaceState& dte = dte_state();
  *to_size = OnlineRing::kSize;
  *to_count = static_cast<std::uint16_t>(dte.to.Count());
  *from_size = OnlineRing::kSize;
  *from_count = static_cast<std::uint16_t>(dte.from.Count());
}

std::uint32_t dte_to_block_space() {
  OnlineRing& ring = dte_state().to;
  auto held = ring.Held();
  return ToSpace(ring);
}

std::uint8_t* dte_to_block_ptr() {
  OnlineRing& ring = dte_state().to;
  auto held = ring.Held();
  return ring.data.data() + ring.write;
}

void dte_to_block_update(std::uint16_t n) {
  DteInterfaceState& dte = dte_state();
  OnlineRing& ring = dte.to;
  std::uint32_t moved = 0;
  {
    auto held = ring.Held();
    moved = std::min<std::uint32_t>(n, ToSpace(ring));
    dte.flow.output_started.store(1);
    ring.count += moved;
    ring.write = (ring.write + moved) % OnlineRing::kSize;
  }
  MachineState<ModemStatisticsBlock>().bytes_to_dte.fetch_add(moved);
}

std::uint32_t dte_from_block_count() {
  OnlineRing& ring = dte_state().from;
  auto held = ring.Held();
  return FromCount(ring);
}

const std::uint8_t* dte_from_block_ptr() {
  OnlineRing& ring = dte_state().from;
  auto held = ring.Held();
  return ring.data.data() + ring.read;
}

void dte_from_block_update(std::uint16_t n) {
  OnlineRing& ring = dte_state().from;
  std::uint32_t moved = 0;
  {
    auto held = ring.Held();
    moved = std::min<std::uint32_t>(n, FromCount(ring));
    ring.read = (ring.read + moved) % OnlineRing::kSize;
    ring.count -= moved;
  }
  MachineState<ModemStatisticsBlock>().bytes_from_dte.fetch_add(moved);
  dte_flow_on_check();
}

}  // namespace vxctl
