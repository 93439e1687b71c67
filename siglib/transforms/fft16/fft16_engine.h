// The 16-bit FFT operations, one code over a variant V, which names the
// routines below the operations and the variant's fixed-point limits:
//
//   struct V {
//     static constexpr std::int32_t kFixedLimitHint0, kFixedLimitHint1;
//     SwapList, SineTable, TwiddleTable, InitFixed, FreeContext   (creation)
//     PreShift, Passes, MulInvSqrt2, Permute, Recombine, RoundShift  (forward)
//     kFloatComplex, kFloatReal, ToFloat, ToInt16   (the floating-point path)
//   };
//
// The fixed-point path, complex: the 2N values pre-shifted by p = 16 - order
// into 32-bit integers, the radix passes, 1/sqrt 2 when the flag asks for it
// at an odd order, the permutation into natural order, and the rounding
// shift by s = fwd_div_order + sf + p into 16 bits. Real: the N samples as
// N/2 complex values through passes, permutation and recombination, the
// first value folded into X(0) and X(N/2), then the same last two steps.
//
// The floating-point path: the values converted exactly to floats at the
// start of the work area, the float engine's forward transform in place
// there (it scales as the flag says) with the rest of the work area as its
// own, and the floats times 2^-sf rounded to nearest (ties to even) and
// saturated into 16 bits.
#pragma once

#include <cstdint>
#include <new>
#include <optional>

#include "siglib/convert/convert.h"
#include "siglib/frame/integer_rules.h"
#include "siglib/frame/unaligned.h"
#include "siglib/memory/memory.h"
#include "siglib/transforms/fft16/fft16.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/rounding_shift.h"
#include "siglib/transforms/work_area.h"

