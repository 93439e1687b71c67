#include "pump/voice/voice_codec.h"

#include <algorithm>

#include "siglib/qvls.h"

namespace pump {
namespace {

// The G.711 routines of the signal library work on bytes; a block is done
// in pieces of this many samples.
constexpr std::size_t kPiece = 256;

std::int16_t Clamp16(std::int32_t value) {
  return static_cast<std::int16_t>(std::clamp<std::int32_t>(value, -32768, 32767));
}

void Zero(std::span<std::int16_t> block) { std::fill(block.begin(), block.end(), 0); }

// A-law or mu-law decoding; a refused piece silences the whole block.
template <qvls_status (*Decode)(const std::uint8_t*, std::int16_t*, std::int32_t)>
void DecodeG711(VoiceCodec&, std::span<const std::int16_t> codes,
                std::span<std::int16_t> samples) {
  std::array<std::uint8_t, kPiece> bytes;
  for (std::size_t at = 0; at < codes.size(); at += kPiece) {
    const std::size_t n = std::min(kPiece, codes.size() - at);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(codes[at + i]);
    if (Decode(bytes.data(), samples.data() + at, static_cast<std::int32_t>(n)) != QVLS_OK) {
      Zero(samples);
      return;
    }
  }
}

template <qvls_status (*Encode)(const std::int16_t*, std::uint8_t*, std::int32_t)>
void EncodeG711(VoiceCodec&, std::span<const std::int16_t> samples,
                std::span<std::int16_t> codes) {
  std::array<std::uint8_t, kPiece> bytes;
  for (std::size_t at = 0; at < samples.size(); at += kPiece) {
    const std::size_t n = std::min(kPiece, samples.size() - at);
    if (Encode(samples.data() + at, bytes.data(), static_cast<std::int32_t>(n)) != QVLS_OK) {
      Zero(codes);
      return;
    }
    for (std::size_t i = 0; i < n; ++i) codes[at + i] = bytes[i];
  }
}

void DecodeLinear8(VoiceCodec&, std::span<const std::int16_t> codes,
                   std::span<std::int16_t> samples) {
  for (std::size_t i = 0; i < codes.size(); ++i) {
    samples[i] = static_cast<std::int16_t>((codes[i] & 0xFF) * 256 - 32768);
  }
}

void EncodeLinear8(VoiceCodec&, std::span<const std::int16_t> samples,
                   std::span<std::int16_t> codes) {
  for (std::size_t i = 0; i < samples.size(); ++i) {
    codes[i] = static_cast<std::int16_t>((samples[i] + 32768) >> 8);
  }
}

template <std::int16_t (*One)(VoiceCodec&, std::uint8_t)>
void DecodeAdpcm(VoiceCodec& codec, std::span<const std::int16_t> codes,
                 std::span<std::int16_t> samples) {
  for (std::size_t i = 0; i < codes.size(); ++i) {
    samples[i] = One(codec, static_cast<std::uint8_t>(codes[i]));
  }
}

template <std::uint8_t (*One)(VoiceCodec&, std::int16_t)>
void EncodeAdpcm(VoiceCodec& codec, std::span<const std::int16_t> samples,
                 std::span<std::int16_t> codes) {
  for (std::size_t i = 0; i < samples.size(); ++i) codes[i] = One(codec, samples[i]);
}

void Copy16(VoiceCodec&, std::span<const std::int16_t> from, std::span<std::int16_t> to) {
  if (from.empty()) return;
  if (qvlsCopy_i16(from.data(), to.data(), static_cast<std::int32_t>(from.size())) != QVLS_OK) {
    Zero(to);
  }
}

// The predictor moves by delta, the step index by the code's adjustment.
std::int16_t Advance(VoiceCodec& codec, std::int32_t delta, bool negative,
                     std::int32_t index_change) {
  codec.predictor = Clamp16(codec.predictor + (negative ? -delta : delta));
  codec.step_index = static_cast<std::uint8_t>(std::clamp(codec.step_index + index_change, 0, 88));
  codec.step = kImaStepTable[codec.step_index];
  return codec.predictor;
}

// The sign bit, then each lower bit against the step halved once more; the
// state then moves as the decoder moves it on the code.
template <std::uint8_t SignBit, std::int16_t (*Decode)(VoiceCodec&, std::uint8_t)>
std::uint8_t EncodeIma(VoiceCodec& codec, std::int16_t sample) {
  std::int32_t d = sample - codec.predictor;
  std::uint8_t code = 0;
  if (d < 0) {
    code = SignBit;
    d = -d;
  }
  std::int32_t threshold = codec.step;
  for (std::uint8_t bit = SignBit >> 1; bit != 0; bit >>= 1, threshold >>= 1) {
    if (d >= threshold) {
      code |= bit;
      d -= threshold;
    }
  }
  Decode(codec, code);
  return code;
}

}  // namespace

std::int16_t DecodeIma4(VoiceCodec& codec, std::uint8_t code) {
  constexpr std::int32_t kIndexChange[8] = {-1, -1, -1, -1, 2, 4, 6, 8};
  const std::int32_t step = codec.step;
  std::int32_t delta = step >> 3;
  if (code & 4) delta += step;
  if (code & 2) delta += step >> 1;
  if (code & 1) delta += step >> 2;
  return Advance(codec, delta, (code & 8) != 0, kIndexChange[code & 7]);
}

std::uint8_t EncodeIma4(VoiceCodec& codec, std::int16_t sample) {
  return EncodeIma<8, DecodeIma4>(codec, sample);
}

std::int16_t DecodeIma3(VoiceCodec& codec, std::uint8_t code) {
  constexpr std::int32_t kIndexChange[4] = {-1, -1, 3, 7};
  const std::int32_t step = codec.step;
  std::int32_t delta = step >> 2;
  if (code & 2) delta += step;
  if (code & 1) delta += step >> 1;
  return Advance(codec, delta, (code & 4) != 0, kIndexChange[code & 3]);
}

std::uint8_t EncodeIma3(VoiceCodec& codec, std::int16_t sample) {
  return EncodeIma<4, DecodeIma3>(codec, sample);
}

VoiceCodecRoutines SelectVoiceCodec(std::int32_t type) {
  switch (type) {
    case 0:
    case 3:
    case 7:
      return {DecodeG711<qvlsALawDecode_u8toi16>, EncodeG711<qvlsALawEncode_i16tou8>};
    case 8:
      return {DecodeG711<qvlsMuLawDecode_u8toi16>, EncodeG711<qvlsMuLawEncode_i16tou8>};
    case 2:
      return {DecodeLinear8, EncodeLinear8};
    case 5:
      return {DecodeAdpcm<DecodeIma3>, EncodeAdpcm<EncodeIma3>};
    case 6:
      return {DecodeAdpcm<DecodeIma4>, EncodeAdpcm<EncodeIma4>};
    default:
      return {Copy16, Copy16};
  }
}

}  // namespace pump
