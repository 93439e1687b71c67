// The frame's own operations in their variants: the version record (slot 3)
// and the status texts (slot 4).
#pragma once

#include "siglib/frame/entries.h"

qvlsGetVersion_fn qvlsGetVersion_px;
qvlsGetVersion_fn qvlsGetVersion_m6;
qvlsGetVersion_fn qvlsGetVersion_a6;
qvlsGetVersion_fn qvlsGetVersion_w7;
qvlsStatusText_fn qvlsStatusText_px;
qvlsStatusText_fn qvlsStatusText_w7;  // its own copy, with the same texts

QVLS_VARIANT_ENTRIES(qvlsGetVersion, qvlsGetVersion_px, qvlsGetVersion_m6, qvlsGetVersion_a6,
                     qvlsGetVersion_w7);
QVLS_VARIANT_ENTRIES(qvlsStatusText, qvlsStatusText_px, qvlsStatusText_px, qvlsStatusText_px,
                     qvlsStatusText_w7);
