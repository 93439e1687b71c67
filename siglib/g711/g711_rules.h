// The G.711 coders of every variant: the two decode tables, the segment
// bounds, the argument checks, and the per-sample encoders. No variant uses
// SIMD: decoding is one table read per code, encoding a search over at most
// eight bounds per sample.
//
// Codes are bytes as transmitted (A-law with its even bits inverted). The
// A-law values are the G.711 decoder outputs times 8, the mu-law ones times 4.
// Negative A-law samples are offset by 8 before the segment search, so -1 to
// -23 give 0x55 and -24 gives 0x54, while 0 to 15 give 0xD5 and 16 gives 0xD4.
#pragma once

#include <array>
#include <cstdint>

#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::g711 {

using Table = std::array<std::int16_t, 256>;

constexpr Table MakeALawTable() {
  Table t{};
  for (int c = 0; c < 256; ++c) {
    const int x = c ^ 0x55;
    const int q = x & 0x0F;
    const int s = (x >> 4) & 0x07;
    const int magnitude = s == 0 ? 16 * q + 8 : (16 * q + 264) << (s > 1 ? s - 1 : 0);
    t[static_cast<std::size_t>(c)] =
        static_cast<std::int16_t>((x & 0x80) != 0 ? magnitude : -magnitude);
  }
  return t;
}

constexpr Table MakeMuLawTable() {
  Table t{};
  for (int c = 0; c < 256; ++c) {
    const int x = ~c & 0xFF;
    const int q = x & 0x0F;
    const int s = (x >> 4) & 0x07;
    const int magnitude = (8 * q + 132) << s;
    t[static_cast<std::size_t>(c)] =
        static_cast<std::int16_t>((x & 0x80) != 0 ? 132 - magnitude : magnitude - 132);
  }
  return t;
}

inline constexpr Table kALawToLinear = MakeALawTable();
inline constexpr Table kMuLawToLinear = MakeMuLawTable();

// Segment s holds the magnitudes above bound s-1 up to bound s.
inline constexpr std::int16_t kBounds16[8] = {255, 511, 1023, 2047, 4095, 8191, 16383, 32767};
inline constexpr std::int32_t kBounds32[8] = {255, 511, 1023, 2047, 4095, 8191, 16383, 32767};

template <class S, class D>
constexpr qvls_status Check(const S* src, const D* dst, std::int32_t len) {
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

// The code of magnitude m in segment s, before the sign mask.
constexpr std::uint8_t Pack(std::int32_t s, std::int32_t m) {
  return static_cast<std::uint8_t>((s << 4) | ((m >> (s + 3)) & 0x0F));
}

// The A-law sign mask and the magnitude that is searched.
struct Folded {
  std::uint8_t mask;
  std::int32_t m;
};

constexpr Folded FoldALaw(std::int16_t v) {
  if (v >= 0) return {0xD5, v};
  const std::int32_t m = -std::int32_t{v} - 8;
  return {0x55, m < 0 ? 0 : m};
}

constexpr Folded FoldMuLaw(std::int16_t v) {
  return v >= 0 ? Folded{0xFF, v + 132} : Folded{0x7F, 132 - std::int32_t{v}};
}

// The first segment whose bound is at least m (m <= 32767), by a loop over
// bounds of the given width.
template <class Bound>
constexpr std::int32_t SegmentOf(std::int32_t m, const Bound (&bounds)[8]) {
  std::int32_t s = 0;
  while (m > bounds[s]) ++s;
  return s;
}

// A-law: segment 0 packs the magnitude's bits 4..7; segments 1..7 as Pack.
template <class Bound>
constexpr std::uint8_t EncodeALaw(std::int16_t v, const Bound (&bounds)[8]) {
  const Folded f = FoldALaw(v);
  const std::int32_t s = SegmentOf(f.m, bounds);
  const std::uint8_t code = s == 0 ? static_cast<std::uint8_t>((f.m >> 4) & 0x0F) : Pack(s, f.m);
  return code ^ f.mask;
}

// Mu-law: magnitudes beyond 32767 (samples from 32636 and from -32636 on)
// take the code of the largest segment's top step.
constexpr std::uint8_t EncodeMuLawByLoop(std::int16_t v) {
  const Folded f = FoldMuLaw(v);
  if (f.m > 32767) return 0x7F ^ f.mask;
  return Pack(SegmentOf(f.m, kBounds32), f.m) ^ f.mask;
}

// ---- the m6 code, of which a6 and w7 build their own copies (Tag) ---------------

// Four codes per 32-bit read (any alignment), four samples per step, then
// the rest one at a time.
template <int Tag>
qvls_status DecodeFourPerRead(const Table& table, const std::uint8_t* src, std::int16_t* dst,
                              std::int32_t len) {
  if (const qvls_status status = Check(src, dst, len); status != QVLS_OK) return status;
  std::int32_t i = 0;
  for (; len - i >= 4; i += 4) {
    const std::uint32_t codes = LoadAt(reinterpret_cast<const std::uint32_t*>(src + i), 0);
    const std::int16_t samples[4] = {table[codes & 0xFF], table[(codes >> 8) & 0xFF],
                                     table[(codes >> 16) & 0xFF], table[codes >> 24]};
    for (std::int32_t k = 0; k < 4; ++k) StoreAt(dst, i + k, samples[k]);
  }
  for (; i < len; ++i) StoreAt(dst, i, table[src[i]]);
  return QVLS_OK;
}

template <int Tag, std::uint8_t Encode(std::int16_t)>
qvls_status EncodeEach(const std::int16_t* src, std::uint8_t* dst, std::int32_t len) {
  if (const qvls_status status = Check(src, dst, len); status != QVLS_OK) return status;
  for (std::int32_t i = 0; i < len; ++i) dst[i] = Encode(LoadAt(src, i));
  return QVLS_OK;
}

constexpr std::uint8_t EncodeALawByLoop32(std::int16_t v) { return EncodeALaw(v, kBounds32); }

}  // namespace qvls::g711

// The m6 code under a variant's own names (tag m6, a6 or w7).
#define QVLS_DEFINE_G711_COPY(tag, column)                                                   \
  qvls_status qvlsALawDecode_u8toi16_##tag(const std::uint8_t* src, std::int16_t* dst,       \
                                           std::int32_t len) {                               \
    return qvls::g711::DecodeFourPerRead<column>(qvls::g711::kALawToLinear, src, dst, len);  \
  }                                                                                          \
  qvls_status qvlsMuLawDecode_u8toi16_##tag(const std::uint8_t* src, std::int16_t* dst,      \
                                            std::int32_t len) {                              \
    return qvls::g711::DecodeFourPerRead<column>(qvls::g711::kMuLawToLinear, src, dst, len); \
  }                                                                                          \
  qvls_status qvlsALawEncode_i16tou8_##tag(const std::int16_t* src, std::uint8_t* dst,       \
                                           std::int32_t len) {                               \
    return qvls::g711::EncodeEach<column, qvls::g711::EncodeALawByLoop32>(src, dst, len);    \
  }                                                                                          \
  qvls_status qvlsMuLawEncode_i16tou8_##tag(const std::int16_t* src, std::uint8_t* dst,      \
                                            std::int32_t len) {                              \
    return qvls::g711::EncodeEach<column, qvls::g711::EncodeMuLawByLoop>(src, dst, len);     \
  }
