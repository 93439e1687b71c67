// The one mutual exclusion between the data pump's block work and the
// controller's calls into it, per device.
//
// The exclusion is a synchronization event that is signalled while nobody
// holds it: a wait on it is the acquisition itself, so there is no window
// between seeing it free and taking it. A PASSIVE_LEVEL caller waits; a
// caller above PASSIVE_LEVEL cannot, so it only polls. A controller call
// that cannot take it without waiting is deferred: it is counted, and the
// holder runs it before letting go (see LeaveExclusion).
//
// The block thread may not process a block before the first controller
// call has ended; the gate is a notification event set at the end of that
// call (and by a stop, so that a thread held back by it can end).
#pragma once

#include "platform/ke/ke.h"

namespace pump {

struct DspExclusion {
  KEVENT free;                  // synchronization event: signalled while nobody holds it
  KEVENT first_call_ended;      // notification event: the gate of the block thread
  PKTHREAD holder;              // the thread holding it, or null
  volatile LONG deferred;       // controller dispatches waiting for the holder
  volatile LONG deferrals;      // every controller call deferred so far
  volatile LONG deferred_runs;  // every deferred dispatch the holder ran so far
};

// Free, with the gate closed.
void InitDspExclusion(DspExclusion& exclusion);
// At PASSIVE_LEVEL: waits until it is taken.
void EnterDspExclusion(DspExclusion& exclusion);
// At PASSIVE_LEVEL or DISPATCH_LEVEL: takes it when that needs no wait.
bool TryEnterDspExclusion(DspExclusion& exclusion);
// Lets it go; a waiter, if any, takes it.
void ReleaseDspExclusion(DspExclusion& exclusion);
// True when the calling thread holds it: a PASSIVE_LEVEL call made from
// inside the work that holds it.
bool HeldByCaller(const DspExclusion& exclusion);

void OpenFirstCallGate(DspExclusion& exclusion);
// At PASSIVE_LEVEL: waits until the gate is open.
void WaitFirstCallGate(DspExclusion& exclusion);

}  // namespace pump
