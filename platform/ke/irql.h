// Interrupt request levels and spin locks. Each machine has one CPU, so a
// spin lock is a checked owner field: acquiring a held lock is a deadlock,
// never a spin. No thread pre-empts code at DISPATCH_LEVEL or above;
// lowering below DISPATCH_LEVEL is a switch point that first runs the
// machine's queued DPCs.
#pragma once

#include "platform/nt/ntdef.h"

using KIRQL = UCHAR;
using PKIRQL = KIRQL*;

inline constexpr KIRQL PASSIVE_LEVEL = 0;
inline constexpr KIRQL APC_LEVEL = 1;
inline constexpr KIRQL DISPATCH_LEVEL = 2;
inline constexpr KIRQL HIGH_LEVEL = 31;  // device levels lie between

using KSPIN_LOCK = ULONG_PTR;
using PKSPIN_LOCK = KSPIN_LOCK*;

KIRQL KeGetCurrentIrql();
void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql);
void KeLowerIrql(KIRQL NewIrql);
KIRQL KeRaiseIrqlToDpcLevel();

void KeInitializeSpinLock(PKSPIN_LOCK SpinLock);
void KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql);
void KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql);
void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock);
void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock);

// A section that runs with interrupts disabled: HIGH_LEVEL and back. Does not nest.
void _disable();
void _enable();

namespace plat::ke {

// For services that run only at PASSIVE_LEVEL (registry, I/O manager...):
// fatal when the caller is above it.
void RequirePassiveLevel(const char* service);

}  // namespace plat::ke
