// What the line services' tests share: the machine's kernel, its pending
// messages read without taking them, and posting from the test as a
// poster would.
#pragma once

#include <cstdint>
#include <vector>

#include "layer2/corecode/mt/kernel/line_services_start.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl::testing {

struct PendingMessage {
  std::uint8_t msg_class = 0;
  std::uint8_t code = 0;
  bool urgent = false;
  std::vector<std::uint8_t> payload;  // the first `payload_bytes` bytes
  bool operator==(const PendingMessage&) const = default;
};

inline MsgKernel* LineKernel() { return &MachineState<LineServicesState>().kernel; }
inline LineServicesContext& LineContext() { return MachineState<LineServicesState>().context; }

// The pending queue in order, each payload cut to `payload_bytes`.
inline std::vector<PendingMessage> PendingMessages(std::size_t payload_bytes = 0) {
  std::vector<PendingMessage> out;
  for (KernelMessage* m = LineKernel()->pending.head; m != nullptr; m = m->next) {
    out.push_back({m->msg_class, m->code, m->urgent != 0,
                   std::vector<std::uint8_t>(m->payload.begin(),
                                             m->payload.begin() + payload_bytes)});
  }
  return out;
}

// Drops whatever is pending, unrun, so a test starts from an empty queue.
inline void DropPending() {
  MsgKernel* kernel = LineKernel();
  while (KernelMessage* m = MK_msg_dequeue(kernel)) kernel->free_messages.PushBack(m);
  kernel->last_urgent = nullptr;
}

// Holds every free message until destroyed.
class PoolHeld {
 public:
  PoolHeld() {
    KernelMessage* m = nullptr;
    while (!LineKernel()->free_messages.empty() && MK_msg_get(LineKernel(), &m) == kMkOk) {
      held_.push_back(m);
    }
  }
  ~PoolHeld() {
    for (KernelMessage* m : held_) LineKernel()->free_messages.PushBack(m);
  }
  PoolHeld(const PoolHeld&) = delete;
  PoolHeld& operator=(const PoolHeld&) = delete;

 private:
  std::vector<KernelMessage*> held_;
};

}  // namespace vxctl::testing
