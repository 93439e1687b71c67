// The FIR filters, w7 variant: the rows layout for real filters and the
// paired complex layout, filtered on the 128-bit integer registers (real
// blocks) and the 64-bit packed ones (one sample, complex blocks, the a6
// kernels in w7's own entries).
//
// Real block: the history is moved to the start of the delay buffer, at
// most row_len source samples are appended behind it. Eight outputs per
// step: one aligned load of eight samples against the four tap rows gives
// the outputs 0 to 3 after the group start (row r holds the taps from word
// r + 1), an 8-byte-aligned load four samples later the outputs 4 to 7;
// each row's lanes are summed at the end, and the zeros of the rows absorb
// what a pass of row_len taps reads beyond a filter's own taps. The first
// row_len outputs come from the delay buffer, which lies on a 16-byte
// boundary; the later ones from the source, one at a time until the source
// position reaches a 16-byte boundary, then eight at a time, the last 8 to
// 15 always singly, so that no load reaches past the end of the source.
#include <emmintrin.h>

#include "siglib/fir/fir_column_entries.h"
#include "siglib/fir/fir_history.h"
#include "siglib/fir/fir_packed_sample.h"
#include "siglib/fir/fir_packed_scaling.h"
#include "siglib/fir/fir_paired_complex.h"
#include "siglib/memory/alignment.h"

namespace {

using qvls::LoadAt;
using qvls::StoreAt;
using qvls::fir::Layout;
using qvls::fir::PackedScaleM128;
namespace sse2 = qvls::sse2;

__m128i MulAdd(__m128i sum, __m128i x, __m128i taps) {
  return _mm_add_epi32(sum, _mm_madd_epi16(x, taps));
}

// [sum of a's lanes, of b's, of c's, of d's]
__m128i LaneSums(__m128i a, __m128i b, __m128i c, __m128i d) {
  const __m128i ab = _mm_add_epi32(_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b));
  const __m128i cd = _mm_add_epi32(_mm_unpacklo_epi32(c, d), _mm_unpackhi_epi32(c, d));
  return _mm_add_epi32(_mm_unpacklo_epi64(ab, cd), _mm_unpackhi_epi64(ab, cd));
}

// The outputs 0 to 7 after the group start g (on a 16-byte boundary):
// output m is the taps times g[m+1 .. m+len]. Reads g[0 .. row_len+3].
__m128i EightOutputs(const std::int16_t* g, const std::int16_t* rows, std::int32_t row_len,
                     const PackedScaleM128& scale) {
  const std::int16_t* row1 = rows + row_len;
  const std::int16_t* row2 = row1 + row_len;
  const std::int16_t* row3 = row2 + row_len;
  __m128i a0 = _mm_setzero_si128(), a1 = a0, a2 = a0, a3 = a0;
  __m128i b0 = a0, b1 = a0, b2 = a0, b3 = a0;
  for (std::int32_t k = 0; k < row_len; k += 8) {
    const __m128i x = sse2::Load16(g + k);
    const __m128i y = sse2::LoadUnaligned16(g + k + 4);
    const __m128i t0 = sse2::Load16(rows + k);
    const __m128i t1 = sse2::Load16(row1 + k);
    const __m128i t2 = sse2::Load16(row2 + k);
    const __m128i t3 = sse2::Load16(row3 + k);
    a0 = MulAdd(a0, x, t0);
    a1 = MulAdd(a1, x, t1);
    a2 = MulAdd(a2, x, t2);
    a3 = MulAdd(a3, x, t3);
    b0 = MulAdd(b0, y, t0);
    b1 = MulAdd(b1, y, t1);
    b2 = MulAdd(b2, y, t2);
    b3 = MulAdd(b3, y, t3);
  }
  return _mm_packs_epi32(scale.Apply(LaneSums(a0, a1, a2, a3)),
                         scale.Apply(LaneSums(b0, b1, b2, b3)));
}

