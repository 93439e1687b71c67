// The block resampler: one block of samples up by L (zeros between),
// through a low-pass FIR with DC gain L, down by M, at a rate code's
// factors (rate_table.h). The voice mode and the sound path use it for
// rates other than the line's.
//
//   Resampler r;
//   InitResampler(r, context.resources.resampler);   // the FIR state block
//   ConfigureResampler(r, 9680);                      // 96 in, 80 out
//   Resample(r, in, out, r.phase, 0);                 // r.output_length samples came
//
// The down-sampler's phase runs on from block to block, so a code whose
// output per block is not whole (72, 102, 11096, 72801, 96110) gives the
// exact count over many blocks; the up-sampler starts every block at phase
// 0, so the blocks join without a step in time.
#pragma once

#include <cstdint>
#include <span>

#include "siglib/qvls.h"

namespace pump {

inline constexpr int kResamplerBufferSamples = 1000;
inline constexpr int kResamplerMaxTaps = 128;

struct Resampler {
  fir_state* fir;              // built in `state_block`; null until configured
  std::uint8_t* state_block;   // the resampler's block of ModeResources
  std::int32_t phase;          // a down-sampling phase callers may keep here
  std::int32_t input_length;   // samples per block
  std::int32_t output_length;  // per block (nominal); after Resample, the samples it gave
  std::int16_t upsampled[kResamplerBufferSamples];
  std::int16_t filtered[kResamplerBufferSamples];
  std::int16_t up;         // L
  std::int16_t down;       // M
  std::int16_t rate_code;  // the configured code, as 16 bits
};

// The FIR state block for the longest table, from the signal library's
// pool (slots 107 and 0); false, and no block, when the pool refuses.
bool AllocResampler(std::uint8_t*& block);
// Frees the block (slot 2) when there is one and clears the variable.
void FreeResampler(std::uint8_t*& block);

// An unconfigured resampler over a FIR state block (null: Resample fails).
void InitResampler(Resampler& resampler, std::uint8_t* state_block);

// Clears both buffers and the phase and takes the code's factors and
// lengths. The filter and its history are rebuilt unless the code has a
// row of its own and equals the configured one (compared as 16 bits, so
// 72801, 80110 and 96110 are rebuilt every time, and so is any unknown code).
void ConfigureResampler(Resampler& resampler, std::int32_t code);

// One block of `input_length` samples. `phase` (0 to M - 1) is the
// down-sampler's, updated for the next block; the output is scaled by
// 2^-scale. Returns the first non-zero library status (-8 without a filter,
// -6 when a buffer is too short), else 0; the samples given are in
// `output_length`.
qvls_status Resample(Resampler& resampler, std::span<const std::int16_t> input,
                     std::span<std::int16_t> output, std::int32_t& phase, std::int32_t scale);

}  // namespace pump
