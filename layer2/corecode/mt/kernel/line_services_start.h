// The line services' start-up, restart and poll on the message kernel, and
// the requests to the country-table service beside them. The machine's
// kernel, the line services' context and the live country record live in
// LineServicesState (MachineState<LineServicesState>()); the timing thread
// advances `kernel`'s clock, everything else runs on the task thread.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/kernel/msg_kernel.h"
#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl {

struct LineServicesState {
  MsgKernel kernel;
  LineServicesContext context;
  CountryRecord live_record;
};

// Start-up (controller start and the reset command): the kernel afresh,
// the context (keeping the black list on a user reset), the eight
// handlers, the black list cleared or its delay resumed, the DTMF table,
// line state 1 and the ring measurements emptied.
void LS_init();
// Zeroes the context, keeping its black-list area when the pending reset
// is a user reset, and points it at the kernel and the live record.
void LS_context_init(LineServicesContext& context, MsgKernel* kernel, CountryRecord* record);
// The built-in DTMF frequency table.
void LS_fill_dtmf_table(DtmfFreqTable& table);
// Restart (a call ended, the line was reset): the tone, relay, detector,
// cadence and country services reset, the line state chosen again, the
// four timers of the context stopped.
void LS_restart();
// The periodic step: the elapsed time into a timer advance, the ring
// cadence update, then the pending messages dispatched.
void LS_poll();

// Class 8 requests: the upload dialogue's start; a dump of table 1..10.
void CTY_start_upload();
void CTY_request_dump(std::uint8_t table);
// The live record := the built-in record 0.
void CTY_load_default_record();

}  // namespace vxctl
