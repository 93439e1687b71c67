// The LMS filters, w7 variant: output and update through the 128-bit integer
// kernels (lms_kernels.h), the set-up through w7's copy and zero entries;
// get taps, the taps pointer, get delay value, set step and push of its own.
#include "siglib/lms/lms_define_entries.h"
#include "siglib/lms/lms_kernels.h"

namespace {

constexpr qvls::lms::BlockOps kBlocks{qvlsCopy_i16_w7, qvlsCopy_i32_w7, qvlsZero_i16_w7,
                                      qvlsZero_i32_w7};
constexpr qvls::lms::FilterRoutines kRoutines{
    qvls::lms::w7::RealOutput, qvls::lms::w7::ComplexOutput, qvls::lms::w7::RealUpdate,
    qvls::lms::w7::ComplexUpdate};

}  // namespace

QVLS_DEFINE_LMS_ENTRIES(w7, kBlocks, kRoutines)
QVLS_DEFINE_LMS_PX_W7_ENTRIES(w7)
QVLS_DEFINE_LMS_PUSH_ENTRIES(w7)
