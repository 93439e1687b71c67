// The library's 115 operation slots: the one list from which the slot table,
// the variant table, the placeholders and the jump entries are made.
//
// Each row: X(slot number, operation, result, (typed parameters), (arguments), jump)
// where jump is `jump` for the 98 slots that the data pump calls through a
// jump entry under the operation's name, and `no_jump` for the 17 it never calls.
// The signatures are final: a family replaces the entries of its slots, never
// the list.
#pragma once

#include <cstdint>
#include <iterator>

#include "siglib/frame/types.h"

// clang-format off
#define QVLS_SLOT_LIST(X) \
  X(0, qvlsAlloc_u8, std::uint8_t*, (std::int32_t n), (n), jump) \
  X(1, qvlsAlloc_i16, std::int16_t*, (std::int32_t n), (n), no_jump) \
  X(2, qvlsFree, void, (void* p), (p), jump) \
  X(3, qvlsGetVersion, const qvls_version*, (), (), no_jump) \
  X(4, qvlsStatusText, const char*, (qvls_status code), (code), no_jump) \
  X(5, qvlsDFTFwd_ci16_sc, qvls_status, (const std::int16_t* src, std::int16_t* dst, const dft16_context* context, std::int32_t sf, std::uint8_t* work), (src, dst, context, sf, work), jump) \
  X(6, qvlsDFTInv_ci16_sc, qvls_status, (const std::int16_t* src, std::int16_t* dst, const dft16_context* context, std::int32_t sf, std::uint8_t* work), (src, dst, context, sf, work), jump) \
  X(7, qvlsDFTWorkSize_ci16, qvls_status, (const dft16_context* context, std::int32_t* size), (context, size), jump) \
  X(8, qvlsMul_ci16_ip_sc, qvls_status, (const qvls_ci16* src, qvls_ci16* srcdst, std::int32_t len, std::int32_t sf), (src, srcdst, len, sf), jump) \
  X(9, qvlsCopy_u8, qvls_status, (const std::uint8_t* src, std::uint8_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(10, qvlsCopy_i16, qvls_status, (const std::int16_t* src, std::int16_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(11, qvlsCopy_i32, qvls_status, (const std::int32_t* src, std::int32_t* dst, std::int32_t len), (src, dst, len), no_jump) \
  X(12, qvlsFlip_i16, qvls_status, (const std::int16_t* src, std::int16_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(13, qvlsZero_u8, qvls_status, (std::uint8_t* dst, std::int32_t len), (dst, len), jump) \
  X(14, qvlsZero_i16, qvls_status, (std::int16_t* dst, std::int32_t len), (dst, len), jump) \
  X(15, qvlsFill_i32, qvls_status, (std::int32_t value, std::int32_t* dst, std::int32_t len), (value, dst, len), no_jump) \
  X(16, qvlsFIRCreate_i16, qvls_status, (fir_state** state, const std::int32_t* taps, std::int32_t len, std::int32_t tapsFactor, const std::int16_t* delayLine), (state, taps, len, tapsFactor, delayLine), no_jump) \
  X(17, qvlsFIRCreate_ci16, qvls_status, (fir_state** state, const qvls_ci32* taps, std::int32_t len, std::int32_t tapsFactor, const qvls_ci16* delayLine), (state, taps, len, tapsFactor, delayLine), no_jump) \
  X(18, qvlsFIRDestroy_i16, qvls_status, (fir_state* state), (state), no_jump) \
  X(19, qvlsFIRDestroy_ci16, qvls_status, (fir_state* state), (state), no_jump) \
  X(20, qvlsFIRSetDelayLine_i16, qvls_status, (fir_state* state, const std::int16_t* src), (state, src), jump) \
  X(21, qvlsFIRGetDelayLine_i16, qvls_status, (const fir_state* state, std::int16_t* dst), (state, dst), jump) \
  X(22, qvlsFIRGetDelayLine_ci16, qvls_status, (const fir_state* state, qvls_ci16* dst), (state, dst), jump) \
  X(23, qvlsFIRSample_i16, qvls_status, (std::int16_t x, std::int16_t* out, fir_state* state, std::int32_t sf), (x, out, state, sf), jump) \
  X(24, qvlsFIRBlock_i16, qvls_status, (const std::int16_t* src, std::int16_t* dst, std::int32_t n, fir_state* state, std::int32_t sf), (src, dst, n, state, sf), jump) \
  X(25, qvlsFIRBlock_ci16, qvls_status, (const qvls_ci16* src, qvls_ci16* dst, std::int32_t n, fir_state* state, std::int32_t sf), (src, dst, n, state, sf), jump) \
  X(26, qvlsFIRBlock_i16_ip, qvls_status, (std::int16_t* srcdst, std::int32_t n, fir_state* state, std::int32_t sf), (srcdst, n, state, sf), jump) \
  X(27, qvlsFIRBlock_ci16_ip, qvls_status, (qvls_ci16* srcdst, std::int32_t n, fir_state* state, std::int32_t sf), (srcdst, n, state, sf), jump) \
  X(28, qvlsNearest_u16, qvls_status, (std::uint32_t value, std::uint16_t* result, std::int32_t* index, const std::uint16_t* table, std::int32_t tableLen), (value, result, index, table, tableLen), jump) \
  X(29, qvlsNearestVec_u16, qvls_status, (const std::uint16_t* src, std::uint16_t* result, std::int32_t* index, std::int32_t len, const std::uint16_t* table, std::int32_t tableLen), (src, result, index, len, table, tableLen), jump) \
  X(30, qvlsLMSOutput_i16, qvls_status, (std::int32_t* out, const lms_state* state), (out, state), jump) \
  X(31, qvlsLMSPushOutput_i16, qvls_status, (std::int32_t sample, std::int32_t* out, lms_state* state), (sample, out, state), jump) \
  X(32, qvlsLMSOutput_ci16, qvls_status, (qvls_ci32* out, const lms_state* state), (out, state), jump) \
  X(33, qvlsLMSPushOutput_ci16, qvls_status, (qvls_ci16 sample, qvls_ci32* out, lms_state* state), (sample, out, state), jump) \
  X(34, qvlsLMSCreate_i16, qvls_status, (lms_state** state, const std::int32_t* taps, std::int32_t tapsLen, const std::int16_t* delayLine, std::int32_t index, std::int32_t delayStep, std::int32_t updateDelay, std::int32_t mu), (state, taps, tapsLen, delayLine, index, delayStep, updateDelay, mu), jump) \
  X(35, qvlsLMSDestroy_i16, qvls_status, (lms_state* state), (state), jump) \
  X(36, qvlsLMSCreate_ci16, qvls_status, (lms_state** state, const qvls_ci32* taps, std::int32_t tapsLen, const qvls_ci16* delayLine, std::int32_t index, std::int32_t delayStep, std::int32_t updateDelay, std::int32_t mu), (state, taps, tapsLen, delayLine, index, delayStep, updateDelay, mu), jump) \
  X(37, qvlsLMSDestroy_ci16, qvls_status, (lms_state* state), (state), jump) \
  X(38, qvlsLMSSetTaps_i16, qvls_status, (lms_state* state, const std::int32_t* taps), (state, taps), jump) \
  X(39, qvlsLMSGetTaps_i16, qvls_status, (const lms_state* state, std::int32_t* dst), (state, dst), jump) \
  X(40, qvlsLMSTapsPtr_i16, qvls_status, (lms_state* state, std::int32_t** taps), (state, taps), jump) \
  X(41, qvlsLMSSetTaps_ci16, qvls_status, (lms_state* state, const qvls_ci32* taps), (state, taps), jump) \
  X(42, qvlsLMSGetTaps_ci16, qvls_status, (const lms_state* state, qvls_ci32* dst), (state, dst), jump) \
  X(43, qvlsLMSTapsPtr_ci16, qvls_status, (lms_state* state, std::int32_t** taps), (state, taps), jump) \
  X(44, qvlsMean_i16_sc, qvls_status, (const std::int16_t* src, std::int32_t len, std::int16_t* result, std::int32_t sf), (src, len, result, sf), jump) \
  X(45, qvlsAbs_i16_ip, qvls_status, (std::int16_t* srcdst, std::int32_t len), (srcdst, len), no_jump) \
  X(46, qvlsLMSSetDelayLine_i16, qvls_status, (lms_state* state, const std::int16_t* delayLine, std::int32_t index), (state, delayLine, index), jump) \
  /* s47, s50: *index is the slot of the OLDEST sample, the one the next push overwrites; the newest is at index - 1, cyclically (siglib/lms/lms_entries.h). */ \
  X(47, qvlsLMSGetDelayLine_i16, qvls_status, (const lms_state* state, std::int16_t* dst, std::int32_t* index), (state, dst, index), jump) \
  X(48, qvlsLMSGetDelayValue_i16, qvls_status, (const lms_state* state, std::int16_t* dst, std::int32_t offset), (state, dst, offset), no_jump) \
  X(49, qvlsLMSSetDelayLine_ci16, qvls_status, (lms_state* state, const qvls_ci16* delayLine, std::int32_t index), (state, delayLine, index), jump) \
  X(50, qvlsLMSGetDelayLine_ci16, qvls_status, (const lms_state* state, qvls_ci16* dst, std::int32_t* index), (state, dst, index), jump) \
  X(51, qvlsLMSGetDelayValue_ci16, qvls_status, (const lms_state* state, qvls_ci16* dst, std::int32_t offset), (state, dst, offset), no_jump) \
  X(52, qvlsLMSPush_i16, qvls_status, (std::int32_t sample, lms_state* state), (sample, state), jump) \
  X(53, qvlsLMSPush_ci16, qvls_status, (qvls_ci16 sample, lms_state* state), (sample, state), jump) \
  X(54, qvlsLMSSetStep_i16, qvls_status, (lms_state* state, std::int32_t mu), (state, mu), jump) \
  X(55, qvlsLMSSetStep_ci16, qvls_status, (lms_state* state, std::int32_t mu), (state, mu), jump) \
  X(56, qvlsLMSUpdate_i16, qvls_status, (std::int32_t error, lms_state* state), (error, state), jump) \
  X(57, qvlsLMSUpdate_ci16, qvls_status, (std::int32_t errorRe, std::int32_t errorIm, lms_state* state), (errorRe, errorIm, state), jump) \
  X(58, qvlsFFTCreate_ci16, qvls_status, (fft16_context** context, std::int32_t order, std::int32_t flag, std::int32_t hint), (context, order, flag, hint), jump) \
  X(59, qvlsFFTCreate_i16, qvls_status, (fft16_context** context, std::int32_t order, std::int32_t flag, std::int32_t hint), (context, order, flag, hint), jump) \
  X(60, qvlsFFTDestroy_ci16, qvls_status, (fft16_context* context), (context), jump) \
  X(61, qvlsFFTDestroy_i16, qvls_status, (fft16_context* context), (context), jump) \
  X(62, qvlsFFTFwd_ci16_sc, qvls_status, (const std::int16_t* src, std::int16_t* dst, const fft16_context* context, std::int32_t sf, std::uint8_t* work), (src, dst, context, sf, work), jump) \
  X(63, qvlsFFTWorkSize_ci16, qvls_status, (const fft16_context* context, std::int32_t* size), (context, size), jump) \
  X(64, qvlsFFTWorkSize_i16, qvls_status, (const fft16_context* context, std::int32_t* size), (context, size), jump) \
  X(65, qvlsDFTCreate_ci16, qvls_status, (dft16_context** context, std::int32_t length, std::int32_t flag, std::int32_t hint), (context, length, flag, hint), jump) \
  X(66, qvlsDFTDestroy_ci16, qvls_status, (dft16_context* context), (context), jump) \
  X(67, qvlsFFTFwd_i16_sc, qvls_status, (const std::int16_t* src, std::int16_t* dst, const fft16_context* context, std::int32_t sf, std::uint8_t* work), (src, dst, context, sf, work), jump) \
  X(68, qvlsNormInf_i16toi32_sc, qvls_status, (const std::int16_t* src, std::int32_t len, std::int32_t* result, std::int32_t sf), (src, len, result, sf), jump) \
  X(69, qvlsNormL1_i16toi32_sc, qvls_status, (const std::int16_t* src, std::int32_t len, std::int32_t* result, std::int32_t sf), (src, len, result, sf), jump) \
  X(70, qvlsNormL2_i16toi32_sc, qvls_status, (const std::int16_t* src, std::int32_t len, std::int32_t* result, std::int32_t sf), (src, len, result, sf), jump) \
  X(71, qvlsDiffNormL1_i16toi32_sc, qvls_status, (const std::int16_t* srcA, const std::int16_t* srcB, std::int32_t len, std::int32_t* result, std::int32_t sf), (srcA, srcB, len, result, sf), jump) \
  X(72, qvlsUpsample_i16, qvls_status, (const std::int16_t* src, std::int32_t len, std::int16_t* dst, std::int32_t* dstLen, std::int32_t factor, const std::int32_t* phase), (src, len, dst, dstLen, factor, phase), jump) \
  X(73, qvlsDownsample_i16, qvls_status, (const std::int16_t* src, std::int32_t len, std::int16_t* dst, std::int32_t* dstLen, std::int32_t factor, std::int32_t* phase), (src, len, dst, dstLen, factor, phase), jump) \
  X(74, qvlsMinWithIndex_i16, qvls_status, (const std::int16_t* src, std::int32_t len, std::int16_t* min, std::int32_t* index), (src, len, min, index), jump) \
  X(75, qvlsMax_i16, qvls_status, (const std::int16_t* src, std::int32_t len, std::int16_t* max), (src, len, max), jump) \
  X(76, qvlsMulConst_i16_ip, qvls_status, (std::int16_t value, std::int16_t* srcdst, std::int32_t len), (value, srcdst, len), jump) \
  X(77, qvlsMulConst_i16_ip_sc, qvls_status, (std::int16_t value, std::int16_t* srcdst, std::int32_t len, std::int32_t sf), (value, srcdst, len, sf), jump) \
  X(78, qvlsMulConst_i32_ip_sc, qvls_status, (std::int32_t value, std::int32_t* srcdst, std::int32_t len, std::int32_t sf), (value, srcdst, len, sf), jump) \
  X(79, qvlsMulConst_i16_sc, qvls_status, (const std::int16_t* src, std::int16_t value, std::int16_t* dst, std::int32_t len, std::int32_t sf), (src, value, dst, len, sf), jump) \
  X(80, qvlsAdd_i32_ip_sc, qvls_status, (const std::int32_t* src, std::int32_t* srcdst, std::int32_t len, std::int32_t sf), (src, srcdst, len, sf), jump) \
  X(81, qvlsAdd_i16_ip_sc, qvls_status, (const std::int16_t* src, std::int16_t* srcdst, std::int32_t len, std::int32_t sf), (src, srcdst, len, sf), no_jump) \
  X(82, qvlsSub_i16_ip, qvls_status, (const std::int16_t* src, std::int16_t* srcdst, std::int32_t len), (src, srcdst, len), jump) \
  X(83, qvlsSubConst_i16_ip, qvls_status, (std::int32_t value, std::int16_t* srcdst, std::int32_t len), (value, srcdst, len), jump) \
  X(84, qvlsSub_i16_ip_sc, qvls_status, (const std::int16_t* src, std::int16_t* srcdst, std::int32_t len, std::int32_t sf), (src, srcdst, len, sf), jump) \
  X(85, qvlsMul_i16_ip_sc, qvls_status, (const std::int16_t* src, std::int16_t* srcdst, std::int32_t len, std::int32_t sf), (src, srcdst, len, sf), jump) \
  X(86, qvlsSub_i16, qvls_status, (const std::int16_t* srcA, const std::int16_t* srcB, std::int16_t* dst, std::int32_t len), (srcA, srcB, dst, len), jump) \
  X(87, qvlsMul_i32_sc, qvls_status, (const std::int32_t* srcA, const std::int32_t* srcB, std::int32_t* dst, std::int32_t len, std::int32_t sf), (srcA, srcB, dst, len, sf), jump) \
  X(88, qvlsDivConst_i16_ip_sc, qvls_status, (std::int32_t value, std::int16_t* srcdst, std::int32_t len, std::int32_t sf), (value, srcdst, len, sf), jump) \
  X(89, qvlsSqrt_i16_ip_sc, qvls_status, (std::int16_t* srcdst, std::int32_t len, std::int32_t sf), (srcdst, len, sf), jump) \
  X(90, qvlsPhase_ci16toi16_sc, qvls_status, (const qvls_ci16* src, std::int16_t* dst, std::int32_t len, std::int32_t sf), (src, dst, len, sf), jump) \
  X(91, qvlsDot_i16_sc, qvls_status, (const std::int16_t* srcA, const std::int16_t* srcB, std::int32_t len, std::int16_t* result, std::int32_t sf), (srcA, srcB, len, result, sf), no_jump) \
  X(92, qvlsDot_i16toi32_sc, qvls_status, (const std::int16_t* srcA, const std::int16_t* srcB, std::int32_t len, std::int32_t* result, std::int32_t sf), (srcA, srcB, len, result, sf), jump) \
  X(93, qvlsDot_i16i32toi32_sc, qvls_status, (const std::int16_t* srcA, const std::int32_t* srcB, std::int32_t len, std::int32_t* result, std::int32_t sf), (srcA, srcB, len, result, sf), jump) \
  X(94, qvlsDot_i16ci16toci32_sc, qvls_status, (const std::int16_t* srcA, const qvls_ci16* srcB, std::int32_t len, qvls_ci32* result, std::int32_t sf), (srcA, srcB, len, result, sf), jump) \
  X(95, qvlsDot_i32_sc, qvls_status, (const std::int32_t* srcA, const std::int32_t* srcB, std::int32_t len, std::int32_t* result, std::int32_t sf), (srcA, srcB, len, result, sf), no_jump) \
  /* s96 to s98, for the V.34 trellis decoder: the corner is x - ((x mod 256) XOR 128), so 256 gives 128; code 7 is (2, 1) and code 10 is (-1, 1); the 4D operation reads the two points' 8 words each as one array of 16; a state count other than 16, 32, 64 (and a 4D mask outside 0 to S/2 - 1) returns -5 (siglib/trellis/trellis_entries.h). */ \
  X(96, qvlsTrellisMetrics2D_i16, qvls_status, (const std::int16_t* point, std::uint32_t* corner, trellis_metric2d* metrics, const std::uint8_t* labels, std::int32_t states), (point, corner, metrics, labels, states), jump) \
  X(97, qvlsTrellisACS_u16, qvls_status, (const std::uint16_t* oldMetrics, const std::uint8_t* nextState, std::uint16_t* newMetrics, const trellis_metric4d* metrics, trellis_survivor* survivors, std::int32_t states, std::int32_t offset), (oldMetrics, nextState, newMetrics, metrics, survivors, states, offset), jump) \
  X(98, qvlsTrellisMetrics4D_u16, qvls_status, (const trellis_metric2d* metrics2d, trellis_metric4d* metrics4d, std::int32_t states, std::int32_t mask), (metrics2d, metrics4d, states, mask), jump) \
  X(99, qvlsMaxWithIndex_i16, qvls_status, (const std::int16_t* src, std::int32_t len, std::int16_t* max, std::int32_t* index), (src, len, max, index), jump) \
  X(100, qvlsSum_i16toi32_sc, qvls_status, (const std::int16_t* src, std::int32_t len, std::int32_t* result, std::int32_t sf), (src, len, result, sf), jump) \
  X(101, qvlsConvert_i16toi32, qvls_status, (const std::int16_t* src, std::int32_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(102, qvlsConvert_i32toi16, qvls_status, (const std::int32_t* src, std::int16_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(103, qvlsMin_i16, qvls_status, (const std::int16_t* src, std::int32_t len, std::int16_t* min), (src, len, min), jump) \
  X(104, qvlsWinHamming_i16, qvls_status, (const std::int16_t* src, std::int16_t* dst, std::int32_t len), (src, dst, len), no_jump) \
  X(105, qvlsWinHann_i16, qvls_status, (const std::int16_t* src, std::int16_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(106, qvlsWinHann_i16_ip, qvls_status, (std::int16_t* srcdst, std::int32_t len), (srcdst, len), no_jump) \
  X(107, qvlsFIRStateSize_i16, qvls_status, (std::int32_t len, std::int32_t* size), (len, size), jump) \
  X(108, qvlsFIRInit_i16, qvls_status, (fir_state** state, const std::int32_t* taps, std::int32_t len, std::int32_t tapsFactor, const std::int16_t* delayLine, std::uint8_t* buffer), (state, taps, len, tapsFactor, delayLine, buffer), jump) \
  X(109, qvlsFIRInit_ci16, qvls_status, (fir_state** state, const qvls_ci32* taps, std::int32_t len, std::int32_t tapsFactor, const qvls_ci16* delayLine, std::uint8_t* buffer), (state, taps, len, tapsFactor, delayLine, buffer), jump) \
  X(110, qvlsFIRStateSize_ci16, qvls_status, (std::int32_t len, std::int32_t* size), (len, size), jump) \
  X(111, qvlsALawDecode_u8toi16, qvls_status, (const std::uint8_t* src, std::int16_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(112, qvlsMuLawDecode_u8toi16, qvls_status, (const std::uint8_t* src, std::int16_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(113, qvlsALawEncode_i16tou8, qvls_status, (const std::int16_t* src, std::uint8_t* dst, std::int32_t len), (src, dst, len), jump) \
  X(114, qvlsMuLawEncode_i16tou8, qvls_status, (const std::int16_t* src, std::uint8_t* dst, std::int32_t len), (src, dst, len), jump)
// clang-format on

// QVLS_IF_JUMP(jump, code...) keeps the code for a slot with a jump entry only.
#define QVLS_IF_JUMP(jump, ...) QVLS_IF_JUMP_##jump(__VA_ARGS__)
#define QVLS_IF_JUMP_jump(...) __VA_ARGS__
#define QVLS_IF_JUMP_no_jump(...)

// The function type of each operation: qvlsCopy_u8_fn and so on. A family may
// declare its entries with it: `qvlsCopy_u8_fn qvlsCopy_u8_w7;`.
#define QVLS_DECLARE_FUNCTION_TYPE(number, name, result, params, args, jump) \
  using name##_fn = result params;
QVLS_SLOT_LIST(QVLS_DECLARE_FUNCTION_TYPE)
#undef QVLS_DECLARE_FUNCTION_TYPE

// Slot numbers by operation: qvls_slot_index::qvlsCopy_u8 is 9.
namespace qvls_slot_index {
#define QVLS_DECLARE_SLOT_INDEX(number, name, result, params, args, jump) name = number,
enum : std::int32_t { QVLS_SLOT_LIST(QVLS_DECLARE_SLOT_INDEX) };
#undef QVLS_DECLARE_SLOT_INDEX
}  // namespace qvls_slot_index

// The function type of slot number k.
template <std::int32_t Slot>
struct qvls_slot_type;
#define QVLS_DECLARE_SLOT_TYPE(number, name, result, params, args, jump) \
  template <>                                                            \
  struct qvls_slot_type<number> {                                        \
    using fn = name##_fn;                                                \
  };
QVLS_SLOT_LIST(QVLS_DECLARE_SLOT_TYPE)
#undef QVLS_DECLARE_SLOT_TYPE

namespace qvls::detail {

#define QVLS_SLOT_NUMBER(number, name, result, params, args, jump) number,
#define QVLS_SLOT_NAME(number, name, result, params, args, jump) #name,
#define QVLS_SLOT_JUMP(number, name, result, params, args, jump) QVLS_IF_JUMP(jump, true) + 0,
inline constexpr std::int32_t kSlotNumbers[] = {QVLS_SLOT_LIST(QVLS_SLOT_NUMBER)};
inline constexpr const char* kSlotNames[] = {QVLS_SLOT_LIST(QVLS_SLOT_NAME)};
inline constexpr int kSlotHasJump[] = {QVLS_SLOT_LIST(QVLS_SLOT_JUMP)};
#undef QVLS_SLOT_NUMBER
#undef QVLS_SLOT_NAME
#undef QVLS_SLOT_JUMP

constexpr bool SlotsAreNumberedInOrder() {
  std::int32_t k = 0;
  for (std::int32_t number : kSlotNumbers) {
    if (number != k++) return false;
  }
  return true;
}

constexpr int JumpEntryCount() {
  int count = 0;
  for (int has_jump : kSlotHasJump) count += has_jump;
  return count;
}

}  // namespace qvls::detail

// Number of slots and of records of the variant table.
inline constexpr std::int32_t qvls_slot_count =
    static_cast<std::int32_t>(std::size(qvls::detail::kSlotNumbers));
inline constexpr int qvls_jump_entry_count = qvls::detail::JumpEntryCount();

static_assert(qvls_slot_count == 115, "the library has 115 operation slots");
static_assert(qvls_jump_entry_count == 98, "the data pump calls 98 of them through jump entries");
static_assert(qvls::detail::SlotsAreNumberedInOrder(), "slot k is row k of the list");

// The operation's name for slot k, for messages.
constexpr const char* qvls_slot_name(std::int32_t slot) { return qvls::detail::kSlotNames[slot]; }
constexpr bool qvls_slot_has_jump_entry(std::int32_t slot) {
  return qvls::detail::kSlotHasJump[slot] != 0;
}
