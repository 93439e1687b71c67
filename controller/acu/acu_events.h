// The controller's events: the codes, the 20-record pool with its free
// list and queue, and the posting entry. Events are posted only on the
// controller's task thread; the queue needs no lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vxctl {

enum AcuEventCode : std::uint8_t {
  EvReport = 0,
  EvDteChar = 1,
  EvDial = 2,
  EvAnswer = 3,
  EvDataPhase = 4,
  EvPhaseEnd = 5,
  EvDtrReset = 6,
  EvLinkStatus = 7,
  EvLineStatus = 8,
  EvCarrierLost = 9,
  EvEndCall = 10,
  EvRetrain = 11,
  EvLoopback = 12,
  EvCommand = 13,
  EvDteSignal = 14,
  EvDtrCommand = 16,
  EvLineUnavailable = 18,
  EvLineInUse = 19,
  EvLineCheck = 20,
  EvDigitalLine = 21,
};
inline constexpr std::size_t kAcuEventCodes = 22;

struct acu_event {
  acu_event* link = nullptr;  // next record of the free list or the queue
  std::uint16_t code = 0;
  std::uint16_t parameter = 0;
};

struct AcuEventPool {
  static constexpr std::size_t kRecords = 20;
  std::array<acu_event, kRecords> records{};
  acu_event* free_head = nullptr;
  acu_event* free_tail = nullptr;
  acu_event* queue_head = nullptr;
  acu_event* queue_tail = nullptr;

  AcuEventPool() { Reset(); }
  AcuEventPool(const AcuEventPool&) = delete;
  AcuEventPool& operator=(const AcuEventPool&) = delete;
  // Every record on the free list, the queue empty.
  void Reset();
};

// The pool operations on the machine's pool. alloc answers null when the
// pool is empty; get answers null when the queue is empty; free puts the
// record at the tail of the free list.
acu_event* acu_event_alloc();
void acu_event_queue(acu_event* event);
acu_event* acu_event_get();
void acu_event_free(acu_event* event);

// Queues {code, parameter}; dropped without report when the pool is
// empty. A post from another thread than the controller's task thread
// raises the assertion hook and is dropped, so the queue is never touched
// from two threads.
void acu_post_event(std::uint8_t code, std::uint8_t parameter);

// The event the state machine is running the action of.
const acu_event& acu_current_event();

}  // namespace vxctl
