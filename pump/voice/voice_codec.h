// The voice sample codecs: voice bytes from the controller become 16-bit
// line samples (decode, for playback) and line samples become voice bytes
// (encode, for recording). Every routine works on one code per sample: the
// caller widens each voice byte to a 16-bit code before decoding and sends
// the low byte of each encoded code.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace pump {

// The state of the two ADPCM codecs, shared by decoding and encoding.
struct VoiceCodec {
  std::int16_t predictor;
  std::uint16_t step;
  std::uint8_t step_index;
};

inline constexpr VoiceCodec kVoiceCodecStart = {0, 7, 0};

// The IMA ADPCM step sizes.
inline constexpr std::array<std::uint16_t, 89> kImaStepTable = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};

// codes.size() == samples.size() for both routines.
using VoiceDecoder = void (*)(VoiceCodec& codec, std::span<const std::int16_t> codes,
                              std::span<std::int16_t> samples);
using VoiceEncoder = void (*)(VoiceCodec& codec, std::span<const std::int16_t> samples,
                              std::span<std::int16_t> codes);

struct VoiceCodecRoutines {
  VoiceDecoder decode;  // play
  VoiceEncoder encode;  // record
};

// Codec types: 0, 3 and 7 A-law; 8 mu-law; 2 8-bit unsigned linear;
// 5 3-bit and 6 4-bit IMA ADPCM; any other a 16-bit copy.
VoiceCodecRoutines SelectVoiceCodec(std::int32_t type);

// One ADPCM code each way; the encoder updates the state as the decoder does.
std::int16_t DecodeIma4(VoiceCodec& codec, std::uint8_t code);
std::uint8_t EncodeIma4(VoiceCodec& codec, std::int16_t sample);
std::int16_t DecodeIma3(VoiceCodec& codec, std::uint8_t code);
std::uint8_t EncodeIma3(VoiceCodec& codec, std::int16_t sample);

}  // namespace pump
