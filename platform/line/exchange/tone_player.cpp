#include "platform/line/exchange/tone_player.h"

#include "platform/line/levels.h"
#include "platform/line/scripted_peer.h"

namespace plat::line::exchange {

void TonePlayer::Start(const ToneSpec& spec, std::int64_t first_sample, bool once) {
  spec_ = &spec;
  first_ = first_sample;
  cycle_ = LineSamplesInMs(spec.cycle_ms());
  once_ = once;
  peak_ = SinePeak(spec.dbm0);
}

bool TonePlayer::Done(std::int64_t n) const {
  return spec_ != nullptr && once_ && n - first_ >= cycle_;
}

const ToneSegment* TonePlayer::SegmentAt(std::int64_t n) const {
  if (spec_ == nullptr || n < first_ || Done(n)) return nullptr;
  std::int64_t position = (n - first_) % cycle_;
  for (const ToneSegment& segment : spec_->segments) {
    const std::int64_t length = LineSamplesInMs(segment.ms);
    if (position < length) return segment.silent() ? nullptr : &segment;
    position -= length;
  }
  return nullptr;
}

bool TonePlayer::Sounding(std::int64_t n) const { return SegmentAt(n) != nullptr; }

double TonePlayer::At(std::int64_t n) const {
  const ToneSegment* segment = SegmentAt(n);
  if (segment == nullptr) return 0.0;
  double value = 0.0;
  for (double hz : segment->hz) {
    if (hz != 0.0) value += ToneAt(hz, n - first_);
  }
  return peak_ * value;
}

std::int64_t TonePlayer::FirstBurst() const {
  if (spec_ == nullptr) return 0;
  for (const ToneSegment& segment : spec_->segments) {
    if (!segment.silent()) return LineSamplesInMs(segment.ms);
  }
  return 0;
}

}  // namespace plat::line::exchange
