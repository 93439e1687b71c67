// The fax tone watch of an originating fax call: while the calling tone
// sounds, the context's RX machine listens for the answerer's V.21
// preamble (1650 Hz) and its answer tone (CED, 2100 Hz). A preamble is
// reported at once (status 8 with the carrier bit, an interrupt) and the
// calling tone stops; an answer tone is waited out and reported when it
// ends. The watch then rests.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// The context's RX machine on the watch, its detectors cleared.
void WatchFaxAnswer(DspContext& context);

StateTable<DspContext> FaxToneWatchTable();

}  // namespace pump
