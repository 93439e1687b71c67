// Calls from the core into procedures that are not built yet. Each is a
// no-op that records itself in the context's PendingLog (pending_log.h);
// the procedure, once built, takes its place under the same name and
// arguments.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// Phase 2, V.34, V.90 and V.92.
void InitPhase2Defaults(DspContext& context);
void ResetPhase2(DspContext& context);
void StartPhase2(DspContext& context);
void RestartPhase2(DspContext& context, int cause);
void SetPhase2Option(DspContext& context, int type, int value);
void ResetV34Receiver(DspContext& context);  // the V.34 receiver and its receive parameters
void RestartV34(DspContext& context);        // from phase 3
void RestartV92(DspContext& context);

// Classic modems.
void StartV32Connection(DspContext& context, int role, int rate_sequence);  // logs roles 1 and 2
void RetrainV32Connection(DspContext& context);  // roles 1 and 2
void ChangeV32bisRate(DspContext& context);

}  // namespace pump
