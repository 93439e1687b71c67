// WAV files of 16-bit PCM mono samples at any rate. Reading refuses, with an
// error naming the fault, anything else or anything malformed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace plat::line {

struct WavAudio {
  std::uint32_t rate_hz = 0;
  std::vector<std::int16_t> samples;
};

struct WavResult {
  WavAudio audio;
  std::string error;  // empty when the file was read
  bool ok() const { return error.empty(); }
};

WavResult ParseWav(std::span<const std::uint8_t> bytes);
WavResult ReadWavFile(const std::string& path);

// EncodeWav writes the canonical header: the RIFF size at byte 4, the data
// size at byte 40, the samples from byte 44.
inline constexpr std::size_t kWavHeaderBytes = 44;
inline constexpr std::size_t kWavRiffSizeOffset = 4;
inline constexpr std::size_t kWavDataSizeOffset = 40;

// The bytes of a WAV file; empty when the rate or the length does not fit one.
std::vector<std::uint8_t> EncodeWav(std::uint32_t rate_hz, std::span<const std::int16_t> samples);
// Empty on success, else the error.
std::string WriteWavFile(const std::string& path, std::uint32_t rate_hz,
                         std::span<const std::int16_t> samples);

}  // namespace plat::line