// The taps times w[0 .. len-1] at any alignment: eight, four, two and one
// taps per step.
std::uint32_t Dot(const std::int16_t* w, const std::int16_t* taps, std::int32_t len) {
  __m128i sum = _mm_setzero_si128();
  std::int32_t i = 0;
  for (; i + 8 <= len; i += 8) {
    sum = MulAdd(sum, sse2::LoadUnaligned16(w + i), sse2::LoadUnaligned16(taps + i));
  }
  if (i + 4 <= len) {
    sum = MulAdd(sum, sse2::Load8(w + i), sse2::Load8(taps + i));
    i += 4;
  }
  if (i + 2 <= len) {
    sum = MulAdd(sum, sse2::Load4(w + i), sse2::Load4(taps + i));
    i += 2;
  }
  if (i < len) {
    const auto word = [](std::int16_t v) {
      return _mm_cvtsi32_si128(static_cast<std::int32_t>(static_cast<std::uint16_t>(v)));
    };
    sum = MulAdd(sum, word(LoadAt(w, i)), word(LoadAt(taps, i)));
  }
  alignas(16) std::uint32_t lanes[4];
  sse2::Store16(lanes, sum);
  return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

qvls_status RealBlock(const std::int16_t* src, std::int16_t* dst, std::int32_t n, fir_state* state,
                      std::int32_t sf) {
  using namespace qvls::fir;
  fir_state h;
  if (const qvls_status status = CheckBlock(src, dst, n, state, Layout::kRowsReal, h);
      status != QVLS_OK) {
    return status;
  }
  // A state copied to another address must keep the 16-byte boundary.
  if (!qvls::IsOnBoundary(state, 16)) return QVLS_ERR_BUFFER_ALIGNMENT;
  const std::int32_t len = h.len;
  const std::int32_t row_len = h.row_len;
  const auto* rows = ArrayAt<const std::int16_t>(state, h.taps16);
  const std::int16_t* taps = rows + 3 * row_len + 4;  // row 3 from word 4: the taps in order
  std::int16_t* delay = ArrayAt<std::int16_t>(state, h.delay);
  if (h.index != 0) {
    for (std::int32_t i = 0; i < len; ++i) StoreAt(delay, i, LoadAt(delay, h.index + i));
  }
  const std::int32_t from_buffer = Appended(n, row_len);
  AppendBehind(delay, len, src, from_buffer);
  const OutputScale scale =
      OutputScaleFor<LargeShifts::kShiftOut>(ScaleExponent(h.taps_factor, sf));
  const PackedScaleM128 packed(scale);
  auto single = [&](std::int32_t j, const std::int16_t* w) {
    StoreAt(dst, j, ScaleOutput(Dot(w, taps, len), scale));
  };
  std::int32_t j = 0;
  for (; j + 8 <= from_buffer; j += 8) {
    sse2::StoreUnaligned16(dst + j, EightOutputs(delay + j, rows, row_len, packed));
  }
  for (; j < from_buffer; ++j) single(j, delay + j + 1);
  // From the source: the group of output j starts at src[j - len].
  for (; j < n && !qvls::IsOnBoundary(src + (j - len), 16); ++j) single(j, src + (j + 1 - len));
  for (; n - j >= 16; j += 8) {
    sse2::StoreUnaligned16(dst + j, EightOutputs(src + (j - len), rows, row_len, packed));
  }
  for (; j < n; ++j) single(j, src + (j + 1 - len));
  KeepNewest(delay, delay, src, n, len);
  WriteIndex(state, 0);
  return QVLS_OK;
}

}  // namespace

QVLS_FIR_SETUP_ENTRIES(w7, Layout::kRowsReal, Layout::kPairedComplex)
QVLS_FIR_READ_ENTRIES(w7)

qvls_status qvlsFIRStateSize_i16_w7(std::int32_t len, std::int32_t* size) {
  return qvls::fir::StateSize<Layout::kRowsReal>(len, size);
}

qvls_status qvlsFIRSample_i16_w7(std::int16_t x, std::int16_t* out, fir_state* state,
                                 std::int32_t sf) {
  return qvls::fir::packed::Sample<Layout::kRowsReal>(x, out, state, sf);
}

qvls_status qvlsFIRBlock_i16_w7(const std::int16_t* src, std::int16_t* dst, std::int32_t n,
                                fir_state* state, std::int32_t sf) {
  return RealBlock(src, dst, n, state, sf);
}

qvls_status qvlsFIRBlock_ci16_w7(const qvls_ci16* src, qvls_ci16* dst, std::int32_t n,
                                 fir_state* state, std::int32_t sf) {
  return qvls::fir::paired::Block(src, dst, n, state, sf);
}

QVLS_FIR_IN_PLACE_ENTRIES(w7, Layout::kRowsReal, Layout::kPairedComplex)
