// Plays a call-progress tone from a given line sample on: its segments in
// order, repeating or once, each frequency at the tone's level, the phase
// counted from the tone's first sample.
#pragma once

#include <cstdint>

#include "platform/line/exchange/plan.h"

namespace plat::line::exchange {

class TonePlayer {
 public:
  // `spec` must outlive the playing.
  void Start(const ToneSpec& spec, std::int64_t first_sample, bool once = false);
  void Stop() { spec_ = nullptr; }
  const ToneSpec* spec() const { return spec_; }
  // The tone at line sample n (n at or after the start); 0 without a tone
  // and after a once-played cadence.
  double At(std::int64_t n) const;
  // The first sounding segment's length in samples.
  std::int64_t FirstBurst() const;
  // A frequency of the tone sounds at sample n.
  bool Sounding(std::int64_t n) const;
  // A once-played cadence has ended by sample n.
  bool Done(std::int64_t n) const;

 private:
  // The segment sounding at sample n, null when none.
  const ToneSegment* SegmentAt(std::int64_t n) const;

  const ToneSpec* spec_ = nullptr;
  std::int64_t first_ = 0;
  std::int64_t cycle_ = 0;  // samples
  bool once_ = false;
  double peak_ = 0.0;
};

}  // namespace plat::line::exchange
