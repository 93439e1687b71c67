// The LMS adaptive filters in their variants (slots s30 .. s43, s46 .. s57).
//
// Set-up (create, set taps, set and get delay line) has an entry of its own
// in every column, each calling its variant's copy and zero entries; destroy
// and the taps pointer serve the real and the complex slot with one entry;
// get taps, the taps pointer, get delay value and set step are px's entries
// in m6 and a6. Push is scalar in every column, a6 running m6's. Output and
// push-and-output are scalar in px and m6, 64-bit packed-integer kernels in
// a6 and 128-bit integer kernels in w7; the update runs those kernels while
// the scaled error fits 16 bits and the scalar loop otherwise.
//
// Get delay line answers, with the samples in slot order, the index of the
// slot that holds the OLDEST sample, the one the next push overwrites; the
// newest sample is at index - 1, cyclically. A reader that walks back in time
// from the newest sample starts at index - 1: the data pump's equaliser
// readers (CollectPP, CollectPPhSamples) count back from there.
#pragma once

#include "siglib/frame/entries.h"

#define QVLS_DECLARE_LMS_ENTRIES(tag)                         \
  qvlsLMSCreate_i16_fn qvlsLMSCreate_i16_##tag;               \
  qvlsLMSCreate_ci16_fn qvlsLMSCreate_ci16_##tag;             \
  qvlsLMSSetTaps_i16_fn qvlsLMSSetTaps_i16_##tag;             \
  qvlsLMSSetTaps_ci16_fn qvlsLMSSetTaps_ci16_##tag;           \
  qvlsLMSSetDelayLine_i16_fn qvlsLMSSetDelayLine_i16_##tag;   \
  qvlsLMSSetDelayLine_ci16_fn qvlsLMSSetDelayLine_ci16_##tag; \
  qvlsLMSGetDelayLine_i16_fn qvlsLMSGetDelayLine_i16_##tag;   \
  qvlsLMSGetDelayLine_ci16_fn qvlsLMSGetDelayLine_ci16_##tag; \
  qvlsLMSOutput_i16_fn qvlsLMSOutput_i16_##tag;               \
  qvlsLMSOutput_ci16_fn qvlsLMSOutput_ci16_##tag;             \
  qvlsLMSPushOutput_i16_fn qvlsLMSPushOutput_i16_##tag;       \
  qvlsLMSPushOutput_ci16_fn qvlsLMSPushOutput_ci16_##tag;     \
  qvlsLMSUpdate_i16_fn qvlsLMSUpdate_i16_##tag;               \
  qvlsLMSUpdate_ci16_fn qvlsLMSUpdate_ci16_##tag;
QVLS_DECLARE_LMS_ENTRIES(px)
QVLS_DECLARE_LMS_ENTRIES(m6)
QVLS_DECLARE_LMS_ENTRIES(a6)
QVLS_DECLARE_LMS_ENTRIES(w7)
#undef QVLS_DECLARE_LMS_ENTRIES

// The entries that px and w7 have of their own.
#define QVLS_DECLARE_LMS_PX_W7_ENTRIES(tag)                     \
  qvlsLMSGetTaps_i16_fn qvlsLMSGetTaps_i16_##tag;               \
  qvlsLMSGetTaps_ci16_fn qvlsLMSGetTaps_ci16_##tag;             \
  qvlsLMSTapsPtr_i16_fn qvlsLMSTapsPtr_i16_##tag;               \
  qvlsLMSGetDelayValue_i16_fn qvlsLMSGetDelayValue_i16_##tag;   \
  qvlsLMSGetDelayValue_ci16_fn qvlsLMSGetDelayValue_ci16_##tag; \
  qvlsLMSSetStep_i16_fn qvlsLMSSetStep_i16_##tag;               \
  qvlsLMSSetStep_ci16_fn qvlsLMSSetStep_ci16_##tag;
