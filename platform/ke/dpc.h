// Deferred procedure calls and kernel timers. A machine keeps one FIFO of
// queued DPCs; they run at DISPATCH_LEVEL whenever the machine's level drops
// below it. A timer is a dispatcher object that a wait can name; its expiry
// signals it and queues its DPC; periodic expiry k falls at due + k x period.
#pragma once

#include "platform/ke/ke.h"

struct KDPC;
using PKDPC = KDPC*;
using PKDEFERRED_ROUTINE = void (*)(PKDPC Dpc, PVOID DeferredContext, PVOID SystemArgument1,
                                    PVOID SystemArgument2);

struct KDPC {
  UCHAR Type;
  UCHAR Inserted;  // queued on the machine's DPC queue
  USHORT Spare;
  ULONG Signature;  // written by KeInitializeDpc
  PKDEFERRED_ROUTINE DeferredRoutine;
  PVOID DeferredContext;
  PVOID SystemArgument1;
  PVOID SystemArgument2;
  ULONGLONG RunnableAt;  // virtual ns from which it may run (the DPC-latency knob)
};

enum TIMER_TYPE : int { NotificationTimer = 0, SynchronizationTimer = 1 };

struct KTIMER {
  DISPATCHER_HEADER Header;  // Inserted: queued on the timeline
  ULONGLONG DueTime;         // virtual ns of the pending expiry
  ULONGLONG FirstDue;        // virtual ns of expiry 1 since the set
  ULONGLONG Expiries;        // expiries since the set
  LONG Period;               // ms; 0 for a one-shot timer
  PKDPC Dpc;
  ULONGLONG EntryTime;  // its timeline entry
  ULONGLONG EntrySequence;
};
using PKTIMER = KTIMER*;

void KeInitializeDpc(PKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext);
BOOLEAN KeInsertQueueDpc(PKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2);
BOOLEAN KeRemoveQueueDpc(PKDPC Dpc);

void KeInitializeTimer(PKTIMER Timer);
void KeInitializeTimerEx(PKTIMER Timer, TIMER_TYPE Type);
// DueTime: negative relative, positive absolute (100 ns units). TRUE when
// the timer was already queued; the new setting replaces the old.
BOOLEAN KeSetTimer(PKTIMER Timer, LARGE_INTEGER DueTime, PKDPC Dpc);
BOOLEAN KeSetTimerEx(PKTIMER Timer, LARGE_INTEGER DueTime, LONG Period, PKDPC Dpc);
BOOLEAN KeCancelTimer(PKTIMER Timer);
BOOLEAN KeReadStateTimer(PKTIMER Timer);
