#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/port_functions.h"

namespace vxctl {

PortState::PortState() {
  block.table = &block.functions;
  port_fill_table(block.functions);
  block.read_queue.buffer = read_area.data();
  block.read_queue.size = kStaticQueueSize;
  block.write_queue.buffer = write_area.data();
  block.write_queue.size = kStaticQueueSize;
  block.event_word = &block.own_event_word;
  block.receive_time = &block.last_receive_time;
  block.msr = &block.msr_shadow;
  block.notifications.read.callback = port_null_callback;
  block.notifications.write.callback = port_null_callback;
  KeInitializeEvent(&rx_arrived, SynchronizationEvent, FALSE);
  KeInitializeEvent(&tx_room, SynchronizationEvent, FALSE);
}

PortState& port_state() { return MachineState<PortState>(); }
PortBlock& port_block() { return port_state().block; }

}  // namespace vxctl
