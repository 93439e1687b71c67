// What every variant of up- and down-sampling shares: the argument checks,
// the generic loops, and the entries around a variant's copy and kernels.
//
// Up-sampling by f with phase p writes len * f samples: output p + i * f
// holds input i, every other output is 0; the phase is only read.
// Down-sampling by f keeps inputs p, p + f, ... and stores in the phase the
// index of the next input to keep, counted from the next block, so a stream
// cut into blocks of any length gives the output of the whole stream.
#pragma once

#include <cstdint>

#include "siglib/frame/slot_list.h"
#include "siglib/frame/unaligned.h"

namespace qvls::resample {

// The checks of both directions, in their order; nothing is written when
// one fails.
constexpr qvls_status Check(const std::int16_t* src, std::int32_t len, const std::int16_t* dst,
                            const std::int32_t* dst_len, std::int32_t factor,
                            const std::int32_t* phase) {
  if (src == nullptr || dst == nullptr || dst_len == nullptr || phase == nullptr) {
    return QVLS_ERR_NULL_POINTER;
  }
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  if (factor <= 0) return QVLS_ERR_SAMPLE_FACTOR;
  if (*phase < 0 || *phase >= factor) return QVLS_ERR_SAMPLE_PHASE;
  return QVLS_OK;
}

// Up-sampling also needs its output count, len * factor, to be a count: a
// larger product would run the writes past any destination.
constexpr qvls_status CheckUp(const std::int16_t* src, std::int32_t len, const std::int16_t* dst,
                              const std::int32_t* dst_len, std::int32_t factor,
                              const std::int32_t* phase) {
  if (const qvls_status status = Check(src, len, dst, dst_len, factor, phase); status != QVLS_OK) {
    return status;
  }
  if (std::int64_t{len} * factor > INT32_MAX) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

// Inputs from..to-1 to their outputs, zeros around them, one at a time.
inline void UpGeneric(const std::int16_t* src, std::int32_t from, std::int32_t to,
                      std::int16_t* dst, std::int32_t factor, std::int32_t phase) {
  for (std::int32_t i = from; i < to; ++i) {
    std::int16_t* group = dst + static_cast<std::int64_t>(i) * factor;
    for (std::int32_t k = 0; k < factor; ++k)
      StoreAt(group, k, k == phase ? LoadAt(src, i) : std::int16_t{0});
  }
}

// Down-sampling state: the next input to keep and the outputs written.
struct DownState {
  std::int64_t next;
  std::int32_t written;
};

// Keeps inputs next, next + factor, ... below len, one at a time.
inline void DownGeneric(const std::int16_t* src, std::int32_t len, std::int16_t* dst,
                        std::int32_t factor, DownState& s) {
  for (; s.next < len; s.next += factor) StoreAt(dst, s.written++, LoadAt(src, s.next));
}

using CopyFn = qvls_status(const std::int16_t* src, std::int16_t* dst, std::int32_t len);
using UpKernel = void(const std::int16_t* src, std::int32_t len, std::int16_t* dst,
                      std::int32_t factor, std::int32_t phase);
using DownKernel = void(const std::int16_t* src, std::int32_t len, std::int16_t* dst,
                        std::int32_t factor, DownState& s);

// Factor 1 copies through the variant's copy; other factors run Kernel.
// The output count is set before any sample is written.
template <CopyFn Copy, UpKernel Kernel>
qvls_status Upsample(const std::int16_t* src, std::int32_t len, std::int16_t* dst,
                     std::int32_t* dst_len, std::int32_t factor, const std::int32_t* phase) {
  if (const qvls_status status = CheckUp(src, len, dst, dst_len, factor, phase);
      status != QVLS_OK) {
    return status;
  }
  *dst_len = len * factor;
  if (factor == 1) return Copy(src, dst, len);
  Kernel(src, len, dst, factor, *phase);
  return QVLS_OK;
}

template <CopyFn Copy, DownKernel Kernel>
qvls_status Downsample(const std::int16_t* src, std::int32_t len, std::int16_t* dst,
                       std::int32_t* dst_len, std::int32_t factor, std::int32_t* phase) {
  if (const qvls_status status = Check(src, len, dst, dst_len, factor, phase); status != QVLS_OK) {
    return status;
  }
  if (factor == 1) {
    *dst_len = len;
    return Copy(src, dst, len);
  }
  DownState s{*phase, 0};
  Kernel(src, len, dst, factor, s);
  *dst_len = s.written;
  *phase = static_cast<std::int32_t>(s.next - len);
  return QVLS_OK;
}

inline void UpAll(const std::int16_t* src, std::int32_t len, std::int16_t* dst, std::int32_t factor,
                  std::int32_t phase) {
  UpGeneric(src, 0, len, dst, factor, phase);
}

}  // namespace qvls::resample

// The entries of a variant that runs the generic loops (tag px, m6 or a6).
#define QVLS_DEFINE_GENERIC_RESAMPLE_ENTRIES(tag)                                                  \
  qvls_status qvlsUpsample_i16_##tag(const std::int16_t* src, std::int32_t len, std::int16_t* dst, \
                                     std::int32_t* dst_len, std::int32_t factor,                   \
                                     const std::int32_t* phase) {                                  \
    return qvls::resample::Upsample<qvlsCopy_i16_##tag, qvls::resample::UpAll>(                    \
        src, len, dst, dst_len, factor, phase);                                                    \
  }                                                                                                \
  qvls_status qvlsDownsample_i16_##tag(const std::int16_t* src, std::int32_t len,                  \
                                       std::int16_t* dst, std::int32_t* dst_len,                   \
                                       std::int32_t factor, std::int32_t* phase) {                 \
    return qvls::resample::Downsample<qvlsCopy_i16_##tag, qvls::resample::DownGeneric>(            \
        src, len, dst, dst_len, factor, phase);                                                    \
  }
