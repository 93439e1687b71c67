// Per-machine state of the controller. Several machines share one process,
// so the controller keeps no mutable statics: each area keeps its state in
// one struct, made on first use in a slot of the machine's kernel and
// destroyed with the machine.
//
//   struct DspLinkState { ... };
//   DspLinkState& link = MachineState<DspLinkState>();
//
// A field that two threads touch (a task thread and the data pump's block
// thread, say) is a std::atomic.
#pragma once

#include "platform/ke/kernel.h"

namespace vxctl {

template <class State>
State& MachineState() {
  return plat::ke::CurrentKernel().slots().Get<State>();
}

}  // namespace vxctl
