// A context: one flow of control on a machine's CPU (a system thread, a user
// thread, or a pseudo-context that device callbacks run in). Each thread
// context is a host thread that runs only while it holds the turn; the turn
// passes between host threads through one binary semaphore per context, so
// exactly one of them runs at any moment in the whole simulation.
//
// Kernel-internal: driver code sees contexts only as PKTHREAD.
#pragma once

#include <cstdint>
#include <functional>
#include <source_location>
#include <string>
#include <thread>
#include <vector>

#include "platform/ke/baton.h"
#include "platform/ke/irql.h"
#include "platform/ke/ke.h"
#include "platform/ke/timeline.h"

namespace plat::ke {

class Kernel;
class Context;

// Unwinds a context's host stack (PsTerminateSystemThread, simulation
// teardown). Driver code must let it pass.
struct ThreadUnwind {};

enum class ContextKind : std::uint8_t { Device, System, User, Idle };
enum class RunState : std::uint8_t { Created, Ready, Running, Waiting, TimeWait, Terminated };

// What a blocked context waits for.
struct WaitState {
  KWAIT_BLOCK* blocks = nullptr;
  ULONG count = 0;
  WAIT_TYPE type = WaitAny;
  bool delay = false;     // a sleep, not an object wait
  bool external = false;  // a host call outside the emulation (run mode)
  TimelineId timeout;     // its time-out entry, if any
  std::uint64_t due = 0;  // when that entry fires
  NTSTATUS status = STATUS_SUCCESS;
};

// One pending time advance of a context that keeps its machine meanwhile.
struct TimeWaitFrame {
  std::uint64_t target = 0;
  bool elapsed = false;
};

class Context {
 public:
  Context(Kernel& kernel, ContextKind kind, std::string name, KPRIORITY priority,
          std::function<void()> body);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // Launches the host thread, which waits for its first turn.
  void Launch();
  // Gives this context the turn.
  void Give() { baton_.Give(); }
  // Blocks the calling host thread (this context's) until it gets the turn;
  // throws ThreadUnwind when the context must unwind.
  void Park();
  // Waits for the host thread to end.
  void Join();

  bool IsThread() const { return kind != ContextKind::Device; }
  // Name as traces show it: "name#N" with N the thread object's number.
  // Interned by the machine, so trace records may keep it after the context ends.
  const std::string& label() const { return *label_; }

  Kernel& kernel;
  const ContextKind kind;
  const std::string name;
  KPRIORITY priority;
  KPROCESSOR_MODE previous_mode;
  RunState state = RunState::Created;
  KTHREAD* thread = nullptr;
  std::uint64_t quantum_used = 0;  // virtual ns charged since the quantum began
  WaitState wait;
  std::vector<TimeWaitFrame> frames;
  bool unwinding = false;  // told to unwind its stack
  bool finished = false;   // its host thread is done with the kernel
  NTSTATUS exit_status = STATUS_SUCCESS;
  std::source_location last_call;  // the last blocking kernel call
  KIRQL irql = PASSIVE_LEVEL;
  int spin_locks_held = 0;
  int deferred_depth = 0;  // DPCs and ISRs running on this context's stack
  bool interrupts_disabled = false;
  KIRQL irql_before_disable = PASSIVE_LEVEL;
  std::uint64_t longest_hold_ns = 0;  // run mode: longest wall time holding the turn
  // The driver ("\Driver\name") whose code runs on this context now, and
  // the one whose code made the thread; empty for none.
  std::string owner;
  std::string made_by;

 private:
  void HostMain();
  friend class Kernel;

  const std::string* label_;
  std::function<void()> body_;
  Baton baton_;
  std::thread host_;
};

// The context the calling host thread runs, or null.
Context* CurrentContextOrNull();
void SetCurrentContext(Context* context);

// The driver whose code the calling context runs, or empty. What it makes
// (threads, timers, interrupts, mappings, buffers, requests) is named after
// it when shutdown finds it left.
std::string CurrentOwner();
// ", made by \Driver\name", or empty for no owner.
std::string MadeBy(const std::string& owner);

// Marks a call into a driver's code: for the scope the calling context's
// owner is `owner`.
class OwnerScope {
 public:
  explicit OwnerScope(std::string owner);
  ~OwnerScope();
  OwnerScope(const OwnerScope&) = delete;
  OwnerScope& operator=(const OwnerScope&) = delete;

 private:
  Context* self_;
  std::string saved_;
};

}  // namespace plat::ke

// The thread object: a dispatcher header (signalled when the thread ends)
// and the thread's own wait blocks.
struct KTHREAD {
  DISPATCHER_HEADER Header;
  KWAIT_BLOCK WaitBlock[THREAD_WAIT_OBJECTS];
  plat::ke::Context* context;  // null once the thread has ended
  NTSTATUS ExitStatus;
  KPRIORITY Priority;  // kept after the end for KeQueryPriorityThread
};
