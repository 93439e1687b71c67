// How every SIMD kernel of the family walks a vector: a head of single
// elements until the destination is on the kernel's boundary, a loop of whole
// steps in packed registers, a tail of single elements. The loop runs only
// when the vector holds one step plus the largest possible head, so a full
// step always follows the head; shorter vectors go element by element. A
// destination off its elements' natural boundary (an odd address for 16-bit
// elements) never reaches the kernel's boundary: it has no head, and the loop
// uses unaligned accesses.
#pragma once

#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "siglib/arith/packed_ops.h"
#include "siglib/memory/alignment.h"

namespace qvls::arith {

struct Split {
  std::int32_t head;  // single elements before the loop
  std::int32_t end;   // the loop covers [head, end); single elements follow
  bool aligned;       // the destination is on the boundary from head on
};

template <class T>
Split PlanSplit(const T* dst, std::int32_t len, std::int32_t step, std::size_t boundary) {
  const auto largest_head = static_cast<std::int32_t>(boundary / sizeof(T)) - 1;
  if (len < step + largest_head) return {len, len, false};
  const std::int32_t head = ElementsToBoundary(dst, sizeof(T), boundary, len);
  return {head, head + (len - head) / step * step, IsOnBoundary(dst + head, boundary)};
}

// single(i) for the head and the tail; steps(begin, end, aligned) runs the
// loop over [begin, end).
template <class T, class Single, class Steps>
void RunSplit(const T* dst, std::int32_t len, std::int32_t step, std::size_t boundary,
              Single&& single, Steps&& steps) {
  const Split split = PlanSplit(dst, len, step, boundary);
  for (std::int32_t i = 0; i < split.head; ++i) single(i);
  if (split.end > split.head) steps(split.head, split.end, split.aligned);
  for (std::int32_t i = split.end; i < len; ++i) single(i);
}

// Calls body(std::bool_constant<f>{}...) with each run-time flag turned into
// a compile-time one, so every combination gets a loop of its own.
template <class Body>
void WithFlags(Body&& body) {
  body();
}
template <class Body, class... Rest>
void WithFlags(Body&& body, bool first, Rest... rest) {
  if (first) {
    WithFlags([&](auto... more) { body(std::true_type{}, more...); }, rest...);
  } else {
    WithFlags([&](auto... more) { body(std::false_type{}, more...); }, rest...);
  }
}

// Prefetch hints 128 bytes ahead of a vector's current position.
enum class Prefetch { kNone, kNonTemporal, kCached };

template <Prefetch kHint>
void PrefetchAhead(const void* p) {
  // The address may lie past the vector's end; a prefetch never faults, and
  // the address is formed as an integer, never as a pointer past the object.
  const auto* ahead = reinterpret_cast<const char*>(AddressOf(p) + 128);
  if constexpr (kHint == Prefetch::kNonTemporal) _mm_prefetch(ahead, _MM_HINT_NTA);
  if constexpr (kHint == Prefetch::kCached) _mm_prefetch(ahead, _MM_HINT_T0);
}

// Software-pipelined stores of the 64-bit kernels: the last block of a step
// is held and stored during the next step; Flush stores what is held.
class DelayedStore {
 public:
  void Hold(void* at, __m64 v) {
    Flush();
    at_ = at;
    value_ = v;
  }
  void Flush() {
    if (at_ != nullptr) Store(at_, value_);
    at_ = nullptr;
  }

 private:
  void* at_ = nullptr;
  __m64 value_ = _mm_setzero_si64();
};

// What a loop without pipelined stores holds: nothing.
struct NoDelayedStore {};

}  // namespace qvls::arith
