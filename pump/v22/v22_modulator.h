// The V.22/V.22bis modulator: per symbol a group of bits (S1, ones or
// framer data), scrambled, turns the quadrant and picks the point; every
// sample the points pass the 16-phase interpolator and turn the carrier:
// out = (I cos - Q sin) x output gain.
#pragma once

#include "pump/context/dsp_context.h"
#include "pump/v22/v22_area.h"

namespace pump {

// One scrambled bit: out = in ^ out[-14] ^ out[-17]; after 64 output ones
// in a row the input bit is inverted first.
int V22Scramble(V22TxRecord& tx, int bit);

// The context's output block from the record's mode.
void V22Modulate(DspContext& context, V22TxRecord& tx);

}  // namespace pump
