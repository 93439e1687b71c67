// The IRP workers: three system threads (priority 16) that serve what the
// dispatch routines queue. The read and write workers take their queue's
// requests one at a time in arrival order through port_read and
// port_write; the wait-on-mask worker completes the pending wait request
// when events arrive or it is cancelled. Started by port_layer_start after
// the timing thread, stopped by port_layer_stop; one set per machine.
#pragma once

#include <cstdint>

#include "layer2/corecode/mt/frame/frame.h"
#include "platform/io/io.h"

namespace vxctl {

// A request's state, in its first driver-context word.
inline constexpr ULONG_PTR kRequestInDispatch = 1;
inline constexpr ULONG_PTR kRequestQueued = 2;
inline constexpr ULONG_PTR kRequestPurging = 3;
inline constexpr ULONG_PTR kRequestServed = 4;

ULONG_PTR RequestState(PIRP irp);
void SetRequestState(PIRP irp, ULONG_PTR state);

// The pending wait's cancel routine has left the request to the
// wait-on-mask worker (its second driver-context word).
void HandOverWait(PIRP irp);
bool WaitHandedOver(PIRP irp);
// A pending wait the worker leaves pending: its cancel routine set again,
// or, when it was cancelled meanwhile, completed with STATUS_CANCELLED.
void ntdrv_wait_keep(SerialDeviceExtension& extension, PIRP irp);

// One worker's notification events and its thread (referenced).
struct WorkerEventSet {
  KEVENT kick;       // work was queued
  KEVENT cancel;     // abort the current transfer or wait
  KEVENT terminate;
  KEVENT done;       // a pass of the worker's loop has finished
  KEVENT exit;       // not signalled: the stop waits on the thread
  PKTHREAD thread = nullptr;
  // Passes that served a request; changes under the cancel spin lock.
  std::uint64_t served = 0;
};

struct IrpWorkers {
  IrpWorkers();
  IrpWorkers(const IrpWorkers&) = delete;
  IrpWorkers& operator=(const IrpWorkers&) = delete;

  WorkerEventSet read;
  WorkerEventSet write;
  WorkerEventSet wait;
};

IrpWorkers& irp_workers();

// The three workers with the serial device as their context; a thread
// that cannot be made stops the ones already started and its status is
// returned.
NTSTATUS ntdrv_workers_start(PDEVICE_OBJECT serial_device);
// Each worker terminated and waited for, in start order.
void ntdrv_workers_stop();

// The transfer in progress ends at its next round; returns once its
// worker has finished that pass (true when the wait succeeded).
bool ntdrv_read_abort(SerialDeviceExtension& extension);
bool ntdrv_write_abort(SerialDeviceExtension& extension);
// True once no request waits in the worker's queue or is served by it
// (at once, or after waiting in the request's mode).
bool ntdrv_read_drain(SerialDeviceExtension& extension, PIRP irp);
bool ntdrv_write_drain(SerialDeviceExtension& extension, PIRP irp);
// The pending wait request cancelled through the wait-on-mask worker.
bool ntdrv_wait_abort(SerialDeviceExtension& extension);
// The event word AND the event mask of the port (0 without an event word).
ULONG ntdrv_events_detected(SerialDeviceExtension& extension);
// `events` cleared in the device's and the port's event word; the history
// mask cleared.
void ntdrv_events_clear(SerialDeviceExtension& extension, ULONG events);

}  // namespace vxctl
