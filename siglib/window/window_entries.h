// The Hamming and Hann windows in their variants (slots s104 .. s106): every
// column its own entry; px and m6 run the generic algorithm, a6 and w7 the
// single-precision one.
#pragma once

#include "siglib/frame/entries.h"

qvlsWinHamming_i16_fn qvlsWinHamming_i16_px, qvlsWinHamming_i16_m6, qvlsWinHamming_i16_a6,
    qvlsWinHamming_i16_w7;
qvlsWinHann_i16_fn qvlsWinHann_i16_px, qvlsWinHann_i16_m6, qvlsWinHann_i16_a6, qvlsWinHann_i16_w7;
qvlsWinHann_i16_ip_fn qvlsWinHann_i16_ip_px, qvlsWinHann_i16_ip_m6, qvlsWinHann_i16_ip_a6,
    qvlsWinHann_i16_ip_w7;

QVLS_VARIANT_ENTRIES(qvlsWinHamming_i16, qvlsWinHamming_i16_px, qvlsWinHamming_i16_m6,
                     qvlsWinHamming_i16_a6, qvlsWinHamming_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsWinHann_i16, qvlsWinHann_i16_px, qvlsWinHann_i16_m6, qvlsWinHann_i16_a6,
                     qvlsWinHann_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsWinHann_i16_ip, qvlsWinHann_i16_ip_px, qvlsWinHann_i16_ip_m6,
                     qvlsWinHann_i16_ip_a6, qvlsWinHann_i16_ip_w7);
