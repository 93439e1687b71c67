// AfeRequest: the numbered requests of the AfeInterface, called with the
// interface's spin lock held. Each code has its row: the argument size it
// must come with (where one is checked) and what it does. Any other code, or
// a size that does not match, answers kAfeRefused.
#include <cstring>

#include "afe/windows/afe_operations.h"
#include "afe/windows/afe_registers.h"
#include "afe/windows/afe_state.h"
#include "afe/windows/self_test.h"

namespace afe {
namespace {

constexpr ULONG kUnchecked = 0;

template <class T>
T In(const void* argument, std::size_t offset = 0) {
  T value;
  std::memcpy(&value, static_cast<const UCHAR*>(argument) + offset, sizeof value);
  return value;
}

template <class T>
void Out(void* argument, T value, std::size_t offset = 0) {
  std::memcpy(static_cast<UCHAR*>(argument) + offset, &value, sizeof value);
}

bool Bit(const AfeContext& context, ULONG reg, UCHAR bit) {
  return (ReadRegister(*context.State, reg) & bit) != 0;
}

void SetBit(const AfeContext& context, ULONG reg, UCHAR bit, bool on) {
  on ? SetRegisterBits(*context.State, reg, bit) : ClearRegisterBits(*context.State, reg, bit);
}

// Requests 19 and 43.
LONG SetHookRelay(AfeContext& context, void* argument) {
  SetBit(context, regs::kHook, regs::kHookRelay, In<ULONG>(argument) != 0);
  return kAfeOk;
}

struct RequestRow {
  ULONG code;
  ULONG size;           // the size word it must carry; kUnchecked: any
  bool takes_argument;  // refused without one
  LONG (*serve)(AfeContext& context, void* argument);
};

constexpr RequestRow kRequests[] = {
    {kAfeLineOn, kUnchecked, false,
     [](AfeContext& c, void*) {
       LineOn(c);
       return kAfeOk;
     }},
    {kAfeLineOff, kUnchecked, false,
     [](AfeContext& c, void*) {
       LineOff(c);
       return kAfeOk;
     }},
    {kAfeGetRate, 4, true,
     [](AfeContext& c, void* a) {
       Out<USHORT>(a, c.SampleRate);
       Out<USHORT>(a, c.SamplesPerBlock, 2);
       return kAfeOk;
     }},
    {kAfeSetRate, kUnchecked, true,
     [](AfeContext& c, void* a) {
       ScheduleRateChange(c, In<ULONG>(a));
       return kAfeOk;
     }},
    {kAfeSpeaker, kUnchecked, true,
     [](AfeContext& c, void* a) {
       SetSpeakerLevel(c, In<ULONG>(a));
       return kAfeOk;
     }},
    {kAfeSetAttenuation, kUnchecked, true,
     [](AfeContext& c, void* a) {
       SetAttenuation(c, In<SHORT>(a));
       return kAfeOk;
     }},
    {kAfeGetAttenuation, 2, true,
     [](AfeContext& c, void* a) {
       Out<SHORT>(a, c.State->Attenuation);
       return kAfeOk;
     }},
    {kAfeSetGain, kUnchecked, true,
     [](AfeContext& c, void* a) {
       SetGain(c, In<SHORT>(a));
       return kAfeOk;
     }},
    {kAfeGetGain, 2, true,
     [](AfeContext& c, void* a) {
       Out<SHORT>(a, c.State->Gain);
       return kAfeOk;
     }},
    {kAfeTestMode, kUnchecked, true,
     [](AfeContext& c, void* a) { return SetTestMode(c, In<ULONG>(a)); }},
    {kAfeCodecFlag, kUnchecked, true,
     [](AfeContext& c, void* a) {
       SetBit(c, regs::kCodecFlags, regs::kCodecFlagBit, In<ULONG>(a) == 1);
       return kAfeOk;
     }},
    {kAfeStatusQuery, 4, true,
     [](AfeContext&, void* a) {
       Out<ULONG>(a, 0);
       return kAfeOk;
     }},
    {kAfeRegisterWrite, 8, true,
     [](AfeContext& c, void* a) {
       WriteRegister(*c.State, In<ULONG>(a), static_cast<UCHAR>(In<ULONG>(a, 4)));
       return kAfeOk;
     }},
    {kAfeRegisterRead, 8, true,
     [](AfeContext& c, void* a) {
       const ULONG reg = In<ULONG>(a);
       Out<ULONG>(a, reg > regs::kHighestByteRegister ? 0 : ReadRegister32(*c.State, reg), 4);
       return kAfeOk;
     }},
    {kAfePowerState, kUnchecked, true,
     [](AfeContext& c, void* a) { return SetPowerState(c, In<ULONG>(a)); }},
    {kAfeHook, kUnchecked, true, SetHookRelay},
    {kAfeGetInfo, sizeof(AfeInfo), true,
     [](AfeContext& c, void* a) {
       AfeInfo info;
       FillAfeInfo(c, info);
       Out(a, info);
       return kAfeOk;
     }},
    {kAfeLineStatus, 4, true,
     [](AfeContext& c, void* a) {
       Out<ULONG>(a, c.State->LineStatus);
       return kAfeOk;
     }},
    {kAfeLatency, 1, true,
     [](AfeContext& c, void* a) {
       SetLatency(c, In<UCHAR>(a));
       return kAfeOk;
     }},
    {kAfeBlockReady, kUnchecked, false, [](AfeContext& c, void*) { return BlockReady(c); }},
    {kAfeSelfTest, sizeof(SelfTestBlock), true,
     [](AfeContext& c, void* a) {
       SelfTestBlock block = In<SelfTestBlock>(a);
       RunRequestedSelfTest(c, block);
       Out(a, block);
       return kAfeOk;
     }},
    {kAfeLineMeasure, 2, true,
     [](AfeContext& c, void* a) {
       Out<USHORT>(a, MeasureLineVoltage(c));
       return kAfeOk;
     }},
    {kAfeHook2, kUnchecked, true, SetHookRelay},
    {kAfeLineMonitor, 4, true,
     [](AfeContext& c, void* a) {
       SetLineMonitor(c, In<ULONG>(a));
       return kAfeOk;
     }},
    {kAfeLineStatusBit, 2, true,
     [](AfeContext& c, void* a) {
       Out<USHORT>(a, Bit(c, regs::kHook, regs::kHookStatus) ? 1 : 0);
       return kAfeOk;
     }},
};

}  // namespace

LONG AfeRequest(AfeContext* context, ULONG code, PVOID argument, ULONG* size) {
  for (const RequestRow& row : kRequests) {
    if (row.code != code) continue;
    if (row.size != kUnchecked && (size == nullptr || *size != row.size)) return kAfeRefused;
    if (row.takes_argument && argument == nullptr) return kAfeRefused;
    return row.serve(*context, argument);
  }
  return kAfeRefused;
}

}  // namespace afe
