// The frame's w7 entries.
#include "siglib/frame/frame_entries.h"
#include "siglib/frame/frame_rules.h"

const qvls_version* qvlsGetVersion_w7() { return &qvls::frame::kVersionRecords[QVLS_VARIANT_W7]; }

const char* qvlsStatusText_w7(qvls_status code) { return qvls::frame::StatusTextOf(code); }
