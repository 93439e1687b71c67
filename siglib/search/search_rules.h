// What every variant of the searches shares: the argument checks, the
// comparison of a minimum or a maximum, the generic walk that keeps the
// first occurrence, the split of a vector for the block searches, the
// nearest-value search and the entries around a variant's kernels.
#pragma once

#include <cstdint>

#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"
#include "siglib/memory/alignment.h"

namespace qvls::search {

enum class Extreme { kMin, kMax };

// Whether x replaces the candidate: strictly smaller (larger).
template <Extreme kExtreme>
constexpr bool Beats(std::int16_t x, std::int16_t candidate) {
  return kExtreme == Extreme::kMin ? x < candidate : x > candidate;
}

template <Extreme kExtreme>
constexpr std::int16_t Better(std::int16_t x, std::int16_t y) {
  return Beats<kExtreme>(x, y) ? x : y;
}

// The running candidate of an index search.
struct Found {
  std::int16_t value;
  std::int32_t index;
};

// Elements from..to-1 one at a time, replacing the candidate only on a
// strict improvement, so the first occurrence wins.
template <Extreme kExtreme>
void Walk(const std::int16_t* p, std::int32_t from, std::int32_t to, Found& found) {
  for (std::int32_t i = from; i < to; ++i) {
    const std::int16_t x = LoadAt(p, i);
    if (Beats<kExtreme>(x, found.value)) found = {x, i};
  }
}

// The extreme of from..to-1 (at least one element) without its index.
template <Extreme kExtreme>
std::int16_t SingleExtreme(const std::int16_t* p, std::int32_t from, std::int32_t to) {
  std::int16_t best = LoadAt(p, from);
  for (std::int32_t i = from + 1; i < to; ++i) best = Better<kExtreme>(LoadAt(p, i), best);
  return best;
}

// The index searches of the SIMD variants: the generic walk below 32
// elements; otherwise single elements until the vector is 8-byte aligned,
// blocks of at most kBlock elements over a multiple of kGroup elements
// (Block(p, start, count, found) compares each block's extreme with the
// candidate and takes it only when strictly better), and a final walk.
using BlockSearchFn = void(const std::int16_t* p, std::int32_t start, std::int32_t count,
                           Found& found);

template <Extreme kExtreme, std::int32_t kGroup, std::int32_t kBlock, BlockSearchFn Block>
Found SearchInBlocks(const std::int16_t* p, std::int32_t len) {
  Found found{LoadAt(p, 0), 0};
  if (len < 32) {
    Walk<kExtreme>(p, 1, len, found);
    return found;
  }
  const std::int32_t head = ElementsToBoundary(p, sizeof *p, 8, len);
  Walk<kExtreme>(p, 1, head, found);
  const std::int32_t end = len - (len - head) % kGroup;
  for (std::int32_t start = head; start < end; start += kBlock) {
    Block(p, start, end - start < kBlock ? end - start : kBlock, found);
  }
  Walk<kExtreme>(p, end, len, found);
  return found;
}

// The nearest table entry to v: index 0 for a one-entry table or v at most
// the first entry, the last index for v at least the last entry, otherwise
// the last entry at most v or the next one, whichever is nearer; a value
// half-way takes the lower entry. Any table order keeps the reads inside.
inline std::int32_t NearestIndex(std::uint16_t v, const std::uint16_t* table, std::int32_t n) {
  if (n == 1 || v <= LoadAt(table, 0)) return 0;
  if (v >= LoadAt(table, n - 1)) return n - 1;
  std::int32_t base = 0;
  std::int32_t span = n - 1;
  while (span > 1) {
    const std::int32_t half = span / 2;
    if (v < LoadAt(table, base + half)) {
      span = half;
    } else {
      base += half;
      span -= half;
    }
  }
  const std::int32_t below = v - LoadAt(table, base);
  const std::int32_t above = LoadAt(table, base + 1) - v;
  return below <= above ? base : base + 1;
}

// ---- entries around a variant's kernels ---------------------------------------

constexpr qvls_status Check(const void* src, std::int32_t len, const void* result) {
  if (src == nullptr || result == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

template <std::int16_t Kernel(const std::int16_t*, std::int32_t)>
qvls_status ExtremeOf(const std::int16_t* src, std::int32_t len, std::int16_t* result) {
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  *result = Kernel(src, len);
  return QVLS_OK;
}

// Without an index pointer the operation is the plain minimum or maximum.
template <Found Kernel(const std::int16_t*, std::int32_t),
          qvls_status Plain(const std::int16_t*, std::int32_t, std::int16_t*)>
qvls_status ExtremeWithIndexOf(const std::int16_t* src, std::int32_t len, std::int16_t* result,
                               std::int32_t* index) {
  if (index == nullptr) return Plain(src, len, result);
  if (const qvls_status status = Check(src, len, result); status != QVLS_OK) return status;
  const Found found = Kernel(src, len);
  *result = found.value;
  *index = found.index;
  return QVLS_OK;
}

inline qvls_status Nearest(std::uint32_t value, std::uint16_t* result, std::int32_t* index,
                           const std::uint16_t* table, std::int32_t table_len) {
  if (result == nullptr || index == nullptr || table == nullptr) return QVLS_ERR_NULL_POINTER;
  if (table_len <= 0) return QVLS_ERR_DATA_SIZE;
  const std::int32_t k = NearestIndex(static_cast<std::uint16_t>(value), table, table_len);
  *result = LoadAt(table, k);
  *index = k;
  return QVLS_OK;
}

// The vector form, each variant's own copy (Tag tells them apart). Each
// element is read before its results are stored, so `result` may be `src`.
// A one-entry table fills both outputs, five elements per step.
template <int Tag>
qvls_status NearestVec(const std::uint16_t* src, std::uint16_t* result, std::int32_t* index,
                       std::int32_t len, const std::uint16_t* table, std::int32_t table_len) {
  if (src == nullptr || result == nullptr || index == nullptr || table == nullptr) {
    return QVLS_ERR_NULL_POINTER;
  }
  if (len <= 0 || table_len <= 0) return QVLS_ERR_DATA_SIZE;
  if (table_len == 1) {
    const std::uint16_t only = LoadAt(table, 0);
    std::int32_t i = 0;
    for (; len - i >= 5; i += 5) {
      for (std::int32_t k = i; k < i + 5; ++k) {
        StoreAt(result, k, only);
        StoreAt(index, k, 0);
      }
    }
    for (; i < len; ++i) {
      StoreAt(result, i, only);
      StoreAt(index, i, 0);
    }
    return QVLS_OK;
  }
  for (std::int32_t i = 0; i < len; ++i) {
    const std::int32_t k = NearestIndex(LoadAt(src, i), table, table_len);
    StoreAt(result, i, LoadAt(table, k));
    StoreAt(index, i, k);
  }
  return QVLS_OK;
}

}  // namespace qvls::search

#define QVLS_DEFINE_NEAREST_ENTRY(tag)                                               \
  qvls_status qvlsNearest_u16_##tag(std::uint32_t value, std::uint16_t* result,      \
                                    std::int32_t* index, const std::uint16_t* table, \
                                    std::int32_t table_len) {                        \
    return qvls::search::Nearest(value, result, index, table, table_len);            \
  }
#define QVLS_DEFINE_NEAREST_VEC_ENTRY(tag, column)                                           \
  qvls_status qvlsNearestVec_u16_##tag(const std::uint16_t* src, std::uint16_t* result,      \
                                       std::int32_t* index, std::int32_t len,                \
                                       const std::uint16_t* table, std::int32_t table_len) { \
    return qvls::search::NearestVec<column>(src, result, index, len, table, table_len);      \
  }

