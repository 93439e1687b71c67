// The LMS filters, m6 variant: output and update one tap at a time, the
// set-up through the 64-bit packed-integer copy and zero entries; push of
// its own, which a6 runs too.
#include "siglib/lms/lms_define_entries.h"

namespace {

constexpr qvls::lms::BlockOps kBlocks{qvlsCopy_i16_m6, qvlsCopy_i32_m6, qvlsZero_i16_m6,
                                      qvlsZero_i32_m6};

}  // namespace

QVLS_DEFINE_LMS_ENTRIES(m6, kBlocks, qvls::lms::kScalarRoutines)
QVLS_DEFINE_LMS_PUSH_ENTRIES(m6)
