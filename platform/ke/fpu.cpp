// Floating-point state around driver code that computes: the save keeps the
// caller's x87 control word and SIMD control register and installs the
// default environment (round to nearest, exceptions masked, denormals kept);
// the restore puts the caller's back.
#include <algorithm>
#include <cstdint>

#include "platform/ke/kernel.h"

namespace {

constexpr std::uint16_t kDefaultX87ControlWord = 0x037F;  // extended precision, nearest, masked
constexpr std::uint32_t kDefaultMxcsr = 0x1F80;           // nearest, masked, no DAZ/FTZ

std::uint16_t ReadX87ControlWord() {
  std::uint16_t word;
  asm volatile("fnstcw %0" : "=m"(word));
  return word;
}

void WriteX87ControlWord(std::uint16_t word) { asm volatile("fldcw %0" : : "m"(word)); }

std::uint32_t ReadMxcsr() {
  std::uint32_t value;
  asm volatile("stmxcsr %0" : "=m"(value));
  return value;
}

void WriteMxcsr(std::uint32_t value) { asm volatile("ldmxcsr %0" : : "m"(value)); }

// True while x87 registers hold values, as packed-integer code leaves them
// until it empties the state.
bool PackedIntegerStateDirty() {
  alignas(16) std::uint8_t area[512];
  asm volatile("fxsave %0" : "=m"(area));
  return area[4] != 0;  // abridged tag word: one bit per register in use
}

}  // namespace

NTSTATUS KeSaveFloatingPointState(PKFLOATING_SAVE FloatSave) {
  plat::ke::Kernel& kernel = plat::ke::CurrentKernel();
  plat::ke::Context& self = kernel.RequireThread("KeSaveFloatingPointState");
  if (self.irql > DISPATCH_LEVEL) {
    kernel.Fatal("irql.float-save-above-dispatch",
                 "KeSaveFloatingPointState at IRQL " + std::to_string(self.irql));
  }
  if (kernel.faults().float_save.ShouldFail()) return STATUS_ILLEGAL_FLOAT_CONTEXT;
  auto& live = kernel.live_float_saves();
  if (std::find(live.begin(), live.end(), FloatSave) != live.end()) {
    kernel.Fatal("ke.fp-save-nested",
                 "KeSaveFloatingPointState into a save area that already holds a live save");
  }
  *FloatSave = KFLOATING_SAVE{};
  FloatSave->ControlWord = ReadX87ControlWord();
  FloatSave->MxCsr = ReadMxcsr();
  live.push_back(FloatSave);
  WriteX87ControlWord(kDefaultX87ControlWord);
  WriteMxcsr(kDefaultMxcsr);
  return STATUS_SUCCESS;
}

NTSTATUS KeRestoreFloatingPointState(PKFLOATING_SAVE FloatSave) {
  plat::ke::Kernel& kernel = plat::ke::CurrentKernel();
  kernel.RequireThread("KeRestoreFloatingPointState");
  auto& live = kernel.live_float_saves();
  const auto found = std::find(live.begin(), live.end(), FloatSave);
  if (found == live.end()) {
    kernel.Fatal("ke.fp-restore-without-save",
                 "KeRestoreFloatingPointState of a save area that holds no live save");
  }
  if (PackedIntegerStateDirty()) {
    kernel.Fatal("ke.fp-packed-integer-dirty",
                 "floating-point restore with packed-integer (MMX) state still in use: the code "
                 "between save and restore did not empty it");
  }
  live.erase(found);
  WriteX87ControlWord(static_cast<std::uint16_t>(FloatSave->ControlWord));
  WriteMxcsr(FloatSave->MxCsr);
  return STATUS_SUCCESS;
}
