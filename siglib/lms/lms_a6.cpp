// The LMS filters, a6 variant: output and update through the 64-bit
// packed-integer kernels with the word insert and word shuffle
// (lms_kernels.h), the set-up through a6's copy and zero entries.
#include "siglib/lms/lms_define_entries.h"
#include "siglib/lms/lms_kernels.h"

namespace {

constexpr qvls::lms::BlockOps kBlocks{qvlsCopy_i16_a6, qvlsCopy_i32_a6, qvlsZero_i16_a6,
                                      qvlsZero_i32_a6};
constexpr qvls::lms::FilterRoutines kRoutines{
    qvls::lms::a6::RealOutput, qvls::lms::a6::ComplexOutput, qvls::lms::a6::RealUpdate,
    qvls::lms::a6::ComplexUpdate};

}  // namespace

QVLS_DEFINE_LMS_ENTRIES(a6, kBlocks, kRoutines)