namespace qvls::fft16 {

using transforms::ClampedShift;

enum class Kind : std::int32_t { kComplex = QVLS_ID_FFT16_COMPLEX, kReal = QVLS_ID_FFT16_REAL };

inline constexpr std::int32_t kLargestOrder = 30;

// Bytes of work for the fixed-point path, 16 of them for rounding the
// caller's buffer up to a 16-byte boundary: complex 12N + 16, of which the
// 2N integers use 8N; real 4N + 24, of which the N integers use 4N.
constexpr std::int32_t FixedWorkSize(Kind kind, std::int32_t order) {
  const std::int32_t n = std::int32_t{1} << order;
  return kind == Kind::kComplex ? 12 * n + 16 : 4 * n + 24;
}

// What the flag asks of the fixed-point forward result: 1 divides by N, 4 by
// sqrt N (2^(order/2), and 1/sqrt 2 more at an odd order), 2 and 8 not at
// all (2 scales only an inverse, which the 16-bit FFT does not have). Any
// other flag is refused.
struct Normalisation {
  std::int32_t fwd_div_order;
  std::int32_t odd_sqrt2;
};
constexpr std::optional<Normalisation> NormalisationOf(std::int32_t flag, std::int32_t order) {
  switch (flag) {
    case 1:
      return Normalisation{order, 0};
    case 2:
    case 8:
      return Normalisation{0, 0};
    case 4:
      return Normalisation{order >> 1, order & 1};
  }
  return std::nullopt;
}

// The float engine's operations for one kind of context.
struct FloatEngine {
  qvlsFFTCreate_f32_fn* create;
  qvlsFFTDestroy_f32_fn* destroy;
  qvlsFFTWorkSize_f32_fn* work_size;
  qvlsFFTFwd_cf32_fn* forward;
};

template <class V>
constexpr const FloatEngine& FloatEngineOf(Kind kind) {
  return kind == Kind::kComplex ? V::kFloatComplex : V::kFloatReal;
}

// Bytes of float data at the start of the floating-point path's work area,
// before the engine's own: 2N floats (complex) or N + 2 (real).
constexpr std::int64_t FloatDataBytes(Kind kind, std::int32_t order) {
  const std::int64_t n = std::int64_t{1} << order;
  return kind == Kind::kComplex ? 8 * n : 4 * n + 8;
}

template <class V>
constexpr bool TakesFixedPath(std::int32_t order, std::int32_t hint) {
  return (hint == 0 && order <= V::kFixedLimitHint0) || (hint == 1 && order <= V::kFixedLimitHint1);
}

template <class V>
qvls_status InitFixed(fft16_context* context, std::int32_t table_order, const std::int16_t* sine,
                      std::int32_t sine_order) {
  context->swap_list = V::SwapList(table_order);
  if (context->swap_list == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  std::int16_t* own_sine = nullptr;
  if (sine == nullptr) {
    own_sine = V::SineTable(table_order);
    if (own_sine == nullptr) return QVLS_ERR_MEM_ALLOCATED;
    sine = own_sine;
    sine_order = table_order;
  }
  context->twiddles = V::TwiddleTable(table_order, sine, sine_order);
  qvlsFree_px(own_sine);
  return context->twiddles == nullptr ? QVLS_ERR_MEM_ALLOCATED : QVLS_OK;
}

inline void FreeContext(fft16_context* context) {
  qvlsFree_px(context->swap_list);
  qvlsFree_px(context->twiddles);
  qvlsFree_px(context->real_twiddles);
  context->id = 0;
  qvlsFree_px(context);
}

// A real context of order n: the passes' tables of order n - 1 and the
// recombination's of order n, all read from one sine table of order n.
template <class V>
qvls_status InitFixedReal(fft16_context* context) {
  const std::int32_t order = context->order;
  std::int16_t* sine = V::SineTable(order);
  if (sine == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  qvls_status status = V::InitFixed(context, order - 1, sine, order);
  if (status == QVLS_OK) {
    context->real_twiddles = V::TwiddleTable(order, sine, order);
    if (context->real_twiddles == nullptr) status = QVLS_ERR_MEM_ALLOCATED;
  }
  qvlsFree_px(sine);
  return status;
}

// Checks in order: out, order (before anything is allocated), the
// allocation, the flag. A failed create leaves *out as it was and frees all
// it allocated.
// The float context (same flag, hint 0) and the work size of the
// floating-point path: the float data, 16 bytes for rounding the caller's
// buffer up to a 16-byte boundary, and the engine's work size W (which holds
// its own 16 bytes, so the engine's area may start 8 bytes off a boundary).
// Counted in 64 bits; a size beyond 32 bits is refused with -9.
template <class V>
qvls_status InitFloat(fft16_context* context, std::int32_t flag, Kind kind) {
  const FloatEngine& engine = FloatEngineOf<V>(kind);
  const qvls_status status = engine.create(&context->float_ctx, context->order, flag, 0);
  if (status != QVLS_OK) return status;
  std::int32_t engine_work = 0;
  engine.work_size(context->float_ctx, &engine_work);
  const std::int64_t bytes = FloatDataBytes(kind, context->order) + 16 + engine_work;
  if (bytes > INT32_MAX) return QVLS_ERR_MEM_ALLOCATED;
  context->work_size = static_cast<std::int32_t>(bytes);
  return QVLS_OK;
}

// Frees a context with everything it owns: the float context first.
template <class V>
void Release(fft16_context* context, Kind kind) {
  if (context->float_ctx != nullptr) FloatEngineOf<V>(kind).destroy(context->float_ctx);
  V::FreeContext(context);
}

template <class V>
qvls_status Create(fft16_context** out, std::int32_t order, std::int32_t flag, std::int32_t hint,
                   Kind kind) {
  if (out == nullptr) return QVLS_ERR_NULL_POINTER;
  if (order < 0 || order > kLargestOrder) return QVLS_ERR_FFT_ORDER;
  void* block = qvlsAlloc_u8_px(sizeof(fft16_context));
  if (block == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  auto* context = new (block) fft16_context{};
  context->id = static_cast<std::int32_t>(kind);
  context->order = order;
  context->hint = hint;
  const std::optional<Normalisation> normalisation = NormalisationOf(flag, order);
  if (!normalisation) {
    V::FreeContext(context);
    return QVLS_ERR_FFT_FLAG;
  }
  context->fwd_div_order = normalisation->fwd_div_order;
  context->odd_sqrt2 = normalisation->odd_sqrt2;
  if (order > 0) {
    qvls_status status;
    if (TakesFixedPath<V>(order, hint)) {
      context->fixed_path = 1;
      context->work_size = FixedWorkSize(kind, order);
      status = kind == Kind::kComplex ? V::InitFixed(context, order, nullptr, 0)
                                      : InitFixedReal<V>(context);
    } else {
      status = InitFloat<V>(context, flag, kind);
    }
    if (status != QVLS_OK) {
      Release<V>(context, kind);
      return status;
    }
  }
  *out = context;
  return QVLS_OK;
}

template <class V>
qvls_status Destroy(fft16_context* context, Kind kind) {
  if (context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != static_cast<std::int32_t>(kind)) return QVLS_ERR_CONTEXT_MISMATCH;
  Release<V>(context, kind);
  return QVLS_OK;
}

inline qvls_status WorkSize(const fft16_context* context, std::int32_t* out, Kind kind) {
  if (out == nullptr || context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != static_cast<std::int32_t>(kind)) return QVLS_ERR_CONTEXT_MISMATCH;
  StoreAt(out, 0, context->work_size);
  return QVLS_OK;
}

// Order 0: the one value (two parts, or one sample) through the rounding
// shift by sf alone, whatever the flag; a real result's second value is 0.
template <class V>
void ForwardOrderZero(const std::int16_t* src, std::int16_t* dst, std::int32_t sf, Kind kind) {
  const std::int32_t count = kind == Kind::kComplex ? 2 : 1;
  const std::int32_t values[2] = {LoadAt(src, 0), count == 2 ? LoadAt(src, 1) : 0};
  V::RoundShift(values, dst, count, ClampedShift(sf));
  if (kind == Kind::kReal) StoreAt<std::int16_t>(dst, 1, 0);
}

// The pre-shift leaves room for N-fold growth of full-scale real input. A
// complex input can need more: its values may add up to Σ(|re| + |im|)
// times 2^p, which wraps once that sum exceeds 2^(15 + order). The data
// pump's complex inputs stay below it.
template <class V>
void ForwardFixedComplex(const std::int16_t* src, std::int16_t* dst, const fft16_context& context,
                         std::int32_t sf, std::int32_t* data) {
  const std::int32_t n = std::int32_t{1} << context.order;
  const std::int32_t p = 16 - context.order;
  V::PreShift(src, data, 2 * n, p);
  V::Passes(data, n, context.twiddles);
  if (context.odd_sqrt2 != 0) V::MulInvSqrt2(data, 2 * n);
  V::Permute(data, n, context.swap_list);
  V::RoundShift(data, dst, 2 * n, ClampedShift(std::int64_t{context.fwd_div_order} + sf + p));
}

template <class V>
void ForwardFixedReal(const std::int16_t* src, std::int16_t* dst, const fft16_context& context,
                      std::int32_t sf, std::int32_t* data) {
  const std::int32_t n = std::int32_t{1} << context.order;
  const std::int32_t half = n / 2;
  const std::int32_t p = 16 - context.order;
  V::PreShift(src, data, n, p);
  if (half > 1) {
    V::Passes(data, half, context.twiddles);
    V::Permute(data, half, context.swap_list);
    V::Recombine(data, half, context.real_twiddles);
  }
  const std::int32_t a = data[0];
  const std::int32_t b = data[1];
  data[0] = WrapAdd32(a, b);  // X(0)
  data[1] = WrapSub32(a, b);  // X(N/2)
  if (context.odd_sqrt2 != 0) V::MulInvSqrt2(data, n);
  V::RoundShift(data, dst, n, ClampedShift(std::int64_t{context.fwd_div_order} + sf + p));
  StoreAt(dst, n, LoadAt(dst, 1));
  StoreAt<std::int16_t>(dst, n + 1, 0);
  StoreAt<std::int16_t>(dst, 1, 0);
}

// The conversion into floats cannot fail here (both pointers are set, the
// count is 2 or more); the engine's status is passed on, dst not written.
template <class V>
qvls_status ForwardFloat(const std::int16_t* src, std::int16_t* dst, const fft16_context& context,
                         std::int32_t sf, std::uint8_t* work, Kind kind) {
  const std::int32_t n = std::int32_t{1} << context.order;
  const bool complex = kind == Kind::kComplex;
  auto* data = reinterpret_cast<float*>(work);
  V::ToFloat(src, data, complex ? 2 * n : n);
  const qvls_status status = FloatEngineOf<V>(kind).forward(
      data, data, context.float_ctx, work + FloatDataBytes(kind, context.order));
  if (status != QVLS_OK) return status;
  V::ToInt16(data, dst, complex ? 2 * n : n + 2, QVLS_ROUND_NEAREST, sf);
  return QVLS_OK;
}

// Checks in order: the context (null, then its kind), then src and dst. The
// source is read completely into the work buffer before dst is written, so
// the two may be the same buffer.
template <class V>
qvls_status Forward(const std::int16_t* src, std::int16_t* dst, const fft16_context* context,
                    std::int32_t sf, std::uint8_t* work, Kind kind) {
  if (context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != static_cast<std::int32_t>(kind)) return QVLS_ERR_CONTEXT_MISMATCH;
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->order == 0) {
    ForwardOrderZero<V>(src, dst, sf, kind);
    return QVLS_OK;
  }
  const transforms::WorkArea work_area(work, context->work_size);
  if (work_area.missing()) return QVLS_ERR_MEM_ALLOCATED;
  if (context->fixed_path == 0) {
    return ForwardFloat<V>(src, dst, *context, sf, work_area.data(), kind);
  }
  auto* data = reinterpret_cast<std::int32_t*>(work_area.data());
  if (kind == Kind::kComplex) {
    ForwardFixedComplex<V>(src, dst, *context, sf, data);
  } else {
    ForwardFixedReal<V>(src, dst, *context, sf, data);
  }
  return QVLS_OK;
}

}  // namespace qvls::fft16

// The entries of variant `tag` over its policy V: both creates, destroys and
// forwards, and the fixed-point table set-up.
#define QVLS_DEFINE_FFT16_ENTRIES(tag, V)                                                          \
  qvls_status qvlsFFTCreate_ci16_##tag(fft16_context** out, std::int32_t order, std::int32_t flag, \
                                       std::int32_t hint) {                                        \
    return qvls::fft16::Create<V>(out, order, flag, hint, qvls::fft16::Kind::kComplex);            \
  }                                                                                                \
  qvls_status qvlsFFTCreate_i16_##tag(fft16_context** out, std::int32_t order, std::int32_t flag,  \
                                      std::int32_t hint) {                                         \
    return qvls::fft16::Create<V>(out, order, flag, hint, qvls::fft16::Kind::kReal);               \
  }                                                                                                \
  qvls_status qvlsFFTDestroy_ci16_##tag(fft16_context* context) {                                  \
    return qvls::fft16::Destroy<V>(context, qvls::fft16::Kind::kComplex);                          \
  }                                                                                                \
  qvls_status qvlsFFTDestroy_i16_##tag(fft16_context* context) {                                   \
    return qvls::fft16::Destroy<V>(context, qvls::fft16::Kind::kReal);                             \
  }                                                                                                \
  qvls_status qvlsFFTFwd_ci16_sc_##tag(const std::int16_t* src, std::int16_t* dst,                 \
                                       const fft16_context* context, std::int32_t sf,              \
                                       std::uint8_t* work) {                                       \
    return qvls::fft16::Forward<V>(src, dst, context, sf, work, qvls::fft16::Kind::kComplex);      \
  }                                                                                                \
  qvls_status qvlsFFTFwd_i16_sc_##tag(const std::int16_t* src, std::int16_t* dst,                  \
                                      const fft16_context* context, std::int32_t sf,               \
                                      std::uint8_t* work) {                                        \
    return qvls::fft16::Forward<V>(src, dst, context, sf, work, qvls::fft16::Kind::kReal);         \
  }                                                                                                \
  qvls_status qvlsFFTInitFixed_i16_##tag(fft16_context* context, std::int32_t table_order,         \
                                         const std::int16_t* sine, std::int32_t sine_order) {      \
    return qvls::fft16::InitFixed<V>(context, table_order, sine, sine_order);                      \
  }

// The work-size queries and the context free of variant `tag` (px, whose
// entries m6 and a6 run, and w7).
#define QVLS_DEFINE_FFT16_SHARED_ENTRIES(tag)                                                \
  qvls_status qvlsFFTWorkSize_ci16_##tag(const fft16_context* context, std::int32_t* size) { \
    return qvls::fft16::WorkSize(context, size, qvls::fft16::Kind::kComplex);                \
  }                                                                                          \
  qvls_status qvlsFFTWorkSize_i16_##tag(const fft16_context* context, std::int32_t* size) {  \
    return qvls::fft16::WorkSize(context, size, qvls::fft16::Kind::kReal);                   \
  }                                                                                          \
  void qvlsFFTFreeContext_i16_##tag(fft16_context* context) { qvls::fft16::FreeContext(context); }
