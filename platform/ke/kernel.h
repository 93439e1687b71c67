// One machine's kernel: its CPU (ready queues, the context holding the CPU),
// its contexts, its pool, its typed slot table, its debug log and its
// knobs. Platform parts and drivers find it from the running context:
//
//   plat::ke::Kernel& k = plat::ke::CurrentKernel();
//   auto& globals = k.slots().Get<MyDriverGlobals>();   // per-machine state
//
// Device models schedule work at exact virtual instants on their machine:
//
//   k.ScheduleAt(k.Now() + 125'000, [&] { model.Tick(); }, "codec tick");
//
// The callback runs between contexts, on behalf of the machine (its pool is
// current, CurrentKernel() finds it), and must not block or wait.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <source_location>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ex/expool.h"
#include "platform/ke/context.h"
#include "platform/ke/dpc.h"
#include "platform/ke/fault_knob.h"
#include "platform/ke/interrupt.h"
#include "platform/ke/ke.h"
#include "platform/ke/slots.h"
#include "platform/ke/timeline.h"
#include "platform/ke/trace.h"

namespace plat {
class Simulation;
}

namespace plat::ke {

struct ObjectHeader;

// System time of 2004-01-01 00:00 in 100 ns units since 1601-01-01.
inline constexpr LONGLONG kDefaultEpoch = 147'192LL * 864'000'000'000LL;

struct KernelConfig {
  std::uint64_t quantum_ns = 20'000'000;  // CPU time before a thread yields to its peers
  std::uint64_t clock_charge_ns = 1'000;  // virtual time each clock read costs
  ULONG time_increment = 100'000;         // 100 ns units per clock tick (156,250 also seen)
  LONGLONG epoch = kDefaultEpoch;         // system time at virtual instant 0
  ULONGLONG tick_offset = 0;              // tick count at virtual instant 0
};

struct KernelFaults {
  FaultKnob thread_creation;    // creation fails with STATUS_INSUFFICIENT_RESOURCES
  FaultKnob float_save;         // KeSaveFloatingPointState fails with STATUS_ILLEGAL_FLOAT_CONTEXT
  FaultKnob connect_interrupt;  // IoConnectInterrupt fails with connect_interrupt_status
  NTSTATUS connect_interrupt_status = STATUS_INSUFFICIENT_RESOURCES;
  std::uint64_t dpc_latency_ns = 0;     // a queued DPC may run only this much later
  std::uint64_t timer_lateness_ns = 0;  // added to every timer expiry
  // Expiry `expiry` (1 = the first after a set) of `timer` comes `delay_ns` late;
  // periodic expiries it overtakes are dropped, the next falls on the grid.
  struct LateExpiry {
    const KTIMER* timer;
    std::uint64_t expiry;
    std::uint64_t delay_ns;
  };
  std::vector<LateExpiry> late_expiries;
};

struct LogLine {
  std::uint64_t time;
  std::string context;
  std::string text;
};

// Kinds of dispatcher object, as DISPATCHER_HEADER.Type holds them.
enum DispatcherType : UCHAR {
  kNotificationEventObject = 1,
  kSynchronizationEventObject = 2,
  kThreadObject = 3,
  kNotificationTimerObject = 4,
  kSynchronizationTimerObject = 5,
};

class Kernel {
 public:
  Kernel(Simulation& simulation, std::string name, std::uint16_t index, KernelConfig config);
  ~Kernel();
  Kernel(const Kernel&) = delete;
  Kernel& operator=(const Kernel&) = delete;

  const std::string& name() const { return name_; }
  std::uint16_t index() const { return index_; }
  Simulation& simulation() { return simulation_; }
  ex::Pool& pool() { return pool_; }
  SlotTable& slots() { return slots_; }
  KernelConfig& config() { return config_; }
  const KernelConfig& config() const { return config_; }
  KernelFaults& faults() { return faults_; }
  const std::vector<LogLine>& log() const { return log_; }
  std::string LogText() const;  // "name: text\n" per line

  // Virtual time of the simulation, ns.
  std::uint64_t Now() const;
  // Runs `callback` for this machine at virtual instant `time_ns` (not before now).
  TimelineId ScheduleAt(std::uint64_t time_ns, std::function<void()> callback,
                        const char* label = "callback");
  bool CancelScheduled(TimelineId id);

