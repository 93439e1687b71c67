#include "pump/tests/support/test_afe.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <type_traits>

#include "platform/ke/irql.h"
#include "platform/ke/kernel.h"

namespace pump::testing {

struct TestAfe::Device {
  afe::AfeContext context;
  TestAfe* owner;
};

namespace {

constexpr ULONG kMaxSoundPut = 480;  // samples

struct SizedCode {
  ULONG code;
  ULONG size;
};
constexpr std::array<SizedCode, 13> kSizedCodes = {{
    {afe::kAfeGetRate, 4},
    {afe::kAfeGetAttenuation, 2},
    {afe::kAfeGetGain, 2},
    {afe::kAfeStatusQuery, 4},
    {afe::kAfeRegisterWrite, 8},
    {afe::kAfeRegisterRead, 8},
    {afe::kAfeGetInfo, sizeof(afe::AfeInfo)},
    {afe::kAfeLineStatus, 4},
    {afe::kAfeLatency, 1},
    {afe::kAfeSelfTest, 16},
    {afe::kAfeLineMeasure, 2},
    {afe::kAfeLineMonitor, 4},
    {afe::kAfeLineStatusBit, 2},
}};

// The size a sized request must carry; 0 for the others.
ULONG RequiredSize(ULONG code) {
  for (const SizedCode& sized : kSizedCodes) {
    if (sized.code == code) return sized.size;
  }
  return 0;
}

USHORT SupportedRate(ULONG rate) {
  if (rate == 10287) return 10286;
  for (const afe::AfeRateCode& r : afe::kAfeRateCodes) {
    if (r.hz == rate) return r.hz;
  }
  return afe::kAfeFallbackRate;
}

UCHAR CodeOfRate(USHORT rate) {
  for (const afe::AfeRateCode& r : afe::kAfeRateCodes) {
    if (r.hz == rate) return r.code;
  }
  return 5;
}

// Gain request value (dB) to the step kept and the code of register 63.
struct GainStep {
  SHORT step;
  UCHAR code;
};
GainStep GainStepOf(SHORT gain) {
  if (gain <= 1) return {0, 0};
  if (gain <= 4) return {3, 1};
  if (gain <= 7) return {6, 2};
  if (gain <= 10) return {9, 3};
  if (gain <= 13) return {12, 4};
  return {100, 8};
}

template <class T>
T Read(const void* data, std::size_t offset = 0) {
  T value;
  std::memcpy(&value, static_cast<const std::uint8_t*>(data) + offset, sizeof value);
  return value;
}

template <class T>
void Write(void* data, T value, std::size_t offset = 0) {
  std::memcpy(static_cast<std::uint8_t*>(data) + offset, &value, sizeof value);
}

std::uint64_t BlockNs(std::uint64_t blocks, const afe::AfeContext& context) {
  return blocks * context.SamplesPerBlock * 1'000'000'000ULL / context.SampleRate;
}

}  // namespace

TestAfe::TestAfe(afe::AfeEventBlock* events)
    : kernel_(plat::ke::CurrentKernel()), events_(events), device_(std::make_unique<Device>()) {
  device_->owner = this;
  afe::AfeContext& context = device_->context;
  context.VendorId = kVendorId;
  context.DeviceId = kDeviceId;
  context.PowerState = 4;
  context.ControllerKind = 6;
  context.SampleRate = 9600;
  context.SamplesPerBlock = 96;
  context.PowerOnTests = {1, -13, 0, 0x1AF, 5};
  context.RequestedTests = {0, -13, 0, 0x1AF, 5};
  context.SpareTests = {0, -13, 0, 0, 5};

  interface_.AfeInit = &InitEntry;
  interface_.AfeReadBlock = &ReadBlockEntry;
  interface_.AfeWriteBlock = &WriteBlockEntry;
  interface_.AfeRequest = &RequestEntry;
  interface_.SoundPathRequest = &SoundPathEntry;
  interface_.AfeStartDma = &StartDmaEntry;
  interface_.AfeStopDma = &StopDmaEntry;
  interface_.AfeSetResources = &SetResourcesEntry;
  interface_.AfeInterruptService = &InterruptServiceEntry;
  interface_.AfeDeferredService = &DeferredServiceEntry;
  interface_.Context = &context;
  KeInitializeSpinLock(&interface_.Lock);
  KeInitializeTimer(&timer_);
  KeInitializeDpc(&dpc_, &BlockDpc, this);

  registers_[60] = 0x40 | 10;  // codec ready; an off-hook line reads 33
  Init();
}

TestAfe::~TestAfe() {
  kernel_.CancelTimer(&timer_);
  kernel_.RemoveDpc(&dpc_);
}

afe::AfeContext& TestAfe::Context() { return device_->context; }

TestAfe& TestAfe::Of(afe::AfeContext* context) {
  static_assert(std::is_standard_layout_v<Device>, "the context is the device's first member");
  return *reinterpret_cast<Device*>(context)->owner;
}

// ---- Entries -----------------------------------------------------------------

ULONG TestAfe::ArgumentOnEntry(AfeEntry entry, ULONG code, const void* argument,
                               const ULONG* size) {
  if (argument == nullptr || size == nullptr) return 0;
  // A size word that does not fit the request says nothing of the buffer behind it.
  const ULONG required = entry == AfeEntry::kRequest ? RequiredSize(code) : 0;
  if (required != 0 && *size != required) return 0;
  ULONG value = 0;
  std::memcpy(&value, argument, std::min<std::size_t>(*size, sizeof value));
  return value;
}

void TestAfe::Record(AfeEntry entry, ULONG code, ULONG argument, ULONG size, LONG result) {
  log_.push_back({entry, code, argument, size, interface_.Lock != 0, KeGetCurrentIrql(), result});
}

ULONG TestAfe::InitEntry(afe::AfeContext* context) {
  TestAfe& self = Of(context);
  self.Init();
  self.Record(AfeEntry::kInit, 0, 0, 0, 1);
  return 1;
}

ULONG TestAfe::Transfer(AfeEntry entry, PVOID buffer, ULONG bytes) {
  afe::AfeContext& c = Context();
  ULONG copied = 0;
  if (!refuse_blocks_ && bytes <= sizeof c.RxRing[0]) {
    if (entry == AfeEntry::kReadBlock) {
      std::memcpy(buffer, c.RxRing[afe::NextSlot(c.RxReadCursor)], bytes);
    } else {
      std::memcpy(c.TxRing[afe::NextSlot(c.TxWriteCursor)], buffer, bytes);
    }
    copied = bytes;
  }
  Record(entry, 0, bytes, 0, static_cast<LONG>(copied));
  return copied;
}

ULONG TestAfe::ReadBlockEntry(afe::AfeContext* context, PVOID buffer, ULONG bytes) {
  return Of(context).Transfer(AfeEntry::kReadBlock, buffer, bytes);
}

ULONG TestAfe::WriteBlockEntry(afe::AfeContext* context, PVOID buffer, ULONG bytes) {
  return Of(context).Transfer(AfeEntry::kWriteBlock, buffer, bytes);
}

LONG TestAfe::Serve(AfeEntry entry, ULONG code, PVOID argument, ULONG* size) {
  const ULONG on_entry = ArgumentOnEntry(entry, code, argument, size);
  const ULONG size_on_entry = size != nullptr ? *size : 0;
  const LONG result =
      entry == AfeEntry::kRequest ? Request(code, argument, size) : SoundPath(code, argument, size);
  Record(entry, code, on_entry, size_on_entry, result);
  return result;
}

LONG TestAfe::RequestEntry(afe::AfeContext* context, ULONG code, PVOID argument, ULONG* size) {
  return Of(context).Serve(AfeEntry::kRequest, code, argument, size);
}

LONG TestAfe::SoundPathEntry(afe::AfeContext* context, ULONG code, PVOID argument, ULONG* count) {
  return Of(context).Serve(AfeEntry::kSoundPath, code, argument, count);
}

ULONG TestAfe::StartDmaEntry(afe::AfeContext* context) {
  TestAfe& self = Of(context);
  self.StartDma();
  self.Record(AfeEntry::kStartDma, 0, 0, 0, 1);
  return 1;
}

ULONG TestAfe::StopDmaEntry(afe::AfeContext* context) {
  TestAfe& self = Of(context);
  self.StopDma();
  self.Record(AfeEntry::kStopDma, 0, 0, 0, 1);
  return 1;
}

void TestAfe::SetResourcesEntry(afe::AfeContext* context, PVOID*, PVOID*, LARGE_INTEGER, PVOID,
                                LARGE_INTEGER, PVOID) {
  // The scripted line needs no registers or buffers of a bus.
  Of(context).Record(AfeEntry::kSetResources, 0, 0, 0, 0);
}

ULONG TestAfe::InterruptServiceEntry(afe::AfeContext* context) {
  TestAfe& self = Of(context);
  self.MoveBlock();
  self.Record(AfeEntry::kInterruptService, 0, 0, 0, 1);
  return 1;
}

ULONG TestAfe::DeferredServiceEntry(afe::AfeContext* context) {
  TestAfe& self = Of(context);
  const ULONG status = self.DeferredService();
  self.Record(AfeEntry::kDeferredService, 0, 0, 0, static_cast<LONG>(status));
  return status;
}

// ---- Blocks ------------------------------------------------------------------

void TestAfe::Step() {
  const KIRQL level = KeGetCurrentIrql();
  KIRQL old = level;
  if (level < DISPATCH_LEVEL) KeRaiseIrql(DISPATCH_LEVEL, &old);
  RunBlock();
  if (level < DISPATCH_LEVEL) KeLowerIrql(old);
}

void TestAfe::BlockDpc(PKDPC, PVOID context, PVOID, PVOID) {
  TestAfe& self = *static_cast<TestAfe*>(context);
  if (!self.running_) return;
  ++self.timing_blocks_;
  self.RunBlock();
  if (self.running_) self.ArmNextBlock();
}

void TestAfe::RunBlock() {
  MoveBlock();
  DeferredService();
  SignalBlock();
}

std::uint64_t TestAfe::CurrentBlockInstant() const {
  return timing_base_ns_ + BlockNs(timing_blocks_, device_->context);
}

void TestAfe::ArmNextBlock() {
  const std::uint64_t due_ns = timing_base_ns_ + BlockNs(timing_blocks_ + 1, Context());
  LARGE_INTEGER due;
  due.QuadPart = kernel_.config().epoch + static_cast<LONGLONG>((due_ns + 99) / 100);
  KeSetTimer(&timer_, due, &dpc_);
}

void TestAfe::MoveBlock() {
  afe::AfeContext& c = Context();
  const int samples = c.SamplesPerBlock;

  c.RxWriteCursor = static_cast<UCHAR>(afe::NextSlot(c.RxWriteCursor));
  SHORT* slot = c.RxRing[c.RxWriteCursor];
  for (int i = 0; i < samples; ++i) {
    if (line_input_.empty()) {
      slot[i] = 0;
    } else {
      slot[i] = line_input_.front();
      line_input_.pop_front();
    }
  }
  ++c.BlockBalance;

  // A lowered latency: the newest queued blocks give way, the output comes earlier.
  while (c.LatencyAdjustment > 0) {
    --c.LatencyAdjustment;
    ++c.BlockBalance;
    if (!tx_queue_.empty()) tx_queue_.pop_back();
  }
  while (c.TxReadCursor != (c.TxWriteCursor & (afe::kRingSlots - 1))) {
    c.TxReadCursor = static_cast<UCHAR>(afe::NextSlot(c.TxReadCursor));
    const SHORT* written = c.TxRing[c.TxReadCursor];
    tx_queue_.emplace_back(written, written + samples);
    --c.BlockBalance;
  }
  if (tx_queue_.empty()) {
    line_output_.insert(line_output_.end(), samples, 0);
  } else {
    line_output_.insert(line_output_.end(), tx_queue_.front().begin(), tx_queue_.front().end());
    tx_queue_.pop_front();
  }
  while (c.Latency + c.BlockBalance > afe::kRingSlots) c.BlockBalance -= afe::kRingSlots;
  c.BlockCounter = afe::BlocksAfter(c.BlockCounter, 1);
}

ULONG TestAfe::DeferredService() {
  afe::AfeContext& c = Context();
  if (rate_change_pending_ && afe::BlocksBetween(scheduled_block_, c.BlockCounter) >= 0) {
    rate_change_pending_ = false;
    SetSampleRate(scheduled_rate_);
  }
  if (line_monitor_ != 0 && off_hook_counter_ != 0) {
    ++off_hook_counter_;
    SetBit(73, 5, false);
    SetBit(65, 7, false);
    if (off_hook_counter_ == 50) SetBit(65, 5, true);
    if (off_hook_counter_ == 51) SetBit(65, 6, true);
    if (off_hook_counter_ == 78) {
      SetBit(65, 6, false);
      SetBit(65, 5, false);
      off_hook_counter_ = 0;
    }
  }
  if (off_hook_counter_ == 5) SetBit(65, 3, true);
  if (off_hook_counter_ == 26) SetBit(65, 3, false);
  SetBit(50, 4, true);
  return line_status_;
}

void TestAfe::SignalBlock() {
  if (events_ == nullptr) return;
  if (events_->ProfileFlags != nullptr && Context().BlockBalance >= 0) {
    *events_->ProfileFlags |= afe::kProfileBlocksQueued;
  }
  KeSetEvent(&events_->PerBlockEvent, 0, FALSE);
}

void TestAfe::FeedLine(std::span<const std::int16_t> samples) {
  line_input_.insert(line_input_.end(), samples.begin(), samples.end());
}

// ---- Ring and DMA ----------------------------------------------------------------

void TestAfe::ResetRing() {
  afe::AfeContext& c = Context();
  c.RxPeriodCursor = afe::kDmaPeriods - 1;
  c.Latency = afe::kDefaultLatency;
  c.BlockBalance = 0;
  c.TxReadCursor = 0;
  c.RxWriteCursor = 0;
  c.Phase2Flag = 0;
  c.RxReadCursor = 0;
  c.TxWriteCursor = afe::kTxWriteCursorStart;
  c.TxPeriodCursor = afe::kDmaPeriods - 1;
  c.LatencyAdjustment = 0;
  tx_queue_.clear();  // the transmit periods start over
}

void TestAfe::Init() {
  afe::AfeContext& c = Context();
  SetBit(43, 0, true);
  registers_[55] = CodeOfRate(c.SampleRate);
  SetBit(49, 6, true);
  SetBit(65, 5, false);
  SetBit(65, 6, false);
  SetBit(65, 7, false);
  SetBit(73, 5, false);
  SetSpeaker(0);
  registers_[63] = GainStepOf(gain_step_).code;
  test_mode_ = 0;
  LineOff();
  SetBit(49, 1, false);
  SetBit(50, 3, false);
  SetBit(50, 1, true);
  SetBit(50, 4, true);
  test_mode_active_ = false;
  line_monitor_ = 1;
  off_hook_counter_ = 0;
  line_status_ = 2;
  last_voltage_ = 0;
  rate_change_pending_ = false;
  scheduled_block_ = 0;
  ResetRing();
}

ULONG TestAfe::StartDma() {
  if (running_) return 1;
  ResetRing();
  running_ = true;
  Context().DmaRunning = 1;
  timing_base_ns_ = kernel_.Now();
  timing_blocks_ = 0;
  ArmNextBlock();
  return 1;
}

void TestAfe::StopDma() {
  if (!running_) return;
  KeCancelTimer(&timer_);
  KeRemoveQueueDpc(&dpc_);
  running_ = false;
  Context().DmaRunning = 0;
}

void TestAfe::SetSampleRate(ULONG value) {
  afe::AfeContext& c = Context();
  const auto samples = static_cast<USHORT>(
      std::clamp<ULONG>(value >> 16, afe::kMinBlockSamples, afe::kMaxBlockSamples));
  const USHORT rate = SupportedRate(value & 0xFFFF);
  if (samples == c.SamplesPerBlock && rate == c.SampleRate) return;
  const bool restart = samples != c.SamplesPerBlock && running_;
  if (restart) {
    StopDma();
  } else if (running_) {
    timing_base_ns_ = CurrentBlockInstant();  // the new period counts from this block
    timing_blocks_ = 0;
  }
  c.SampleRate = rate;
  c.SamplesPerBlock = samples;
  registers_[55] = CodeOfRate(rate);
  SetBit(54, 4, false);
  if (restart) StartDma();
}

// ---- Requests ------------------------------------------------------------------

void TestAfe::SetBit(int reg, int bit, bool value) {
  const auto mask = static_cast<UCHAR>(1u << bit);
  registers_[reg] = static_cast<UCHAR>(value ? registers_[reg] | mask : registers_[reg] & ~mask);
}

void TestAfe::LineOn() {
  if (!test_mode_active_) off_hook_counter_ = 1;
  SetBit(65, 3, false);
  SetBit(53, 0, true);
}

void TestAfe::LineOff() {
  off_hook_counter_ = 0;
  SetBit(53, 0, false);
}

void TestAfe::SetSpeaker(ULONG level) {
  static constexpr std::array<UCHAR, 4> kLevels = {0, 32, 63, 127};
  if (level >= 1 && level <= 3) {
    registers_[68] = registers_[69] = kLevels[level];
  } else {
    SetBit(49, 4, false);
    SetBit(49, 5, true);
    registers_[68] = registers_[69] = 0;
  }
  SetBit(49, 3, true);
}

void TestAfe::SetTestMode(ULONG mode) {
  if (mode == test_mode_) return;
  if (test_mode_active_) LineOff();
  Init();
  test_mode_ = mode;
  switch (mode) {
    case 1:
      SetBit(54, 4, true);
      break;
    case 2:
      test_mode_active_ = true;
      SetBit(65, 5, true);
      SetBit(73, 5, true);
      SetBit(65, 6, false);
      LineOn();
      SetBit(49, 1, true);
      break;
    case 3:
      test_mode_active_ = true;
      LineOn();
      SetBit(49, 1, true);
      break;
    case 4:
      test_mode_active_ = true;
      LineOn();
      SetBit(50, 3, true);
      break;
    default:
      break;
  }
}

LONG TestAfe::SetPowerState(ULONG state) {
  afe::AfeContext& c = Context();
  if (state > 3) return afe::kAfeRefused;
  if (static_cast<LONG>(state) == c.PowerState) return afe::kAfeOk;
  switch (state) {
    case 0:
      c.BlockCounter = 0;
      Init();
      StartDma();
      break;
    case 1:
    case 2:
      StopDma();
      LineOff();
      SetBit(72, 7, true);
      SetBit(52, 7, false);
      SetBit(51, 7, true);
      break;
    default:
      StopDma();
      LineOff();
      break;
  }
  c.PowerState = static_cast<LONG>(state);
  return afe::kAfeOk;
}

void TestAfe::FillInfo(afe::AfeInfo& info) const {
  const afe::AfeContext& c = device_->context;
  info.SoundMuteBlocks = 78;
  info.VendorId = c.VendorId;
  info.DeviceId = c.DeviceId;
  info.LatencyLessOne = static_cast<USHORT>(c.Latency - 1);
  info.One = 1;
  std::fill(std::begin(info.FirstTable), std::end(info.FirstTable), 0u);
  std::fill(std::begin(info.SecondTable), std::end(info.SecondTable), 0u);
  info.FirstTable[0] = 256;
  for (int i = 2; i <= 10; ++i) info.FirstTable[i] = 4 * static_cast<ULONG>(i);
  for (int i = 0; i <= 13; ++i) info.SecondTable[i] = 48 + 4 * static_cast<ULONG>(i);
  info.ControllerKind = c.ControllerKind;
  info.Constant28 = 28;
  info.HighestRate = 16000;
  info.LineLowThreshold = 9;
  info.LineHighThreshold = Bit(64, 2) && Bit(64, 3) ? 61 : 121;
  info.Constant9 = 9;
  info.Constant1 = 1;
  info.Zero544 = 0;
  info.Zero548 = 0;
  info.HighCountLimit = 30;
}

USHORT TestAfe::LineVoltage() {
  const int reading = registers_[60] & 0x1F;
  const bool no_reading = !Bit(53, 0) || reading == 31 || Bit(67, 0);
  last_voltage_ = static_cast<USHORT>(no_reading ? 141 : reading * 33 / 10);
  return last_voltage_;
}

void TestAfe::SetLineVoltageReading(UCHAR reading) {
  registers_[60] = static_cast<UCHAR>((registers_[60] & ~0x1F) | (reading & 0x1F));
}

void TestAfe::SetLineStatusBit(bool set) { SetBit(53, 2, set); }

void TestAfe::SetControllerKind(ULONG kind) { Context().ControllerKind = kind; }

LONG TestAfe::Request(ULONG code, PVOID argument, ULONG* size) {
  if (const auto forced = forced_results_.find(code); forced != forced_results_.end()) {
    return forced->second;
  }
  if (const ULONG required = RequiredSize(code);
      required != 0 && (size == nullptr || *size != required)) {
    return afe::kAfeRefused;
  }
  afe::AfeContext& c = Context();
  switch (code) {
    case afe::kAfeLineOn:
      LineOn();
      return afe::kAfeOk;
    case afe::kAfeLineOff:
      LineOff();
      return afe::kAfeOk;
    case afe::kAfeBlockReady:
      return c.RxWriteCursor != (c.RxReadCursor & (afe::kRingSlots - 1)) ? afe::kAfeBlockWaiting
                                                                         : afe::kAfeOk;
    default:
      break;
  }
  if (argument == nullptr) return afe::kAfeRefused;
  switch (code) {
    case afe::kAfeGetRate:
      Write<USHORT>(argument, c.SampleRate);
      Write<USHORT>(argument, c.SamplesPerBlock, 2);
      return afe::kAfeOk;
    case afe::kAfeSetRate:
      scheduled_rate_ = Read<ULONG>(argument);
      scheduled_block_ = afe::BlocksAfter(c.BlockCounter, c.Latency - 1u);
      rate_change_pending_ = true;
      return afe::kAfeOk;
    case afe::kAfeSpeaker:
      SetSpeaker(Read<ULONG>(argument));
      return afe::kAfeOk;
    case afe::kAfeGetAttenuation:
      Write<SHORT>(argument, attenuation_step_);
      return afe::kAfeOk;
    case afe::kAfeSetGain: {
      const GainStep step = GainStepOf(Read<SHORT>(argument));
      gain_step_ = step.step;
      registers_[63] = static_cast<UCHAR>((registers_[63] & 0xF0) | step.code);
      return afe::kAfeOk;
    }
    case afe::kAfeGetGain:
      Write<SHORT>(argument, gain_step_);
      return afe::kAfeOk;
    case afe::kAfeTestMode: {
      const ULONG mode = Read<ULONG>(argument);
      if (mode > 4) return afe::kAfeRefused;
      SetTestMode(mode);
      return afe::kAfeOk;
    }
    case afe::kAfeCodecFlag:
      SetBit(66, 1, Read<ULONG>(argument) == 1);
      return afe::kAfeOk;
    case afe::kAfeStatusQuery:
      Write<ULONG>(argument, 0);
      return afe::kAfeOk;
    case afe::kAfeRegisterWrite: {
      const ULONG reg = Read<ULONG>(argument);
      if (reg < kRegisters) registers_[reg] = static_cast<UCHAR>(Read<ULONG>(argument, 4));
      return afe::kAfeOk;
    }
    case afe::kAfeRegisterRead: {
      const ULONG reg = Read<ULONG>(argument);
      Write<ULONG>(argument, reg < kRegisters ? Read<ULONG>(registers_, reg) : 0, 4);
      return afe::kAfeOk;
    }
    case afe::kAfePowerState:
      return SetPowerState(Read<ULONG>(argument));
    case afe::kAfeHook:
    case afe::kAfeHook2:
      SetBit(53, 3, Read<ULONG>(argument) != 0);
      return afe::kAfeOk;
    case afe::kAfeGetInfo: {
      afe::AfeInfo info{};  // the fields the record leaves unset are zero
      FillInfo(info);
      Write(argument, info);
      return afe::kAfeOk;
    }
    case afe::kAfeLineStatus:
      Write<ULONG>(argument, line_status_);
      return afe::kAfeOk;
    case afe::kAfeLatency:
      c.Latency = static_cast<UCHAR>(Read<UCHAR>(argument) + 1);
      return afe::kAfeOk;
    case afe::kAfeLineMeasure:
      Write<USHORT>(argument, LineVoltage());
      return afe::kAfeOk;
    case afe::kAfeLineMonitor: {
      if (off_hook_counter_ > 50) return afe::kAfeOk;
      line_monitor_ = Read<ULONG>(argument);
      if (line_monitor_ == 0) off_hook_counter_ = 0;
      return afe::kAfeOk;
    }
    case afe::kAfeLineStatusBit:
      Write<USHORT>(argument, Bit(53, 2) ? 1 : 0);
      return afe::kAfeOk;
    default:
      return afe::kAfeRefused;
  }
}

// ---- Sound path ------------------------------------------------------------------

ULONG TestAfe::ProfileFlags() const {
  return events_ != nullptr && events_->ProfileFlags != nullptr ? *events_->ProfileFlags : 0;
}

void TestAfe::Signal(int set_event, int reset_event) {
  sound_events_.push_back({reset_event, false});
  sound_events_.push_back({set_event, true});
}

void TestAfe::LineStreamOn(bool capture) {
  if (capture) line_stream_.capture_started = true;
  line_stream_.level_adjustable = true;
  line_stream_.accepting = true;
  Signal(3, 4);
}

void TestAfe::LineStreamOff() {
  line_stream_.level_adjustable = false;
  line_stream_.accepting = false;
  Signal(4, 3);
}

void TestAfe::AppStreamOn() {
  app_stream_.level_adjustable = true;
  app_stream_.active = true;
  Signal(5, 6);
}

void TestAfe::AppStreamOff() {
  app_stream_.level_adjustable = false;
  app_stream_.active = false;
  Signal(6, 5);
}

LONG TestAfe::PutSamples(PVOID argument, ULONG* count) {
  if (!line_stream_.accepting || argument == nullptr || count == nullptr) {
    return afe::kSoundNotRunning;
  }
  const auto samples = static_cast<USHORT>(*count);
  if (samples > kMaxSoundPut) return afe::kAfeOk;  // too long for an entry: ignored
  auto* data = static_cast<std::int16_t*>(argument);
  for (USHORT i = 0; i < samples; ++i) {
    data[i] =
        line_stream_.level == 0
            ? 0
            : static_cast<std::int16_t>(data[i] >> (3 - std::min<ULONG>(line_stream_.level, 3)));
  }
  if (sound_read_queue_.size() == kSoundQueueEntries) sound_read_queue_.pop_front();
  sound_read_queue_.emplace_back(data, data + samples);
  sound_puts_.emplace_back(data, data + samples);
  return afe::kAfeOk;
}

LONG TestAfe::TakeSamples(PVOID argument, ULONG* count) {
  if (!app_stream_.active || argument == nullptr || count == nullptr) return afe::kSoundNotRunning;
  const int wanted = static_cast<SHORT>(*count);
  auto* data = static_cast<std::int16_t*>(argument);
  int delivered = 0;
  while (delivered < wanted) {
    if (sound_write_queue_.empty()) {
      *count = static_cast<ULONG>(delivered);
      return afe::kSoundNotRunning;
    }
    for (std::int16_t sample : sound_write_queue_.front()) {
      data[delivered++] =
          app_stream_.apply_level
              ? static_cast<std::int16_t>(sample >> (3 - std::min<ULONG>(app_stream_.level, 3)))
              : sample;
    }
    sound_write_queue_.pop_front();
  }
  *count = static_cast<ULONG>(delivered);
  return afe::kAfeOk;
}

LONG TestAfe::SetLevel(PVOID argument) {
  if (argument == nullptr) return afe::kAfeRefused;
  const auto kind = Read<ULONG>(argument);
  const auto level = Read<ULONG>(argument, 8);
  if (kind == 1 || kind == 2) return afe::kSoundBadKind;
  if (kind == 3 && level != line_stream_.level && line_stream_.level_adjustable) {
    line_stream_.level = level;
  }
  if (kind == 4 && level != app_stream_.level && app_stream_.level_adjustable) {
    app_stream_.level = level;
    app_stream_.apply_level = true;
  }
  return afe::kAfeOk;
}

void TestAfe::QueueAppSamples(std::span<const std::int16_t> entry) {
  if (sound_write_queue_.size() == kSoundQueueEntries) sound_write_queue_.pop_front();
  sound_write_queue_.emplace_back(entry.begin(), entry.end());
}

LONG TestAfe::SoundPath(ULONG code, PVOID argument, ULONG* count) {
  if (KeGetCurrentIrql() > PASSIVE_LEVEL && !afe::SoundPathServedAtRaisedLevel(code)) {
    DbgPrint(
        "<AFE>I M P O R T A N T ! You must call AudioProcessing functions at PASSIVE_LEVEL "
        "only. Function you called is disabled ! \n");
    return afe::kAfeRefused;
  }
  const ULONG flags = ProfileFlags();
  if ((flags & afe::kProfileSoundPath) == 0) return static_cast<LONG>(code);
  switch (code) {
    case afe::kSoundStartLineStream:
    case afe::kSoundResume:
      if ((flags & afe::kProfileLineStreamStart) != 0) LineStreamOn(true);
      return afe::kAfeOk;
    case afe::kSoundStopLineStream:
      if (line_stream_.capture_started) {
        line_stream_.capture_started = false;
        LineStreamOff();
      }
      return afe::kAfeOk;
    case afe::kSoundQueryLineStream:
      return line_stream_.accepting && line_stream_.capture_started ? afe::kAfeOk
                                                                    : afe::kSoundStreamStopped;
    case afe::kSoundStartLineStreamNow:
      LineStreamOn(false);
      return afe::kAfeOk;
    case afe::kSoundStopLineStreamNow:
      LineStreamOff();
      return afe::kAfeOk;
    case afe::kSoundStartAppStream:
      AppStreamOn();
      return afe::kAfeOk;
    case afe::kSoundStopAppStream:
      AppStreamOff();
      return afe::kAfeOk;
    case afe::kSoundPutSamples:
      return PutSamples(argument, count);
    case afe::kSoundTakeSamples:
      return TakeSamples(argument, count);
    case afe::kSoundSetLevel:
      return SetLevel(argument);
    case afe::kSoundSuspend:
      line_stream_.level_adjustable = line_stream_.accepting = false;
      app_stream_.level_adjustable = app_stream_.active = false;
      sound_events_.push_back({3, false});
      sound_events_.push_back({5, false});
      sound_events_.push_back({2, true});
      return afe::kAfeOk;
    case afe::kSoundStartBoth:
      LineStreamOn(false);
      AppStreamOn();
      line_stream_.capture_started = false;
      return afe::kAfeOk;
    case afe::kSoundStopBoth:
      if (!line_stream_.capture_started) {
        LineStreamOff();
        AppStreamOff();
      }
      return afe::kAfeOk;
    default:
      return afe::kSoundUnknown;
  }
}

}  // namespace pump::testing
