// The 16-bit DFT operations (slots s5-s7, s65 and s66): transforms of any
// length L on complex 16-bit data through the float DFT engine
// (dft_context/), the result scaled by 2^-sf, rounded to nearest with ties
// to even and saturated. Length 1 is a rounding shift of its one value.
#pragma once

#include <cstdint>

#include "siglib/frame/slot_list.h"

struct dft_context;

inline constexpr std::int32_t QVLS_ID_DFT16 = 10;

// Created complete by a create operation and only read until the matching
// destroy, which sets `id` to 0 just before the memory goes back to the
// pool. A context is used only by the variant that created it.
struct dft16_context {
  std::int32_t id;         // QVLS_ID_DFT16; 0 once freed
  std::int32_t length;     // L >= 1
  std::int32_t hint;       // the caller's hint, stored; nothing reads it
  std::int32_t work_size;  // bytes of work buffer one transform needs; 0 for L = 1
  dft_context* float_ctx;  // the engine's context (the caller's flag, hint 1); null for L = 1
};

// The slot entries. px's work-size query serves m6 and a6.
#define QVLS_DECLARE_DFT16_ENTRIES(tag)             \
  qvlsDFTCreate_ci16_fn qvlsDFTCreate_ci16_##tag;   \
  qvlsDFTDestroy_ci16_fn qvlsDFTDestroy_ci16_##tag; \
  qvlsDFTFwd_ci16_sc_fn qvlsDFTFwd_ci16_sc_##tag;   \
  qvlsDFTInv_ci16_sc_fn qvlsDFTInv_ci16_sc_##tag;
QVLS_DECLARE_DFT16_ENTRIES(px)
QVLS_DECLARE_DFT16_ENTRIES(m6)
QVLS_DECLARE_DFT16_ENTRIES(a6)
QVLS_DECLARE_DFT16_ENTRIES(w7)
#undef QVLS_DECLARE_DFT16_ENTRIES
qvlsDFTWorkSize_ci16_fn qvlsDFTWorkSize_ci16_px, qvlsDFTWorkSize_ci16_w7;
