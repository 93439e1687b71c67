// A byte ring of a power-of-two size with its own spin lock: the DTE
// interface's command and online rings. Indices wrap to 0 at the size; a
// full ring refuses what is put. Every operation takes the lock; the block
// operations of the fax path hold it themselves (Held()).
#pragma once

#include <array>
#include <cstdint>

#include "platform/ke/spin_lock_held.h"

namespace vxctl {

template <std::uint32_t N>
struct ByteRing {
  static_assert((N & (N - 1)) == 0, "a ring's size is a power of two");
  static constexpr std::uint32_t kSize = N;

  std::array<std::uint8_t, N> data{};
  std::uint32_t read = 0;   // next byte to take
  std::uint32_t write = 0;  // next free byte
  std::uint32_t count = 0;
  KSPIN_LOCK lock = 0;

  plat::ke::SpinLockHeld Held() { return plat::ke::SpinLockHeld(lock); }

  // False when the ring is full.
  bool Put(std::uint8_t c) {
    auto held = Held();
    if (count == N) return false;
    data[write] = c;
    write = (write + 1) % N;
    ++count;
    return true;
  }
  // False when the ring is empty.
  bool Take(std::uint8_t& c) {
    auto held = Held();
    if (count == 0) return false;
    c = data[read];
    read = (read + 1) % N;
    --count;
    return true;
  }
  // The next byte, left in the ring; false when it is empty.
  bool Peek(std::uint8_t& c) {
    auto held = Held();
    if (count == 0) return false;
    c = data[read];
    return true;
  }
  // Drops the byte Peek gave.
  void Drop() {
    auto held = Held();
    if (count == 0) return;
    read = (read + 1) % N;
    --count;
  }
  std::uint32_t Count() {
    auto held = Held();
    return count;
  }
  std::uint32_t Read() {
    auto held = Held();
    return read;
  }
  std::uint32_t Write() {
    auto held = Held();
    return write;
  }
  // Empties the ring; the number of bytes it held.
  std::uint32_t Clear() {
    auto held = Held();
    const std::uint32_t held_bytes = count;
    read = write = count = 0;
    return held_bytes;
  }
};

}  // namespace vxctl
