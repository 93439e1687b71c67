// Calls from the built controller into parts that are not built yet. Each
// is a no-op that records its name and arguments in the machine's pending
// log (pending_log.h) and returns a neutral answer. The issue that builds
// the part declares the entry in the part's own header, deletes it here,
// and points its callers' includes there.
#pragma once

#include <cstdint>

namespace vxctl {

// Modem task.
void ModemTask_DspIdle();
void ModemTask_SetCallProgress(std::uint8_t mode);
// The modem task's 10 ms counters, the first step of the controller tick.
void ModemTask_Tick10ms();
// The V.8 exchange's pending DataMode 7 frame for the transmit block: 1
// with its bytes and length (marked sent), or 0 with null and 0.
std::uint8_t ModemTask_TakeLineFrame(const std::uint8_t*& frame, std::uint16_t& length);
// One received HDLC frame was bad.
void ModemTask_CountFrameError();


}  // namespace vxctl
