// The generic element loops of widening, narrowing and flip: five elements
// per step while at least six remain, then one at a time. px runs them, m6
// runs them where its packed path does not apply, and the other variants use
// the single-element forms for their heads and tails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "siglib/convert/elements.h"
#include "siglib/frame/integer_rules.h"

namespace qvls::convert {

inline void WidenOne(const std::int16_t* src, std::int32_t* dst, std::size_t i) {
  StoreAt(dst, i, std::int32_t{LoadAt(src, i)});
}

inline void NarrowOne(const std::int32_t* src, std::int16_t* dst, std::size_t i) {
  StoreAt(dst, i, Saturate16(LoadAt(src, i)));
}

// Element i of the source to place len - 1 - i of the destination.
inline void FlipOne(const std::int16_t* src, std::int16_t* dst, std::size_t len, std::size_t i) {
  StoreAt(dst, len - 1 - i, LoadAt(src, i));
}

template <class Step>
void ByFives(std::size_t len, Step step) {
  std::size_t i = 0;
  for (; len - i >= 6; i += 5) {
    step(i);
    step(i + 1);
    step(i + 2);
    step(i + 3);
    step(i + 4);
  }
  for (; i < len; ++i) step(i);
}

inline void WidenScalar(const std::int16_t* src, std::int32_t* dst, std::size_t len) {
  ByFives(len, [=](std::size_t i) { WidenOne(src, dst, i); });
}

inline void NarrowScalar(const std::int32_t* src, std::int16_t* dst, std::size_t len) {
  ByFives(len, [=](std::size_t i) { NarrowOne(src, dst, i); });
}

// The source in increasing order, the destination walked backward.
inline void FlipScalar(const std::int16_t* src, std::int16_t* dst, std::size_t len) {
  ByFives(len, [=](std::size_t i) { FlipOne(src, dst, len, i); });
}

}  // namespace qvls::convert
