// What a test driver takes of the simulated audio/modem controller: its
// register window and interrupt resources, a DMA adapter and two common
// buffers (the receive ring in the first, the transmit ring in the second).
// Written against kernel and HAL calls only, for drivers of machine tests.
//
//   ClaimedController& c = ke::CurrentKernel().slots().Get<ClaimedController>();
//   if (NT_SUCCESS(status = ClaimController(c))) status = TakeBuffers(c, 4096);
//   StartRing(c);                 // engines at the power-on rate, off hook
//   ...
//   ReleaseController(c, true, true);
#pragma once

#include "platform/hal/hal_calls.h"
#include "platform/io/io.h"

namespace plat::testing {

struct ClaimedController {
  PHYSICAL_ADDRESS window{};
  ULONG window_length = 0;
  ULONG vector = 0;
  KIRQL irql = 0;
  KAFFINITY affinity = 0;
  volatile UCHAR* registers = nullptr;
  PADAPTER_OBJECT adapter = nullptr;
  ULONG buffer_bytes = 0;
  PVOID buffers[2] = {};
  PHYSICAL_ADDRESS logical[2] = {};

  void Write(ULONG r, UCHAR v) const { WRITE_REGISTER_UCHAR(registers + r, v); }
  void Write32(ULONG r, ULONG v) const {
    WRITE_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(registers + r), v);
  }
  ULONG Read32(ULONG r) const {
    return READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(registers + r));
  }
  // The words of the transmit ring.
  ULONG* TransmitWords() const { return static_cast<ULONG*>(buffers[1]); }
};

// Assigns the controller's slot resources, takes its interrupt vector and maps its registers.
NTSTATUS ClaimController(ClaimedController& c);
// An adapter and two common buffers of `ring_words` 32-bit words each.
NTSTATUS TakeBuffers(ClaimedController& c, ULONG ring_words);
// Both rings over their whole buffers, no period interrupts, the engines
// running at the power-on rate, off hook or on hook.
void StartRing(ClaimedController& c, bool off_hook = true);
// Gives back what was taken, as far as asked.
void ReleaseController(ClaimedController& c, bool unmap, bool free_buffers);

}  // namespace plat::testing