  // Starts a thread; it runs when the machine next switches. The returned
  // thread object carries one reference for the caller (null `thread`: none).
  NTSTATUS CreateSystemThread(std::string name, PKSTART_ROUTINE routine, PVOID context,
                              PKTHREAD* thread);
  NTSTATUS CreateUserThread(std::string name, std::function<void()> body, PKTHREAD* thread);

  // Interrupt lines, driven by device models through the HAL: a level line
  // stays pending while asserted, an edge line once per pulse.
  void SetInterruptLine(ULONG vector, KIRQL level, bool asserted);
  void PulseInterruptLine(ULONG vector, KIRQL level);
  // Interrupt objects still connected: by vector, each vector's in connection order.
  std::vector<const KINTERRUPT*> ConnectedInterrupts() const;

  // The driver whose code made a kernel object kept in driver memory (an
  // interrupt, timer or DPC): NoteOwner records the calling context's owner,
  // OwnerOf gives it back (empty for none).
  void NoteOwner(const void* object);
  std::string OwnerOf(const void* object) const;

  // Orderly end of the machine: every thread must have ended and no timer
  // or DPC may be queued (fatal otherwise), then the checks that platform
  // parts added run in order.
  void Shutdown();
  void AddShutdownCheck(std::function<void()> check);

  // Live objects, by creation number: "#3 Thread refs 1".
  std::vector<std::string> LiveObjects() const;

  // ---- kernel side: used by the services in this folder ----
  Context& RequireThread(const char* service);
  [[noreturn]] void Fatal(std::string_view rule, std::string_view detail);
  std::string Report() const;  // threads and their waits
  ULONG NextObjectNumber() { return ++object_numbers_; }
  void Trace(TraceRecord record);
  void AddLog(std::string text);

  // Dispatcher objects.
  // Number 0 gives the header the next object number.
  void InitializeHeader(DISPATCHER_HEADER& header, DispatcherType type, LONG state,
                        ULONG number = 0);
  DISPATCHER_HEADER& CheckedHeader(PVOID object, const char* service);
  void SatisfyWaiters(DISPATCHER_HEADER& header);
  NTSTATUS Wait(Context& self, ULONG count, PVOID objects[], WAIT_TYPE type, KWAIT_BLOCK* blocks,
                const LARGE_INTEGER* timeout, std::source_location where);
  NTSTATUS Delay(Context& self, const LARGE_INTEGER* interval, std::source_location where);
  // Virtual instant of a kernel time-out value (negative relative, positive absolute).
  std::uint64_t DueTime(LONGLONG timeout) const;

  // CPU.
  void SwitchPoint(Context& self);
  void Charge(Context& self, std::uint64_t ns);
  void SetPriority(Context& target, KPRIORITY priority);
  [[noreturn]] void TerminateCurrent(Context& self, NTSTATUS status);
  void EndContext(Context& self);  // on the ending context's host thread

  // IRQL and deferred work.
  KIRQL LevelOf(const Context* context) const;
  void Raise(Context& self, KIRQL level, const char* service);
  void Lower(Context& self, KIRQL level, const char* service);
  void RequireBelowDispatch(Context& self, const char* service);
  void RequireNoSpinLock(Context& self, const char* what);
  void ServiceInterrupts(Context& self);
  void RunDpcs(Context& self);
  bool InsertDpc(KDPC* dpc, PVOID argument1, PVOID argument2);
  bool RemoveDpc(KDPC* dpc);
  void QueueInjected(std::function<void()> work);
  void Stall(Context& self, std::uint64_t ns);
  BOOLEAN SetTimer(KTIMER* timer, LONGLONG due, LONG period, KDPC* dpc);
  BOOLEAN CancelTimer(KTIMER* timer);
  NTSTATUS ConnectInterrupt(KINTERRUPT** out, const KINTERRUPT& request);
  void CheckPoolCall(POOL_TYPE type);
  void CheckPoolFree(const void* block, SIZE_T bytes);
  void DisconnectInterrupt(KINTERRUPT* interrupt);
  void CompleteExternal(Context& waiter);
  void ExternalCall(Context& self, const std::function<void()>& call);
  // Run mode: moves virtual time to `target` as a charge would; with
  // `hand_over`, lets the run loop take its inbox even when nothing is due.
  void AdvanceTo(Context& self, std::uint64_t target, bool hand_over);
  void NoteHold(const Context& context);
  // Run mode: each context's longest wall time holding the CPU, by label.
  const std::map<std::string, std::uint64_t>& longest_holds() const { return longest_holds_; }
  void LeaveCpuFor(Context& self) { LeaveCpu(self); }
  // One stored copy of each context label, kept until the simulation ends.
  const std::string& InternLabel(std::string label) {
    return *labels_.insert(std::move(label)).first;
  }

