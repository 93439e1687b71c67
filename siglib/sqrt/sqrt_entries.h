// The square root in its variants (slot s89): every column its own.
#pragma once

#include "siglib/frame/entries.h"

qvlsSqrt_i16_ip_sc_fn qvlsSqrt_i16_ip_sc_px, qvlsSqrt_i16_ip_sc_m6, qvlsSqrt_i16_ip_sc_a6,
    qvlsSqrt_i16_ip_sc_w7;

QVLS_VARIANT_ENTRIES(qvlsSqrt_i16_ip_sc, qvlsSqrt_i16_ip_sc_px, qvlsSqrt_i16_ip_sc_m6,
                     qvlsSqrt_i16_ip_sc_a6, qvlsSqrt_i16_ip_sc_w7);
