// The speakerphone's line-echo canceller: an 80-tap filter over the
// samples sent to the line, trained by a short probe sent at the start of
// a talk spurt, and the stored profile that keeps its taps across starts.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pump {

inline constexpr int kEchoRing = 1024;  // samples; every ring index wraps
inline constexpr int kEchoTaps = 80;
inline constexpr int kEchoSearchBlocks = 8;
inline constexpr int kEchoSearchesAfterReset = 10;
inline constexpr int kEchoSearchesAfterFailure = 8;
inline constexpr int kEchoRetriesLimit = 5;
inline constexpr int kEchoPasses = 9;
inline constexpr std::size_t kProfileImageBytes = 332;

struct EchoFilter {
  std::array<std::int16_t, kEchoTaps> window;  // newest first
  std::array<std::int32_t, kEchoTaps> taps;    // Q15
};

struct LineEcho {
  std::array<std::int16_t, kEchoRing> mic;   // what goes to the line, newest at at + 1
  std::array<std::int16_t, kEchoRing> line;  // the DC-free line
  std::int32_t at;  // both rings' next write position
  EchoFilter running;
  EchoFilter training;
  std::int32_t mu;
  std::int32_t delay;  // D: the echo's delay less 15 samples
  std::int32_t n;      // samples per block
  std::int32_t countdown;
  std::int32_t searches_left;
  std::int32_t search_at;
  std::int32_t residual;
  std::int32_t best_residual;
  std::int32_t best_improvement;
  std::int16_t done;
  std::int16_t save;
  std::int16_t retries;
  std::int16_t measure;        // the next search only measures loaded taps
  std::uint32_t profile_valid;  // the loaded or stored taps are in use
  std::int32_t profile_improvement;  // of the loaded or stored taps
};

// 17 x (2^31 - 1) / p^2 (or without the 17 for a valid profile), in 64
// bits: the 32-bit product overflows for every probe level.
std::int32_t SearchStep(std::int32_t level, bool valid_profile);

void ResetLineEcho(LineEcho& echo, std::int32_t n, std::int32_t delay);
// The stored image: taken only when exactly 332 bytes came with valid word 1.
bool LoadEchoProfile(LineEcho& echo, std::span<const std::uint8_t> image, std::size_t bytes);
void PushRing(std::array<std::int16_t, kEchoRing>& ring, std::int32_t at,
              std::span<const std::int16_t> block);
// An index into a ring, wrapped whatever its sign or size.
std::int64_t RingIndex(std::int64_t index);
std::int16_t& RingAt(std::array<std::int16_t, kEchoRing>& ring, std::int64_t index);
// One block: cancels `line` in place (keeping the uncancelled samples in
// `uncancelled`), trains at the search's end and stores a done search's
// taps in `image`. `line_floor` is the line activity detector's floor.
void RunLineEcho(LineEcho& echo, std::span<std::int16_t> line, std::span<std::int16_t> uncancelled,
                 std::int32_t line_floor, std::span<std::uint8_t, kProfileImageBytes> image,
                 std::uint32_t& image_bytes);

}  // namespace pump