  // Used by the simulation's run loop.
  bool HasReadyThread() const { return ready_mask_ != 0; }
  bool HasIdleWork() const;  // an interrupt above PASSIVE_LEVEL or a runnable DPC
  Context* holder() const { return holder_; }
  void Dispatch();          // runner: gives the CPU to the idle context or the best ready thread
  void AfterDeviceEvent();  // runner: after a callback of this machine fired
  void ReapFinished();
  void UnwindAll();  // teardown: unwinds every context, silently
  Context& device_context() { return *device_context_; }
  Context& idle_context() { return *idle_; }

  // Objects.
  void AdoptObject(ObjectHeader* header);
  void ForgetObject(ObjectHeader* header);

  // Floating-point save areas in use.
  std::vector<const KFLOATING_SAVE*>& live_float_saves() { return live_float_saves_; }

 private:
  NTSTATUS CreateThread(ContextKind kind, std::string name, std::function<void()> body,
                        PKTHREAD* thread);
  void MakeReady(Context& context, bool front);
  void RemoveReady(Context& context);
  Context* PopHighestReady();
  int HighestReadyPriority() const;
  void Block(Context& self);
  void Preempt(Context& self, bool front);
  void LeaveCpu(Context& self);
  void RunNext(Context& next);
  void TimeWait(Context& self, std::uint64_t target);
  void Advance(Context& self, std::uint64_t ns);
  void IdleLoop();
  bool InterruptPendingAbove(KIRQL level) const;
  void DeliverInterrupt(Context& self, ULONG vector);
  void ExpireTimer(KTIMER* timer);
  void ScheduleExpiry(KTIMER* timer);
  std::uint64_t LatenessOf(const KTIMER* timer, std::uint64_t expiry) const;

  void CompleteWait(Context& waiter, NTSTATUS status);
  void UnlinkWait(Context& waiter);
  bool CanSatisfy(const Context& waiter) const;
  std::string DescribeWait(const Context& context) const;

  Simulation& simulation_;
  const std::string name_;
  const std::uint16_t index_;
  KernelConfig config_;
  KernelFaults faults_;
  ex::Pool pool_;
  std::set<std::string, std::less<>> labels_;        // outlives the contexts naming them
  std::vector<std::unique_ptr<Context>> contexts_;  // creation order
  std::unique_ptr<Context> device_context_;
  std::array<std::deque<Context*>, 32> ready_;
  std::uint32_t ready_mask_ = 0;
  Context* holder_ = nullptr;  // the context holding the CPU
  ULONG object_numbers_ = 0;
  std::map<ULONG, ObjectHeader*> objects_;   // live objects by number
  std::vector<ObjectHeader*> dead_objects_;  // deleted; memory kept until the machine goes
  std::vector<LogLine> log_;
  std::vector<const KFLOATING_SAVE*> live_float_saves_;
  bool shut_down_ = false;
  std::vector<std::function<void()>> shutdown_checks_;
  std::unique_ptr<Context> idle_;
  KTHREAD idle_thread_{};
  struct Line {
    KIRQL level = 0;
    bool asserted = false;
    std::uint32_t pulses = 0;
    std::uint32_t unclaimed = 0;  // deliveries in a row that no ISR claimed
  };
  std::map<ULONG, Line> lines_;                          // by vector
  std::map<ULONG, std::vector<KINTERRUPT*>> connected_;  // by vector, connection order
  struct QueuedDpc {
    KDPC* dpc;  // or an injected closure
    std::function<void()> injected;
    std::uint64_t runnable_at;
  };
  std::deque<QueuedDpc> dpcs_;
  std::vector<KTIMER*> queued_timers_;
  std::map<const void*, std::string> owners_;  // see NoteOwner (looked up, never walked)
  std::unique_ptr<ex::PoolGuard> pool_checks_;
  std::map<std::string, std::uint64_t> longest_holds_;
  // Declared last: destroyed first, while the pool and the rest still exist.
  SlotTable slots_;
};

// The kernel of the running context; fatal from a host thread that is no context.
Kernel& CurrentKernel();

// The level and pool checks a machine installs on its pool.
std::unique_ptr<ex::PoolGuard> MakePoolChecks(Kernel& kernel);

}  // namespace plat::ke
