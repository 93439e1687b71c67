#include "controller/acu/acu_events.h"

#include "controller/acu/acu_controller.h"
#include "layer2/corecode/mt/task/debug_assert.h"
#include "platform/ke/ke.h"

namespace vxctl {

void AcuEventPool::Reset() {
  for (std::size_t i = 0; i < kRecords; ++i) {
    records[i] = {i + 1 < kRecords ? &records[i + 1] : nullptr, 0, 0};
  }
  free_head = &records.front();
  free_tail = &records.back();
  queue_head = nullptr;
  queue_tail = nullptr;
}

acu_event* acu_event_alloc() {
  AcuEventPool& pool = acu_controller().events;
  acu_event* event = pool.free_head;
  if (event == nullptr) return nullptr;
  pool.free_head = event->link;
  if (pool.free_head == nullptr) pool.free_tail = nullptr;
  event->link = nullptr;
  return event;
}

void acu_event_queue(acu_event* event) {
  AcuEventPool& pool = acu_controller().events;
  event->link = nullptr;
  if (pool.queue_tail == nullptr) {
    pool.queue_head = event;
  } else {
    pool.queue_tail->link = event;
  }
  pool.queue_tail = event;
}

acu_event* acu_event_get() {
  AcuEventPool& pool = acu_controller().events;
  acu_event* event = pool.queue_head;
  if (event == nullptr) return nullptr;
  pool.queue_head = event->link;
  if (pool.queue_head == nullptr) pool.queue_tail = nullptr;
  event->link = nullptr;
  return event;
}

void acu_event_free(acu_event* event) {
  AcuEventPool& pool = acu_controller().events;
  event->link = nullptr;
  if (pool.free_tail == nullptr) {
    pool.free_head = event;
  } else {
    pool.free_tail->link = event;
  }
  pool.free_tail = event;
}

void acu_post_event(std::uint8_t code, std::uint8_t parameter) {
  void* const owner = acu_controller().task_thread.load();
  if (owner != nullptr && owner != KeGetCurrentThread()) {
    dbg_assert("acu_events", __LINE__);
    return;
  }
  acu_event* event = acu_event_alloc();
  if (event == nullptr) return;
  event->code = code;
  event->parameter = parameter;
  acu_event_queue(event);
}

const acu_event& acu_current_event() { return acu_controller().current; }

}  // namespace vxctl
