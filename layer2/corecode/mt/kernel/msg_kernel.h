// The message kernel the line services run on: a pool of 5 messages, a
// pending queue with an urgent lane, up to 10 class handlers and 24
// millisecond timers in a delta list, all fixed arrays inside the object.
//
// Messages. A sender takes a message (MK_msg_get), fills urgent, class,
// code and payload and posts it (MK_msg_post), or does both with
// MK_msg_send; when no message is free the request is dropped. Urgent
// messages run before the others, each lane first in, first out. When the
// pool is empty MK_msg_get first dispatches what is pending, so a handler
// may run inside a sender's call. MK_dispatch runs exactly the messages
// pending when it starts, each by the most recently registered handler of
// its class (class 2 is the kernel's own timer service), and returns them
// to the pool; what handlers post waits for the next dispatch.
//
// Timers. A start (MK_timer_start with a TimerRequest) writes the timer's
// id into the owner's one-byte variable; at expiry the variable is cleared
// and then the callback runs with the arguments of its kind. A stop leaves
// clearing the variable to its caller. Timers of equal expiry fire in the
// order the insertion rule of MK_timer_insert gives. An advance fires, in
// expiry order, the timers it reaches; a timer started while an advance
// fires (by a callback, say) counts from the end of that advance and never
// fires in it, so a 0 ms timer fires at the next non-zero advance.
//
// Threads. The clock is the only field of two threads: the timing thread
// adds to it (MK_clock_advance) and the task thread reads it when it turns
// the elapsed time into a timer advance (MK_post_elapsed). Everything else
// runs on the task thread and takes no lock.
//
// Operations answer kMkOk (0) or kMkRefused (1).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "layer2/corecode/mt/kernel/node_list.h"

namespace vxctl {

inline constexpr std::size_t kKernelMessages = 5;
inline constexpr std::size_t kClassHandlers = 10;
inline constexpr std::size_t kKernelTimers = 24;
inline constexpr std::size_t kMessagePayload = 32;

enum MkStatus : std::uint32_t { kMkOk = 0, kMkRefused = 1 };

// The message classes: who handles a message.
enum MsgClass : std::uint8_t {
  kMsgLineEvents = 1,    // ring and line events, dial proceed, black-list verdicts
  kMsgTimerService = 2,  // the kernel's own timer service
  kMsgDaa = 3,           // DAA relays and hook
  kMsgCallProgress = 4,  // call-progress tone detection
  kMsgRingCadence = 5,
  kMsgTone = 6,  // tone and DTMF generation
  kMsgBlackList = 7,
  kMsgCountry = 8,   // country tables
  kMsgLinePoll = 9,  // line-state requests to the modem task
};

// Codes of the timer service (class 2).
enum TimerServiceCode : std::uint8_t {
  kTimersResetCode = 1,    // every timer stops without its callback
  kTimersAdvanceCode = 2,  // the u32 payload's milliseconds have passed
};

struct KernelMessage {
  KernelMessage* prev = nullptr;
  KernelMessage* next = nullptr;
  std::uint8_t number = 0;  // 1..5 in the pool, fixed at MK_init
  std::uint8_t urgent = 0;
  std::uint8_t msg_class = 0;
  std::uint8_t code = 0;
  std::array<std::uint8_t, kMessagePayload> payload{};
  // The dispatch that found it pending (0: none yet).
  std::uint32_t batch = 0;

  // A u32 payload, in the first four bytes (host order).
  std::uint32_t PayloadU32() const {
    std::uint32_t value;
    std::memcpy(&value, payload.data(), sizeof value);
    return value;
  }
  void SetPayloadU32(std::uint32_t value) { std::memcpy(payload.data(), &value, sizeof value); }
};

// A class handler: the message and the context it was registered with.
using MsgHandler = void (*)(KernelMessage* message, void* context);

struct ClassHandler {
  ClassHandler* prev = nullptr;
  ClassHandler* next = nullptr;
  std::uint8_t msg_class = 0;
  MsgHandler handler = nullptr;
  void* context = nullptr;
};

// Timer callbacks take no argument (kind 0), a (kind 1) or a and b (kind
// 2). A timer keeps its callback as TimerCallback and calls it as its
// kind's type; the request's SetCallback keeps the two in step.
using TimerArg = std::uintptr_t;
using TimerCallback = void (*)();
using TimerCallback1 = void (*)(TimerArg a);
using TimerCallback2 = void (*)(TimerArg a, TimerArg b);

enum TimerCallbackKind : std::uint8_t {
  kTimerNoArgument = 0,
  kTimerOneArgument = 1,
  kTimerTwoArguments = 2
};

struct KernelTimer {
  KernelTimer* prev = nullptr;
  KernelTimer* next = nullptr;
  std::uint8_t id = 0;            // 1..24, fixed at reset
  std::uint8_t* owner = nullptr;  // the caller's timer-id variable, or none
  std::uint32_t delta = 0;        // ms after the expiry of the timer before it
  std::uint8_t kind = kTimerNoArgument;
  TimerCallback callback = nullptr;  // none: the expiry only clears the owner
  TimerArg a = 0;
  TimerArg b = 0;
  bool firing = false;  // taken off the lists while its callback runs
};

struct MsgKernel;

// What a caller fills before a timer start, stop or query.
struct TimerRequest {
  MsgKernel* kernel = nullptr;
  std::uint8_t* owner = nullptr;  // start: the caller's timer-id variable, or none
  std::uint8_t id = 0;            // stop and remaining: the timer
  std::uint32_t ms = 0;           // start: the time to expiry; remaining: the answer
  std::uint8_t kind = kTimerNoArgument;
  TimerCallback callback = nullptr;
  TimerArg a = 0;
  TimerArg b = 0;

