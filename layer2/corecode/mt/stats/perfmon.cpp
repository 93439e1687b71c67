#include "layer2/corecode/mt/stats/perfmon.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl {
namespace {

enum class Read : std::uint8_t { kByte, kWord, kText };
struct StatisticRequest {
  std::uint8_t key;
  Read read;
};

constexpr Read B = Read::kByte;
constexpr Read W = Read::kWord;
constexpr Read T = Read::kText;
// Requests n = 0..52; 53 (key 0xFF) is served apart.
constexpr StatisticRequest kStatistics[] = {
    {0x01, B}, {0x02, B}, {0x03, B}, {0x04, T}, {0x05, T}, {0x10, W}, {0x11, W}, {0x12, B},
    {0x13, B}, {0x14, W}, {0x15, W}, {0x16, W}, {0x17, W}, {0x18, W}, {0x20, B}, {0x21, B},
    {0x22, W}, {0x23, W}, {0x24, W}, {0x25, W}, {0x26, W}, {0x27, W}, {0x30, B}, {0x31, B},
    {0x32, B}, {0x33, B}, {0x34, W}, {0x35, W}, {0x40, W}, {0x41, W}, {0x42, B}, {0x43, B},
    {0x44, W}, {0x45, W}, {0x50, B}, {0x51, B}, {0x52, W}, {0x53, W}, {0x54, W}, {0x55, W},
    {0x56, W}, {0x57, W}, {0x58, W}, {0x59, W}, {0x60, B}, {0x61, B}, {0xA1, T}, {0xA2, T},
    {0xB2, T}, {0xB3, T}, {0xC0, W}, {0xD0, W}, {0xFE, T},
};
constexpr std::uint32_t kModelRequest = 53;
static_assert(std::size(kStatistics) == kModelRequest);
constexpr std::uint32_t kNotServed = 54;
constexpr std::uint32_t kPark = 55;
constexpr std::uint32_t kSetFlag = 56;
constexpr std::uint32_t kWake = 57;

struct Buffers {
  std::uint8_t* data;
  ULONG in;
  ULONG out;
};

Buffers BuffersOf(PIRP irp) {
  const auto& control = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl;
  return {static_cast<std::uint8_t*>(irp->AssociatedIrp.SystemBuffer), control.InputBufferLength,
          control.OutputBufferLength};
}

// A text with its terminator, when the buffer holds both.
NTSTATUS CopyText(PIRP irp, const Buffers& b, const char* text) {
  const std::size_t length = std::strlen(text);
  if (b.data == nullptr || b.out < length + 1) return STATUS_BUFFER_TOO_SMALL;
  std::memcpy(b.data, text, length + 1);
  irp->IoStatus.Information = length;
  return STATUS_SUCCESS;
}

NTSTATUS ReadStatistic(PIRP irp, const Buffers& b, const StatisticRequest& request) {
  ModemStatisticsBlock& block = stats_block();
  StatsEntry& entry = block.Entry(request.key);
  if ((entry.class_mask.load() & block.output_mask.load()) == 0) return STATUS_UNSUCCESSFUL;
  switch (request.read) {
    case Read::kByte: {
      if (b.data == nullptr || b.out == 0) return STATUS_BUFFER_TOO_SMALL;
      const auto value = static_cast<std::uint32_t>(
          static_cast<std::int32_t>(static_cast<std::int8_t>(entry.value.load())));
      // The word as far as the buffer holds it.
      std::memcpy(b.data, &value, std::min<std::size_t>(b.out, sizeof value));
      irp->IoStatus.Information = 1;
      return STATUS_SUCCESS;
    }
    case Read::kWord: {
      if (b.data == nullptr || b.out < 4) return STATUS_BUFFER_TOO_SMALL;
      const std::uint32_t value = entry.value.load();
      std::memcpy(b.data, &value, sizeof value);
      irp->IoStatus.Information = sizeof value;
      return STATUS_SUCCESS;
    }
    case Read::kText: {
      if (b.out < 4) return STATUS_BUFFER_TOO_SMALL;
      const char* text = entry.text.load();
      return CopyText(irp, b, text != nullptr ? text : "");
    }
  }
  return STATUS_UNSUCCESSFUL;
}

NTSTATUS ReadModelText(PIRP irp, const Buffers& b) {
  const char* text = stats_block().Entry(0xFF).text.load();
  if (text == nullptr) return STATUS_SUCCESS;
  return CopyText(irp, b, text);
}

// A notification's answer: `item` at offset 4; Information is 528 or, for
// a smaller buffer, its length.
void WriteItem(PIRP irp, const Buffers& b, std::uint32_t item) {
  std::memcpy(b.data + kPerfmonItemOffset, &item, sizeof item);
  irp->IoStatus.Information = std::min<ULONG_PTR>(b.out, kPerfmonNotifyBytes);
}

// Completes a notification with `item`.
void CompleteWithItem(PIRP irp, std::uint16_t item) {
  WriteItem(irp, BuffersOf(irp), item);
  irp->IoStatus.Status = STATUS_SUCCESS;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
}

// The parked request with its cancel routine taken back; null when none
// is parked or its cancel routine already runs.
PIRP TakeParked() {
  PerfmonState& state = perfmon_state();
  KIRQL irql;
  KeAcquireSpinLock(&state.lock, &irql);
  PIRP irp = state.parked;
  state.parked = nullptr;
  if (irp != nullptr && IoSetCancelRoutine(irp, nullptr) == nullptr) irp = nullptr;
  KeReleaseSpinLock(&state.lock, irql);
  return irp;
}

NTSTATUS Park(PIRP irp, const Buffers& b) {
  if (b.data == nullptr || b.out < kPerfmonItemOffset + 4) return STATUS_BUFFER_TOO_SMALL;
  PerfmonState& state = perfmon_state();
  KIRQL irql;
  KeAcquireSpinLock(&state.lock, &irql);
  if (state.parked != nullptr) {
    KeReleaseSpinLock(&state.lock, irql);
    WriteItem(irp, b, 0);
    return STATUS_SUCCESS;
  }
  IoSetCancelRoutine(irp, perfmon_cancel);
  if (irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr) {
    KeReleaseSpinLock(&state.lock, irql);
    return STATUS_CANCELLED;
  }
  IoMarkIrpPending(irp);
  state.parked = irp;
  KeReleaseSpinLock(&state.lock, irql);
  return STATUS_PENDING;
}

NTSTATUS SetFlag(const Buffers& b) {
  std::uint32_t words[2];
  if (b.data == nullptr || b.in < sizeof words) return STATUS_INVALID_PARAMETER;
  std::memcpy(words, b.data, sizeof words);
  if (words[0] >= kPerfmonItems) return STATUS_INVALID_PARAMETER;
  perfmon_state().notify_flags[words[0]].store(static_cast<std::uint8_t>(words[1]));
  return STATUS_SUCCESS;
}

}  // namespace

