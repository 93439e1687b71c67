// One direction of the serial transfers as the dispatch routines, the
// cancel routines and the workers see it: the device's queue of requests,
// the request being served, the queue's idle event and the worker's events.
#pragma once

#include "layer2/corecode/mt/serial/irp_workers.h"

namespace vxctl {

struct TransferSide {
  LIST_ENTRY& queue;
  PIRP& current;
  KEVENT& idle;
  WorkerEventSet& worker;
  PDRIVER_CANCEL cancel;
  bool write;
};

TransferSide ReadSide(SerialDeviceExtension& extension);
TransferSide WriteSide(SerialDeviceExtension& extension);

inline PIRP RequestOf(PLIST_ENTRY entry) {
  return reinterpret_cast<PIRP>(reinterpret_cast<char*>(entry) -
                                offsetof(IRP, Tail.Overlay.ListEntry));
}

bool AbortTransfer(const TransferSide& side);
bool DrainTransfers(const TransferSide& side, PIRP irp);

}  // namespace vxctl
