// The message kernel's 24 millisecond timers. Running timers sit in a
// delta list: each holds the milliseconds after the expiry of the one
// before it, so an advance touches only the head and what expires.
#include "layer2/corecode/mt/kernel/msg_kernel.h"

namespace vxctl {
namespace {

KernelTimer* Find(const NodeList<KernelTimer>& list, std::uint8_t id) {
  for (KernelTimer* timer = list.head; timer != nullptr; timer = timer->next) {
    if (timer->id == id) return timer;
  }
  return nullptr;
}

// Back to the free list, keeping only the id.
void Free(KernelTimerBlock& block, KernelTimer* timer) {
  *timer = KernelTimer{.id = timer->id};
  block.free.PushBack(timer);
}

void Call(std::uint8_t kind, TimerCallback callback, TimerArg a, TimerArg b) {
  if (callback == nullptr) return;
  switch (kind) {
    case kTimerNoArgument:
      callback();
      return;
    case kTimerOneArgument:
      reinterpret_cast<TimerCallback1>(callback)(a);
      return;
    case kTimerTwoArguments:
      reinterpret_cast<TimerCallback2>(callback)(a, b);
      return;
    default:
      return;  // no such kind: nothing to call it as
  }
}

// Fires the expired timers one at a time, each taken off the list before
// its owner is cleared and its callback runs. A callback may start, stop,
// reset or advance: a nested advance fires what is left here first, and a
// reset frees the record under the callback, which then stays with the
// free list.
void FireExpired(KernelTimerBlock& block) {
  while (KernelTimer* timer = block.expired.PopFront()) {
    timer->firing = true;
    if (timer->owner != nullptr) *timer->owner = 0;
    Call(timer->kind, timer->callback, timer->a, timer->b);
    if (timer->firing) Free(block, timer);
  }
}

}  // namespace

void MK_timers_reset(KernelTimerBlock* block) {
  if (block == nullptr) return;
  block->free = {};
  block->running = {};
  block->expired = {};
  for (std::size_t n = 0; n < kKernelTimers; ++n) {
    KernelTimer& timer = block->timers[n];
    timer = KernelTimer{.id = static_cast<std::uint8_t>(n + 1)};
    block->free.PushBack(&timer);
  }
}

// Walking from the head with the time still to go: the new timer goes in
// front of the first timer that expires later; with no time left to go it
// goes behind the timer it reached. A timer whose expiry equals others'
// therefore lands behind the first of them whose deltas bring the sum to
// its expiry, and behind one more when that one has delta 0.
std::uint32_t MK_timer_insert(KernelTimerBlock* block, const TimerRequest& request) {
  if (block == nullptr) return kMkRefused;
  KernelTimer* timer = block->free.PopFront();
  if (timer == nullptr) return kMkRefused;
  timer->kind = request.kind;
  timer->callback = request.callback;
  timer->a = request.a;
  timer->b = request.b;
  if (request.owner != nullptr) {
    *request.owner = timer->id;
    timer->owner = request.owner;
  }
  NodeList<KernelTimer>& running = block->running;
  std::uint32_t remaining = request.ms;
  KernelTimer* at = running.head;
  while (at != nullptr) {
    if (at->delta > remaining) {
      at->delta -= remaining;
      break;
    }
    if (remaining == 0) {
      at = at->next;
      break;
    }
    remaining -= at->delta;
    at = at->next;
  }
  timer->delta = remaining;
  if (at != nullptr) {
    running.InsertBefore(at, timer);
  } else {
    running.PushBack(timer);
  }
  return kMkOk;
}

void MK_timers_advance(KernelTimerBlock* block, std::uint32_t elapsed) {
  if (block == nullptr || elapsed == 0) return;
  // First take off everything this advance reaches, so that the running
  // list counts from the advance's end before any callback runs.
  while (KernelTimer* head = block->running.head) {
    if (head->delta > elapsed) {
      head->delta -= elapsed;
      break;
    }
    elapsed -= head->delta;
    head->delta = 0;
    block->running.Remove(head);
    block->expired.PushBack(head);
  }
  FireExpired(*block);
}

// A stopped timer's delta passes to its successor, which keeps its expiry.
void MK_timer_remove(KernelTimerBlock* block, std::uint8_t id) {
  if (block == nullptr) return;
  for (NodeList<KernelTimer>* list : {&block->running, &block->expired}) {
    if (KernelTimer* timer = Find(*list, id)) {
      if (timer->next != nullptr) timer->next->delta += timer->delta;
      list->Remove(timer);
      Free(*block, timer);
      return;
    }
  }
}

std::uint32_t MK_timer_sum(KernelTimerBlock* block, std::uint8_t id, std::uint32_t& remaining) {
  if (block == nullptr) return kMkRefused;
  if (Find(block->expired, id) != nullptr) {
    remaining = 0;
    return kMkOk;
  }
  std::uint32_t sum = 0;
  for (const KernelTimer* timer = block->running.head; timer != nullptr; timer = timer->next) {
    sum += timer->delta;
    if (timer->id == id) {
      remaining = sum;
      return kMkOk;
    }
  }
  return kMkRefused;
}

std::uint32_t MK_timer_start(TimerRequest* request) {
  if (request == nullptr || request->kernel == nullptr) return kMkRefused;
  return MK_timer_insert(&request->kernel->timers, *request);
}

void MK_timer_stop(TimerRequest* request) {
  if (request == nullptr || request->kernel == nullptr) return;
  MK_timer_remove(&request->kernel->timers, request->id);
}

std::uint32_t MK_timer_remaining(TimerRequest* request) {
  if (request == nullptr || request->kernel == nullptr) return kMkRefused;
  return MK_timer_sum(&request->kernel->timers, request->id, request->ms);
}

}  // namespace vxctl
