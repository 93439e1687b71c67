#include "platform/line/exchange/hook_analyzer.h"

namespace plat::line::exchange {
namespace {

constexpr std::uint64_t kNsPerMs = 1'000'000;
using Kind = HookEvent::Kind;

}  // namespace

HookAnalyzer::HookAnalyzer(const HookTimings& t)
    : pulse_min_(t.pulse_break_min_ms * kNsPerMs),
      pulse_max_(t.pulse_break_max_ms * kNsPerMs),
      digit_make_(t.digit_make_ms * kNsPerMs),
      flash_min_(t.flash_min_ms * kNsPerMs),
      flash_max_(t.flash_max_ms * kNsPerMs) {}

void HookAnalyzer::Change(std::uint64_t at, bool closed, std::vector<HookEvent>& out) {
  if (closed == closed_) return;
  Advance(at, out);  // what the time up to the change decided comes first
  const std::uint64_t previous = since_;
  closed_ = closed;
  since_ = at;
  if (!seized_) {
    // An idle line: an off-hook shorter than a pulse is flicker.
    if (!closed) out.push_back({Kind::kIgnoredBreak, previous, at});
    return;
  }
  if (!closed) return;  // a break begins; its end decides what it was
  const std::uint64_t length = at - previous;
  if (length < pulse_min_) {
    out.push_back({Kind::kIgnoredBreak, previous, at});
    return;  // the make goes on as if unbroken
  }
  make_start_ = at;
  if (length <= pulse_max_) {
    if (pulses_++ == 0) digit_start_ = previous;
    out.push_back({Kind::kPulse, previous, at});
  } else if (length >= flash_min_ && length <= flash_max_ && pulses_ == 0) {
    out.push_back({Kind::kFlash, previous, at});
  } else {
    DropDigit(previous, out);
    out.push_back({Kind::kInvalidBreak, previous, at});
  }
}

void HookAnalyzer::Advance(std::uint64_t now, std::vector<HookEvent>& out) {
  if (!seized_) {
    if (closed_ && now - since_ >= pulse_min_) {
      seized_ = true;
      make_start_ = since_;
      pulses_ = 0;
      out.push_back({Kind::kSeized, since_});
    }
    return;
  }
  if (closed_) {
    if (pulses_ > 0 && now - make_start_ > digit_make_) EndDigit(out);
    return;
  }
  if (now - since_ > flash_max_) {
    DropDigit(since_, out);
    seized_ = false;
    out.push_back({Kind::kHangUp, since_});
  }
}

void HookAnalyzer::EndDigit(std::vector<HookEvent>& out) {
  if (pulses_ > 10) {
    DropDigit(make_start_, out);
    return;
  }
  out.push_back({Kind::kDigit, digit_start_, make_start_,
                 static_cast<char>(pulses_ == 10 ? '0' : '0' + pulses_), pulses_});
  pulses_ = 0;
}

void HookAnalyzer::DropDigit(std::uint64_t end, std::vector<HookEvent>& out) {
  if (pulses_ == 0) return;
  out.push_back({Kind::kInvalidDigit, digit_start_, end, 0, pulses_});
  pulses_ = 0;
}

}  // namespace plat::line::exchange
