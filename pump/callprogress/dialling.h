// Dialling: DTMF digits and dial pulses of one digit per command 0x67, and
// the continuous tone pairs of command 0x7C, on the dial machine that the
// transmit machine runs once per tick. While a digit is dialled the
// context's dialling flag holds every controller packet but 0x60.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// Counts until command 0x66 sets them: 96000 ticks each.
inline constexpr std::int32_t kDialCountAtStart = 96000;

// DTMF frequencies in Hz by digit code 0-15, higher group first.
struct DtmfPair {
  int high;
  int low;
};
inline constexpr DtmfPair kDtmfFrequencies[16] = {
    {1336, 941}, {1209, 697}, {1336, 697}, {1477, 697}, {1209, 770}, {1336, 770},
    {1477, 770}, {1209, 852}, {1336, 852}, {1477, 852}, {1633, 697}, {1633, 770},
    {1633, 852}, {1633, 941}, {1209, 941}, {1477, 941}};

// Phase increment per sample at 9600 Hz (65536 / 9600 per Hz).
constexpr std::uint32_t DialIncrement(int hz) {
  return static_cast<std::uint32_t>(hz) * 223696u >> 15;
}

// A time in ms as the dial table counts it: (ms + 5) / 10 ticks, at least 1.
constexpr std::int32_t DialTicks(std::uint32_t ms) {
  const std::int32_t ticks = static_cast<std::int32_t>((ms + 5) / 10);
  return ticks < 1 ? 1 : ticks;
}

// The dial table with its start counts.
void InitDialling(DspContext& context);

// A continuous pair of phase increments f1 (high-group gain) and f2
// (low-group gain), until StopTonePair.
void StartTonePair(DspContext& context, std::int32_t f1, std::int32_t f2);
// Ends a tone pair, or a dial sequence, at once: the transmit machine idles
// and the dialling flag clears.
void StopTonePair(DspContext& context);

// 0x66 {on ms, off ms, pulse, -, u16 inter-digit ms}: the dial timing.
void DialParametersCommand(DspContext& context);
// 0x67 {digit}: one digit, DTMF or pulses.
void DialDigitCommand(DspContext& context);
// 0x88 {low group dB x 10, high group dB x 10}: the DTMF levels.
void DtmfLevelsCommand(DspContext& context);

}  // namespace pump
