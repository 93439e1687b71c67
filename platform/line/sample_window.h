// A sliding window on a stream of 16-bit samples, read by absolute index.
// The `history` samples before index 0 read as silence, so a filter can look
// back from the first sample; samples far behind the readers are dropped.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

namespace plat::line {

class SampleWindow {
 public:
  explicit SampleWindow(int history)
      : first_(-static_cast<std::int64_t>(history)),
        samples_(static_cast<std::size_t>(history), 0) {}

  void Append(std::span<const std::int16_t> samples) {
    samples_.insert(samples_.end(), samples.begin(), samples.end());
  }
  void AppendSilence(int count) { samples_.insert(samples_.end(), count, 0); }

  // One past the newest sample.
  std::int64_t end() const { return first_ + static_cast<std::int64_t>(samples_.size()); }

  // The sample at `index`, with the following ones after it in memory.
  const std::int16_t* At(std::int64_t index) const { return samples_.data() + (index - first_); }

  // Readers will never again ask for samples before `index`.
  void DropBefore(std::int64_t index) {
    const std::int64_t dead = std::min(index - first_, static_cast<std::int64_t>(samples_.size()));
    // Erasing only a large dead prefix keeps the cost per sample constant.
    if (dead < kDropChunk || dead * 2 < static_cast<std::int64_t>(samples_.size())) return;
    samples_.erase(samples_.begin(), samples_.begin() + dead);
    first_ += dead;
  }

 private:
  static constexpr std::int64_t kDropChunk = 4096;
  std::int64_t first_;
  std::vector<std::int16_t> samples_;
};

}  // namespace plat::line
