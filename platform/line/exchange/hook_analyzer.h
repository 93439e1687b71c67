// Reads a subscriber's loop the way a line card does: the loop is closed
// while the set (or an extension) is off hook. From the instants of its
// changes it tells a seizure, dial pulses and the digits they make, a flash
// and a hang-up apart, and names what fits none of them (see HookTimings).
// Decisions that wait for a time to pass (a digit's end, a hang-up, a
// seizure's debounce) come when Advance reaches that time.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/line/exchange/plan.h"

namespace plat::line::exchange {

struct HookEvent {
  enum class Kind : std::uint8_t {
    kSeized,        // at: the off-hook instant
    kHangUp,        // at: the on-hook instant
    kFlash,         // at..end: the break
    kPulse,         // a dial pulse counted; at..end: its break
    kDigit,         // at..end: first break to last make; `digit`, `pulses`
    kIgnoredBreak,  // a break, or an off-hook on an idle line, shorter than a pulse
    kInvalidBreak,  // at..end: a break between the pulse and flash ranges, or a long one in a digit
    kInvalidDigit,  // at..end: pulses that make no digit; `pulses`
  };
  Kind kind;
  std::uint64_t at = 0;
  std::uint64_t end = 0;
  char digit = 0;
  int pulses = 0;
};

class HookAnalyzer {
 public:
  explicit HookAnalyzer(const HookTimings& timings);

  // The loop opened or closed at `at`; changes come in order.
  void Change(std::uint64_t at, bool closed, std::vector<HookEvent>& out);
  // Time reached `now`: decides what waited for it.
  void Advance(std::uint64_t now, std::vector<HookEvent>& out);
  // The line is in use: seized and not yet hung up.
  bool seized() const { return seized_; }
  bool closed() const { return closed_; }

 private:
  void EndDigit(std::vector<HookEvent>& out);
  void DropDigit(std::uint64_t end, std::vector<HookEvent>& out);

  std::uint64_t pulse_min_, pulse_max_, digit_make_, flash_min_, flash_max_;
  bool seized_ = false;
  bool closed_ = false;
  std::uint64_t since_ = 0;       // the latest change
  std::uint64_t make_start_ = 0;  // the make a flicker did not end
  int pulses_ = 0;
  std::uint64_t digit_start_ = 0;
};

}  // namespace plat::line::exchange
