// The handshake of a data call: StartHandshake chooses, from the handshake
// selector, the mode number and the direction, the tone-based mode
// selection (mode_selection.h), the automode (automode.h), V.8 or V.8bis;
// each procedure ends by starting the modem of the mode it settled on.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"
#include "pump/context/mode_numbers.h"

namespace pump {

enum HandshakeSelector : std::int32_t {
  kSelectorModeSelection = 0,
  kSelectorAutomode = 1,
  kSelectorV8 = 2,
  kSelectorV8Alternative = 3,
};

// The rate sequences of a V.32 start: V.32 for mode 12, V.32bis otherwise.
inline constexpr int kV32RateSequence = 0x8880;
inline constexpr int kV32bisRateSequence = 0x8990;
inline constexpr int kV32Originate = 1;
inline constexpr int kV32Answer = 2;

inline int V32RateSequence(std::int32_t mode) {
  return mode == kModeV32 ? kV32RateSequence : kV32bisRateSequence;
}

// The answerer's answer tone, in ticks (2.7 s).
inline constexpr std::int32_t kAnswerToneTicks = 270;

// The non-fax call start of command 0x68.
void StartHandshake(DspContext& context);

// The modem of the call's mode and direction: FSK, V.22/V.22bis or V.32;
// a mode without one (3, 17-24 and the unused numbers) starts nothing.
void StartModeModem(DspContext& context);

// V.32 as the caller; the automode's answer-tone count starts again.
void AutomodeStartV32(DspContext& context);
// The V.22bis answerer under the automode: selector 1, mode 7, rate code 4.
void AutomodeV22bisAnswer(DspContext& context);

// The answerer's silence after its answer tone (FM_ANS_1, Pn2330AnsV25s1
// and V.8's V8Ans1): the transmitter goes quiet.
void AnswerSilence(DspContext& context);

// The answer tone was heard while calling: the calling tone stops, and the
// controller sees event 6 in register 56 (without the doorbell).
void AnswerToneHeard(DspContext& context);

}  // namespace pump
