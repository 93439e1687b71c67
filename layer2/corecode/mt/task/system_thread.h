// The controller's threads (the timing and task threads, the serial port's
// IRP workers) start the same way: a system thread, referenced so that its
// stop can wait for its exit, its handle closed.
#pragma once

#include "platform/ex/ob.h"

namespace vxctl {

struct StartedThread {
  NTSTATUS status;
  // Whether the thread runs: it may, though it could not be referenced; the
  // caller then tells it to end.
  bool running;
  PKTHREAD thread;  // referenced, when the status is success
};

StartedThread start_system_thread(PKSTART_ROUTINE routine, PVOID context);

}  // namespace vxctl
