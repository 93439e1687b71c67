// The start-up tones and their phase reversals, on the baseband samples of
// the receive front end. AA and CC are a constant point (the carrier alone),
// AC and CA a point alternating each symbol (1200 Hz either side of it). A
// one-symbol comb keeps one kind and removes the other: the sum keeps AA/CC
// and removes AC/CA, the difference the reverse. So a modem hears the far
// end's tone beside the echo of its own. On the comb's output the
// correlation of samples two symbols apart stays near their power while the
// tone lasts and turns negative across a reversal (AA to CC, AC to CA).
#pragma once

#include <array>
#include <cstdint>

#include "pump/v32/baseband.h"

namespace pump::v32 {

enum class ToneKind : std::uint8_t {
  kCarrier,     // AA, CC
  kAlternating, // AC, CA
};

struct ToneReversal {
  ToneKind kind = ToneKind::kCarrier;
  std::array<Complex, 9> recent{};  // the baseband's last nine samples
  std::array<std::int64_t, 6> products{};
  std::array<std::int64_t, 6> powers{};
  std::uint32_t index = 0;
  std::int64_t correlation = 0;  // over the last six samples
  std::int64_t power = 0;
  std::int32_t held = 0;  // samples the tone has been present
};

void ResetToneReversal(ToneReversal& t, ToneKind kind);

struct ToneEvent {
  bool present = false;   // the tone has held for the window
  bool reversal = false;  // after that, a reversal
};
// One baseband sample; `window` samples of tone make it present. A reversal
// starts the count afresh.
ToneEvent ToneReversalStep(ToneReversal& t, Complex z, int window);

}  // namespace pump::v32
