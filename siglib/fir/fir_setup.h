// Building and taking down states: the size, init and create operations of
// each layout, the one destroy, and the delay-line operations. `Memory` names
// the block operations of the variant whose entry this is (MemoryOps below).
//
// Taps preparation: the caller's taps (tap 0 weighs the newest sample) are
// stored in reverse order and shifted right arithmetically by the
// normalising shift s, the smallest s that brings the largest magnitude
// (taken in 64 bits, so -2^31 has one) to 32766 or less; taps_factor is the
// caller's factor plus s. Every prepared value then lies in -32767..32766,
// so the 16-bit copies are exact.
#pragma once

#include <cstdint>

#include "siglib/fir/fir_geometry.h"
#include "siglib/fir/fir_state.h"
#include "siglib/frame/integer_rules.h"
#include "siglib/frame/unaligned.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/memory.h"

namespace qvls::fir {

template <qvlsZero_i16_fn* kZero16, qvlsZero_i32_fn* kZero32, qvlsCopy_i16_fn* kCopy16,
          qvlsCopy_i32_fn* kCopy32>
struct MemoryOps {
  static void Zero(std::int16_t* dst, std::int32_t len) { kZero16(dst, len); }
  static void Zero(qvls_ci16* dst, std::int32_t len) {
    kZero32(reinterpret_cast<std::int32_t*>(dst), len);
  }
  static void Copy(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
    kCopy16(src, dst, len);
  }
  static void Copy(const qvls_ci16* src, qvls_ci16* dst, std::int32_t len) {
    kCopy32(reinterpret_cast<const std::int32_t*>(src), reinterpret_cast<std::int32_t*>(dst), len);
  }
};

inline constexpr std::int64_t kLargestPreparedTap = 32766;

// `count` 32-bit values (complex taps: both parts of every tap).
inline std::int32_t NormalisingShift(const std::int32_t* values, std::int64_t count) {
  std::int64_t largest = 0;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t v = LoadAt(values, i);
    const std::int64_t magnitude = v < 0 ? -v : v;
    if (magnitude > largest) largest = magnitude;
  }
  std::int32_t shift = 0;
  for (; largest > kLargestPreparedTap; largest >>= 1) ++shift;
  return shift;
}

// ---- set-up -------------------------------------------------------------

template <Layout kLayout>
constexpr std::uint32_t MarkerOf() {
  return IsComplex(kLayout) ? kMarkerComplex : kMarkerReal;
}

// Size, init and create share their checks of the tap count: none at all,
// or one whose state the 32-bit size cannot describe.
template <Layout kLayout>
qvls_status GeometryFor(std::int32_t len, Geometry& g) {
  if (len <= 0) return QVLS_ERR_FIR_LENGTH;
  g = GeometryOf(kLayout, len);
  return FitsInt32(g) ? QVLS_OK : QVLS_ERR_DATA_SIZE;
}

template <Layout kLayout>
qvls_status StateSize(std::int32_t len, std::int32_t* size) {
  if (size == nullptr) return QVLS_ERR_NULL_POINTER;
  Geometry g;
  if (const qvls_status status = GeometryFor<kLayout>(len, g); status != QVLS_OK) return status;
  StoreAt(size, 0, static_cast<std::int32_t>(g.bytes));
  return QVLS_OK;
}

// The header words that set-up writes; the others keep what the buffer held.
template <Layout kLayout>
void WriteSetUpHeader(fir_state* state, const Geometry& g, std::int32_t len, std::int32_t factor,
                      std::int32_t owned) {
  fir_state h = ReadHeader(state);
  h.marker = MarkerOf<kLayout>();
  h.taps = static_cast<std::int32_t>(g.taps);
  h.delay = static_cast<std::int32_t>(g.delay);
  h.len = len;
  h.prefill = static_cast<std::int32_t>(g.prefill);
  h.taps_factor = factor;
  h.taps16 = static_cast<std::int32_t>(g.taps16);
  h.index = 0;
  h.layout = static_cast<std::int32_t>(kLayout);
  if constexpr (kLayout == Layout::kRowsReal) h.row_len = static_cast<std::int32_t>(g.row_len);
  h.work = static_cast<std::int32_t>(g.work);
  h.owned = owned;
  WriteHeader(state, h);
}

