// Create, destroy, work size and table set-up of the float FFT context, one
// code over a variant policy V (fft_context_<variant>.cpp):
//
//   struct V {
//     static constexpr std::int32_t kDirectLimit;   // L
//     static constexpr std::int32_t kLargeWorkSize; // added to the split's rows above L
//     using Arithmetic = double or float;           // of the scale
//     BitReverseTable(m), SineTable(s), TwiddleTable(m, sine, s),
//     RealTable(n, sine), DirectWorkSize(m)          (the tables)
//     InitTables, FreeContext, InitLarge             (the variant's entries)
//   };
#pragma once

#include <cmath>
#include <cstdint>
#include <new>

#include "siglib/frame/unaligned.h"
#include "siglib/memory/memory.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/fft_context/fft_tables.h"
#include "siglib/transforms/normalisation.h"

namespace qvls::float_fft {

enum class Kind : std::int32_t { kComplex = QVLS_ID_FFT_COMPLEX, kReal = QVLS_ID_FFT_REAL };

inline constexpr std::int32_t kLargestOrder = 30;
// Orders 0..3 run the small kernels: no table, no work buffer.
inline constexpr std::int32_t kLargestSmallOrder = 3;

// m: the order of the complex transform behind a context of this order.
constexpr std::int32_t ComplexOrder(Kind kind, std::int32_t order) {
  return kind == Kind::kComplex ? order : order - 1;
}

template <class V>
qvls_status InitTables(fft_context* context, std::int32_t m, const float* sine, std::int32_t s) {
  context->bitrev_table = V::BitReverseTable(m);
  if (context->bitrev_table == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  float* own_sine = nullptr;
  if (sine == nullptr) {
    own_sine = V::SineTable(m);
    if (own_sine == nullptr) return QVLS_ERR_MEM_ALLOCATED;
    sine = own_sine;
    s = m;
  }
  qvls_status status = QVLS_OK;
  if (m <= V::kDirectLimit) {
    // The radix passes alone do the transform.
    context->twiddles = V::TwiddleTable(m, sine, s);
    if (context->twiddles == nullptr) status = QVLS_ERR_MEM_ALLOCATED;
    if (status == QVLS_OK) context->work_size = V::DirectWorkSize(m);
  } else {
    // The large-order split: its tables and its rows R, then the variant's
    // own part of the work buffer.
    context->work_size = 0;
    status = V::InitLarge(context, m, sine, s);
    if (status == QVLS_OK) context->work_size += V::kLargeWorkSize;
  }
  qvlsFree_px(own_sine);
  return status;
}

inline void FreeContext(fft_context* context) {
  if (context == nullptr) return;
  qvlsFree_px(context->bitrev_table);
  qvlsFree_px(context->twiddles);
  qvlsFree_px(context->block_twiddles);
  qvlsFree_px(context->real_twiddles);
  for (float* table : context->column_twiddles) qvlsFree_px(table);
  for (float* table : context->split_twiddles) qvlsFree_px(table);
  context->id = 0;
  qvlsFree_px(context);
}

// Whether every block a create of this order asks for fits the allocator's
// 32-bit size, counted in 64 bits: the sine table of the context's order, the
// bit-reversal list, the recombination table, and the radix tables (at most
// 8 bytes a point) or, above the direct limit, the split's twiddle matrix of
// 8·2^m bytes, which no table of the split outgrows.
inline bool TablesFit(Kind kind, std::int32_t order) {
  const std::int64_t samples = std::int64_t{1} << order;
  const std::int64_t points = std::int64_t{1} << ComplexOrder(kind, order);
  const std::int64_t bytes[] = {
      4 * (samples / 4 + 1),
      4 * (points / 4 + 1),
      kind == Kind::kReal ? 2 * samples : 0,
      8 * points,
  };
  for (std::int64_t b : bytes) {
    if (b > INT32_MAX) return false;
  }
  return true;
}

// A real context of order n: the complex tables of order n - 1 and the
// recombination table of order n, all read from one sine table of order n.
template <class V>
qvls_status InitReal(fft_context* context) {
  const std::int32_t n = context->order;
  float* sine = V::SineTable(n);
  if (sine == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  qvls_status status = V::InitTables(context, n - 1, sine, n);
  if (status == QVLS_OK) {
    context->real_twiddles = V::RealTable(n, sine);
    if (context->real_twiddles == nullptr) status = QVLS_ERR_MEM_ALLOCATED;
  }
  qvlsFree_px(sine);
  return status;
}

template <class V>
qvls_status Create(fft_context** out, std::int32_t order, std::int32_t flag, std::int32_t hint,
                   Kind kind) {
  if (out == nullptr) return QVLS_ERR_NULL_POINTER;
  if (order < 0 || order > kLargestOrder) return QVLS_ERR_FFT_ORDER;
  void* block = qvlsAlloc_u8_px(sizeof(fft_context));
  if (block == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  auto* context = new (block) fft_context{};
  context->id = static_cast<std::int32_t>(kind);
  context->order = order;
  context->hint = hint;
  // 1/N or 1/sqrt N of N = 2^order, exact in either arithmetic: the single
  // nearest the exact factor for every order.
  using T = typename V::Arithmetic;
  if (!transforms::SetScaling(context, flag, std::ldexp(T{1}, order))) {
    V::FreeContext(context);
    return QVLS_ERR_FFT_FLAG;
  }
  if (order > kLargestSmallOrder) {
    if (!TablesFit(kind, order)) {
      V::FreeContext(context);
      return QVLS_ERR_MEM_ALLOCATED;
    }
    const qvls_status status =
        kind == Kind::kComplex ? V::InitTables(context, order, nullptr, 0) : InitReal<V>(context);
    if (status != QVLS_OK) {
      V::FreeContext(context);
      return status;
    }
  }
  *out = context;
  return QVLS_OK;
}

template <class V>
qvls_status Destroy(fft_context* context, Kind kind) {
  if (context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != static_cast<std::int32_t>(kind)) return QVLS_ERR_CONTEXT_MISMATCH;
  V::FreeContext(context);
  return QVLS_OK;
}

inline qvls_status WorkSize(const fft_context* context, std::int32_t* size, Kind kind) {
  if (size == nullptr || context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != static_cast<std::int32_t>(kind)) return QVLS_ERR_CONTEXT_MISMATCH;
  StoreAt(size, 0, context->work_size);
  return QVLS_OK;
}

}  // namespace qvls::float_fft

// The entries of variant `tag` over its policy V: both creates and destroys,
// the table set-up and the sine table.
#define QVLS_DEFINE_FLOAT_FFT_CONTEXT_ENTRIES(tag, V)                                            \
  qvls_status qvlsFFTCreate_cf32_##tag(fft_context** out, std::int32_t order, std::int32_t flag, \
                                       std::int32_t hint) {                                      \
    return qvls::float_fft::Create<V>(out, order, flag, hint, qvls::float_fft::Kind::kComplex);  \
  }                                                                                              \
  qvls_status qvlsFFTCreate_f32_##tag(fft_context** out, std::int32_t order, std::int32_t flag,  \
                                      std::int32_t hint) {                                       \
    return qvls::float_fft::Create<V>(out, order, flag, hint, qvls::float_fft::Kind::kReal);     \
  }                                                                                              \
  qvls_status qvlsFFTDestroy_cf32_##tag(fft_context* context) {                                  \
    return qvls::float_fft::Destroy<V>(context, qvls::float_fft::Kind::kComplex);                \
  }                                                                                              \
  qvls_status qvlsFFTDestroy_f32_##tag(fft_context* context) {                                   \
    return qvls::float_fft::Destroy<V>(context, qvls::float_fft::Kind::kReal);                   \
  }                                                                                              \
  qvls_status qvlsFFTInitTables_cf32_##tag(fft_context* context, std::int32_t m,                 \
                                           const float* sine, std::int32_t s) {                  \
    return qvls::float_fft::InitTables<V>(context, m, sine, s);                                  \
  }                                                                                              \
  float* qvlsFFTSineTable_f32_##tag(std::int32_t s) { return qvls::float_fft::BuildSineTable(s); }

// The work-size queries and the context free of variant `tag` (px, whose
// entries m6 and a6 run, and w7).
#define QVLS_DEFINE_FLOAT_FFT_SHARED_ENTRIES(tag)                                          \
  qvls_status qvlsFFTWorkSize_cf32_##tag(const fft_context* context, std::int32_t* size) { \
    return qvls::float_fft::WorkSize(context, size, qvls::float_fft::Kind::kComplex);      \
  }                                                                                        \
  qvls_status qvlsFFTWorkSize_f32_##tag(const fft_context* context, std::int32_t* size) {  \
    return qvls::float_fft::WorkSize(context, size, qvls::float_fft::Kind::kReal);         \
  }                                                                                        \
  void qvlsFFTFreeContext_f32_##tag(fft_context* context) { qvls::float_fft::FreeContext(context); }
