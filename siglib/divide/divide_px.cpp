// Division by a constant, generic variant: double precision, one element at
// a time, under the caller's rounding mode.
#include "siglib/divide/divide_entries.h"
#include "siglib/divide/divide_rules.h"

qvls_status qvlsDivConst_i16_ip_sc_px(std::int32_t value, std::int16_t* srcdst, std::int32_t len,
                                      std::int32_t sf) {
  using namespace qvls::divide;
  if (const qvls_status status = Check(srcdst, len, value); status != QVLS_OK) return status;
  SingleElements(srcdst, len, ScaledReciprocal<double>(value, sf));
  return QVLS_OK;
}
