#include "layer2/corecode/mt/dsp/mailbox.h"

#include <algorithm>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"
#include "pump/core/comram.h"

namespace vxctl {
namespace {

using pump::kMailboxData;

MailboxState& Mailboxes() { return MachineState<MailboxState>(); }

bool Take(std::atomic<std::uint8_t>& guard) { return guard.exchange(0) == 1; }
void Give(std::atomic<std::uint8_t>& guard) { guard.exchange(1); }
bool Held(const std::atomic<std::uint8_t>& guard) { return guard.load() == 0; }

// A block's mark: count in the low byte, status in the high byte.
struct Mark {
  std::uint8_t status = 0;
  std::uint8_t count = 0;
};

Mark ReadMark(std::uint8_t count_reg) {
  const pump::Comram* page = dsp_page();
  if (page == nullptr) return {};
  const std::uint16_t word = pump::AcquireMark16(*page, count_reg);
  return {static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
}

void WriteMark(std::uint8_t count_reg, Mark mark) {
  if (pump::Comram* page = dsp_page())
    pump::ReleaseMark16(*page, count_reg, mark.count, mark.status);
}

bool Empty(Mark mark) { return mark.status == 0 && mark.count == 0; }

}  // namespace

std::uint32_t mbox_rx_open(std::uint8_t& status, std::uint8_t& count) {
  status = count = 0;
  std::atomic<std::uint8_t>& guard = Mailboxes().rx_guard;
  if (!Take(guard)) return kMboxBusy;
  const Mark mark = ReadMark(pump::kRegRxCount);
  if (Empty(mark)) {
    Give(guard);
    return kMboxNothing;
  }
  status = mark.status;
  count = mark.count;
  return kMboxOpen;
}

std::uint32_t mbox_rx_release() {
  std::atomic<std::uint8_t>& guard = Mailboxes().rx_guard;
  if (!Held(guard)) return kMboxNotHeld;
  WriteMark(pump::kRegRxCount, {});
  Give(guard);
  return kMboxOpen;
}

std::uint32_t mbox_tx_open() {
  std::atomic<std::uint8_t>& guard = Mailboxes().tx_guard;
  if (!Take(guard)) return kMboxBusy;
  if (dsp_page() != nullptr && Empty(ReadMark(pump::kRegTxCount))) return kMboxOpen;
  Give(guard);
  return kMboxNothing;
}

void mbox_tx_commit(std::uint8_t status, std::uint8_t count) {
  std::atomic<std::uint8_t>& guard = Mailboxes().tx_guard;
  if (!Held(guard)) return;
  if (status != kMboxNothingToSend) WriteMark(pump::kRegTxCount, {status, count});
  Give(guard);
}

std::uint8_t mbox_rx_byte(std::uint8_t index) {
  return index < kMailboxData ? dsp_reg_read(pump::kRegRxMailbox + index) : 0;
}

void mbox_tx_byte(std::uint8_t index, std::uint8_t value) {
  if (index < kMailboxData) dsp_reg_write(pump::kRegTxMailbox + index, value);
}

void mbox_rx_read(std::span<std::uint8_t> first, std::span<std::uint8_t> second) {
  const pump::Comram* page = dsp_page();
  if (page == nullptr) return;
  const std::uint8_t* data = &page->reg[pump::kRegRxMailbox];
  const std::size_t n1 = std::min(first.size(), kMailboxData);
  const std::size_t n2 = std::min(second.size(), kMailboxData - n1);
  std::copy_n(data, n1, first.begin());
  std::copy_n(data + n1, n2, second.begin());
}

void mbox_tx_write(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second) {
  pump::Comram* page = dsp_page();
  if (page == nullptr) return;
  std::uint8_t* data = &page->reg[pump::kRegTxMailbox];
  const std::size_t n1 = std::min(first.size(), kMailboxData);
  const std::size_t n2 = std::min(second.size(), kMailboxData - n1);
  std::copy_n(first.begin(), n1, data);
  std::copy_n(second.begin(), n2, data + n1);
}

void mbox_rx_state(std::uint8_t& status, std::uint8_t& count) {
  const Mark mark = ReadMark(pump::kRegRxCount);
  status = mark.status;
  count = mark.count;
}

void mbox_tx_state(std::uint8_t& status, std::uint8_t& count) {
  const Mark mark = ReadMark(pump::kRegTxCount);
  status = mark.status;
  count = mark.count;
}

void mbox_tx_set(std::uint8_t status, std::uint8_t count) {
  WriteMark(pump::kRegTxCount, {status, count});
}

void mbox_guards_reset() {
  MailboxState& m = Mailboxes();
  Give(m.rx_guard);
  Give(m.tx_guard);
}

std::uint32_t mbox_poll_enable() { return Mailboxes().poll.exchange(1); }
std::uint32_t mbox_poll_disable() { return Mailboxes().poll.exchange(0); }
bool mbox_poll_enabled() { return Mailboxes().poll.load() == 1; }

}  // namespace vxctl
