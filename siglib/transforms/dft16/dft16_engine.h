// The 16-bit DFT operations, one code over a variant policy V
// (dft16_<variant>.cpp):
//
//   struct V {
//     kEngine: the variant's float DFT (create, destroy, work size, transforms)
//     ToFloat, ToInt16                     (the float conversions)
//     RoundShift                           (length 1)
//   };
//
// A transform of L >= 2 converts the 2L values exactly into floats at the
// start of the work area, runs the engine in place there (it applies the
// flag's factor) with the rest of the work area as its own, and converts
// back times 2^-sf, rounded to nearest with ties to even and saturated.
#pragma once

#include <cstdint>
#include <new>

#include "siglib/convert/convert.h"
#include "siglib/frame/unaligned.h"
#include "siglib/memory/memory.h"
#include "siglib/transforms/dft16/dft16.h"
#include "siglib/transforms/dft_context/dft_context.h"
#include "siglib/transforms/dft_context/table_blocks.h"
#include "siglib/transforms/direction.h"
#include "siglib/transforms/rounding_shift.h"
#include "siglib/transforms/work_area.h"

namespace qvls::dft16 {

using transforms::Direction;

// The hint the engine always gets.
inline constexpr std::int32_t kEngineHint = 1;

// The float DFT operations of a variant.
struct FloatEngine {
  qvlsDFTCreate_cf32_fn* create;
  qvlsDFTDestroy_cf32_fn* destroy;
  qvlsDFTWorkSize_cf32_fn* work_size;
  transforms::ByDirection<qvlsDFTFwd_cf32_fn> transform;
};

// Frees a context with everything it owns: the engine's context first.
template <class V>
void Release(dft16_context* context) {
  if (context->float_ctx != nullptr) V::kEngine.destroy(context->float_ctx);
  context->id = 0;
  qvlsFree_px(context);
}

// The engine's context and the work size 8L + 16 + W: the floats, 16 bytes
// for rounding a caller's buffer up to a 16-byte boundary, and the engine's
// own W, whose 16 spare bytes cover the 8 by which its area may start off a
// boundary (odd L). Counted in 64 bits: -9 before the engine is created
// when 8L + 16 does not fit 32 bits, and after it when the whole does not.
template <class V>
qvls_status InitEngine(dft16_context* context, std::int32_t flag) {
  const std::int64_t data = 8 * std::int64_t{context->length} + 16;
  if (!dft::FitsSize(data)) return QVLS_ERR_MEM_ALLOCATED;
  const qvls_status status =
      V::kEngine.create(&context->float_ctx, context->length, flag, kEngineHint);
  if (status != QVLS_OK) return status;
  std::int32_t engine_work = 0;
  V::kEngine.work_size(context->float_ctx, &engine_work);
  const std::int64_t bytes = data + engine_work;
  if (!dft::FitsSize(bytes)) return QVLS_ERR_MEM_ALLOCATED;
  context->work_size = static_cast<std::int32_t>(bytes);
  return QVLS_OK;
}

// Checks in order: out, length (before anything is allocated), the
// allocation; then the engine checks the flag (L >= 2; length 1 takes any
// flag). A failed create leaves *out as it was and frees all it allocated.
template <class V>
qvls_status Create(dft16_context** out, std::int32_t length, std::int32_t flag, std::int32_t hint) {
  if (out == nullptr) return QVLS_ERR_NULL_POINTER;
  if (length <= 0) return QVLS_ERR_DATA_SIZE;
  void* block = qvlsAlloc_u8_px(sizeof(dft16_context));
  if (block == nullptr) return QVLS_ERR_MEM_ALLOCATED;
  auto* context = new (block) dft16_context{};
  context->id = QVLS_ID_DFT16;
  context->length = length;
  context->hint = hint;
  if (length > 1) {
    const qvls_status status = InitEngine<V>(context, flag);
    if (status != QVLS_OK) {
      Release<V>(context);
      return status;
    }
  }
  *out = context;
  return QVLS_OK;
}

template <class V>
qvls_status Destroy(dft16_context* context) {
  if (context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != QVLS_ID_DFT16) return QVLS_ERR_CONTEXT_MISMATCH;
  Release<V>(context);
  return QVLS_OK;
}

inline qvls_status WorkSize(const dft16_context* context, std::int32_t* out) {
  if (out == nullptr || context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != QVLS_ID_DFT16) return QVLS_ERR_CONTEXT_MISMATCH;
  StoreAt(out, 0, context->work_size);
  return QVLS_OK;
}

// Checks in order: the context (null, then its identifier), src, dst. Length
// 1: both parts through the rounding shift by sf (ties toward +infinity),
// no flag and no work buffer. Otherwise the source is read completely into
// the work buffer before dst is written (the two may be the same buffer);
// when the engine fails, dst is not written.
template <class V, Direction D>
qvls_status Transform(const std::int16_t* src, std::int16_t* dst, const dft16_context* context,
                      std::int32_t sf, std::uint8_t* work) {
  if (context == nullptr) return QVLS_ERR_NULL_POINTER;
  if (context->id != QVLS_ID_DFT16) return QVLS_ERR_CONTEXT_MISMATCH;
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  const std::int32_t values = 2 * context->length;
  if (context->length == 1) {
    const std::int32_t wide[2] = {LoadAt(src, 0), LoadAt(src, 1)};
    V::RoundShift(wide, dst, 2, transforms::ClampedShift(sf));
    return QVLS_OK;
  }
  const transforms::WorkArea area(work, context->work_size);
  if (area.missing()) return QVLS_ERR_MEM_ALLOCATED;
  auto* data = reinterpret_cast<float*>(area.data());
  V::ToFloat(src, data, values);
  const qvls_status status = V::kEngine.transform.template Get<D>()(
      data, data, context->float_ctx, area.data() + 4 * std::int64_t{values});
  if (status != QVLS_OK) return status;
  V::ToInt16(data, dst, values, QVLS_ROUND_NEAREST, sf);
  return QVLS_OK;
}

}  // namespace qvls::dft16

