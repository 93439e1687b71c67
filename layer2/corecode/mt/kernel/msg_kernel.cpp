// The message kernel's pool, queue, dispatch, handlers and clock.
#include "layer2/corecode/mt/kernel/msg_kernel.h"

#include <algorithm>

#include "layer2/corecode/mt/services/line_services.h"

namespace vxctl {
namespace {

void ReturnToPool(MsgKernel& kernel, KernelMessage* message) {
  kernel.free_messages.PushBack(message);
}

// Takes a message off the queue. Urgent messages lead the queue, so when
// the last urgent one goes the mark moves to the one before it, or to the
// new head, which then stands for none when it is not urgent.
void Unqueue(MsgKernel& kernel, KernelMessage* message) {
  if (kernel.last_urgent == message) {
    kernel.last_urgent = message->prev != nullptr ? message->prev : message->next;
  }
  kernel.pending.Remove(message);
}

// The first message of this dispatch's batch still queued.
KernelMessage* NextOfBatch(const MsgKernel& kernel, std::uint32_t batch) {
  for (KernelMessage* m = kernel.pending.head; m != nullptr; m = m->next) {
    if (m->batch == batch) return m;
  }
  return nullptr;
}

const ClassHandler* HandlerOf(const MsgKernel& kernel, std::uint8_t msg_class) {
  for (const ClassHandler* h = kernel.handlers.head; h != nullptr; h = h->next) {
    if (h->msg_class == msg_class) return h;
  }
  return nullptr;
}

void RunTimerService(MsgKernel& kernel, const KernelMessage& message) {
  switch (message.code) {
    case kTimersResetCode:
      MK_timers_reset(&kernel.timers);
      return;
    case kTimersAdvanceCode:
      MK_timers_advance(&kernel.timers, message.PayloadU32());
      return;
    default:
      return;
  }
}

}  // namespace

void MK_init(MsgKernel* kernel) {
  if (kernel == nullptr) return;
  kernel->initialised.store(0);
  kernel->clock.store(0);
  kernel->clock_mark = 0;
  kernel->free_messages = {};
  kernel->pending = {};
  kernel->last_urgent = nullptr;
  // `dispatches` goes on counting: a dispatch that outlives the re-creation
  // finds none of its batch.
  for (std::size_t n = 0; n < kKernelMessages; ++n) {
    KernelMessage& message = kernel->messages[n];
    message = KernelMessage{};
    message.number = static_cast<std::uint8_t>(n + 1);
    kernel->free_messages.PushBack(&message);
  }
  kernel->free_handlers = {};
  kernel->handlers = {};
  for (ClassHandler& record : kernel->handler_records) {
    record = ClassHandler{};
    kernel->free_handlers.PushBack(&record);
  }
  MK_timers_reset(&kernel->timers);
  CTY_upload_state().store(0);
  kernel->initialised.store(1);
}

void MK_clock_advance(MsgKernel* kernel, std::uint32_t ms) {
  if (kernel == nullptr || kernel->initialised.load() == 0) return;
  kernel->clock.fetch_add(ms);
}

std::uint32_t MK_msg_get(MsgKernel* kernel, KernelMessage** message) {
  if (message != nullptr) *message = nullptr;
  if (kernel == nullptr || message == nullptr || kernel->initialised.load() == 0) {
    return kMkRefused;
  }
  if (kernel->free_messages.empty() && !kernel->pending.empty()) MK_dispatch(kernel);
  KernelMessage* taken = kernel->free_messages.PopFront();
  if (taken == nullptr) return kMkRefused;
  taken->urgent = 0;
  taken->msg_class = 0;
  taken->code = 0;
  *message = taken;
  return kMkOk;
}

void MK_msg_post(MsgKernel* kernel, KernelMessage* message) {
  if (kernel == nullptr || message == nullptr) return;
  message->batch = 0;
  NodeList<KernelMessage>& pending = kernel->pending;
  if (pending.empty()) {
    pending.PushBack(message);
    kernel->last_urgent = message;
    return;
  }
  if (message->urgent == 0) {
    pending.PushBack(message);
    return;
  }
  KernelMessage* mark = kernel->last_urgent;
  if (mark != nullptr && mark->urgent != 0) {
    pending.InsertAfter(mark, message);
  } else {
    pending.PushFront(message);
  }
  kernel->last_urgent = message;
}

std::uint32_t MK_msg_send(MsgKernel* kernel, bool urgent, std::uint8_t msg_class, std::uint8_t code,
                          std::span<const std::uint8_t> payload) {
  if (payload.size() > kMessagePayload) return kMkRefused;
  KernelMessage* message = nullptr;
  if (MK_msg_get(kernel, &message) != kMkOk) return kMkRefused;
  message->urgent = urgent ? 1 : 0;
  message->msg_class = msg_class;
  message->code = code;
  std::copy(payload.begin(), payload.end(), message->payload.begin());
  MK_msg_post(kernel, message);
  return kMkOk;
}

KernelMessage* MK_msg_dequeue(MsgKernel* kernel) {
  if (kernel == nullptr || kernel->pending.empty()) return nullptr;
  KernelMessage* message = kernel->pending.head;
  Unqueue(*kernel, message);
  return message;
}

void MK_dispatch(MsgKernel* kernel) {
  if (kernel == nullptr || kernel->pending.empty()) return;
  if (++kernel->dispatches == 0) ++kernel->dispatches;
  const std::uint32_t batch = kernel->dispatches;
  for (KernelMessage* m = kernel->pending.head; m != nullptr; m = m->next) m->batch = batch;
  // A nested dispatch (from MK_msg_get in a handler) takes over the
  // messages of this batch that are still queued.
  while (KernelMessage* message = NextOfBatch(*kernel, batch)) {
    Unqueue(*kernel, message);
    if (message->msg_class == kMsgTimerService) {
      RunTimerService(*kernel, *message);
    } else if (const ClassHandler* handler = HandlerOf(*kernel, message->msg_class)) {
      handler->handler(message, handler->context);
    }
    ReturnToPool(*kernel, message);
  }
}

std::uint32_t MK_register(MsgKernel* kernel, std::uint32_t msg_class, MsgHandler handler,
                          void* context) {
  if (kernel == nullptr || msg_class == 0 || msg_class > 0xFF || handler == nullptr ||
      context == nullptr) {
    return kMkRefused;
  }
  ClassHandler* record = kernel->free_handlers.PopFront();
  if (record == nullptr) return kMkRefused;
  record->msg_class = static_cast<std::uint8_t>(msg_class);
  record->handler = handler;
  record->context = context;
  kernel->handlers.PushFront(record);
  return kMkOk;
}

void MK_post_elapsed(MsgKernel* kernel) {
  if (kernel == nullptr || kernel->clock.load() == kernel->clock_mark) return;
  KernelMessage* message = nullptr;
  if (MK_msg_get(kernel, &message) != kMkOk) return;  // the mark stays: nothing is lost
  // The get may have dispatched, and a handler may have polled already:
  // read the clock only now, once.
  const std::uint32_t now = kernel->clock.load();
  const std::uint32_t elapsed = now - kernel->clock_mark;
  if (elapsed == 0) {
    ReturnToPool(*kernel, message);
    return;
  }
  kernel->clock_mark = now;
  message->urgent = 1;
  message->msg_class = kMsgTimerService;
  message->code = kTimersAdvanceCode;
  message->SetPayloadU32(elapsed);
  MK_msg_post(kernel, message);
}

}  // namespace vxctl
