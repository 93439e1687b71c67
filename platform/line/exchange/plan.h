// A country's signalling plan: the call-progress tones with their levels and
// cadences, the ringing cadence, the times of digit collection and the hook
// timings that tell dial pulses, flashes and hang-ups apart. The exchange
// takes one plan; UsPlan is the default, EuropeanPlan the 425 Hz family.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/line/g711.h"

namespace plat::line::exchange {

// One piece of a tone's cadence, `ms` long: the frequencies sounding (0 Hz:
// none), silence when both are 0.
struct ToneSegment {
  std::uint32_t ms = 0;
  std::array<double, 2> hz{};
  bool silent() const { return hz[0] == 0.0 && hz[1] == 0.0; }
};

// A call-progress tone. Its segments repeat in order while it plays; each
// frequency sounds at `dbm0`.
struct ToneSpec {
  std::string name{};
  double dbm0 = -13.0;
  std::vector<ToneSegment> segments{};
  std::uint32_t cycle_ms() const;
};

// Hook timings in ms. A break of pulse_break_min..pulse_break_max is a dial
// pulse (a shorter one is flicker and ignored), a make longer than digit_make
// ends a pulsed digit, a break of flash_min..flash_max outside a digit is a
// flash, and a longer break is a hang-up. An off-hook that lasts less than
// pulse_break_min is flicker too.
struct HookTimings {
  std::uint32_t pulse_break_min_ms = 20;
  std::uint32_t pulse_break_max_ms = 120;
  std::uint32_t digit_make_ms = 300;
  std::uint32_t flash_min_ms = 300;
  std::uint32_t flash_max_ms = 1000;
};

struct CountryPlan {
  std::string name{};
  Companding law = Companding::kMuLaw;
  ToneSpec dial{};
  ToneSpec ringback{};
  ToneSpec busy{};
  ToneSpec reorder{};
  ToneSpec sit{};  // played once, then reorder
  ToneSpec call_waiting{};
  std::vector<std::uint32_t> ring_ms{};  // ringing cadence: on, off, on, off ...
  std::uint32_t dial_tone_delay_ms = 200;
  std::uint32_t first_digit_ms = 10'000;  // off hook this long without a digit: reorder
  std::uint32_t inter_digit_ms = 5'000;   // an incomplete number ends after this pause
  std::uint32_t release_break_ms = 500;   // loop-current break when the other side leaves
  HookTimings hook{};
  double caller_id_dbm0 = -13.0;  // FSK and DTMF caller-ID signals
};

// North America: precise tones of 350, 440, 480 and 620 Hz, ringing 2 s on 4 s off.
CountryPlan UsPlan();
// The European 425 Hz family with A-law, ringing 1 s on 4 s off.
CountryPlan EuropeanPlan();

}  // namespace plat::line::exchange
