// Starting the V.22/V.22bis modem, for a call or for the loopback test,
// and leaving it for Bell 103 or V.32.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// The call's start from the handshake: V.22bis (mode 7, rate code 4) or
// V.22 (mode 6, rate code 3); a mode other than 1, 6 or 7 becomes V.22bis.
// The carriers by direction: the caller sends at 1200 Hz and hears 2400 Hz.
void V22bConfig(DspContext& context);

// The loopback test (command 0x6E modes 6 and 7): the front end's analog
// loop at 96 samples and 9600 Hz, both directions on one carrier, the
// direct tables.
void StartV22Loopback(DspContext& context);

// The fallbacks, as transmit states: Bell 103 originate, and V.32
// answering as V.22 (mode 6, rate code 3).
void V22bGotoBell103(DspContext& context);
void V22bGotoV32(DspContext& context);

}  // namespace pump
