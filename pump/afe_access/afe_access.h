// The AFE access layer: everything the data pump exchanges with the analog
// front end passes here. It wraps the front end's AfeInterface into one
// AfeAccess state per machine, gives the modes sample reads and writes
// within the current block, issues the numbered requests under the right
// lock, moves the front end's ring cursors after each tick, and mirrors the
// received audio into the sound path at 8000 Hz.
//
// Requests go one of two ways. Sound-path codes (22-33, 35-37, 45, 46) call
// SoundPathRequest without a lock; the front end serves only 24, 29, 30 and
// 37 of them above PASSIVE_LEVEL, so the others are issued from passive
// callers only. Every other code calls AfeRequest between acquiring and
// releasing the interface's spin lock.
#pragma once

#include <cstdint>
#include <span>

#include "afe/windows/afe_contract.h"
#include "platform/nt/ntdef.h"
#include "pump/afe_access/rate_converter.h"

namespace pump {

// Last-status values of the layer itself; request results are kept as the
// front end answers them.
inline constexpr LONG kAfeStatusBadCount = -5;
inline constexpr LONG kAfeStatusBadGain = -10;
inline constexpr LONG kAfeStatusNoBlock = -1000;  // block refused, or no voice link

inline constexpr int kAfeBufferSamples = 1024;

struct AfeAccess {
  afe::AfeInfo info;  // the front end's record; its first word is the sound-path mute count
  RateConverter converter;
  std::int16_t converted[kAfeBufferSamples];
  std::int16_t input_block[kAfeBufferSamples];
  std::int16_t output_block[kAfeBufferSamples];
  afe::AfeInterface* afe;
  std::uint16_t sample_rate;        // Hz
  std::uint16_t samples_per_block;  // as the front end holds it: 32 to 138
  std::int32_t read_position;       // within the current block
  std::int32_t write_position;
  std::int32_t sound_start_count;  // blocks since line-on; below the mute count, silence is sent
  std::int32_t last_status;
  // Values kept from the requests that set them.
  std::uint32_t line_mode;     // 13
  std::uint32_t sound_level;   // 8, or 31 with kind 3; 0 stops the mirror
  std::uint32_t codec_flag;    // 14
  std::uint32_t hook2;         // 43
  std::uint32_t hook;          // 19
  std::uint8_t line_on;        // 1 and 2
  std::uint8_t block_fetched;  // this tick's block was read from the front end (and mirrored)
};

// The machine's AfeAccess (a slot of the data pump's per-machine state),
// built over `afe`: 9600 Hz, 96 samples per block, request 44 with 1,
// request 20 into the record copy, converter to 8000 Hz. Null for a null
// interface.
AfeAccess* BuildAfeAccess(afe::AfeInterface* afe);

// One request: the result is returned and kept as the last status, then the
// code's local effect applies (line on and off, rate, kept values, the
// record copy of request 20 when it succeeded). `size` points to the size
// (or sample count) word the front end reads and, for some codes, writes.
LONG IssueAfeRequest(AfeAccess& access, ULONG code, PVOID data, ULONG* size);

// Read and write positions back to the start of a block: at every tick.
void ResetSampleCursors(AfeAccess& access);

// Copies up to buffer.size() samples of the current input block, fetching
// the block from the front end at the tick's first read (also when the
// buffer is empty) and mirroring it once into the sound path. Returns the
// samples copied; a read past the block copies 0. More samples than a
// block: status -5, 0. A refused block: status -1000, 0.
int ReadRxSamples(AfeAccess& access, std::span<std::int16_t> buffer);

// Takes up to samples.size() samples into the current output block; the
// write that fills it hands the block to the front end. Returns the samples
// taken; 0 once the block is full. A refused block: status -1000, 0.
int WriteTxSamples(AfeAccess& access, std::span<const std::int16_t> samples);

// After each tick: moves the receive read and transmit write cursors one
// slot on, then writes one silent block for each block of latency added.
void AdvanceAfeBlock(AfeAccess& access);

// Latency `value` (2 to 6) through request 38; the change in the front
// end's latency joins its latency adjustment, so an increase is padded with
// silence by AdvanceAfeBlock and a decrease moves the output earlier.
// 0, or -999 for a value outside 2..6 or a refused request.
LONG SetAfeLatency(AfeAccess& access, int value);

// The front end's block balance (received blocks minus played ones), read
// from the context of the interface this access state drives.
LONG GetQueuedBlocks(const AfeAccess& access);

// The 32-bit phase-2 flag of the front end's context (the front end does
// not read it).
void SetAfePhase2Flag(AfeAccess& access, ULONG flag);

// Bit 24 of the ProfileFlags word: the front end's received blocks are no
// longer behind its played ones.
constexpr int GetBlocksQueuedFlag(ULONG profile_flags) {
  return (profile_flags & afe::kProfileBlocksQueued) != 0 ? 1 : 0;
}

// Linear gain (Q15) for `level` dB, 0 down to -95 (status 0); any other
// level gives 0 and status -10.
std::int16_t AfeGain(AfeAccess& access, int level);

// A voice link cannot be made: enabling one gives -1000, disabling 0; the
// result is the last status.
struct VoiceLinkRequest {
  std::int32_t enable;
  std::int32_t a;
  std::int32_t b;
};
LONG SetVoiceLink(AfeAccess& access, const VoiceLinkRequest& request);

}  // namespace pump
