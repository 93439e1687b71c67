// The statistics device's requests (\Device\MdmPerfMon2): one statistic
// per device-control request 0x22F900 + 4n (n = 0..53), and one parked
// notification request that completes when an item whose notify flag is
// set is signalled (n = 55 parks, 56 sets a flag, 57 signals item 0).
//
// The parked request is exchanged only under the device's spin lock, and
// its cancel routine is taken back before it completes, so a notification
// and a cancel never complete it twice.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/io/io.h"

namespace vxctl {

inline constexpr ULONG kPerfmonFirstCode = 0x22F900;
inline constexpr std::uint32_t kPerfmonRequests = 58;  // n = 0..57
inline constexpr std::size_t kPerfmonItems = 59;       // notify flags, items 0..58
inline constexpr std::uint16_t kPerfmonCancelItem = 58;
// A notification's Information and the offset of its item in the buffer.
inline constexpr ULONG_PTR kPerfmonNotifyBytes = 528;
inline constexpr std::size_t kPerfmonItemOffset = 4;

struct PerfmonState {
  PerfmonState() { KeInitializeSpinLock(&lock); }
  KSPIN_LOCK lock;
  std::array<std::atomic<std::uint8_t>, kPerfmonItems> notify_flags{};
  PIRP parked = nullptr;  // under `lock`
};

PerfmonState& perfmon_state();

// When the device is created: every flag cleared but item 0's, set to 1,
// and nothing parked.
void perfmon_init();
// Serves a request of the statistics device; false when its code is not
// one of them. `status` is STATUS_PENDING when the request was parked,
// else the status to complete it with (Information set).
bool perfmon_ioctl(PDEVICE_OBJECT device, PIRP irp, NTSTATUS& status);
// Signals `item`: when its notify flag is set, the parked request (if any)
// completes with the item.
void perfmon_notify(std::uint16_t item);
// The parked request's cancel routine: it completes with item 58; a
// request not parked (any more) with STATUS_CANCELLED.
void perfmon_cancel(PDEVICE_OBJECT device, PIRP irp);
// When the device goes: the parked request completes with item 58.
void perfmon_stop();

}  // namespace vxctl
