#include "pump/context/block_tick.h"

#include "pump/afe_access/afe_access.h"
#include "pump/core/host_transfer.h"

namespace pump {

void BlockTick(DspContext& context) {
  const bool was_dialling = context.dialling == 1;
  if (context.ready == 0) return;
  ResetSampleCursors(*context.afe);
  RunLineMonitor(context);
  context.mode_block(context);
  if (was_dialling && context.dialling == 0 && GetCpPacketCode(*context.host) != 0) {
    context.controller_entry(context);
  }
}

}  // namespace pump
