// The memory family's slots: the allocations and the release run the px
// entry in every column; copy, zero and fill have an entry per variant.
#pragma once

#include "siglib/frame/entries.h"
#include "siglib/memory/memory.h"

QVLS_VARIANT_ENTRIES(qvlsAlloc_u8, qvlsAlloc_u8_px, qvlsAlloc_u8_px, qvlsAlloc_u8_px,
                     qvlsAlloc_u8_px);
QVLS_VARIANT_ENTRIES(qvlsAlloc_i16, qvlsAlloc_i16_px, qvlsAlloc_i16_px, qvlsAlloc_i16_px,
                     qvlsAlloc_i16_px);
QVLS_VARIANT_ENTRIES(qvlsFree, qvlsFree_px, qvlsFree_px, qvlsFree_px, qvlsFree_px);
QVLS_VARIANT_ENTRIES(qvlsCopy_u8, qvlsCopy_u8_px, qvlsCopy_u8_m6, qvlsCopy_u8_a6, qvlsCopy_u8_w7);
QVLS_VARIANT_ENTRIES(qvlsCopy_i16, qvlsCopy_i16_px, qvlsCopy_i16_m6, qvlsCopy_i16_a6,
                     qvlsCopy_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsCopy_i32, qvlsCopy_i32_px, qvlsCopy_i32_m6, qvlsCopy_i32_a6,
                     qvlsCopy_i32_w7);
QVLS_VARIANT_ENTRIES(qvlsZero_u8, qvlsZero_u8_px, qvlsZero_u8_m6, qvlsZero_u8_a6, qvlsZero_u8_w7);
QVLS_VARIANT_ENTRIES(qvlsZero_i16, qvlsZero_i16_px, qvlsZero_i16_m6, qvlsZero_i16_a6,
                     qvlsZero_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFill_i32, qvlsFill_i32_px, qvlsFill_i32_m6, qvlsFill_i32_a6,
                     qvlsFill_i32_w7);
