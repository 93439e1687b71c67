// The trellis kernels of the V.34 decoder in their variants (slots s96 to
// s98): 2D subset metrics, 4D subset metrics and add-compare-select.
//
// 2D metrics (s96) are scalar straight-line code, px, m6 and w7 each their
// own, a6 running m6's. 4D metrics (s98): px and m6 loop; a6 runs unrolled
// branch-free scalar code for mask 0; w7 the same for 16 states and 128-bit
// integer kernels for 32 and 64; any other mask takes the loop. Add-compare-
// select (s97): m6 runs px's; a6 and w7 take 16 states four branches at a
// time (a6 on 16-bit lanes of the 64-bit registers, w7 on 32-bit lanes),
// 32 states through the seeded kernel, 64 states in the loop.
//
// For the V.34 trellis decoder, which calls these once per 4D symbol (two 2D
// calls, the 4D call, one step):
// - The corner is g = x - ((x mod 256) XOR 128) per coordinate, the grid line
//   at or below x: x = 256 gives 128, not 384. "x with its low 8 bits replaced
//   by 0x80" is that line only when the low byte is 128 or more; the decoder
//   must take the corner this operation writes.
// - The offset codes are those of kOffsets in trellis_rules.h: code 7 is
//   (2, 1) and code 10 is (-1, 1), so the two candidates of every pair lie two
//   grid steps apart in each coordinate, as two points of one subset must.
//   The decoder's table of candidate offsets must follow this order, not one
//   in which 7 and 10 trade places.
// - The 4D operation reads one array of 16 words: the first point's 8 words,
//   then the second point's 8 (the second 2D call writes at word 8).
// - The 4D operation and add-compare-select refuse a state count other than
//   16, 32 or 64 with -5 (add-compare-select still answers 0 for S <= 0), and
//   the 4D operation a mask outside 0 to S/2 - 1, before writing anything.
#pragma once

#include "siglib/frame/entries.h"

qvlsTrellisMetrics2D_i16_fn qvlsTrellisMetrics2D_i16_px, qvlsTrellisMetrics2D_i16_m6,
    qvlsTrellisMetrics2D_i16_w7;
qvlsTrellisACS_u16_fn qvlsTrellisACS_u16_px, qvlsTrellisACS_u16_a6, qvlsTrellisACS_u16_w7;
qvlsTrellisMetrics4D_u16_fn qvlsTrellisMetrics4D_u16_px, qvlsTrellisMetrics4D_u16_m6,
    qvlsTrellisMetrics4D_u16_a6, qvlsTrellisMetrics4D_u16_w7;

QVLS_VARIANT_ENTRIES(qvlsTrellisMetrics2D_i16, qvlsTrellisMetrics2D_i16_px,
                     qvlsTrellisMetrics2D_i16_m6, qvlsTrellisMetrics2D_i16_m6,
                     qvlsTrellisMetrics2D_i16_w7);
QVLS_VARIANT_ENTRIES(qvlsTrellisACS_u16, qvlsTrellisACS_u16_px, qvlsTrellisACS_u16_px,
                     qvlsTrellisACS_u16_a6, qvlsTrellisACS_u16_w7);
QVLS_VARIANT_ENTRIES(qvlsTrellisMetrics4D_u16, qvlsTrellisMetrics4D_u16_px,
                     qvlsTrellisMetrics4D_u16_m6, qvlsTrellisMetrics4D_u16_a6,
                     qvlsTrellisMetrics4D_u16_w7);
