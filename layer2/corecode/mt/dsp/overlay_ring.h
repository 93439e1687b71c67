// DspOverlayRing: the records of the data pump's overlay packets (the V.92
// line-profile upload and the download requests), written by the packet
// dispatch as they arrive and read by the overlay drain in the task thread.
// Each side moves only its own index; a record goes in whole or not at all.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

namespace vxctl {

class DspOverlayRing {
 public:
  static constexpr std::size_t kSize = 4096;
  // One byte stays free, so that full and empty differ.
  static constexpr std::size_t kCapacity = kSize - 1;

  // Appends the record; false when it does not fit whole: it is dropped
  // and counted, and what the ring holds stays as it was.
  bool Append(std::span<const std::uint8_t> record);
  // The reader's side: the bytes waiting, and the oldest of them.
  std::size_t Used() const;
  bool TakeByte(std::uint8_t& byte);
  // The oldest byte, left in the ring; false when it is empty.
  bool Peek(std::uint8_t& byte) const;
  // Empties the ring (both indices 0), at a link reset.
  void Reset();

  std::uint32_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  std::array<std::uint8_t, kSize> bytes_{};
  std::atomic<std::uint16_t> write_{0};
  std::atomic<std::uint16_t> read_{0};
  std::atomic<std::uint32_t> dropped_{0};
};

}  // namespace vxctl
