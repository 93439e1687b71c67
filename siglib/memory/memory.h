// Aligned allocation and the block operations, as the other families and the
// data pump call them directly: the allocations, the release, and every
// processor variant's copy, zero and fill entries (qvlsZero_i32 has no slot
// but exists in the four variants like the others).
#pragma once

#include <cstddef>
#include <cstdint>

#include "siglib/frame/slot_list.h"

// The pool behind every aligned block: non-paged, tag "Ddk ". Null when the
// pool is exhausted.
void* qvlsPoolAlloc(std::size_t bytes);
void qvlsPoolFree(void* block);

// 32-byte aligned blocks of n elements, contents not cleared; null for n <= 0,
// for a count whose block would exceed 2^31 - 1 bytes, or an exhausted pool.
// The 8 bytes before the block hold the pool block's address.
qvlsAlloc_u8_fn qvlsAlloc_u8_px;
qvlsAlloc_i16_fn qvlsAlloc_i16_px;
std::int32_t* qvlsAlloc_i32(std::int32_t n);
qvls_ci32* qvlsAlloc_ci32(std::int32_t n);
// Returns a block of the four allocations to the pool; null does nothing.
qvlsFree_fn qvlsFree_px;

using qvlsZero_i32_fn = qvls_status(std::int32_t* dst, std::int32_t len);

// Each variant's block operations: null pointer -8, len <= 0 -6, else 0.
#define QVLS_DECLARE_BLOCK_ENTRIES(tag) \
  qvlsCopy_u8_fn qvlsCopy_u8_##tag;     \
  qvlsCopy_i16_fn qvlsCopy_i16_##tag;   \
  qvlsCopy_i32_fn qvlsCopy_i32_##tag;   \
  qvlsZero_u8_fn qvlsZero_u8_##tag;     \
  qvlsZero_i16_fn qvlsZero_i16_##tag;   \
  qvlsZero_i32_fn qvlsZero_i32_##tag;   \
  qvlsFill_i32_fn qvlsFill_i32_##tag;
QVLS_DECLARE_BLOCK_ENTRIES(px)
QVLS_DECLARE_BLOCK_ENTRIES(m6)
QVLS_DECLARE_BLOCK_ENTRIES(a6)
QVLS_DECLARE_BLOCK_ENTRIES(w7)
#undef QVLS_DECLARE_BLOCK_ENTRIES
