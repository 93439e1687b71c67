#include "afe/windows/sample_queue.h"

#include <algorithm>
#include <cstring>

#include "afe/windows/afe_device.h"
#include "afe/windows/spin_lock.h"
#include "platform/ex/expool.h"

namespace afe {
namespace {

ULONG NextEntry(ULONG index) { return (index + 1) % kSoundQueueEntries; }

}  // namespace

bool AllocateSampleQueue(SampleQueue& queue) {
  queue.WriteIndex = queue.ReadIndex = queue.Count = queue.HeadTaken = 0;
  KeInitializeSpinLock(&queue.Lock);
  queue.Entries = static_cast<SoundQueueEntry*>(
      ExAllocatePoolWithTag(NonPagedPool, kSoundQueueEntries * sizeof(SoundQueueEntry), kAfeTag));
  return queue.Entries != nullptr;
}

void FreeSampleQueue(SampleQueue& queue) {
  if (queue.Entries != nullptr) ExFreePool(queue.Entries);
  queue.Entries = nullptr;
  queue.Count = 0;
}

void PutEntry(SampleQueue& queue, std::span<const SHORT> samples) {
  if (samples.empty() || samples.size() > kSoundEntrySamples) return;
  SpinLockHeld locked(queue.Lock);
  SoundQueueEntry& entry = queue.Entries[queue.WriteIndex];
  entry.Bytes = static_cast<ULONG>(samples.size_bytes());
  std::memcpy(entry.Samples, samples.data(), samples.size_bytes());
  queue.WriteIndex = NextEntry(queue.WriteIndex);
  if (queue.Count < kSoundQueueEntries) {
    ++queue.Count;
  } else {
    // Full: the put took the oldest entry's place.
    queue.ReadIndex = NextEntry(queue.ReadIndex);
    queue.HeadTaken = 0;
  }
}

ULONG GetSamples(SampleQueue& queue, std::span<SHORT> out) {
  SpinLockHeld locked(queue.Lock);
  if (queue.Count == 0) return 0;
  const SoundQueueEntry& entry = queue.Entries[queue.ReadIndex];
  const ULONG held = entry.Bytes / sizeof(SHORT) - queue.HeadTaken;
  const auto given = static_cast<ULONG>(std::min<std::size_t>(held, out.size()));
  std::memcpy(out.data(), entry.Samples + queue.HeadTaken, given * sizeof(SHORT));
  queue.HeadTaken += given;
  if (given == held) {
    queue.ReadIndex = NextEntry(queue.ReadIndex);
    queue.HeadTaken = 0;
    --queue.Count;
  }
  return given;
}

}  // namespace afe
