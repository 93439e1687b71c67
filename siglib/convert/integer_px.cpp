// Widening, narrowing and flip in the generic loops, five elements per step.
#include "siglib/convert/convert.h"
#include "siglib/convert/scalar_loops.h"

namespace {

using namespace qvls::convert;

void Widen(const std::int16_t* src, std::int32_t* dst, std::int32_t len) {
  WidenScalar(src, dst, static_cast<std::size_t>(len));
}

void Narrow(const std::int32_t* src, std::int16_t* dst, std::int32_t len) {
  NarrowScalar(src, dst, static_cast<std::size_t>(len));
}

void Flip(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  FlipScalar(src, dst, static_cast<std::size_t>(len));
}

}  // namespace

QVLS_DEFINE_INTEGER_CONVERSIONS(px, Widen, Narrow, Flip)