template <Layout kLayout, class Memory>
void PrepareRealTaps(fir_state* state, const Geometry& g, const std::int32_t* taps,
                     std::int32_t len, std::int32_t shift) {
  auto* prepared = ArrayAt<std::int32_t>(state, static_cast<std::int32_t>(g.taps));
  auto* taps16 = ArrayAt<std::int16_t>(state, static_cast<std::int32_t>(g.taps16));
  const auto row_len = static_cast<std::int32_t>(g.row_len);
  if constexpr (kLayout == Layout::kRowsReal) Memory::Zero(taps16, 4 * row_len);
  for (std::int32_t i = 0; i < len; ++i) {
    const std::int32_t tap = LoadAt(taps, len - 1 - i) >> shift;
    StoreAt(prepared, i, tap);
    const auto tap16 = static_cast<std::int16_t>(tap);
    if constexpr (kLayout == Layout::kGenericReal) {
      StoreAt(taps16, i, tap16);
    } else {
      // Row r holds the taps from word r + 1: it yields the output r samples
      // after the start of an aligned group.
      for (std::int32_t r = 0; r < 4; ++r) StoreAt(taps16, r * row_len + r + 1 + i, tap16);
    }
  }
}

template <Layout kLayout>
void PrepareComplexTaps(fir_state* state, const Geometry& g, const qvls_ci32* taps,
                        std::int32_t len, std::int32_t shift) {
  auto* prepared = ArrayAt<qvls_ci32>(state, static_cast<std::int32_t>(g.taps));
  auto* pairs = ArrayAt<std::int16_t>(state, static_cast<std::int32_t>(g.taps16));
  for (std::int32_t i = 0; i < len; ++i) {
    const qvls_ci32 given = LoadAt(taps, len - 1 - i);
    const qvls_ci32 tap{given.re >> shift, given.im >> shift};
    StoreAt(prepared, i, tap);
    if constexpr (kLayout == Layout::kPairedComplex) {
      // {re, -im} gives the real part of a product by one multiply-add,
      // {im, re} the imaginary part.
      const auto re = static_cast<std::int16_t>(tap.re);
      const auto im = static_cast<std::int16_t>(tap.im);
      StoreAt(pairs, 2 * i, re);
      StoreAt(pairs, 2 * i + 1, static_cast<std::int16_t>(-tap.im));
      StoreAt(pairs, 2 * len + 2 * i, im);
      StoreAt(pairs, 2 * len + 2 * i + 1, re);
    }
  }
}

// The history from a delay line given newest first (element len-1-i at
// position i), or silence.
template <class Memory, class Sample>
void LoadHistory(Sample* delay, std::int32_t count, const Sample* newest_first) {
  if (newest_first == nullptr) {
    Memory::Zero(delay, count);
    return;
  }
  for (std::int32_t i = 0; i < count; ++i) StoreAt(delay, i, LoadAt(newest_first, count - 1 - i));
}

// Real layouts clear their whole delay buffer first; complex ones write only
// the history positions.
template <Layout kLayout, class Memory, class Taps, class Sample>
void Build(fir_state* state, const Geometry& g, const Taps* taps, std::int32_t len,
           std::int32_t taps_factor, const Sample* delay_line, std::int32_t owned) {
  constexpr std::int64_t kValuesPerTap = sizeof(Taps) / sizeof(std::int32_t);
  const std::int32_t shift =
      NormalisingShift(reinterpret_cast<const std::int32_t*>(taps), kValuesPerTap * len);
  WriteSetUpHeader<kLayout>(state, g, len, WrapAdd32(taps_factor, shift), owned);
  auto* delay = ArrayAt<Sample>(state, static_cast<std::int32_t>(g.delay));
  if constexpr (IsComplex(kLayout)) {
    PrepareComplexTaps<kLayout>(state, g, taps, len, shift);
    LoadHistory<Memory>(delay, len, delay_line);
  } else {
    PrepareRealTaps<kLayout, Memory>(state, g, taps, len, shift);
    Memory::Zero(delay, static_cast<std::int32_t>(g.delay_len));
    if (delay_line != nullptr) LoadHistory<Memory>(delay, len, delay_line);
  }
}

template <Layout kLayout, class Memory, class Taps, class Sample>
qvls_status Init(fir_state** pState, const Taps* taps, std::int32_t len, std::int32_t taps_factor,
                 const Sample* delay_line, std::uint8_t* buffer) {
  if (pState == nullptr || taps == nullptr || buffer == nullptr) return QVLS_ERR_NULL_POINTER;
  Geometry g;
  if (const qvls_status status = GeometryFor<kLayout>(len, g); status != QVLS_OK) return status;
  // The 128-bit kernel loads the rows and the delay buffer in aligned units.
  if (kLayout == Layout::kRowsReal && !IsOnBoundary(buffer, 16)) return QVLS_ERR_BUFFER_ALIGNMENT;
  auto* state = reinterpret_cast<fir_state*>(buffer);
  Build<kLayout, Memory>(state, g, taps, len, taps_factor, delay_line, 0);
  StoreAt(pState, 0, state);
  return QVLS_OK;
}

