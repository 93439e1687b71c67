// Every operation of the family as each column's entry runs it: the checks,
// the short cuts, the path by sf (chosen once per call), then the column's
// kernel of that path. A Column names its own zero and copy operations, its
// absolute value, and runs the kernel of each kind of operands (Kind) and
// rule:
//
//   struct Column : ShortCutOperations<qvlsZero_i16_m6, qvlsZero_i32_m6, qvlsCopy_i16_m6> {
//     template <class Operands, class Rule>
//     static void Run(const Operands& o, std::int32_t len, const Rule& rule);
//     static void Abs(std::int16_t* srcdst, std::int32_t len);
//   };
#pragma once

#include <cstdint>

#include "siglib/arith/arith_rules.h"
#include "siglib/frame/types.h"
#include "siglib/memory/memory.h"

namespace qvls::arith {

// The block operations that a column's short cuts call: its own.
template <qvlsZero_i16_fn* kZero16Of, qvlsZero_i32_fn* kZero32Of, qvlsCopy_i16_fn* kCopy16Of>
struct ShortCutOperations {
  static constexpr qvlsZero_i16_fn* kZero16 = kZero16Of;
  static constexpr qvlsZero_i32_fn* kZero32 = kZero32Of;
  static constexpr qvlsCopy_i16_fn* kCopy16 = kCopy16Of;
};

using Int16Vector = VectorOperand<std::int16_t>;
using Int32Vector = VectorOperand<std::int32_t>;

// The column's kernel of sf's path; beyond a shift by largest_shift the
// sign path.
template <class Column, class Operands>
void RunScaled(const Operands& o, std::int32_t len, std::int32_t sf, std::int32_t largest_shift) {
  WithScaleRule<typename Operands::Result>(sf, largest_shift,
                                           [&](const auto& rule) { Column::Run(o, len, rule); });
}

// ---- add and subtract -------------------------------------------------------

// qvlsAdd_i16_ip_sc, qvlsSub_i16_ip_sc: srcdst = scaled (srcdst op src).
template <class Column, Op kOp>
qvls_status ScaledAddSub16(const std::int16_t* src, std::int16_t* srcdst, std::int32_t len,
                           std::int32_t sf) {
  if (const qvls_status status = Check(len, src, srcdst); status != QVLS_OK) return status;
  if (sf >= kZeroFromAddSub16) return Column::kZero16(srcdst, len);
  const AddSubOperands<std::int16_t, kOp, Int16Vector> o{srcdst, {src}, srcdst};
  RunScaled<Column>(o, len, sf, kLargestShift16);
  return QVLS_OK;
}

// qvlsSub_i16_ip: srcdst = srcdst - src, saturated.
template <class Column>
qvls_status SubInPlace16(const std::int16_t* src, std::int16_t* srcdst, std::int32_t len) {
  if (const qvls_status status = Check(len, src, srcdst); status != QVLS_OK) return status;
  const AddSubOperands<std::int16_t, Op::kSub, Int16Vector> o{srcdst, {src}, srcdst};
  Column::Run(o, len, SaturateRule<std::int16_t>{});
  return QVLS_OK;
}

// qvlsSubConst_i16_ip: srcdst = srcdst - value, saturated, the value being
// the low 16 bits of the argument; a value of 0 writes nothing.
template <class Column>
qvls_status SubConst16(std::int32_t value, std::int16_t* srcdst, std::int32_t len) {
  if (const qvls_status status = Check(len, srcdst); status != QVLS_OK) return status;
  const auto subtrahend = static_cast<std::int16_t>(value);
  if (subtrahend == 0) return QVLS_OK;
  const AddSubOperands<std::int16_t, Op::kSub, ConstantOperand<std::int16_t>> o{
      srcdst, {subtrahend}, srcdst};
  Column::Run(o, len, SaturateRule<std::int16_t>{});
  return QVLS_OK;
}

// qvlsSub_i16: dst = srcB - srcA, saturated.
template <class Column>
qvls_status Sub16(const std::int16_t* srcA, const std::int16_t* srcB, std::int16_t* dst,
                  std::int32_t len) {
  if (const qvls_status status = Check(len, srcA, srcB, dst); status != QVLS_OK) return status;
  const AddSubOperands<std::int16_t, Op::kSub, Int16Vector> o{srcB, {srcA}, dst};
  Column::Run(o, len, SaturateRule<std::int16_t>{});
  return QVLS_OK;
}

// qvlsAdd_i32_ip_sc: srcdst = scaled (srcdst + src), the sum exact in 64 bits.
template <class Column>
qvls_status ScaledAdd32(const std::int32_t* src, std::int32_t* srcdst, std::int32_t len,
                        std::int32_t sf) {
  if (const qvls_status status = Check(len, src, srcdst); status != QVLS_OK) return status;
  if (sf >= kZeroFromAdd32) return Column::kZero32(srcdst, len);
  const AddSubOperands<std::int32_t, Op::kAdd, Int32Vector> o{srcdst, {src}, srcdst};
  RunScaled<Column>(o, len, sf, kLargestShiftAdd32);
  return QVLS_OK;
}

// ---- multiply by a constant -----------------------------------------------

// qvlsMulConst_i16_ip: srcdst = value * srcdst, saturated.
template <class Column>
qvls_status MulConstInPlace16(std::int16_t value, std::int16_t* srcdst, std::int32_t len) {
  if (const qvls_status status = Check(len, srcdst); status != QVLS_OK) return status;
  if (value == 1) return QVLS_OK;
  if (value == 0) return Column::kZero16(srcdst, len);
  const ProductOperands<std::int16_t, ConstantOperand<std::int16_t>> o{srcdst, {value}, srcdst};
  Column::Run(o, len, SaturateRule<std::int16_t>{});
  return QVLS_OK;
}

// qvlsMulConst_i16_ip_sc: srcdst = scaled (value * srcdst).
template <class Column>
qvls_status ScaledMulConstInPlace16(std::int16_t value, std::int16_t* srcdst, std::int32_t len,
                                    std::int32_t sf) {
  if (const qvls_status status = Check(len, srcdst); status != QVLS_OK) return status;
  if (value == 0) return Column::kZero16(srcdst, len);
  if (sf == 0 && value == 1) return QVLS_OK;
  if (sf >= kZeroFromProduct16) return Column::kZero16(srcdst, len);
  const ProductOperands<std::int16_t, ConstantOperand<std::int16_t>> o{srcdst, {value}, srcdst};
  RunScaled<Column>(o, len, sf, kLargestShift16);
  return QVLS_OK;
}

// qvlsMulConst_i16_sc: dst = scaled (value * src); src is dst or apart from it.
template <class Column>
qvls_status ScaledMulConst16(const std::int16_t* src, std::int16_t value, std::int16_t* dst,
                             std::int32_t len, std::int32_t sf) {
  if (const qvls_status status = Check(len, src, dst); status != QVLS_OK) return status;
  if (value == 0) return Column::kZero16(dst, len);
  if (sf == 0 && value == 1) return Column::kCopy16(src, dst, len);
  if (sf >= kZeroFromProduct16) return Column::kZero16(dst, len);
  const ProductOperands<std::int16_t, ConstantOperand<std::int16_t>> o{src, {value}, dst};
  RunScaled<Column>(o, len, sf, kLargestShift16);
  return QVLS_OK;
}

// qvlsMulConst_i32_ip_sc: srcdst = scaled (value * srcdst), the product
// exact in 64 bits.
template <class Column>
qvls_status ScaledMulConst32(std::int32_t value, std::int32_t* srcdst, std::int32_t len,
                             std::int32_t sf) {
  if (const qvls_status status = Check(len, srcdst); status != QVLS_OK) return status;
  if (value == 0) return Column::kZero32(srcdst, len);
  if (sf == 0 && value == 1) return QVLS_OK;
  if (sf >= kZeroFromProduct32) return Column::kZero32(srcdst, len);
  const ProductOperands<std::int32_t, ConstantOperand<std::int32_t>> o{srcdst, {value}, srcdst};
  RunScaled<Column>(o, len, sf, kLargestShiftProduct32);
  return QVLS_OK;
}

// ---- multiply by a vector ---------------------------------------------------

// qvlsMul_i16_ip_sc: srcdst = scaled (src * srcdst).
template <class Column>
qvls_status ScaledMul16(const std::int16_t* src, std::int16_t* srcdst, std::int32_t len,
                        std::int32_t sf) {
  if (const qvls_status status = Check(len, src, srcdst); status != QVLS_OK) return status;
  if (sf >= kZeroFromProduct16) return Column::kZero16(srcdst, len);
  const ProductOperands<std::int16_t, Int16Vector> o{src, {srcdst}, srcdst};
  RunScaled<Column>(o, len, sf, kLargestShift16);
  return QVLS_OK;
}

// qvlsMul_i32_sc: dst = scaled (srcA * srcB), the product exact in 64 bits
// (w7: see its column).
template <class Column>
qvls_status ScaledMul32(const std::int32_t* srcA, const std::int32_t* srcB, std::int32_t* dst,
                        std::int32_t len, std::int32_t sf) {
  if (const qvls_status status = Check(len, srcA, srcB, dst); status != QVLS_OK) return status;
  if (sf >= kZeroFromProduct32) return Column::kZero32(dst, len);
  const ProductOperands<std::int32_t, Int32Vector> o{srcA, {srcB}, dst};
  RunScaled<Column>(o, len, sf, kLargestShiftProduct32);
  return QVLS_OK;
}

// qvlsMul_ci16_ip_sc: srcdst = scaled (src * srcdst), complex, each part by
// the rule.
template <class Column>
qvls_status ScaledMulComplex(const qvls_ci16* src, qvls_ci16* srcdst, std::int32_t len,
                             std::int32_t sf) {
  if (const qvls_status status = Check(len, src, srcdst); status != QVLS_OK) return status;
  // One 32-bit word of zeros per complex element.
  if (sf >= kZeroFromComplex) return Column::kZero32(reinterpret_cast<std::int32_t*>(srcdst), len);
  const ComplexOperands o{src, {srcdst}, srcdst};
  RunScaled<Column>(o, len, sf, kLargestShift16);
  return QVLS_OK;
}

// ---- absolute value ---------------------------------------------------------

// qvlsAbs_i16_ip
template <class Column>
qvls_status AbsInPlace16(std::int16_t* srcdst, std::int32_t len) {
  if (const qvls_status status = Check(len, srcdst); status != QVLS_OK) return status;
  Column::Abs(srcdst, len);
  return QVLS_OK;
}

// ---- element by element -------------------------------------------------

// The rule applied to one element after another: px's kernels, and those of
// the columns that run the px algorithm. kOwner names the column whose
// compiled copy it is.
template <qvls_variant_column kOwner, class Operands, class Rule>
void ElementByElement(const Operands& o, std::int32_t len, const Rule& rule) {
  Singles(o, rule, 0, len);
}

}  // namespace qvls::arith

