// The 44-byte escape capture ring: the characters that follow an escape
// sequence, for the command interpreter to look for an online command. One
// producer (the port's write worker, through dte_rx_char) and one consumer
// (the command interpreter in the task thread), without a lock: the
// indices are atomic and only grow; the producer drops a character when
// the ring is full rather than overwrite one the consumer may be reading,
// and the consumer claims each character by advancing the read index with
// a compare-exchange, so a clear by the producer (the start of a new
// capture) makes a read in progress give up and look again.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace vxctl {

class EscapeRing {
 public:
  static constexpr std::uint32_t kSize = 44;

  // Producer.
  void Put(std::uint8_t c) {
    const std::uint32_t w = write_.load();
    if (w - read_.load() >= kSize) return;
    data_[w % kSize].store(c, std::memory_order_relaxed);
    write_.store(w + 1);
  }
  // Either side: forget what the ring holds.
  void Clear() { read_.store(write_.load()); }
  // Consumer.
  std::uint32_t Count() const { return write_.load() - read_.load(); }
  // The next character; 0 when there is none.
  std::uint8_t Take() {
    for (;;) {
      std::uint32_t r = read_.load();
      if (r == write_.load()) return 0;
      const std::uint8_t c = data_[r % kSize].load(std::memory_order_relaxed);
      if (read_.compare_exchange_strong(r, r + 1)) return c;
    }
  }

 private:
  std::array<std::atomic<std::uint8_t>, kSize> data_{};
  std::atomic<std::uint32_t> read_{0};
  std::atomic<std::uint32_t> write_{0};
};

}  // namespace vxctl