// The plain and the index entries of minimum and maximum for one variant.
#define QVLS_DEFINE_EXTREME_ENTRIES(tag, min_kernel, max_kernel)                                   \
  qvls_status qvlsMin_i16_##tag(const std::int16_t* src, std::int32_t len, std::int16_t* result) { \
    return qvls::search::ExtremeOf<min_kernel>(src, len, result);                                  \
  }                                                                                                \
  qvls_status qvlsMax_i16_##tag(const std::int16_t* src, std::int32_t len, std::int16_t* result) { \
    return qvls::search::ExtremeOf<max_kernel>(src, len, result);                                  \
  }
#define QVLS_DEFINE_INDEX_ENTRIES(tag, min_kernel, max_kernel)                               \
  qvls_status qvlsMinWithIndex_i16_##tag(const std::int16_t* src, std::int32_t len,          \
                                         std::int16_t* result, std::int32_t* index) {        \
    return qvls::search::ExtremeWithIndexOf<min_kernel, qvlsMin_i16_##tag>(src, len, result, \
                                                                           index);           \
  }                                                                                          \
  qvls_status qvlsMaxWithIndex_i16_##tag(const std::int16_t* src, std::int32_t len,          \
                                         std::int16_t* result, std::int32_t* index) {        \
    return qvls::search::ExtremeWithIndexOf<max_kernel, qvlsMax_i16_##tag>(src, len, result, \
                                                                           index);           \
  }
