// ANSam: the answer tone of V.8 (2100 Hz, amplitude-modulated at 15 Hz,
// with a phase reversal every 450 ms), its transmitter on the transmit
// machine and the caller's detector. The detector hears the high-passed
// AGC output (the caller's own V.21 channel 1 removed) and looks for the
// 15 Hz envelope with a resonator on the rectified signal.
#pragma once

#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

// The carrier phase turns by half every this many samples.
inline constexpr int kAnsamReversalSamples = 4321;
// The envelope's depth in Q15: 0.2, as V.8 asks (a depth of 0.186 was
// heard as a plain answer tone by another V.8 implementation).
inline constexpr int kAnsamDepth = 6554;
// Blocks the detector hears before it may report.
inline constexpr int kAnsamMinBlocks = 15;

// {ANSamTxInit 1, ANSamTx -1}.
StateTable<DspContext> AnsamTxTable();

// Block length from the front end; the detector's fields, samples, section
// states and blocks seen cleared.
void InitAnsamDetector(DspContext& context);
// The AGC output of the block through the five high-pass sections into the
// record's filtered samples.
void AnsamHighPass(AnsamRecord& record, std::span<const std::int32_t> levelled);
// One block of filtered samples; afterwards run_count > 0 means ANSam.
void RunAnsamDetector(AnsamRecord& record);
// The 17 Hz resonator on |a|; returns |y|.
std::int32_t AnsamResonator(AnsamResonatorState& state, std::int32_t a);

}  // namespace pump