template <Layout kLayout, class Memory, class Taps, class Sample>
qvls_status Create(fir_state** pState, const Taps* taps, std::int32_t len, std::int32_t taps_factor,
                   const Sample* delay_line) {
  if (pState == nullptr || taps == nullptr) return QVLS_ERR_NULL_POINTER;
  Geometry g;
  if (const qvls_status status = GeometryFor<kLayout>(len, g); status != QVLS_OK) return status;
  std::uint8_t* buffer = qvlsAlloc_u8_px(static_cast<std::int32_t>(g.bytes - kSlackBytes));
  if (buffer == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  auto* state = reinterpret_cast<fir_state*>(buffer);
  Build<kLayout, Memory>(state, g, taps, len, taps_factor, delay_line, 1);
  StoreAt(pState, 0, state);
  return QVLS_OK;
}

// ---- destroy and the delay line -----------------------------------------

inline qvls_status Destroy(fir_state* state, std::uint32_t single_rate, std::uint32_t multi_rate) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  const fir_state h = ReadHeader(state);
  if (h.marker != single_rate && h.marker != multi_rate) return QVLS_ERR_CONTEXT_MISMATCH;
  if (h.owned != 0) qvlsFree_px(state);
  return QVLS_OK;
}

// The delay line lies alike in every layout of a kind, so the delay-line
// operations take any layout of their marker's kind and refuse the rest.
inline bool HasRealLayout(const fir_state& h) {
  return h.layout == static_cast<std::int32_t>(Layout::kGenericReal) ||
         h.layout == static_cast<std::int32_t>(Layout::kRowsReal);
}
inline bool HasComplexLayout(const fir_state& h) {
  return h.layout == static_cast<std::int32_t>(Layout::kGenericComplex) ||
         h.layout == static_cast<std::int32_t>(Layout::kPairedComplex);
}

// A multi-rate state keeps its delay line from the start of its buffer, with
// the count in its header (pairs: half of it).
template <class Sample>
std::int32_t MultiRateCount(const fir_state& h) {
  return sizeof(Sample) == 4 ? h.multirate_delay_len / 2 : h.multirate_delay_len;
}

template <class Sample>
void ReadNewestFirst(const Sample* history, std::int32_t count, Sample* dst) {
  for (std::int32_t i = 0; i < count; ++i) StoreAt(dst, i, LoadAt(history, count - 1 - i));
}

template <class Memory>
qvls_status SetDelayLine(fir_state* state, const std::int16_t* src) {
  if (state == nullptr) return QVLS_ERR_NULL_POINTER;
  const fir_state h = ReadHeader(state);
  auto* delay = ArrayAt<std::int16_t>(state, h.delay);
  if (h.marker == kMarkerMultiRateReal) {
    const std::int32_t count = MultiRateCount<std::int16_t>(h);
    if (count > 0) LoadHistory<Memory>(delay, count, src);
    return QVLS_OK;
  }
  if (h.marker != kMarkerReal || !HasRealLayout(h)) return QVLS_ERR_CONTEXT_MISMATCH;
  WriteIndex(state, 0);
  LoadHistory<Memory>(delay, h.len, src);
  return QVLS_OK;
}

template <class Sample>
qvls_status GetDelayLine(const fir_state* state, Sample* dst) {
  constexpr bool kComplex = sizeof(Sample) == 4;
  if (state == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  const fir_state h = ReadHeader(state);
  const auto* delay = ArrayAt<Sample>(state, h.delay);
  if (h.marker == (kComplex ? kMarkerMultiRateComplex : kMarkerMultiRateReal)) {
    ReadNewestFirst(delay, MultiRateCount<Sample>(h), dst);
    return QVLS_OK;
  }
  const bool own_kind = kComplex ? h.marker == kMarkerComplex && HasComplexLayout(h)
                                 : h.marker == kMarkerReal && HasRealLayout(h);
  if (!own_kind) return QVLS_ERR_CONTEXT_MISMATCH;
  ReadNewestFirst(delay + h.index, h.len, dst);
  return QVLS_OK;
}

}  // namespace qvls::fir
