// The vector kernels of the a6 and w7 variants over a state's windows. The
// update kernels take a scaled error that fits a 16-bit word: |s| <= 32767,
// and for the complex update both |a| and |b|; the caller takes the scalar
// loop otherwise.
#pragma once

#include <cstdint>

#include "siglib/lms/lms_state.h"

// 64-bit packed-integer registers with the word insert and word shuffle;
// each kernel releases the registers before it returns.
namespace qvls::lms::a6 {
std::int32_t RealOutput(const lms_state& s);
qvls_ci32 ComplexOutput(const lms_state& s);
void RealUpdate(lms_state& s, std::int32_t e);
void ComplexUpdate(lms_state& s, std::int32_t a, std::int32_t b);
}  // namespace qvls::lms::a6

// 128-bit integer registers.
namespace qvls::lms::w7 {
std::int32_t RealOutput(const lms_state& s);
qvls_ci32 ComplexOutput(const lms_state& s);
void RealUpdate(lms_state& s, std::int32_t e);
void ComplexUpdate(lms_state& s, std::int32_t a, std::int32_t b);
}  // namespace qvls::lms::w7
