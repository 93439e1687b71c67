// The kernel interface that driver code calls: dispatcher objects (events,
// threads), waits, threads, clocks, floating-point state, debug output and
// object references. Everything acts on the machine of the calling context
// (see kernel.h); a call from a host thread that is no context is fatal.
//
// Calls that may block or switch take the caller's source location as a
// defaulted last argument, so a deadlock report names each wait's call site.
// Raised-level services sit beside it: irql.h, dpc.h, interrupt.h, interlocked.h.
#pragma once

#include <source_location>

#include "platform/nt/ntdef.h"
#include "platform/nt/ntstatus.h"

using KPRIORITY = LONG;
using KPROCESSOR_MODE = CCHAR;
enum MODE : CCHAR { KernelMode = 0, UserMode = 1 };

enum KWAIT_REASON : int {
  Executive = 0,
  FreePage,
  PageIn,
  PoolAllocation,
  DelayExecution,
  Suspended,
  UserRequest,
};

enum WAIT_TYPE : int { WaitAll = 0, WaitAny = 1 };
enum EVENT_TYPE : int { NotificationEvent = 0, SynchronizationEvent = 1 };

inline constexpr ULONG THREAD_WAIT_OBJECTS = 3;  // waits on more need a wait-block array
inline constexpr ULONG MAXIMUM_WAIT_OBJECTS = 64;
inline constexpr KPRIORITY LOW_PRIORITY = 0;
inline constexpr KPRIORITY LOW_REALTIME_PRIORITY = 16;
inline constexpr KPRIORITY HIGH_PRIORITY = 31;

// The head of every object a thread can wait on. `Type` says which kind of
// object it is (plat::ke::DispatcherType); `Signature` is written by the
// initialiser, so memory that was never initialised (zero-filled or
// poisoned) is caught at its first use.
struct DISPATCHER_HEADER {
  UCHAR Type;
  UCHAR Absolute;  // timers: the due time was absolute
  UCHAR Size;
  UCHAR Inserted;  // timers: queued on the timeline
  LONG SignalState;
  LIST_ENTRY WaitListHead;  // KWAIT_BLOCKs of the waiting threads, oldest first
  ULONG Signature;
  ULONG Number;  // creation number within the machine, for traces and diagnostics
};

struct KEVENT {
  DISPATCHER_HEADER Header;
};
using PKEVENT = KEVENT*;

struct KTHREAD;
using PKTHREAD = KTHREAD*;
using ETHREAD = KTHREAD;
using PETHREAD = KTHREAD*;

// One object of one wait: linked into the object's wait list while the
// thread waits. A thread has THREAD_WAIT_OBJECTS of its own.
struct KWAIT_BLOCK {
  LIST_ENTRY WaitListEntry;
  PKTHREAD Thread;
  PVOID Object;
  USHORT WaitKey;  // the object's index in the wait
  USHORT WaitType;
};
using PKWAIT_BLOCK = KWAIT_BLOCK*;

using PKSTART_ROUTINE = void (*)(PVOID StartContext);

// Floating-point state kept by KeSaveFloatingPointState: the x87 control
// word and the SIMD control register of the caller.
struct KFLOATING_SAVE {
  ULONG ControlWord;
  ULONG StatusWord;
  ULONG ErrorOffset;
  ULONG ErrorSelector;
  ULONG DataOffset;
  ULONG DataSelector;
  ULONG MxCsr;
  ULONG Spare1;
};
using PKFLOATING_SAVE = KFLOATING_SAVE*;

// Events.
void KeInitializeEvent(PKEVENT Event, EVENT_TYPE Type, BOOLEAN State);
LONG KeSetEvent(PKEVENT Event, KPRIORITY Increment, BOOLEAN Wait,
                std::source_location where = std::source_location::current());
LONG KeResetEvent(PKEVENT Event);
void KeClearEvent(PKEVENT Event);
LONG KeReadStateEvent(PKEVENT Event);

// Waits. Timeout: null waits for ever, 0 polls, negative is relative and
// positive absolute (system time), both in 100 ns units.
NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout,
                               std::source_location where = std::source_location::current());
NTSTATUS KeWaitForMultipleObjects(ULONG Count, PVOID Object[], WAIT_TYPE WaitType,
                                  KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                                  BOOLEAN Alertable, PLARGE_INTEGER Timeout,
                                  PKWAIT_BLOCK WaitBlockArray,
                                  std::source_location where = std::source_location::current());
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                PLARGE_INTEGER Interval,
                                std::source_location where = std::source_location::current());

// Threads.
PKTHREAD KeGetCurrentThread();
KPRIORITY KeSetPriorityThread(PKTHREAD Thread, KPRIORITY Priority);
KPRIORITY KeQueryPriorityThread(PKTHREAD Thread);
KPROCESSOR_MODE ExGetPreviousMode();
// Ends the calling system thread; never returns.
[[noreturn]] NTSTATUS PsTerminateSystemThread(NTSTATUS ExitStatus);

// Object references (objects made by plat::ke::CreateObject, threads among them).
void ObReferenceObject(PVOID Object);
LONG_PTR ObDereferenceObject(PVOID Object);

// Clocks. Each read charges virtual time and is a switch point.
void KeQuerySystemTime(PLARGE_INTEGER CurrentTime);
void KeQueryTickCount(PLARGE_INTEGER TickCount);
ULONG KeQueryTimeIncrement();
ULONGLONG KeQueryInterruptTime();
LARGE_INTEGER KeQueryPerformanceCounter(PLARGE_INTEGER PerformanceFrequency);

// Floating-point state.
NTSTATUS KeSaveFloatingPointState(PKFLOATING_SAVE FloatSave);
NTSTATUS KeRestoreFloatingPointState(PKFLOATING_SAVE FloatSave);

// Debug output, into the machine's log.
ULONG DbgPrint(PCSTR Format, ...) __attribute__((format(printf, 1, 2)));
void DbgBreakPoint();