PerfmonState& perfmon_state() { return MachineState<PerfmonState>(); }

void perfmon_init() {
  PerfmonState& state = perfmon_state();
  for (auto& flag : state.notify_flags) flag.store(0);
  state.notify_flags[0].store(1);
  KIRQL irql;
  KeAcquireSpinLock(&state.lock, &irql);
  state.parked = nullptr;
  KeReleaseSpinLock(&state.lock, irql);
}

bool perfmon_ioctl(PDEVICE_OBJECT, PIRP irp, NTSTATUS& status) {
  irp->IoStatus.Information = 0;
  const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
  if (code < kPerfmonFirstCode || (code - kPerfmonFirstCode) % 4 != 0) return false;
  const std::uint32_t n = (code - kPerfmonFirstCode) / 4;
  if (n >= kPerfmonRequests || n == kNotServed) return false;
  const Buffers b = BuffersOf(irp);
  if (n < kModelRequest) {
    status = ReadStatistic(irp, b, kStatistics[n]);
  } else if (n == kModelRequest) {
    status = ReadModelText(irp, b);
  } else if (n == kPark) {
    status = Park(irp, b);
  } else if (n == kSetFlag) {
    status = SetFlag(b);
  } else {  // kWake
    perfmon_notify(0);
    status = STATUS_SUCCESS;
  }
  return true;
}

void perfmon_notify(std::uint16_t item) {
  if (item >= kPerfmonItems || perfmon_state().notify_flags[item].load() == 0) return;
  if (PIRP irp = TakeParked()) CompleteWithItem(irp, item);
}

void perfmon_cancel(PDEVICE_OBJECT, PIRP irp) {
  IoReleaseCancelSpinLock(irp->CancelIrql);
  PerfmonState& state = perfmon_state();
  KIRQL irql;
  KeAcquireSpinLock(&state.lock, &irql);
  const bool parked = state.parked == irp;
  if (parked) state.parked = nullptr;
  KeReleaseSpinLock(&state.lock, irql);
  if (parked) {
    CompleteWithItem(irp, kPerfmonCancelItem);
    return;
  }
  irp->IoStatus.Information = 0;
  irp->IoStatus.Status = STATUS_CANCELLED;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
}

void perfmon_stop() {
  if (PIRP irp = TakeParked()) CompleteWithItem(irp, kPerfmonCancelItem);
}

}  // namespace vxctl