// The entries of one column (tag px, m6, a6 or w7) over its Column, all but
// the constant subtraction, which a6 does not have of its own.
#define QVLS_DEFINE_ARITH_ENTRIES(tag, Column)                                                    \
  qvls_status qvlsAdd_i32_ip_sc_##tag(const std::int32_t* src, std::int32_t* srcdst,              \
                                      std::int32_t len, std::int32_t sf) {                        \
    return qvls::arith::ScaledAdd32<Column>(src, srcdst, len, sf);                                \
  }                                                                                               \
  qvls_status qvlsAdd_i16_ip_sc_##tag(const std::int16_t* src, std::int16_t* srcdst,              \
                                      std::int32_t len, std::int32_t sf) {                        \
    return qvls::arith::ScaledAddSub16<Column, qvls::arith::Op::kAdd>(src, srcdst, len, sf);      \
  }                                                                                               \
  qvls_status qvlsSub_i16_ip_##tag(const std::int16_t* src, std::int16_t* srcdst,                 \
                                   std::int32_t len) {                                            \
    return qvls::arith::SubInPlace16<Column>(src, srcdst, len);                                   \
  }                                                                                               \
  qvls_status qvlsSub_i16_ip_sc_##tag(const std::int16_t* src, std::int16_t* srcdst,              \
                                      std::int32_t len, std::int32_t sf) {                        \
    return qvls::arith::ScaledAddSub16<Column, qvls::arith::Op::kSub>(src, srcdst, len, sf);      \
  }                                                                                               \
  qvls_status qvlsSub_i16_##tag(const std::int16_t* srcA, const std::int16_t* srcB,               \
                                std::int16_t* dst, std::int32_t len) {                            \
    return qvls::arith::Sub16<Column>(srcA, srcB, dst, len);                                      \
  }                                                                                               \
  qvls_status qvlsMulConst_i16_ip_##tag(std::int16_t value, std::int16_t* srcdst,                 \
                                        std::int32_t len) {                                       \
    return qvls::arith::MulConstInPlace16<Column>(value, srcdst, len);                            \
  }                                                                                               \
  qvls_status qvlsMulConst_i16_ip_sc_##tag(std::int16_t value, std::int16_t* srcdst,              \
                                           std::int32_t len, std::int32_t sf) {                   \
    return qvls::arith::ScaledMulConstInPlace16<Column>(value, srcdst, len, sf);                  \
  }                                                                                               \
  qvls_status qvlsMulConst_i32_ip_sc_##tag(std::int32_t value, std::int32_t* srcdst,              \
                                           std::int32_t len, std::int32_t sf) {                   \
    return qvls::arith::ScaledMulConst32<Column>(value, srcdst, len, sf);                         \
  }                                                                                               \
  qvls_status qvlsMulConst_i16_sc_##tag(const std::int16_t* src, std::int16_t value,              \
                                        std::int16_t* dst, std::int32_t len, std::int32_t sf) {   \
    return qvls::arith::ScaledMulConst16<Column>(src, value, dst, len, sf);                       \
  }                                                                                               \
  qvls_status qvlsMul_i16_ip_sc_##tag(const std::int16_t* src, std::int16_t* srcdst,              \
                                      std::int32_t len, std::int32_t sf) {                        \
    return qvls::arith::ScaledMul16<Column>(src, srcdst, len, sf);                                \
  }                                                                                               \
  qvls_status qvlsMul_i32_sc_##tag(const std::int32_t* srcA, const std::int32_t* srcB,            \
                                   std::int32_t* dst, std::int32_t len, std::int32_t sf) {        \
    return qvls::arith::ScaledMul32<Column>(srcA, srcB, dst, len, sf);                            \
  }                                                                                               \
  qvls_status qvlsMul_ci16_ip_sc_##tag(const qvls_ci16* src, qvls_ci16* srcdst, std::int32_t len, \
                                       std::int32_t sf) {                                         \
    return qvls::arith::ScaledMulComplex<Column>(src, srcdst, len, sf);                           \
  }                                                                                               \
  qvls_status qvlsAbs_i16_ip_##tag(std::int16_t* srcdst, std::int32_t len) {                      \
    return qvls::arith::AbsInPlace16<Column>(srcdst, len);                                        \
  }

#define QVLS_DEFINE_SUB_CONST_ENTRY(tag, Column)                                  \
  qvls_status qvlsSubConst_i16_ip_##tag(std::int32_t value, std::int16_t* srcdst, \
                                        std::int32_t len) {                       \
    return qvls::arith::SubConst16<Column>(value, srcdst, len);                   \
  }
