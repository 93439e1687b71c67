// The FIR filters, a6 variant: the generic real layout and the paired
// complex one, filtered on the 64-bit packed registers with the 128-bit
// single-precision unit's extensions to them (word inserts, non-temporal
// stores, prefetch hints, the store fence).
//
// Real block: the history is read where it lies, at most 4·ceil(len/4)
// source samples are appended behind it. Four outputs per step: each group
// of four taps is loaded once and multiplied against one load of four
// samples and its three shifted copies, made by word shifts and inserts (so
// no load reaches beyond the samples an output needs); taps four at a time,
// then two, then one. The four outputs are packed with saturation and
// stored non-temporally, the samples 32 bytes ahead prefetched; the last
// outputs come as a pair and a single.
#include <mmintrin.h>
#include <xmmintrin.h>

#include "siglib/fir/fir_column_entries.h"
#include "siglib/fir/fir_geometry.h"
#include "siglib/fir/fir_history.h"
#include "siglib/fir/fir_packed_sample.h"
#include "siglib/fir/fir_packed_scaling.h"
#include "siglib/fir/fir_paired_complex.h"

namespace {

using qvls::LoadAt;
using qvls::StoreAt;
using qvls::fir::Layout;
using qvls::fir::PackedScaleM64;
using qvls::mmx::Get4;
using qvls::mmx::Get8;

__m64 MulAdd(__m64 sum, __m64 x, __m64 taps) { return _mm_add_pi32(sum, _mm_madd_pi16(x, taps)); }

// Outputs m = 0 .. 3: taps · w[m .. m+len-1]; reads w[0 .. len+2].
__m64 FourOutputs(const std::int16_t* w, const std::int16_t* taps, std::int32_t len,
                  const PackedScaleM64& scale) {
  __m64 a0 = _mm_setzero_si64(), a1 = a0, a2 = a0, a3 = a0;
  std::int32_t i = 0;
  for (; i + 4 <= len; i += 4) {
    const __m64 t = Get8(taps + i);
    const __m64 x = Get8(w + i);
    const std::int32_t s4 = LoadAt(w, i + 4), s5 = LoadAt(w, i + 5), s6 = LoadAt(w, i + 6);
    const __m64 x1 = _mm_insert_pi16(_mm_srli_si64(x, 16), s4, 3);
    const __m64 x2 = _mm_insert_pi16(_mm_insert_pi16(_mm_srli_si64(x, 32), s4, 2), s5, 3);
    const __m64 x3 = _mm_insert_pi16(
        _mm_insert_pi16(_mm_insert_pi16(_mm_srli_si64(x, 48), s4, 1), s5, 2), s6, 3);
    a0 = MulAdd(a0, x, t);
    a1 = MulAdd(a1, x1, t);
    a2 = MulAdd(a2, x2, t);
    a3 = MulAdd(a3, x3, t);
  }
  if (i + 2 <= len) {  // taps {i, i+1, 0, 0}: the words above them count nothing
    const __m64 t = Get4(taps + i);
    const __m64 x = Get8(w + i);
    a0 = MulAdd(a0, x, t);
    a1 = MulAdd(a1, _mm_srli_si64(x, 16), t);
    a2 = MulAdd(a2, _mm_srli_si64(x, 32), t);
    a3 = MulAdd(a3, _mm_insert_pi16(_mm_srli_si64(x, 48), LoadAt(w, i + 4), 1), t);
    i += 2;
  }
  if (i < len) {
    const __m64 t = qvls::fir::packed::LowWord(LoadAt(taps, i));
    const __m64 x = Get8(w + i);
    a0 = MulAdd(a0, x, t);
    a1 = MulAdd(a1, _mm_srli_si64(x, 16), t);
    a2 = MulAdd(a2, _mm_srli_si64(x, 32), t);
    a3 = MulAdd(a3, _mm_srli_si64(x, 48), t);
  }
  using qvls::fir::paired::LaneSums;
  return _mm_packs_pi32(scale.Apply(LaneSums(a0, a1)), scale.Apply(LaneSums(a2, a3)));
}

// Outputs m = 0, 1, packed in the low half; reads w[0 .. len].
__m64 TwoOutputs(const std::int16_t* w, const std::int16_t* taps, std::int32_t len,
                 const PackedScaleM64& scale) {
  __m64 a0 = _mm_setzero_si64(), a1 = a0;
  std::int32_t i = 0;
  for (; i + 4 <= len; i += 4) {
    const __m64 t = Get8(taps + i);
    const __m64 x = Get8(w + i);
    a0 = MulAdd(a0, x, t);
    a1 = MulAdd(a1, _mm_insert_pi16(_mm_srli_si64(x, 16), LoadAt(w, i + 4), 3), t);
  }
  if (i + 2 <= len) {
    const __m64 t = Get4(taps + i);
    const __m64 x = Get4(w + i);
    a0 = MulAdd(a0, x, t);
    a1 = MulAdd(a1, _mm_insert_pi16(_mm_srli_si64(x, 16), LoadAt(w, i + 2), 1), t);
    i += 2;
  }
  if (i < len) {
    const __m64 t = qvls::fir::packed::LowWord(LoadAt(taps, i));
    const __m64 x = Get4(w + i);
    a0 = MulAdd(a0, x, t);
    a1 = MulAdd(a1, _mm_srli_si64(x, 16), t);
  }
  const __m64 sums = scale.Apply(qvls::fir::paired::LaneSums(a0, a1));
  return _mm_packs_pi32(sums, sums);
}

qvls_status RealBlock(const std::int16_t* src, std::int16_t* dst, std::int32_t n, fir_state* state,
                      std::int32_t sf) {
  using namespace qvls::fir;
  fir_state h;
  if (const qvls_status status = CheckBlock(src, dst, n, state, Layout::kGenericReal, h);
      status != QVLS_OK) {
    return status;
  }
  const std::int32_t len = h.len;
  const auto* taps = ArrayAt<const std::int16_t>(state, h.taps16);
  std::int16_t* delay = ArrayAt<std::int16_t>(state, h.delay);
  std::int16_t* window = delay + h.index;
  const std::int32_t appended = Appended(n, static_cast<std::int32_t>(QuadLength(len)));
  AppendBehind(window, len, src, appended);
  const OutputScale scale =
      OutputScaleFor<LargeShifts::kShiftOut>(ScaleExponent(h.taps_factor, sf));
  const PackedScaleM64 packed(scale);
  // Outputs j .. last read the buffer while the appended samples reach them;
  // from then on (j >= 4·ceil(len/4) >= len) straight from the source.
  auto first = [&](std::int32_t j, std::int32_t last) -> const std::int16_t* {
    return last < appended ? window + j + 1 : src + (j + 1 - len);
  };
  std::int32_t j = 0;
  for (; j + 4 <= n; j += 4) {
    const std::int16_t* w = first(j, j + 3);
    _mm_prefetch(reinterpret_cast<const char*>(w) + 32, _MM_HINT_NTA);
    _mm_stream_pi(reinterpret_cast<__m64*>(dst + j), FourOutputs(w, taps, len, packed));
  }
  if (j + 2 <= n) {
    qvls::mmx::Put4(dst + j, TwoOutputs(first(j, j + 1), taps, len, packed));
    j += 2;
  }
  if (j < n) StoreAt(dst, j, ScaleOutput(packed::DotM64(first(j, j), taps, len), scale));
  _mm_sfence();
  _mm_empty();
  KeepNewest(delay, window, src, n, len);
  WriteIndex(state, 0);
  return QVLS_OK;
}

}  // namespace

QVLS_FIR_SETUP_ENTRIES(a6, Layout::kGenericReal, Layout::kPairedComplex)

qvls_status qvlsFIRStateSize_ci16_a6(std::int32_t len, std::int32_t* size) {
  return qvls::fir::StateSize<Layout::kPairedComplex>(len, size);
}

qvls_status qvlsFIRSample_i16_a6(std::int16_t x, std::int16_t* out, fir_state* state,
                                 std::int32_t sf) {
  return qvls::fir::packed::Sample<Layout::kGenericReal>(x, out, state, sf);
}

qvls_status qvlsFIRBlock_i16_a6(const std::int16_t* src, std::int16_t* dst, std::int32_t n,
                                fir_state* state, std::int32_t sf) {
  return RealBlock(src, dst, n, state, sf);
}

qvls_status qvlsFIRBlock_ci16_a6(const qvls_ci16* src, qvls_ci16* dst, std::int32_t n,
                                 fir_state* state, std::int32_t sf) {
  return qvls::fir::paired::Block(src, dst, n, state, sf);
}

QVLS_FIR_IN_PLACE_ENTRIES(a6, Layout::kGenericReal, Layout::kPairedComplex)
