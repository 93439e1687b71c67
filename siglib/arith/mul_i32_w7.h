// w7's 32-bit multiplication, in double precision (mul_i32_w7.cpp).
#pragma once

#include <cstdint>

#include "siglib/arith/arith_rules.h"

namespace qvls::arith::w7 {

// dst[k] = srcA[k] * srcB[k] times 2^-sf, for -31 <= sf <= 62 (see the source).
void MulDouble32(const ProductOperands<std::int32_t, VectorOperand<std::int32_t>>& o,
                 std::int32_t len, std::int32_t sf);

}  // namespace qvls::arith::w7