QVLS_DECLARE_LMS_PX_W7_ENTRIES(px)
QVLS_DECLARE_LMS_PX_W7_ENTRIES(w7)
#undef QVLS_DECLARE_LMS_PX_W7_ENTRIES

qvlsLMSDestroy_i16_fn qvlsLMSDestroy_i16_px;
qvlsLMSPush_i16_fn qvlsLMSPush_i16_px, qvlsLMSPush_i16_m6, qvlsLMSPush_i16_w7;
qvlsLMSPush_ci16_fn qvlsLMSPush_ci16_px, qvlsLMSPush_ci16_m6, qvlsLMSPush_ci16_w7;

// Every column its own.
#define QVLS_LMS_OWN(op) QVLS_VARIANT_ENTRIES(op, op##_px, op##_m6, op##_a6, op##_w7)
// m6 and a6 run the px entry.
#define QVLS_LMS_PX_W7(op) QVLS_VARIANT_ENTRIES(op, op##_px, op##_px, op##_px, op##_w7)

QVLS_LMS_OWN(qvlsLMSOutput_i16);
QVLS_LMS_OWN(qvlsLMSPushOutput_i16);
QVLS_LMS_OWN(qvlsLMSOutput_ci16);
QVLS_LMS_OWN(qvlsLMSPushOutput_ci16);
QVLS_LMS_OWN(qvlsLMSCreate_i16);
QVLS_VARIANT_ENTRIES(qvlsLMSDestroy_i16, qvlsLMSDestroy_i16_px, qvlsLMSDestroy_i16_px,
                     qvlsLMSDestroy_i16_px, qvlsLMSDestroy_i16_px);
QVLS_LMS_OWN(qvlsLMSCreate_ci16);
QVLS_VARIANT_ENTRIES(qvlsLMSDestroy_ci16, qvlsLMSDestroy_i16_px, qvlsLMSDestroy_i16_px,
                     qvlsLMSDestroy_i16_px, qvlsLMSDestroy_i16_px);
QVLS_LMS_OWN(qvlsLMSSetTaps_i16);
QVLS_LMS_PX_W7(qvlsLMSGetTaps_i16);
QVLS_LMS_PX_W7(qvlsLMSTapsPtr_i16);
QVLS_LMS_OWN(qvlsLMSSetTaps_ci16);
QVLS_LMS_PX_W7(qvlsLMSGetTaps_ci16);
QVLS_VARIANT_ENTRIES(qvlsLMSTapsPtr_ci16, qvlsLMSTapsPtr_i16_px, qvlsLMSTapsPtr_i16_px,
                     qvlsLMSTapsPtr_i16_px, qvlsLMSTapsPtr_i16_w7);
QVLS_LMS_OWN(qvlsLMSSetDelayLine_i16);
QVLS_LMS_OWN(qvlsLMSGetDelayLine_i16);
QVLS_LMS_PX_W7(qvlsLMSGetDelayValue_i16);
QVLS_LMS_OWN(qvlsLMSSetDelayLine_ci16);
QVLS_LMS_OWN(qvlsLMSGetDelayLine_ci16);
QVLS_LMS_PX_W7(qvlsLMSGetDelayValue_ci16);
QVLS_VARIANT_ENTRIES(qvlsLMSPush_i16, qvlsLMSPush_i16_px, qvlsLMSPush_i16_m6, qvlsLMSPush_i16_m6,
                     qvlsLMSPush_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsLMSPush_ci16, qvlsLMSPush_ci16_px, qvlsLMSPush_ci16_m6,
                     qvlsLMSPush_ci16_m6, qvlsLMSPush_ci16_w7);
QVLS_LMS_PX_W7(qvlsLMSSetStep_i16);
QVLS_LMS_PX_W7(qvlsLMSSetStep_ci16);
QVLS_LMS_OWN(qvlsLMSUpdate_i16);
QVLS_LMS_OWN(qvlsLMSUpdate_ci16);

#undef QVLS_LMS_OWN
#undef QVLS_LMS_PX_W7
