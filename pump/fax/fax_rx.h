// The fax receiver: StartFaxRx configures the record for a mode word and
// puts the context's RX machine on FaxRx, which per block removes DC,
// runs the V.21 receiver beside it while the watch is armed, demodulates
// and runs the symbol loop: timing and interpolation, the matched filter,
// the gain, the equaliser, one tick of the fax receive machine (whose
// states set the gains and enables and decide), the loops, the adaptation
// and the timing detector; then, in V.17 data, the traceback delivers the
// block's symbols.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// The receive record set up for a mode word, the RX machine on FaxRx and
// the fax receive machine on the mode word's training table.
void StartFaxRx(DspContext& context, int mode_word);

// The receive record alone set up for a mode word (the loops cleared, the
// equaliser reset pending); the fax receive machine is left as it is.
void ConfigureFaxRx(DspContext& context, std::uint16_t mode_word);

// The context's RX machine table {FaxRx}.
StateTable<DspContext> FaxRxTable();

// Uncoded delivery (V.27ter, V.29): the decided symbol's bits through the
// modulation's descrambler and, while data output is on, to the framer.
void FaxDeliverUncoded(DspContext& context);

}  // namespace pump
