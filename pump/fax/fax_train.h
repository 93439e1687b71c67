// The fax receiver's training: per modulation a table of the fax receive
// machine (one tick per received symbol) that finds the start of a burst,
// recognises the alternation segment, locks the segment analysis's loops
// to it, detects the reversal that starts the conditioning segment, trains
// the equaliser and the loops on the known conditioning points with gains
// that shrink state by state, then decides data and reports it. Data lasts
// until a carrier check or the lock counter restarts the table at its
// silence state, which rearms the receiver for the next burst.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// The fax receive machine on the training table of `mode_word` (V.17 short
// training only once a long training has left its snapshot; the long
// table otherwise).
void StartFaxTraining(DspContext& context, int mode_word);

// The long training's snapshot forgotten: a new call's short training
// must not start from another line's equaliser.
void FaxForgetTraining(DspContext& context);

enum class FaxTrainingKind { kV17Long, kV17Short, kV29, kV27ter };
StateTable<DspContext> FaxTrainingTable(FaxTrainingKind kind);

// What every new burst starts from: the silence state's settings (loops
// and enables off, timing loop at rest, the gain adapting fast, the
// equaliser's reset pending, the segment analysis cleared).
void FaxTrainingRearm(FaxRxRecord& rx);
// The carrier loop's frequency and both amplitude corrections cleared, as
// the last alternation state does.
void FaxTrainingClearCarrier(FaxRxRecord& rx);
// The equaliser, the jitter predictor and the timing reference cleared, as
// the start of the conditioning does.
void FaxTrainingClearEqualiser(FaxRxRecord& rx);

}  // namespace pump
