// The automode: the caller finds the far modem among V.32, V.22bis, V.23
// and V.21 by the tones it hears; the answerer sends its answer tone with
// phase reversals and answers in V.32 when it hears AA, in V.22bis
// otherwise.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// Positions in Pn2330CallTable.
enum Pn2330CallPosition : std::int32_t {
  kPn2330Call0 = 0,  // listening for every far modem
  kPn2330Call1 = 1,  // USB1 heard: waiting for it to last
  kPn2330Call2 = 2,  // an answer tone heard: V.32 when it lasts
};

// Positions in Pn2330AnswerTable.
enum Pn2330AnswerPosition : std::int32_t {
  kPn2330AnsTone = 0,     // Pn2330AnsV25s0: 270 ticks of answer tone
  kPn2330AnsSilence = 1,  // 7 ticks of silence, then V.22bis
  kPn2330AnsV22 = 2,
  kPn2330AnsAaSilence = 3,  // AA heard: 7 ticks of silence, then V.32
  kPn2330AnsV32 = 4,
  kPn2330AnsFsk = 5,  // after the V.32 answerer gave up: an FSK caller?
  kPn2330AnsV23 = 6,
  kPn2330AnsFskOn = 7,
};

// Blocks of USB1 after the first 16 before the caller starts V.22bis.
inline constexpr std::int16_t kUsb1Countdown = 310;
// Blocks of answer tone in Pn2330Call2 past which the caller starts V.32.
inline constexpr std::int32_t kAutomodeAnswerToneBlocks = 90;

StateTable<DspContext> Pn2330CallTable();
StateTable<DspContext> Pn2330AnswerTable();

void StartAutomode(DspContext& context);

}  // namespace pump
