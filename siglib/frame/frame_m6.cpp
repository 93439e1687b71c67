// The frame's m6 entries.
#include "siglib/frame/frame_entries.h"
#include "siglib/frame/frame_rules.h"

const qvls_version* qvlsGetVersion_m6() { return &qvls::frame::kVersionRecords[QVLS_VARIANT_M6]; }
