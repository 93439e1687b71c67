// port_setup (slot 2): the serial queues' buffers and sizes.
#include <algorithm>

#include "layer2/corecode/mt/frame/port_lifecycle.h"
#include "platform/ke/spin_lock_held.h"

namespace vxctl {
namespace {

using plat::ke::SpinLockHeld;

void Place(SerialQueue& queue, std::uint8_t* buffer, std::uint32_t size) {
  SpinLockHeld held(queue.lock);
  queue.buffer = buffer;
  queue.size = size;
  queue.count = queue.get = queue.put = 0;
}

// The queue back on its static area, emptied; its pool block freed.
void ReleasePoolQueue(SerialQueue& queue, std::uint8_t* area, std::uint8_t pool_flag) {
  PortBlock& port = port_block();
  if ((port.state_flags.load() & pool_flag) == 0) return;
  std::uint8_t* block = queue.buffer;
  Place(queue, area, kStaticQueueSize);
  port.state_flags.fetch_and(static_cast<std::uint8_t>(~pool_flag));
  AddressFree(block);
}

// A queue of `size` bytes: a pool block above 4096, else (or when the pool
// refuses) the static area with at most 4096.
std::uint32_t Allocate(SerialQueue& queue, std::uint8_t* area, std::uint8_t pool_flag,
                       std::uint32_t size) {
  ReleasePoolQueue(queue, area, pool_flag);
  if (size > kStaticQueueSize) {
    if (auto* block = static_cast<std::uint8_t*>(AddressAllocate(size, 0))) {
      Place(queue, block, size);
      port_block().state_flags.fetch_or(pool_flag);
      return size;
    }
  }
  const std::uint32_t used = std::min(size, kStaticQueueSize);
  Place(queue, area, used);
  return used;
}

std::uint32_t SetUp(SerialQueue& queue, std::uint8_t* area, std::uint8_t pool_flag,
                    std::uint8_t* buffer, std::uint32_t size) {
  if (buffer != nullptr) {
    ReleasePoolQueue(queue, area, pool_flag);
    Place(queue, buffer, size);
    return size;
  }
  return Allocate(queue, area, pool_flag, size != 0 ? size : kStaticQueueSize);
}

}  // namespace

bool port_setup(PortBlock* port, std::uint8_t* read_buffer, std::uint32_t read_size,
                std::uint8_t* write_buffer, std::uint32_t write_size) {
  PortState& state = port_state();
  if (port == nullptr) {
    state.block.last_error.store(kPortMissing);
    return false;
  }
  const std::uint32_t read = SetUp(port->read_queue, state.read_area.data(), kStateReadInPool,
                                   read_buffer, read_size);
  state.receive_mark.store(ReceiveMark(read));
  SetUp(port->write_queue, state.write_area.data(), kStateWriteInPool, write_buffer, write_size);
  port->last_error.store(kPortOk);
  return true;
}

void port_free_pool_queues(PortBlock& port) {
  PortState& state = port_state();
  ReleasePoolQueue(port.read_queue, state.read_area.data(), kStateReadInPool);
  ReleasePoolQueue(port.write_queue, state.write_area.data(), kStateWriteInPool);
}

}  // namespace vxctl
