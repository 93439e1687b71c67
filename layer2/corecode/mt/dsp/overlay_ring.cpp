#include "layer2/corecode/mt/dsp/overlay_ring.h"

namespace vxctl {
namespace {

constexpr std::uint16_t kMask = DspOverlayRing::kSize - 1;
static_assert((DspOverlayRing::kSize & kMask) == 0, "the indices wrap by masking");

}  // namespace

std::size_t DspOverlayRing::Used() const {
  const std::uint16_t write = write_.load(std::memory_order_acquire);
  const std::uint16_t read = read_.load(std::memory_order_acquire);
  return static_cast<std::uint16_t>(write - read) & kMask;
}

bool DspOverlayRing::Append(std::span<const std::uint8_t> record) {
  if (Used() + record.size() > kCapacity) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  std::uint16_t write = write_.load(std::memory_order_relaxed);
  for (std::uint8_t byte : record) {
    bytes_[write] = byte;
    write = (write + 1) & kMask;
  }
  write_.store(write, std::memory_order_release);
  return true;
}

bool DspOverlayRing::TakeByte(std::uint8_t& byte) {
  if (Used() == 0) return false;
  const std::uint16_t read = read_.load(std::memory_order_relaxed);
  byte = bytes_[read];
  read_.store((read + 1) & kMask, std::memory_order_release);
  return true;
}

bool DspOverlayRing::Peek(std::uint8_t& byte) const {
  if (Used() == 0) return false;
  byte = bytes_[read_.load(std::memory_order_relaxed)];
  return true;
}

void DspOverlayRing::Reset() {
  read_.store(0, std::memory_order_relaxed);
  write_.store(0, std::memory_order_release);
}

}  // namespace vxctl
