// The LMS filters, px variant: every tap one at a time, the set-up through
// the generic copy and zero entries. Destroy is this column's for every
// column and both kinds.
#include "siglib/lms/lms_define_entries.h"

namespace {

constexpr qvls::lms::BlockOps kBlocks{qvlsCopy_i16_px, qvlsCopy_i32_px, qvlsZero_i16_px,
                                      qvlsZero_i32_px};

}  // namespace

QVLS_DEFINE_LMS_ENTRIES(px, kBlocks, qvls::lms::kScalarRoutines)
QVLS_DEFINE_LMS_PX_W7_ENTRIES(px)
QVLS_DEFINE_LMS_PUSH_ENTRIES(px)

qvls_status qvlsLMSDestroy_i16_px(lms_state* state) { return qvls::lms::Destroy(state); }
