// Division by a constant, m6 variant: the generic arithmetic with the
// rounding of the unit that does it forced to nearest for the call. The
// caller's rounding bits are put back; every other bit is left alone.
#include <xmmintrin.h>

#include <cstdint>

#include "siglib/divide/divide_entries.h"
#include "siglib/divide/divide_rules.h"

namespace {

// MXCSR bits 13 and 14: the rounding control; 0 is to nearest.
constexpr std::uint32_t kMxcsrRounding = 0x6000;

class RoundingToNearest {
 public:
  RoundingToNearest() : caller_(_mm_getcsr() & kMxcsrRounding) {
    if (caller_ != 0) _mm_setcsr(_mm_getcsr() & ~kMxcsrRounding);
  }
  ~RoundingToNearest() {
    if (caller_ != 0) _mm_setcsr((_mm_getcsr() & ~kMxcsrRounding) | caller_);
  }
  RoundingToNearest(const RoundingToNearest&) = delete;
  RoundingToNearest& operator=(const RoundingToNearest&) = delete;

 private:
  std::uint32_t caller_;
};

}  // namespace

qvls_status qvlsDivConst_i16_ip_sc_m6(std::int32_t value, std::int16_t* srcdst, std::int32_t len,
                                      std::int32_t sf) {
  using namespace qvls::divide;
  if (const qvls_status status = Check(srcdst, len, value); status != QVLS_OK) return status;
  const RoundingToNearest nearest;
  SingleElements(srcdst, len, ScaledReciprocal<double>(value, sf));
  return QVLS_OK;
}
