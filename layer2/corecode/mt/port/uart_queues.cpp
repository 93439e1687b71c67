// The serial read and write queues: rings of `size` bytes, each operation
// under the queue's own lock; block copies split at the wrap.
#include <algorithm>
#include <cstring>

#include "layer2/corecode/mt/port/port_block.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/port/uart_internal.h"
#include "platform/ke/spin_lock_held.h"

namespace vxctl {
namespace {

using plat::ke::SpinLockHeld;

std::uint32_t Advance(const SerialQueue& queue, std::uint32_t index, std::uint32_t n) {
  index += n;
  return index >= queue.size ? index - queue.size : index;
}

std::uint32_t Count(SerialQueue& queue) {
  SpinLockHeld held(queue.lock);
  return queue.count;
}

void Empty(SerialQueue& queue) {
  SpinLockHeld held(queue.lock);
  queue.count = queue.get = queue.put = 0;
}

// Wakes a transfer waiting between its rounds.
void Wake(KEVENT& event) { KeSetEvent(&event, IO_NO_INCREMENT, FALSE); }

}  // namespace

std::uint32_t uart_rx_count() { return Count(port_block().read_queue); }

std::uint32_t uart_rx_free() {
  SerialQueue& queue = port_block().read_queue;
  SpinLockHeld held(queue.lock);
  return queue.size - queue.count;
}

std::uint32_t uart_tx_count() { return Count(port_block().write_queue); }

std::uint32_t uart_tx_put(std::span<const std::uint8_t> bytes) {
  SerialQueue& queue = port_block().write_queue;
  SpinLockHeld held(queue.lock);
  const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), queue.size - queue.count));
  if (n == 0) return 0;
  const std::uint32_t first = std::min(n, queue.size - queue.put);
  std::memcpy(queue.buffer + queue.put, bytes.data(), first);
  std::memcpy(queue.buffer, bytes.data() + first, n - first);
  queue.put = Advance(queue, queue.put, n);
  queue.count += n;
  return n;
}

std::uint32_t uart_rx_get(std::span<std::uint8_t> buffer) {
  SerialQueue& queue = port_block().read_queue;
  SpinLockHeld held(queue.lock);
  const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(buffer.size(), queue.count));
  if (n == 0) return 0;
  const std::uint32_t first = std::min(n, queue.size - queue.get);
  std::memcpy(buffer.data(), queue.buffer + queue.get, first);
  std::memcpy(buffer.data() + first, queue.buffer, n - first);
  queue.get = Advance(queue, queue.get, n);
  queue.count -= n;
  return n;
}

bool uart_tx_peek(std::uint8_t& c) {
  SerialQueue& queue = port_block().write_queue;
  SpinLockHeld held(queue.lock);
  if (queue.count == 0) return false;
  c = queue.buffer[queue.get];
  return true;
}

void uart_tx_take() {
  SerialQueue& queue = port_block().write_queue;
  {
    SpinLockHeld held(queue.lock);
    if (queue.count == 0) return;
    queue.get = Advance(queue, queue.get, 1);
    --queue.count;
  }
  Wake(port_state().tx_room);
}

void uart_purge(std::uint32_t which) {
  PortBlock& port = port_block();
  if (which == kPurgeWrite || which == kPurgeBoth) {
    Empty(port.write_queue);
    Wake(port_state().tx_room);
  }
  if (which == kPurgeRead || which == kPurgeBoth) Empty(port.read_queue);
}

void uart_reset_counters() {
  PortBlock& port = port_block();
  uart_purge(kPurgeBoth);
  for (auto& counter : port.counters) counter.store(0);
}

// The controller's store into the read queue (uart_rx_char): false when
// it is full. `count` is the count after the store.
bool uart_rx_store(std::uint8_t c, std::uint32_t& count) {
  SerialQueue& queue = port_block().read_queue;
  {
    SpinLockHeld held(queue.lock);
    if (queue.count >= queue.size) return false;
    queue.buffer[queue.put] = c;
    queue.put = Advance(queue, queue.put, 1);
    count = ++queue.count;
  }
  Wake(port_state().rx_arrived);
  return true;
}

}  // namespace vxctl
