// The frame's px entries.
#include "siglib/frame/frame_entries.h"
#include "siglib/frame/frame_rules.h"

const qvls_version* qvlsGetVersion_px() { return &qvls::frame::kVersionRecords[QVLS_VARIANT_PX]; }

const char* qvlsStatusText_px(qvls_status code) { return qvls::frame::StatusTextOf(code); }
