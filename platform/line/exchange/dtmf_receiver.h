// The line card's DTMF receiver: Goertzel filters at the eight DTMF
// frequencies over blocks of 102 samples (12.75 ms). A block holds a digit
// when one low-group and one high-group frequency stand out: each at
// kMinDbm0 or more, within kMaxTwistDb of each other, each kGroupMarginDb
// clear of the other frequencies of its group, the two together most of the
// block's energy, and the block's two halves within kHalvesDb of each other
// (a tone that fills only part of the block does not count). A digit begins
// with two blocks that agree and ends with two blocks without it: tones and
// pauses of 40 ms always count, tones shorter than 16 ms never do.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace plat::line::exchange {

struct DtmfTone {
  char digit = 0;
  std::int64_t on = 0;   // line sample of the first block that heard it
  std::int64_t off = -1; // line sample of the first block that did not; -1 while on
};

class DtmfReceiver {
 public:
  static constexpr int kBlock = 102;
  static constexpr double kMinDbm0 = -35.0;
  static constexpr double kMaxTwistDb = 8.0;
  static constexpr double kGroupMarginDb = 6.0;
  static constexpr double kMinShareOfEnergy = 0.4;
  static constexpr double kHalvesDb = 6.0;

  DtmfReceiver();
  // Starts listening at line sample `first`; a digit in progress is forgotten.
  void Reset(std::int64_t first);
  // The next samples, in order. A digit that begins or ends is reported
  // through `on` or `off` as soon as the block that decides it is complete.
  template <typename On, typename Off>
  void Feed(std::span<const std::int16_t> samples, On on, Off off) {
    for (std::int16_t x : samples) {
      if (Step(x)) Decide(on, off);
    }
  }

 private:
  bool Step(std::int16_t x);  // true when a block is complete
  char BlockDigit() const;
  template <typename On, typename Off>
  void Decide(On& on, Off& off) {
    // The block just completed and the one before it.
    const char now = BlockDigit();
    const std::int64_t previous_start = block_start_ - 2 * kBlock;
    if (current_ && now != current_->digit && last_ != current_->digit) {
      current_->off = previous_start;
      off(*current_);
      current_.reset();
    }
    if (!current_ && now != 0 && now == last_) {
      current_ = DtmfTone{now, previous_start, -1};
      on(*current_);
    }
    last_ = now;
  }

  std::array<double, 8> coefficients_{};  // 2 cos(2 pi f / 8000)
  std::array<double, 8> s1_{};
  std::array<double, 8> s2_{};
  std::array<double, 2> energy_{};  // of each half of the block being filled
  std::array<double, 8> power_{};   // of the block just completed
  std::array<double, 2> block_energy_{};
  int count_ = 0;
  std::int64_t block_start_ = 0;  // first sample of the block being filled
  char last_ = 0;                 // the previous block's digit (0: none)
  std::optional<DtmfTone> current_;
};

}  // namespace plat::line::exchange
