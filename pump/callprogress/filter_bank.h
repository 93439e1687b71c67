// The call-progress filter bank: up to eight channels, each two cascaded
// second-order sections behind its own AGC, with an energy detector whose
// result bit joins the bank's result in register 57. Channels 0-2 take their
// coefficients, gains, result bits and thresholds from the filter records
// of parameter keys 0x101D8 on (15 words each); the band classifier can veto
// the result while the line carries broadband sound.
#pragma once

#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

inline constexpr std::uint32_t kFilterRecordKey = 0x101D8;

// Record words in order.
enum FilterRecordWord : int {
  kRecordSection1 = 0,  // b2, b1, b0, a2, a1
  kRecordSection2 = 5,
  kRecordGain = 10,
  kRecordDecay = 11,
  kRecordResultBit = 12,  // high byte
  kRecordOnThreshold = 13,
  kRecordOffThreshold = 14,
};

// The filter whose record holds parameter key `key`, or -1.
constexpr int FilterOfKey(std::uint32_t key) {
  if (key < kFilterRecordKey || key >= kFilterRecordKey + kFilterRecords * kFilterRecordWords) {
    return -1;
  }
  return static_cast<int>((key - kFilterRecordKey) / kFilterRecordWords);
}

// The reset's clear: every channel off with its AGC at target 4096, step
// 1638, gain 0x7FFF and no source; channels 0-2 reconfigure at the next block.
void ResetCallProgressFilters(DspContext& context);
// Channel `filter` (0-2) reconfigures from its record at the next block.
void ConfigureCallProgressFilter(DspContext& context, int filter);

// One block of the bank over the low 16 bits of `samples`: reconfigure, the
// classifier's veto when `classifier` is set, the channels, and register
// 56/57 with the interrupt when the result changed since the last block.
void RunToneFilterBank(DspContext& context, std::span<const std::int32_t> samples,
                       bool classifier);
// The bank without the classifier, unless voice runs.
void RunToneFilterBankIdle(DspContext& context, std::span<const std::int32_t> samples);
// The bank where the quick-connect path runs it: channel 0, when it was
// reconfigured without quick connect, takes four times its thresholds.
void RunToneFilterBank2(DspContext& context, std::span<const std::int32_t> samples,
                        bool classifier);

// One section: Q14 coefficients in effect, the output doubled into the
// state; returns the output's high 16 bits.
std::int16_t RunToneSection(ToneSection& section, std::int16_t x);

}  // namespace pump
