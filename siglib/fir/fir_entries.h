// The FIR family's slots (s16 to s27, s107 to s110). Set-up follows the
// layouts: px, m6 and a6 build the generic real layout, w7 the rows layout;
// px and m6 the generic complex layout, a6 and w7 the paired one. Destroy is
// one entry for all; the delay-line reads are px's except in w7; filtering
// has an entry per variant (w7's complex block is its own copy of the a6
// kernel).
#pragma once

#include "siglib/frame/entries.h"

qvlsFIRStateSize_i16_fn qvlsFIRStateSize_i16_px, qvlsFIRStateSize_i16_w7;
qvlsFIRStateSize_ci16_fn qvlsFIRStateSize_ci16_px, qvlsFIRStateSize_ci16_a6;
qvlsFIRInit_i16_fn qvlsFIRInit_i16_px, qvlsFIRInit_i16_m6, qvlsFIRInit_i16_a6, qvlsFIRInit_i16_w7;
qvlsFIRInit_ci16_fn qvlsFIRInit_ci16_px, qvlsFIRInit_ci16_m6, qvlsFIRInit_ci16_a6,
    qvlsFIRInit_ci16_w7;
qvlsFIRCreate_i16_fn qvlsFIRCreate_i16_px, qvlsFIRCreate_i16_m6, qvlsFIRCreate_i16_a6,
    qvlsFIRCreate_i16_w7;
qvlsFIRCreate_ci16_fn qvlsFIRCreate_ci16_px, qvlsFIRCreate_ci16_m6, qvlsFIRCreate_ci16_a6,
    qvlsFIRCreate_ci16_w7;
qvlsFIRDestroy_i16_fn qvlsFIRDestroy_i16_px;
qvlsFIRDestroy_ci16_fn qvlsFIRDestroy_ci16_px;
qvlsFIRSetDelayLine_i16_fn qvlsFIRSetDelayLine_i16_px, qvlsFIRSetDelayLine_i16_m6,
    qvlsFIRSetDelayLine_i16_a6, qvlsFIRSetDelayLine_i16_w7;
qvlsFIRGetDelayLine_i16_fn qvlsFIRGetDelayLine_i16_px, qvlsFIRGetDelayLine_i16_w7;
qvlsFIRGetDelayLine_ci16_fn qvlsFIRGetDelayLine_ci16_px, qvlsFIRGetDelayLine_ci16_w7;
qvlsFIRSample_i16_fn qvlsFIRSample_i16_px, qvlsFIRSample_i16_m6, qvlsFIRSample_i16_a6,
    qvlsFIRSample_i16_w7;
qvlsFIRBlock_i16_fn qvlsFIRBlock_i16_px, qvlsFIRBlock_i16_m6, qvlsFIRBlock_i16_a6,
    qvlsFIRBlock_i16_w7;
qvlsFIRBlock_ci16_fn qvlsFIRBlock_ci16_px, qvlsFIRBlock_ci16_m6, qvlsFIRBlock_ci16_a6,
    qvlsFIRBlock_ci16_w7;
qvlsFIRBlock_i16_ip_fn qvlsFIRBlock_i16_ip_px, qvlsFIRBlock_i16_ip_m6, qvlsFIRBlock_i16_ip_a6,
    qvlsFIRBlock_i16_ip_w7;
qvlsFIRBlock_ci16_ip_fn qvlsFIRBlock_ci16_ip_px, qvlsFIRBlock_ci16_ip_m6, qvlsFIRBlock_ci16_ip_a6,
    qvlsFIRBlock_ci16_ip_w7;

QVLS_VARIANT_ENTRIES(qvlsFIRStateSize_i16, qvlsFIRStateSize_i16_px, qvlsFIRStateSize_i16_px,
                     qvlsFIRStateSize_i16_px, qvlsFIRStateSize_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRStateSize_ci16, qvlsFIRStateSize_ci16_px, qvlsFIRStateSize_ci16_px,
                     qvlsFIRStateSize_ci16_a6, qvlsFIRStateSize_ci16_a6);
QVLS_VARIANT_ENTRIES(qvlsFIRInit_i16, qvlsFIRInit_i16_px, qvlsFIRInit_i16_m6, qvlsFIRInit_i16_a6,
                     qvlsFIRInit_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRInit_ci16, qvlsFIRInit_ci16_px, qvlsFIRInit_ci16_m6,
                     qvlsFIRInit_ci16_a6, qvlsFIRInit_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRCreate_i16, qvlsFIRCreate_i16_px, qvlsFIRCreate_i16_m6,
                     qvlsFIRCreate_i16_a6, qvlsFIRCreate_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRCreate_ci16, qvlsFIRCreate_ci16_px, qvlsFIRCreate_ci16_m6,
                     qvlsFIRCreate_ci16_a6, qvlsFIRCreate_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRDestroy_i16, qvlsFIRDestroy_i16_px, qvlsFIRDestroy_i16_px,
                     qvlsFIRDestroy_i16_px, qvlsFIRDestroy_i16_px);
QVLS_VARIANT_ENTRIES(qvlsFIRDestroy_ci16, qvlsFIRDestroy_ci16_px, qvlsFIRDestroy_ci16_px,
                     qvlsFIRDestroy_ci16_px, qvlsFIRDestroy_ci16_px);
QVLS_VARIANT_ENTRIES(qvlsFIRSetDelayLine_i16, qvlsFIRSetDelayLine_i16_px,
                     qvlsFIRSetDelayLine_i16_m6, qvlsFIRSetDelayLine_i16_a6,
                     qvlsFIRSetDelayLine_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRGetDelayLine_i16, qvlsFIRGetDelayLine_i16_px,
                     qvlsFIRGetDelayLine_i16_px, qvlsFIRGetDelayLine_i16_px,
                     qvlsFIRGetDelayLine_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRGetDelayLine_ci16, qvlsFIRGetDelayLine_ci16_px,
                     qvlsFIRGetDelayLine_ci16_px, qvlsFIRGetDelayLine_ci16_px,
                     qvlsFIRGetDelayLine_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRSample_i16, qvlsFIRSample_i16_px, qvlsFIRSample_i16_m6,
                     qvlsFIRSample_i16_a6, qvlsFIRSample_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRBlock_i16, qvlsFIRBlock_i16_px, qvlsFIRBlock_i16_m6,
                     qvlsFIRBlock_i16_a6, qvlsFIRBlock_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRBlock_ci16, qvlsFIRBlock_ci16_px, qvlsFIRBlock_ci16_m6,
                     qvlsFIRBlock_ci16_a6, qvlsFIRBlock_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRBlock_i16_ip, qvlsFIRBlock_i16_ip_px, qvlsFIRBlock_i16_ip_m6,
                     qvlsFIRBlock_i16_ip_a6, qvlsFIRBlock_i16_ip_w7);
QVLS_VARIANT_ENTRIES(qvlsFIRBlock_ci16_ip, qvlsFIRBlock_ci16_ip_px, qvlsFIRBlock_ci16_ip_m6,
                     qvlsFIRBlock_ci16_ip_a6, qvlsFIRBlock_ci16_ip_w7);
