#include <algorithm>

#include "pump/afe_access/afe_requests.h"
#include "pump/callprogress/call_progress.h"
#include "pump/context/afe_info_copy.h"
#include "pump/context/block_tick.h"
#include "pump/core/dp_status.h"
#include "pump/idle/idle_mode.h"
#include "pump/pending/pending_procedures.h"
#include "pump/voice/voice_mode.h"

namespace pump {
namespace {

constexpr std::int32_t kLowCountLimit = 400;
constexpr std::int32_t kHoldOffTicks = 1000;
constexpr std::uint8_t kLineCurrentEvent = 10;  // register 56

// The line interface stopped: the modem idles, and when no mode runs a
// dial sequence ends while call progress falls back to watching the line.
void StopLine(DspContext& context) {
  AfeLineOff(*context.afe);
  context.line_monitor.afe_stopped = 1;
  const bool call_progress = CallProgressRunning(context);
  SetIdleMode(context);
  if (context.call.mode == 0) {
    context.dial_call_state = 0;
    StopCallProgress(context, call_progress);
  }
}

}  // namespace

void RunLineMonitor(DspContext& context) {
  LineMonitor& monitor = context.line_monitor;
  HostInterface& host = *context.host;
  AfeAccess& afe = *context.afe;
  const afe::AfeInfo& info = context.afe_info;
  const bool current_check = (context.profile.options & 1) != 0;
  const bool on_hook = (ReadDspReg(host, kRegLineLevelA) & kLineHookRelay) != 0;

  if (monitor.hold_off != 0 && ++monitor.hold_count >= kHoldOffTicks) {
    monitor.hold_off = 0;
    monitor.hold_count = 0;
  }

  if (monitor.afe_stopped == 0) {
    monitor.last_measure = ReadLineMeasure(afe);
    if (monitor.last_measure >= info.LineHighThreshold) {
      monitor.high_count = std::min<std::int32_t>(monitor.high_count + 1, info.HighCountLimit);
    } else {
      monitor.high_count = 0;
      monitor.low_count = monitor.last_measure <= info.LineLowThreshold
                              ? std::min(monitor.low_count + 1, kLowCountLimit)
                              : 0;
    }
  }

  // A limit of 0 is a record the front end never filled: no run is counted.
  const bool high_run = info.HighCountLimit != 0 && monitor.high_count == info.HighCountLimit;
  if (current_check && high_run) {
    monitor.high_count = 0;
    monitor.hold_off = 1;
    RefreshAfeInfo(context);
    StopLine(context);
    SetDpStatus(host, kStatusIdle, false);
    SetDpStatus(host, kStatusCarrier, false);
    SetDspReg(host, kRegEventType, kLineCurrentEvent);
    WriteDspReg(host, kRegDpInterrupt, 1);
  } else if (monitor.afe_stopped == 0 && on_hook) {
    StopLine(context);
  } else if (monitor.afe_stopped != 0 && !on_hook && (!current_check || monitor.hold_off == 0)) {
    if (afe.hook != 0) SetAfeHook(afe, 0);
    RefreshAfeInfo(context);
    AfeLineOn(afe);
    monitor.afe_stopped = 0;
    if (context.voice_active != 0) EnterVoice(context);
  }
}

}  // namespace pump