  void SetCallback(TimerCallback fn) {
    kind = kTimerNoArgument;
    callback = fn;
    a = b = 0;
  }
  void SetCallback(TimerCallback1 fn, TimerArg arg) {
    kind = kTimerOneArgument;
    callback = reinterpret_cast<TimerCallback>(fn);
    a = arg;
    b = 0;
  }
  void SetCallback(TimerCallback2 fn, TimerArg arg_a, TimerArg arg_b) {
    kind = kTimerTwoArguments;
    callback = reinterpret_cast<TimerCallback>(fn);
    a = arg_a;
    b = arg_b;
  }
};

struct KernelTimerBlock {
  NodeList<KernelTimer> free;
  // Running timers in expiry order, each delta relative to the one before.
  NodeList<KernelTimer> running;
  // Timers an advance has reached and not fired yet, in firing order.
  NodeList<KernelTimer> expired;
  std::array<KernelTimer, kKernelTimers> timers{};
};

struct MsgKernel {
  // Set by MK_init; while 0, MK_msg_get refuses and the clock stands.
  std::atomic<std::uint8_t> initialised{0};
  // Milliseconds, advanced by the timing thread; wraps modulo 2^32.
  std::atomic<std::uint32_t> clock{0};
  // The clock when elapsed time last went into a timer advance.
  std::uint32_t clock_mark = 0;
  NodeList<KernelMessage> free_messages;
  NodeList<KernelMessage> pending;
  // The message behind which the next urgent one goes; one that is not
  // urgent stands for none.
  KernelMessage* last_urgent = nullptr;
  std::array<KernelMessage, kKernelMessages> messages{};
  // Numbers the dispatches, so each takes only the messages it found.
  std::uint32_t dispatches = 0;
  NodeList<ClassHandler> free_handlers;
  NodeList<ClassHandler> handlers;  // most recently registered first
  std::array<ClassHandler, kClassHandlers> handler_records{};
  KernelTimerBlock timers;
};

// Empties the kernel: messages 1..5 and the handler records free in
// order, every timer free, the clock and its mark 0; then marks it
// initialised. Also clears the country-table upload state.
void MK_init(MsgKernel* kernel);
// Timing thread: clock += ms, once the kernel is initialised.
void MK_clock_advance(MsgKernel* kernel, std::uint32_t ms);

// A free message with links, urgent, class and code cleared (the payload
// keeps what it held). Refused when the kernel is null or not initialised,
// or when no message is free even after dispatching the pending ones.
std::uint32_t MK_msg_get(MsgKernel* kernel, KernelMessage** message);
// Queues a message taken with MK_msg_get: an urgent one behind the last
// urgent one queued (at the head when there is none), others at the tail.
void MK_msg_post(MsgKernel* kernel, KernelMessage* message);
// The posting convention in one call: get, fill, post. Refused when no
// message is free or the payload is longer than a message's.
std::uint32_t MK_msg_send(MsgKernel* kernel, bool urgent, std::uint8_t msg_class, std::uint8_t code,
                          std::span<const std::uint8_t> payload = {});
// Takes the head of the pending queue (null when it is empty).
KernelMessage* MK_msg_dequeue(MsgKernel* kernel);
// Runs exactly the messages pending when it starts, in queue order; those
// a nested dispatch took are not run again, and messages posted meanwhile,
// urgent ones too, wait for the next dispatch. A class without a handler
// is dropped.
void MK_dispatch(MsgKernel* kernel);
// Registers a handler ahead of those already registered; refused when the
// kernel, class (1..255), handler or context is missing or all 10 records
// are taken.
std::uint32_t MK_register(MsgKernel* kernel, std::uint32_t msg_class, MsgHandler handler,
                          void* context);

// Turns the clock's progress since the mark into an urgent timer advance
// (class 2, code 2). The mark moves only with a posted advance: when no
// message is free the elapsed time stays for the next call.
void MK_post_elapsed(MsgKernel* kernel);

// Timers through a request naming the kernel. Start: refused when the
// request or its kernel is missing or all 24 timers run. Stop: nothing
// when the timer does not run. Remaining: the milliseconds to expiry in
// `ms`; refused when the timer does not run.
std::uint32_t MK_timer_start(TimerRequest* request);
void MK_timer_stop(TimerRequest* request);
std::uint32_t MK_timer_remaining(TimerRequest* request);

// The timer block's own operations.
void MK_timers_reset(KernelTimerBlock* block);
std::uint32_t MK_timer_insert(KernelTimerBlock* block, const TimerRequest& request);
void MK_timers_advance(KernelTimerBlock* block, std::uint32_t elapsed);
void MK_timer_remove(KernelTimerBlock* block, std::uint8_t id);
std::uint32_t MK_timer_sum(KernelTimerBlock* block, std::uint8_t id, std::uint32_t& remaining);

}  // namespace vxctl
