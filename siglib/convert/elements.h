// What the conversions share: element access at any address (a vector of
// 16- or 32-bit values need not lie on its natural boundary; the frame's
// LoadAt and StoreAt) and the argument checks of the checked entries, in
// their order: src null -8, dst null -8, len <= 0 -6; nothing is written
// when one fails.
#pragma once

#include <cstdint>

#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::convert {

using qvls::LoadAt;
using qvls::StoreAt;

// Calls kernel(src, dst, len, more...) once the checks pass.
template <auto kernel, class Source, class Destination, class... More>
qvls_status Checked(const Source* src, Destination* dst, std::int32_t len, More... more) {
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  kernel(src, dst, len, more...);
  return QVLS_OK;
}

}  // namespace qvls::convert

// The three checked slot entries of one variant (tag px, m6, a6 or w7) over
// its widening, narrowing and flip routines.
#define QVLS_DEFINE_INTEGER_CONVERSIONS(tag, widen, narrow, flip)                                \
  qvls_status qvlsConvert_i16toi32_##tag(const std::int16_t* src, std::int32_t* dst,             \
                                         std::int32_t len) {                                     \
    return qvls::convert::Checked<widen>(src, dst, len);                                         \
  }                                                                                              \
  qvls_status qvlsConvert_i32toi16_##tag(const std::int32_t* src, std::int16_t* dst,             \
                                         std::int32_t len) {                                     \
    return qvls::convert::Checked<narrow>(src, dst, len);                                        \
  }                                                                                              \
  qvls_status qvlsFlip_i16_##tag(const std::int16_t* src, std::int16_t* dst, std::int32_t len) { \
    return qvls::convert::Checked<flip>(src, dst, len);                                          \
  }
