// The AfeInterface table handed to the data pump at start.
#include "afe/windows/afe_state.h"

namespace afe {

// The numbered requests and the sound path come with their own dispatchers;
// until then every request is refused and every sound-path code is unknown.
LONG AfeRequest(AfeContext*, ULONG, PVOID, ULONG*) { return kAfeRefused; }

LONG SoundPathRequest(AfeContext*, ULONG, PVOID, ULONG*) { return kSoundUnknown; }

void FillAfeInterface(AfeInterface& table) {
  table.AfeInit = AfeInit;
  table.AfeReadBlock = AfeReadBlock;
  table.AfeWriteBlock = AfeWriteBlock;
  table.AfeRequest = AfeRequest;
  table.AfeStartDma = AfeStartDma;
  table.AfeStopDma = AfeStopDma;
  table.AfeSetResources = AfeSetResources;
  table.AfeInterruptService = AfeInterruptService;
  table.AfeDeferredService = AfeDeferredService;
}

}  // namespace afe