// The entries of variant `tag` over its policy V.
#define QVLS_DEFINE_DFT16_ENTRIES(tag, V)                                                     \
  qvls_status qvlsDFTCreate_ci16_##tag(dft16_context** out, std::int32_t length,              \
                                       std::int32_t flag, std::int32_t hint) {                \
    return qvls::dft16::Create<V>(out, length, flag, hint);                                   \
  }                                                                                           \
  qvls_status qvlsDFTDestroy_ci16_##tag(dft16_context* context) {                             \
    return qvls::dft16::Destroy<V>(context);                                                  \
  }                                                                                           \
  qvls_status qvlsDFTFwd_ci16_sc_##tag(const std::int16_t* src, std::int16_t* dst,            \
                                       const dft16_context* context, std::int32_t sf,         \
                                       std::uint8_t* work) {                                  \
    return qvls::dft16::Transform<V, qvls::dft16::Direction::kForward>(src, dst, context, sf, \
                                                                       work);                 \
  }                                                                                           \
  qvls_status qvlsDFTInv_ci16_sc_##tag(const std::int16_t* src, std::int16_t* dst,            \
                                       const dft16_context* context, std::int32_t sf,         \
                                       std::uint8_t* work) {                                  \
    return qvls::dft16::Transform<V, qvls::dft16::Direction::kInverse>(src, dst, context, sf, \
                                                                       work);                 \
  }

// The work-size query of variant `tag` (px, whose query m6 and a6 run, and
// w7).
#define QVLS_DEFINE_DFT16_WORK_SIZE(tag)                                                     \
  qvls_status qvlsDFTWorkSize_ci16_##tag(const dft16_context* context, std::int32_t* size) { \
    return qvls::dft16::WorkSize(context, size);                                             \
  }
