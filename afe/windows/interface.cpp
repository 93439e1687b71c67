// The AfeInterface table handed to the data pump at start.
#include "afe/windows/afe_state.h"

namespace afe {

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
