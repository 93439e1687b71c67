// The transform family's slots. The 16-bit FFT has an entry per variant for
// create, destroy and forward, the 16-bit DFT for create, destroy, forward
// and inverse; px's work-size queries serve m6 and a6.
#pragma once

#include "siglib/frame/entries.h"
#include "siglib/transforms/dft16/dft16.h"
#include "siglib/transforms/fft16/fft16.h"

QVLS_VARIANT_ENTRIES(qvlsFFTCreate_ci16, qvlsFFTCreate_ci16_px, qvlsFFTCreate_ci16_m6,
                     qvlsFFTCreate_ci16_a6, qvlsFFTCreate_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsFFTCreate_i16, qvlsFFTCreate_i16_px, qvlsFFTCreate_i16_m6,
                     qvlsFFTCreate_i16_a6, qvlsFFTCreate_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFFTDestroy_ci16, qvlsFFTDestroy_ci16_px, qvlsFFTDestroy_ci16_m6,
                     qvlsFFTDestroy_ci16_a6, qvlsFFTDestroy_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsFFTDestroy_i16, qvlsFFTDestroy_i16_px, qvlsFFTDestroy_i16_m6,
                     qvlsFFTDestroy_i16_a6, qvlsFFTDestroy_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFFTFwd_ci16_sc, qvlsFFTFwd_ci16_sc_px, qvlsFFTFwd_ci16_sc_m6,
                     qvlsFFTFwd_ci16_sc_a6, qvlsFFTFwd_ci16_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsFFTWorkSize_ci16, qvlsFFTWorkSize_ci16_px, qvlsFFTWorkSize_ci16_px,
                     qvlsFFTWorkSize_ci16_px, qvlsFFTWorkSize_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsFFTWorkSize_i16, qvlsFFTWorkSize_i16_px, qvlsFFTWorkSize_i16_px,
                     qvlsFFTWorkSize_i16_px, qvlsFFTWorkSize_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsFFTFwd_i16_sc, qvlsFFTFwd_i16_sc_px, qvlsFFTFwd_i16_sc_m6,
                     qvlsFFTFwd_i16_sc_a6, qvlsFFTFwd_i16_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsDFTCreate_ci16, qvlsDFTCreate_ci16_px, qvlsDFTCreate_ci16_m6,
                     qvlsDFTCreate_ci16_a6, qvlsDFTCreate_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsDFTDestroy_ci16, qvlsDFTDestroy_ci16_px, qvlsDFTDestroy_ci16_m6,
                     qvlsDFTDestroy_ci16_a6, qvlsDFTDestroy_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsDFTWorkSize_ci16, qvlsDFTWorkSize_ci16_px, qvlsDFTWorkSize_ci16_px,
                     qvlsDFTWorkSize_ci16_px, qvlsDFTWorkSize_ci16_w7);
QVLS_VARIANT_ENTRIES(qvlsDFTFwd_ci16_sc, qvlsDFTFwd_ci16_sc_px, qvlsDFTFwd_ci16_sc_m6,
                     qvlsDFTFwd_ci16_sc_a6, qvlsDFTFwd_ci16_sc_w7);
QVLS_VARIANT_ENTRIES(qvlsDFTInv_ci16_sc, qvlsDFTInv_ci16_sc_px, qvlsDFTInv_ci16_sc_m6,
                     qvlsDFTInv_ci16_sc_a6, qvlsDFTInv_ci16_sc_w7);
