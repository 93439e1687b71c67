// The controller's access to the two data mailboxes of the register page:
// receive (data pump to controller, registers 20-53) and transmit
// (controller to data pump, registers 84-117). A block is full while its
// count or its status (kind) is non-zero; the filler writes only into an
// empty block, the taker empties it.
//
// One guard per direction keeps the controller's own contexts (the
// data-channel poll, the modem task, the V.8 exchange) from working on a
// block at once; the data pump relies on the full/empty rule alone. The
// count and the status move as one 16-bit store and load, so neither side
// pairs one block's count with another's status.
//
//   receive:  mbox_rx_open == kMboxOpen -> mbox_rx_byte / mbox_rx_read -> mbox_rx_release
//   transmit: mbox_tx_open == kMboxOpen -> mbox_tx_byte / mbox_tx_write -> mbox_tx_commit
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

namespace vxctl {

enum MailboxResult : std::uint32_t {
  kMboxOpen = 0,  // the guard is held: a receive block waits, or the transmit block is free
  kMboxNothing =
      1,  // nothing waits (receive), or the data pump has not taken the last block (transmit)
  kMboxNotHeld = 3,  // a release without the guard
  kMboxBusy = 4,     // another context holds the guard
};

// A commit status that sends nothing: the block stays empty.
inline constexpr std::uint8_t kMboxNothingToSend = 9;

struct MailboxState {
  std::atomic<std::uint8_t> rx_guard{1};  // 1 while free
  std::atomic<std::uint8_t> tx_guard{1};
  std::atomic<std::uint32_t> poll{0};  // 1 while the data-channel poll may move data
};

std::uint32_t mbox_rx_open(std::uint8_t& status, std::uint8_t& count);
std::uint32_t mbox_rx_release();
std::uint32_t mbox_tx_open();
// Status and count in one store, then the guard goes back; nothing without
// the guard.
void mbox_tx_commit(std::uint8_t status, std::uint8_t count);

// Data bytes 0-31; others read 0 and are not written.
std::uint8_t mbox_rx_byte(std::uint8_t index);
void mbox_tx_byte(std::uint8_t index, std::uint8_t value);
// The receive bytes into `first` and then `second`; the transmit bytes
// from `first` and then `second` (two pieces of a wrapped ring). Bytes
// beyond the 32 of a block are left alone.
void mbox_rx_read(std::span<std::uint8_t> first, std::span<std::uint8_t> second);
void mbox_tx_write(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second);

// Without the guards.
void mbox_rx_state(std::uint8_t& status, std::uint8_t& count);
void mbox_tx_state(std::uint8_t& status, std::uint8_t& count);
void mbox_tx_set(std::uint8_t status, std::uint8_t count);

void mbox_guards_reset();
// The poll flag; enable and disable return the flag before.
std::uint32_t mbox_poll_enable();
std::uint32_t mbox_poll_disable();
bool mbox_poll_enabled();

}  // namespace vxctl
