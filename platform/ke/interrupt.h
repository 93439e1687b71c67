// Interrupt objects, processor stalls and the device side of interrupt
// lines. A device asserts and deasserts a level line or pulses an edge line
// (Kernel::SetInterruptLine, Kernel::PulseInterruptLine) with the vector and
// level the HAL gave; an ISR connected to that vector runs when the line is
// above the machine's level: at once when the CPU idles or stalls, else at
// the running context's next switch point.
#pragma once

#include "platform/ke/irql.h"
#include "platform/nt/ntstatus.h"

enum KINTERRUPT_MODE : int { LevelSensitive = 0, Latched = 1 };
using KAFFINITY = ULONG_PTR;

struct KINTERRUPT;
using PKINTERRUPT = KINTERRUPT*;
using PKSERVICE_ROUTINE = BOOLEAN (*)(PKINTERRUPT Interrupt, PVOID ServiceContext);
using PKSYNCHRONIZE_ROUTINE = BOOLEAN (*)(PVOID SynchronizeContext);

struct KINTERRUPT {
  PKSERVICE_ROUTINE ServiceRoutine;
  PVOID ServiceContext;
  KSPIN_LOCK SpinLock;     // its own lock, used when no lock was given
  PKSPIN_LOCK ActualLock;  // the lock taken around the routine
  ULONG Vector;
  KIRQL Irql;
  KIRQL SynchronizeIrql;
  KINTERRUPT_MODE Mode;
  BOOLEAN ShareVector;
  BOOLEAN FloatingSave;
  BOOLEAN Connected;
};

NTSTATUS IoConnectInterrupt(PKINTERRUPT* InterruptObject, PKSERVICE_ROUTINE ServiceRoutine,
                            PVOID ServiceContext, PKSPIN_LOCK SpinLock, ULONG Vector, KIRQL Irql,
                            KIRQL SynchronizeIrql, KINTERRUPT_MODE InterruptMode,
                            BOOLEAN ShareVector, KAFFINITY ProcessorEnableMask,
                            BOOLEAN FloatingSave);
void IoDisconnectInterrupt(PKINTERRUPT InterruptObject);
BOOLEAN KeSynchronizeExecution(PKINTERRUPT Interrupt, PKSYNCHRONIZE_ROUTINE SynchronizeRoutine,
                               PVOID SynchronizeContext);

// Busy-waits `MicroSeconds` of virtual time: the caller keeps its CPU;
// device events and interrupts above its level run meanwhile, its threads
// and DPCs do not; other machines run.
void KeStallExecutionProcessor(ULONG MicroSeconds);
